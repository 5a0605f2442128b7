// A variable-speed, time-stamped delay line (mono).
//
// Instead of a ring buffer with a read offset, the line records one pass of
// input samples together with the normalised time (0..1) at which each was
// written, and during the next pass reads that recording back at the same
// normalised time, interpolating between stamps. The delay is the length of
// one pass; changing the pass speed (by the size target, by its smoothing or
// by the built-in triangle modulation) bends the pitch of the delayed signal
// like a tape machine whose speed varies. Feedback, damping of the read
// signal, and smoothed dry and wet gains complete it. The reverb owns one as
// its input stage.
#pragma once

#include <cstdint>
#include <vector>

class CDelayLine {
public:
    // Any thread that owns the line, never the audio thread: allocates.
    // slots: entries per pass (at least 5); position: starting write time 0..1.
    // Defaults: size 1, wet 0, feedback 0, rate 0, damping 1, depth 0, dry 1.
    CDelayLine(int32_t slots, double position);
    virtual ~CDelayLine() = default;

    // Between blocks; no locks. Gains are linear targets that the
    // line glides to at 0.01 per sample.
    void setDry(float gain);
    void setFeedback(double gain);
    void setWet(double gain);
    // Share of each new read value taken into the damped value, 0.05..1 (1 = no damping).
    void setDamping(float amount);
    // Depth of the speed modulation: the pass speed is multiplied by 1..1 + depth.
    void setDepth(double depth);
    // Modulation rate in triangle cycles per sample, at least 0.
    void setRate(double cyclesPerSample);
    // Pass length as a share of the slots, 0..1: 1 gives about 0.99 x slots
    // samples of delay, 0 gives 2 samples. Values outside 0..1 are limited.
    void setSize(double size);

    // Audio thread or owner: forgets everything recorded (both passes and the
    // damped value); settings, gains and the pass position stay. No allocation.
    void clear();

    // Audio thread: no allocation, no locks. In place, mono, any frame count.
    void process(float* buffer, int32_t frames);

    int32_t slots() const { return slotCount; }

private:
    // One recorded pass: kHistory entries from the end of the pass before it,
    // then the pass entries, then one entry past the end of the pass.
    struct Pass {
        std::vector<float> values;
        std::vector<double> stamps;
        int32_t count = 0;
        int32_t readIndex = 0;
    };
    static constexpr int32_t kHistory = 10;

    // Interpolated value recorded at `time`; advances the pass's read index.
    static float readAt(Pass& pass, double time);

    int32_t slotCount;
    int32_t passCapacity; // pass entries that fit after the history
    Pass passes[2];
    int writePass = 0; // index into passes; the other one is read

    float dryTarget = 1.0f, dry = 0.0f;
    float feedbackTarget = 0.0f, feedback = 0.0f;
    float wetTarget = 0.0f, wet = 0.0f;
    float inputGain = 0.0f;
    float damping = 1.0f;
    float damped = 0.0f;
    double targetStep;
    double step;
    double modRate = 0.0, modDepth = 0.0, modPhase = 0.0;
    double writeTime;
};
