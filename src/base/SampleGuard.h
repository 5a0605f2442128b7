// Guards for samples that enter a recursive state (feedback lines, comb
// filters, biquad memories). Once a NaN or an infinity reaches such a state it
// never leaves it, so the effects replace it by silence at their inputs.
#pragma once

#include <cstdint>
#include <cstring>

// Returns x, or 0 when x is zero, denormal, infinite or NaN (exponent bits all
// zero or all one). Costs the same as a plain denormal flush.
inline float finiteOrZero(float x) {
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    const uint32_t exponent = bits & 0x7f800000u;
    return (exponent == 0 || exponent == 0x7f800000u) ? 0.0f : x;
}

// Limits a normalised control value to 0..1; NaN gives `fallback`.
inline double clampUnit(double v, double fallback = 0.0) {
    if (!(v == v)) return fallback;
    return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v);
}

// Sample rates the effects size their buffers for, in Hz.
constexpr double kMinSampleRate = 8000.0;
constexpr double kMaxSampleRate = 384000.0;

// The rate an effect adopts when asked for `rate` Hz: limited to the range
// above; a NaN, infinite, zero or negative rate keeps `current`.
inline double limitSampleRate(double rate, double current) {
    if (!(rate > 0.0) || rate > 1e300) return current;
    return rate < kMinSampleRate ? kMinSampleRate : (rate > kMaxSampleRate ? kMaxSampleRate : rate);
}
