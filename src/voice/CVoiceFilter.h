// One of a voice's two filters: a four-stage one-pole ladder with resonance
// feedback and a soft clipper, giving low-pass, band-pass and high-pass.
//
// The filter is a node of the voice's modulation matrix, not a stage after the
// operators: its input is whatever the matrix and the sample layer add into
// its input accumulator during a sample, and its output goes to the voice's
// mix (through its level and pan) and back into the matrix.
//
// Units: cutoff 0..1 spans 108 semitones from about 78.8 Hz; cutoff frequency
// in Hz; resonance, key tracking and levels linear.
//
// Threads: the parameter setters (and applyValue) are called by the renderer
// on the audio thread at the start of a block (or while no block can render);
// the voice reads the values at its next control tick. All of it runs on the
// audio thread: no allocation, no locks.
#pragma once

#include "base/FastClamp.h"
#include "base/SameBits.h"
#include "voice/CRamp.h"

#include <cmath>
#include <cstdint>
#include <limits>

class CVoiceFilter {
public:
    enum Mode : uint8_t { kOff = 0, kLowPass = 1, kBandPass = 2, kHighPass = 3 };
    static constexpr int32_t kMatrixDestinations = 10; // operators 0..7, filters 0..1
    static constexpr double kMinCutoffHz = 20.0;
    static constexpr double kMaxCutoffHz = 32000.0;
    // The coefficient is cutoff / sample rate, unwarped. Near 1 the resonance
    // loop gains more than 1 at Nyquist, so that only the soft clipper bounds
    // it, which happens when the sample rate comes near the highest cutoff.
    // The coefficient is held at what the highest cutoff gives at 44.1 kHz,
    // where the loop stays stable: 44.1 kHz and above sound exactly as they
    // would unheld, lower rates reach the same top coefficient earlier.
    static constexpr double kHighestStableRate = 44100.0;
    static constexpr float kMaxCoefficient = float((1.0 / kHighestStableRate) * kMaxCutoffHz);
    // Input accumulator bound (about +60 dB): in mode Off the output is the
    // input, so a filter feeding itself through the matrix would otherwise grow
    // without limit.
    static constexpr float kInputLimit = 1000.0f;
    // Soft clipper v / (|v| * 0.05 + 1.00001): |result| stays below 20.
    static constexpr float kClipSlope = 0.05f;
    static constexpr float kClipBias = 1.00001f;
    // Resonance feedback gain per unit of coefficient and its constant part.
    static constexpr float kFeedbackPerCoefficient = 5.0f;
    static constexpr float kFeedbackBase = 4.0f;

    explicit CVoiceFilter(int32_t index = 0);

    // ---- parameter setters (renderer, between blocks) ----
    // Matrix amount into destination 0..9 (others ignored): v clamped to -1..1,
    // stored as v * |v|; marks the row as changed for the voice's routing.
    void setMatrixCell(int32_t destination, double v);
    void setPan(double pan);            // -1..1
    void setLevel(double level);        // -1..1
    void setMode(uint8_t mode);         // Mode; values above 3 act as low-pass
    void setResonance(float resonance); // 0..1
    void setKeyTracking(double amount); // 0..1; 1 follows the keyboard around note 60
    void setCutoff(double cutoff);      // 0..1
    // How many times the host rate the voice runs at: 1, or 2 (any more is
    // taken as 2). Not on the audio thread.
    void setOversampling(int32_t factor);

    // Renderer's apply step for one value ID with normalised value x: filter 1
    // (index 0) takes 37, 38, 39, 50..60 and 321; filter 2 takes 40, 41, 42,
    // 61..71 and 322. Returns whether the ID belongs to this filter.
    bool applyValue(int32_t id, double x);

    // ---- voice side (audio thread) ----
    // Fresh note: stages, accumulator, output and all ramps 0; the smoothed
    // cutoff jumps to its target; the row-changed flag is cleared.
    void resetForNote();
    // Starts a tick's modulation sums from the parameter bases.
    void beginModulation() {
        modulation.cutoff = 0.0;
        modulation.resonance = 0.0;
        modulation.level = startedLevel = baseLevel;
        modulation.pan = 0.0;
    }
    // Whether beginModulation would start from another base than last time.
    bool basesMoved() const { return !sameBits(baseLevel, startedLevel); }
    // Every control tick. pitchBend and note in semitones, r = 1 / tick length.
    // The work after the cutoff smoothing is left out when nothing it reads
    // has moved since its last full run here (sumsMoved telling for the
    // modulation sums) and its three ramps stood still then: they still do (the
    // sample loop moves a ramp only by its increment) and would get the same
    // targets again.
    void updateTick(double pitchBend, double note, double sampleRateReciprocal, float r,
                    bool firstTick, bool sumsMoved = true);
    // Per sample: filters the input accumulator, adds y * left gain and
    // y * right gain into left and right, stores y as the output, clears the
    // accumulator and advances the ramps. The voice runs its filters through
    // CFilterPair; this plain form is what the pair is held to, bit for bit.
    void process(float& left, float& right);
    // End of a render chunk: zero or denormal stage states become 0.
    void flushStates();

    struct Modulation {
        double cutoff = 0.0;    // added to the 0..1 cutoff
        double resonance = 0.0; // added to the resonance
        double level = 0.0;     // starts at the base level
        double pan = 0.0;       // added to the pan
    };
    Modulation modulation;

    static float softClip(float v) { return v / (std::fabs(v) * kClipSlope + kClipBias); }
    // Cutoff in Hz for a 0..1 cutoff (plus modulation) and a key offset in
    // semitones from note 60 already scaled by the key tracking.
    static double cutoffHz(double cutoff, double keyOffset);

    // ---- state read by the voice and tests ----
    int32_t index() const { return filterIndex; }
    uint8_t mode() const { return modeValue; }
    bool rowChanged() const { return rowChangedFlag; }
    void clearRowChanged() { rowChangedFlag = false; }
    double matrixCell(int32_t destination) const { return matrixRow[destination]; }
    const double* matrixCellPointer(int32_t destination) const { return &matrixRow[destination]; }
    double* inputPointer() { return &input; }
    const double* outputPointer() const { return &output; }
    double lastOutput() const { return output; }
    double lastCutoffHz() const { return cutoffFrequency; }
    double effectiveResonance() const { return resonanceNow; }
    const CRamp& coefficientRamp() const { return coefficient; }
    const CRamp& leftGainRamp() const { return leftGain; }
    const CRamp& rightGainRamp() const { return rightGain; }
    float stage(int32_t i) const { return s[i]; }

private:
    friend class CFilterPair; // runs the per-sample part of both filters

    // Hot per-sample state first.
    double input = 0.0;
    double output = 0.0;
    float s[4] = {};
    float w4 = 2.0f, w1 = 0.0f, w0 = 0.0f;
    float feedback = 0.0f; // effective resonance as float
    CRamp coefficient;
    CRamp leftGain;
    CRamp rightGain;
    uint8_t modeValue = kOff;

    int32_t filterIndex;
    int32_t oversamplingFactor = 1;
    double resonanceNow = 0.0;
    double keyTracking = 0.0;
    double cutoffTarget = 0.0;
    double smoothedCutoff = 0.0;
    double baseResonance = 0.0;
    double baseLevel = 0.0;
    double startedLevel = 0.0; // the base level the sums were last started from
    double pan = 0.0;
    double cutoffFrequency = 0.0;
    // The inputs cutoffFrequency was last worked out for (none yet).
    double hzForCutoff = std::numeric_limits<double>::quiet_NaN();
    double hzForKeyOffset = std::numeric_limits<double>::quiet_NaN();
    // updateTick after the smoothing: cutoff, coefficient, mode weights,
    // resonance and gains.
    void updateTargets(double pitchBend, double note, double sampleRateReciprocal, float r,
                       bool firstTick);

    // What updateTick's last full run read, and whether its ramps stood
    // still after it (none while targetsSettled is false).
    bool targetsSettled = false;
    uint8_t settledMode = kOff;
    double settledCutoff = 0.0;
    double settledBend = 0.0;
    double settledNote = 0.0;
    double settledRate = 0.0;
    double settledKeyTracking = 0.0;
    double settledResonance = 0.0;
    double settledPan = 0.0;
    // The level and pan sum the gain ramps were last aimed from (none since
    // the last reset while gainsAimed is false).
    bool gainsAimed = false;
    double gainsLevel = 0.0;
    double gainsPan = 0.0;
    double matrixRow[kMatrixDestinations] = {};
    bool rowChangedFlag = false;
};

inline void CVoiceFilter::process(float& left, float& right) {
    const float u = clampFast(float(input), -kInputLimit, kInputLimit);
    float y;
    if (modeValue == kOff) {
        y = u;
    } else {
        const float k = coefficient.current;
        float v = u - (kFeedbackPerCoefficient * k + kFeedbackBase) * feedback * s[3];
        v = softClip(v);
        s[0] += (v - s[0]) * k;
        s[1] += (s[0] - s[1]) * k;
        s[2] += (s[1] - s[2]) * k;
        s[3] += (s[2] - s[3]) * k;
        coefficient.advance();
        y = v * w0 + s[0] * w1 + s[3] * w4;
    }
    left += y * leftGain.current;
    right += y * rightGain.current;
    leftGain.advance();
    rightGain.advance();
    output = y;
    input = 0.0;
}
