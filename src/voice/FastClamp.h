// Branch-free clamps for the per-sample loop. A NaN input gives the low bound,
// so a damaged value can neither reach the output nor an integer conversion.
#pragma once

#if defined(__SSE2__) || defined(__x86_64__) || defined(_M_X64)
#include <emmintrin.h>
#define QUELLOR_HAS_SSE2 1
#endif

// 64-bit x86 with GCC: the voice's sample loop also exists in an AVX2 form,
// chosen at run time when the processor has AVX2 (see CVoiceWide.cpp).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define QUELLOR_HAS_WIDE_LANES 1
#endif

// MAXSD / MAXSS return their second operand when either is NaN.
inline double clampFast(double x, double lo, double hi) {
#ifdef QUELLOR_HAS_SSE2
    return _mm_cvtsd_f64(_mm_min_sd(_mm_max_sd(_mm_set_sd(x), _mm_set_sd(lo)), _mm_set_sd(hi)));
#else
    x = x > lo ? x : lo;
    return x < hi ? x : hi;
#endif
}

inline float clampFast(float x, float lo, float hi) {
#ifdef QUELLOR_HAS_SSE2
    return _mm_cvtss_f32(_mm_min_ss(_mm_max_ss(_mm_set_ss(x), _mm_set_ss(lo)), _mm_set_ss(hi)));
#else
    x = x > lo ? x : lo;
    return x < hi ? x : hi;
#endif
}
