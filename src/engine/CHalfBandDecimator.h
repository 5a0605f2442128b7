// Brings one channel from twice the host rate back to the host rate: a
// linear-phase half-band low-pass (a Kaiser-windowed sine cardinal, cut at a
// quarter of the input rate) followed by dropping every other sample. Used by
// the renderer's high-quality mode, whose voices run at twice the host rate so
// that what phase modulation puts above the host's Nyquist frequency is
// filtered away instead of folding back into the audible band.
//
// Polyphase: every other tap of a half-band filter is zero, so the odd input
// samples meet the filter's non-zero taps and the even ones only its centre
// tap, a pure delay; only the kept output samples are computed, each from
// kPairs symmetric tap pairs.
//
// Response at 2 x 44.1 kHz input: flat within 0.001 dB up to 20 kHz, -6 dB at
// 22.05 kHz, at least 85 dB down from 24.1 kHz on. Output frame m is the
// input around sample 2 (m - kLatencyFrames): a delay of kLatencyFrames
// output frames (about 1.1 ms at 44.1 kHz).
//
// Audio thread: process allocates nothing; reset from the renderer's reset or
// under the structure lock.
#pragma once

#include <cstdint>

class CHalfBandDecimator {
public:
    // Input samples per side of the centre tap; odd, so that the taps next to
    // the centre are non-zero.
    static constexpr int32_t kHalfLength = 95;
    // Non-zero taps on one side of the centre, all at odd distances from it.
    static constexpr int32_t kPairs = (kHalfLength + 1) / 2;
    // Delay through the filter, in output frames.
    static constexpr int32_t kLatencyFrames = (kHalfLength - 1) / 2;
    // The most output frames one process call takes (the renderer's piece).
    static constexpr int32_t kMaxOutputFrames = 512;

    CHalfBandDecimator();
    // Forgets the signal so far (silence before the next input).
    void reset();
    // Writes n (at most kMaxOutputFrames) output samples to out from the 2n
    // input samples of in.
    void process(const float* in, float* out, int32_t n);

    // The non-zero taps: centre, then pair i at distance 2i + 1 from it. The
    // filter's gain at 0 Hz is exactly 1 (tests read them).
    static float centreTap();
    static float pairTap(int32_t i);

private:
    // The last odd input samples the sparse branch still needs, oldest first,
    // and the even ones still to come out of the centre tap's delay.
    static constexpr int32_t kOddHistory = 2 * kPairs - 1;
    static constexpr int32_t kEvenHistory = (kHalfLength - 1) / 2;
    float odd[kOddHistory];
    float even[kEvenHistory];
};
