// What a voice filter runs with when its voice runs at twice the host rate,
// so that it sounds as it does at the host rate.
//
// The ladder's four one-pole stages and its one-sample resonance loop are
// rate-bound: halving the coefficient at twice the rate moves the frequency
// where the loop turns the signal round (its resonance) and the loop's gain
// there, so the same program would ring higher or harder. Instead the fine
// coefficient is the one whose loop turns round at the same frequency in Hz,
// and the resonance feedback is scaled so that the loop gains as much there
// as at the host rate: the same resonant peak at the same place. Where the
// host-rate loop never turns round below Nyquist (the top of the coefficient
// range) the fine loop turns round at the host's Nyquist frequency.
//
// The mapping is worked out once per process into a table over the host-rate
// coefficient (prepare, from the thread that sets the rate) and read with
// linear interpolation at control rate.
#pragma once

#include <cstdint>

class CLadderRateMatch {
public:
    struct Setting {
        float coefficient;    // per sample at twice the host rate
        double feedbackScale; // multiplies the resonance feedback
    };

    // Works the table out if it is not yet; safe to call from any thread
    // but the audio thread, which only reads it.
    static void prepare();
    // For the coefficient a filter has at the host rate (0 up to the
    // filter's highest coefficient).
    static Setting atTwiceTheRate(float hostCoefficient);
};
