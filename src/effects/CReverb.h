// Comb-and-allpass reverberator, the third stage of the effect chain.
//
// The stereo input is summed to mono, passed through a modulated CDelayLine,
// scaled down and fed to eight parallel low-pass-feedback comb filters followed
// by four series allpass filters, once with the left-channel lengths and once
// with right-channel lengths 123 samples longer (at 44100 Hz). The wet result
// is added to the signal; the dry signal is never changed.
#pragma once

#include "effects/CDelayLine.h"

#include <atomic>
#include <cstdint>
#include <memory>

class CReverb {
public:
    static constexpr int kCombs = 8;
    static constexpr int kAllpasses = 4;

    // No buffers until the sample rate is set; disabled, silent.
    CReverb();
    virtual ~CReverb() = default;

    // Setters: between blocks (the renderer applies values at a block's start);
    // no locks, no allocation. v is the
    // normalised patch value.
    // On from 0.5; the wet gain jumps to its new target and old tails are dropped.
    void setEnabled(double v);
    // Comb feedback -(0.55 .. 0.98), v limited to 0..1 (longer tails upwards).
    void setFeedback(double v);
    // Brightness: comb damping (1 - v) x 0.7, v limited to 0..1.
    void setColor(double v);
    // Wet gain v^2 (while enabled), reached by a glide of 0.005 per sample.
    void setWet(double v);
    // Any thread: the wet gain jumps to its target; indices, filter stores,
    // buffers and the input line's recording are cleared at the start of the
    // next processed block.
    void clearState();
    // Same as clearState (the renderer's reset).
    void reset() { clearState(); }

    // Control thread, never while process runs: for a new rate (8000..384000
    // Hz) reallocates the comb and allpass buffers; always replaces the input
    // delay line (50 ms of slots), whose input then fades in again.
    void setSampleRate(double rate);

    // Value IDs 33..36 (enable, feedback, color, wet); false for any other ID.
    bool applyValue(int32_t id, double x);

    // Audio thread: no allocation, no locks. Adds the wet signal into both
    // buffers; any frame count. Skips all work while both wet gains are silent.
    void process(float* left, float* right, int32_t frames);

    // channel 0 left, 1 right; lengths in samples.
    int32_t combLength(int comb, int channel) const {
        return combs[comb & 7].part[channel & 1].length;
    }
    int32_t allpassLength(int allpass, int channel) const {
        return allpasses[allpass & 3].part[channel & 1].length;
    }
    float feedback() const { return feedbackGain; }
    float damping() const { return dampingAmount; }
    float wetTarget() const { return wetTargetGain; }
    float wetCurrent() const { return wetCurrentGain; }
    bool isEnabled() const { return enabled; }
    const CDelayLine* inputLine() const { return delayLine.get(); }

private:
    static constexpr int32_t kMaxBlock = 1024; // frames per pass through the scratch buffer

    struct Line {
        std::unique_ptr<float[]> buffer; // length samples
        int32_t length = 0;
        int32_t index = 0;
        float store = 0.0f; // comb low-pass state
    };
    struct Stage {
        Line part[2]; // left, right
    };
    void clearNow();
    void renderBlock(float* left, float* right, int32_t frames);
    void runComb(Stage& comb, const float* input, int32_t frames, float fb, float damp);
    void runAllpass(Stage& allpass, int32_t frames);

    Stage combs[kCombs];
    Stage allpasses[kAllpasses];
    std::unique_ptr<CDelayLine> delayLine;
    float mono[kMaxBlock] = {};         // the mono input, then the comb input
    float wetSignal[2][kMaxBlock] = {}; // left and right reverb output

    float feedbackGain = 0.0f;
    float wetTargetGain = 0.0f, wetCurrentGain = 0.0f;
    float dampingAmount = 1.0f;
    double wetParameter = 0.0;
    bool enabled = false;
    std::atomic<bool> clearPending{false};
    double sampleRate = 0.0;
};
