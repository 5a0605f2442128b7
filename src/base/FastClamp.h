// Branch-free clamps for the per-sample loop. A NaN input gives the low bound,
// so a damaged value can neither reach the output nor an integer conversion.
#pragma once

#include "base/Simd.h"

// MAXSD / MAXSS return their second operand when either is NaN.
inline double clampFast(double x, double lo, double hi) {
    return _mm_cvtsd_f64(_mm_min_sd(_mm_max_sd(_mm_set_sd(x), _mm_set_sd(lo)), _mm_set_sd(hi)));
}

inline float clampFast(float x, float lo, float hi) {
    return _mm_cvtss_f32(_mm_min_ss(_mm_max_ss(_mm_set_ss(x), _mm_set_ss(lo)), _mm_set_ss(hi)));
}
