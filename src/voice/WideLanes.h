// The voice's 256-bit sample loop (AVX2). The plug-in is built for plain
// SSE2, so the wide loop is compiled as separate functions for the AVX2
// instruction set and chosen at run time when the processor (and the system,
// which must save the wider registers) offers it. Both loops give the same
// output bit for bit: the wide loop runs all eight operators in one vector
// where the plain one runs two vectors of four, with the same operations in
// the same order and no fused multiply-adds.
//
// Only x86-64 builds outside Windows have it: there the stack of a function
// that keeps 32-byte vectors is realigned by the compiler as needed, which
// the Windows toolchains do not promise.
#pragma once

#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__) && !defined(_WIN32)
#include <immintrin.h>
#define QUELLOR_HAS_WIDE_LANES 1
#define QUELLOR_WIDE_TARGET __attribute__((target("avx2")))
#endif

// Whether this processor and system can run the wide loop.
inline bool wideLanesAvailable() {
#if defined(QUELLOR_HAS_WIDE_LANES)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}
