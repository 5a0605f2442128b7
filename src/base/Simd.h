// The vector macros every fast path tests, defined in one place.
//
// QUELLOR_HAS_SSE2: the 128-bit SSE2 instructions; both the x86-64 and the
// 32-bit Windows builds have them, and the per-sample kernels are written for
// them alone; a build without them stops here.
//
// QUELLOR_HAS_WIDE_LANES, QUELLOR_WIDE_TARGET: the voice's 256-bit (AVX2)
// sample loop. The plug-in is built for plain SSE2, so the wide loop is
// compiled as separate functions for the AVX2 instruction set and chosen at run
// time. Every x86-64 build has it. On Linux the compiler realigns the stack of
// a function that keeps 32-byte vectors; the 64-bit Windows build is assembled
// with every aligned vector move made unaligned (cmake/mingw-x86_64.cmake),
// since its compiler leaves such stack slots only 16-byte aligned. The 32-bit
// Windows build keeps the plain loop.
//
// QUELLOR_ALWAYS_INLINE: for the sample loop's helpers that must be inlined (a
// call would make the loop spill its registers) though compilers judge them
// too large.
#pragma once

#if defined(__SSE2__) || defined(__x86_64__) || defined(_M_X64)
#include <emmintrin.h>
#define QUELLOR_HAS_SSE2 1
#else
#error "Quellor's sample loops are written for SSE2: build for a processor that has it"
#endif

#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
#include <immintrin.h>
#define QUELLOR_HAS_WIDE_LANES 1
#define QUELLOR_WIDE_TARGET __attribute__((target("avx2")))
#endif

#if defined(__GNUC__)
#define QUELLOR_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define QUELLOR_ALWAYS_INLINE inline
#endif
