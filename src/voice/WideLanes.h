// The voice's 256-bit sample loop (AVX2). The plug-in is built for plain
// SSE2, so the wide loop is compiled as separate functions for the AVX2
// instruction set and chosen at run time when the processor (and the system,
// which must save the wider registers) offers it. Both loops give the same
// output bit for bit: the wide loop runs all eight operators in one vector
// where the plain one runs two vectors of four, with the same operations in
// the same order and no fused multiply-adds.
// Where it is compiled at all: base/Simd.h.
#pragma once

#include "base/Simd.h"

// Whether this processor and system can run the wide loop.
inline bool wideLanesAvailable() {
#if defined(QUELLOR_HAS_WIDE_LANES)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}
