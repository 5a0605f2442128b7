// Bit-for-bit equality of two values, for the control tick's "nothing moved"
// checks: unlike ==, it tells 0 from -0 and finds a NaN equal to itself, so a
// value counts as unchanged exactly when recomputing from it would give the
// same bits.
#pragma once

#include <cstring>

inline bool sameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

inline bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}
