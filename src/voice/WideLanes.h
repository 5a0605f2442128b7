// The voice's 256-bit sample loop (AVX2). The plug-in is built for plain
// SSE2, so the wide loop is compiled as separate functions for the AVX2
// instruction set and chosen at run time when the processor (and the system,
// which must save the wider registers) offers it. Both loops give the same
// output bit for bit: the wide loop runs all eight operators in one vector
// where the plain one runs two vectors of four, with the same operations in
// the same order and no fused multiply-adds.
//
// Every x86-64 build has it. On Linux the compiler realigns the stack of a
// function that keeps 32-byte vectors; the 64-bit Windows build is assembled
// with every aligned vector move made unaligned (cmake/mingw-x86_64.cmake),
// since its compiler leaves such stack slots only 16-byte aligned. The
// 32-bit Windows build keeps the plain loop.
#pragma once

#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
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
