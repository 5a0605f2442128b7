#pragma once
// The filmstrip frame a value picks, always inside 0..frames-1 (a damaged
// program's value, NaN included, never indexes outside the bitmap).

#include <cmath>

inline int frameIndex(double scaled, int frames) {
    if (!(scaled > 0.0)) return 0; // also NaN
    if (scaled >= double(frames - 1)) return frames - 1;
    return int(std::trunc(scaled));
}
