// Four-tap stereo chorus, the first stage of the effect chain.
//
// The input is summed to mono into one ring buffer and read back through four
// modulated taps A, B, C, D: A + C weighted towards the left, B + D towards
// the right. Three slow triangle modulators at unrelated rates move the taps;
// each tap glides towards its target at 0.8..1.25 times normal speed, so its
// pitch stays within -20 % .. +25 %. Enabled, the signal becomes
// dry x input + taps; disabled, it passes unchanged.
#pragma once

#include <cstdint>
#include <vector>

class CChorus {
public:
    // Allocates for 44100 Hz. Defaults: disabled, time 4 ms, speed 0.5 Hz,
    // wet 1, dry 0, stereo 0.5, invert off.
    CChorus();
    virtual ~CChorus() = default;

    // Setters: between blocks (the renderer applies values at a block's start);
    // no locks, no allocation. v is the
    // normalised patch value, limited to 0..1 (NaN gives 0); each setter
    // recomputes the derived values.
    void setTime(float v);   // modulation depth 0.1 + 5.9 v ms
    void setSpeed(float v);  // modulation rate 0.02 + 4.98 v Hz
    void setWet(float v);    // tap gain v^2 (before the stereo normalisation)
    void setDry(float v);    // dry gain v^2
    void setInvert(float v); // taps negated from 0.5
    void setStereo(float v); // 0: all taps on both sides .. 1: A + C left, B + D right
    // On from 0.5. Switching on restarts the taps and clears the buffer.
    void setEnabled(float v);

    // Control thread, never while process runs: reallocates the ring buffer
    // for `rate` Hz (8000..384000) and resets the state.
    void setSampleRate(double rate);
    // Control thread: modulators to 0, taps to the buffer start, buffer zeroed.
    void reset();

    // Value IDs 13..19 (time, speed, wet, dry, invert, stereo, enable), x
    // passed as float; false for any other ID.
    bool applyValue(int32_t id, double x);

    // Audio thread: no allocation, no locks. In place; any frame count.
    void process(float* left, float* right, int32_t frames);

    // Derived values: linear gains of taps A + C, B + D and the dry signal.
    float tapGainA() const { return gainA; }
    float tapGainB() const { return gainB; }
    float dryGain() const { return gainDry; }
    int32_t bufferSize() const { return size; }
    // Tap k (0..3 for A..D): samples advanced per sample, and delay in samples.
    double tapSpeed(int k) const { return speeds[k]; }
    double tapDelay(int k) const { return double(writeCount) - positions[k]; }
    bool isEnabled() const { return enabled; }

private:
    void updateDerived();
    void updateModulators();

    std::vector<float> buffer;
    int32_t size = 0, mask = 0;
    double phases[3] = {0.0, 0.0, 0.0};
    double increments[3] = {0.0, 0.0, 0.0};
    int32_t writeCount = 0;
    double positions[4] = {0.0, 0.0, 0.0, 0.0};
    double speeds[4] = {1.0, 1.0, 1.0, 1.0};
    double depths[3] = {0.0, 0.0, 0.0};
    float gainA = 0.0f, gainB = 0.0f, gainDry = 0.0f;

    double sampleRate = 0.0;
    float time = 4.0f, stereo = 0.5f, wet = 1.0f, dry = 0.0f, speed = 0.5f;
    bool invert = false;
    bool enabled = false;
};
