// Clamping a control value (set at control rate, not in the per-sample loop;
// FastClamp.h has the loop's clamps).
#pragma once

// x limited to lo..hi; a NaN gives lo, so a damaged value never reaches the
// arithmetic. Only a value above lo is kept, so -0 at a bound of 0 gives +0.
inline double clampValue(double x, double lo, double hi) {
    if (!(x > lo)) return lo;
    return x < hi ? x : hi;
}
