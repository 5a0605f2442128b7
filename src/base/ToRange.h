// Mapping of a normalised patch value (mostly 0..1) onto an integer range.
#pragma once

#include <cmath>
#include <cstdint>

// lo + (hi - lo) * x rounded to the nearest integer, exact halves toward zero
// (2.5 -> 2, -2.5 -> -2), then clamped to lo..hi. A NaN gives lo, so a damaged
// value can never turn into an undefined float-to-integer conversion.
inline int32_t toRange(double x, int32_t lo, int32_t hi) {
    double v = lo + double(hi - lo) * x;
    if (std::isnan(v)) return lo;
    double r = v >= 0.0 ? std::ceil(v - 0.5) : std::floor(v + 0.5);
    if (r < lo) return lo;
    if (r > hi) return hi;
    return int32_t(r);
}
