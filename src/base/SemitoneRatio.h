// 1.059463094359295 ^ semitones (the equal-tempered ratio), worked out again
// only when the semitones change. The same argument gives the same result, so
// only time is saved: a held note's pitches mostly stay put from one control
// tick to the next, and std::pow is the dearest call of the tick.
//
// Threads: audio thread only (control tick): no allocation, no locks.
#pragma once

#include <cmath>

// The equal-tempered semitone, 2^(1/12), as the decimal every pitch and rate
// of the voices is worked out from.
inline constexpr double kSemitone = 1.059463094359295;

struct SemitoneRatio {
    double semitones = 0.0;
    double ratio = 1.0; // kSemitone ^ 0

    double of(double x) {
        if (x != semitones) { // a NaN argument is worked out every time
            semitones = x;
            ratio = std::pow(kSemitone, x);
        }
        return ratio;
    }
};
