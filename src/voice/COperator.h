// One wave-table oscillator of a voice, with a phase-modulation input.
//
// Phase is a 32-bit fraction of one cycle (wrapping arithmetic, so no wrap
// test). Pitches are in Hz, pitch modulation in semitones, phases in cycles,
// levels linear. The operator reads a band-limited wave table from the wave
// manager, chosen every second control tick for its current frequency.
//
// Threads: the parameter setters (and applyValue) are called by the renderer
// on the audio thread at the start of a block (or while no block can render);
// the voice picks the values up at its next control tick. Everything runs on
// the audio thread: no allocation, no locks.
#pragma once

#include "base/FastClamp.h"
#include "base/SameBits.h"
#include "base/SemitoneRatio.h"
#include "voice/CRamp.h"

#include <cstdint>
#include <cstring>
#include <limits>

class CWaveManager;

class COperator {
public:
    static constexpr int32_t kMatrixDestinations = 10; // operators 0..7, filters 0..1
    static constexpr double kMaxCoarse = 96.0;
    static constexpr double kMaxFrequencyOffset = 9999.99; // Hz
    // The base phase carries 20 whole cycles; with the 4294967295 scale below
    // they shift the phase by -20 units of 2^-32 cycle.
    static constexpr float kBasePhaseCycles = 20.0f;
    static constexpr double kPhaseScale = 4294967295.0; // cycles -> 2^-32 units
    // Phase inputs are held within +-2^18 cycles before conversion; real
    // modulation never comes near, but an operator that is switched off keeps
    // collecting matrix input, and the conversion must stay defined.
    static constexpr double kPhaseInputLimit = 262144.0;
    // Table reading: the top 8 phase bits pick one of 256 segments, the low 24
    // are the position inside it.
    static constexpr int kSegmentShift = 24;
    static constexpr uint32_t kFractionMask = 0xFFFFFFu;
    static constexpr float kFractionScale = 1.0f / 16777216.0f; // 2^-24
    // Adding 1.5 * 2^52 to a double leaves its value rounded to the nearest
    // integer in the low mantissa bits, exactly and without a float-to-integer
    // conversion (valid below 2^51).
    static constexpr double kRoundingMagic = 6755399441055744.0;

    // A phase input (cycles, already within +-kPhaseInputLimit) in 2^-32
    // cycle units, rounded to nearest and taken modulo 2^32.
    static uint32_t phaseUnits(double cycles) {
        const double shifted = cycles * kPhaseScale + kRoundingMagic;
        uint64_t bits;
        std::memcpy(&bits, &shifted, sizeof bits);
        return uint32_t(bits);
    }

    explicit COperator(int32_t index = 0) : operatorIndex(index) {}

    // ---- parameter setters (renderer, between blocks) ----
    void setOn(double value);                // on when value > 0.5
    void setMixLevel(double level);          // -1..1; -1 is full level, inverted
    void setPan(double pan);                 // -1 (left) .. 1 (right)
    void setFreeRunningPhase(uint8_t value); // non-zero: phase persists across notes
    void setAmplitude(double amplitude);     // 0..1
    void setPhase(double phase);             // start phase, 0..1 cycles
    // Matrix amount into destination 0..9 (others ignored): v clamped to -1..1
    // and stored as v * |v|; marks the row as changed for the voice's routing.
    void setMatrixCell(int32_t destination, double v);
    // coarse: -96..96, a frequency ratio when mode < 0.5, semitones otherwise.
    void setCoarse(double coarse, double mode);
    void setFrequencyOffset(double hz); // -9999.99..9999.99 Hz

    // Renderer's apply step for one value ID with normalised value x: the
    // operator's own IDs (72 + 13 i .. 84 + 13 i for operator i) and, when
    // selectedOperator is this operator, the selected-operator IDs 324..329.
    // Returns whether the ID changed this operator.
    bool applyValue(int32_t id, double x, int32_t selectedOperator);

    // ---- voice side (audio thread) ----
    void setSampleRate(double rate); // Hz; the voice gives every operator its rate

    // Fresh note: ramps to 0, phase input 0, base phase 20 cycles, increment 0,
    // accumulator 0 unless the phase runs free; the routing must be rebuilt.
    void resetForNote();

    // Starts a control tick's modulation sums from the parameter bases; the
    // voice's envelopes then add or multiply into `modulation`.
    void beginModulation() {
        modulation.amplitude = startedAmplitude = amplitude;
        modulation.pitch = 0.0;
        modulation.frequency = 0.0;
        modulation.mixLevel = startedMixLevel = mixLevel;
        modulation.pan = 0.0;
        modulation.phase = 0.0;
    }
    // Whether beginModulation would start from other bases than last time.
    bool basesMoved() const {
        return !sameBits(amplitude, startedAmplitude) || !sameBits(mixLevel, startedMixLevel);
    }

    // Every second tick: frequency from the key frequency (Hz), table choice,
    // phase increment. Left out when nothing it reads has moved since its last
    // run here: the key frequency, the wave manager (which rebuilds its tables
    // in place, so the chosen table stays valid), the tuning parameters and,
    // sumsMoved telling, the modulation sums.
    void updateFrequency(double keyFrequency, const CWaveManager* waves, bool sumsMoved = true) {
        if (frequencyHeld && !sumsMoved && sameBits(keyFrequency, heldKeyFrequency) &&
            waves == heldWaves && sameBits(coarse, heldCoarse) &&
            sameBits(coarseMode, heldCoarseMode) && sameBits(frequencyOffset, heldOffset))
            return;
        frequencyHeld = true; // taken before the work reads them: a change after shows
        heldKeyFrequency = keyFrequency;
        heldWaves = waves;
        heldCoarse = coarse;
        heldCoarseMode = coarseMode;
        heldOffset = frequencyOffset;
        workOutFrequency(keyFrequency, waves);
    }
    void updateBasePhase() {
        basePhaseCycles = float(kBasePhaseCycles + startPhase + modulation.phase);
    }
    // Every tick, r = 1 / tick length. A ramp that stands still at the target
    // it would get again is left alone (retargeting it would change nothing);
    // held notes spend most ticks so, hence the checks inline here.
    void updateAmplitude(float r, bool firstTick) {
        const float target = on ? float(modulation.amplitude) : 0.0f;
        if (firstTick || !amplitudeValue.keeps(target))
            amplitudeValue.retarget(target, r, firstTick);
    }
    void updateGains(float r, bool firstTick) {
        const double s = modulation.mixLevel;
        const double panSum = pan + modulation.pan;
        if (firstTick || !sameBits(s, gainsMixLevel) || !sameBits(panSum, gainsPan) ||
            !leftGain.standsStill() || !rightGain.standsStill())
            retargetGains(s, panSum, r, firstTick);
    }
    // Both of the above. sumsMoved: whether `modulation` may differ from the
    // last tick's. Ramps that stood still at their targets after the last
    // update still do (the sample loop moves a ramp only by its increment), so
    // with the same sums, switch and pan they would get the same targets again
    // and the two updates would change nothing.
    void updateRamps(float r, bool firstTick, bool sumsMoved) {
        if (!firstTick && !sumsMoved && rampsSettled && on == settledOn &&
            sameBits(pan, settledPan))
            return;
        settledOn = on; // taken before the updates read them: a change after still shows
        settledPan = pan;
        updateAmplitude(r, firstTick);
        updateGains(r, firstTick);
        rampsSettled =
            amplitudeValue.standsStill() && leftGain.standsStill() && rightGain.standsStill();
    }

    // Per sample, only while on: produces s (amplitude applied, mix level and
    // pan not), adds s * left gain and s * right gain into left and right,
    // stores s as the output, advances the ramps and resets the phase input to
    // the base phase. Interpolate false reads each segment's constant term only.
    // The voice plays its operators through COperatorBank; this plain form is
    // what the bank's loops are held to, lane by lane and bit for bit.
    template <bool Interpolate> void produce(float& left, float& right);

    struct Modulation {
        double amplitude = 0.0; // linear, starts at the base amplitude
        double pitch = 0.0;     // semitones
        double frequency = 0.0; // Hz
        double mixLevel = 0.0;  // starts at the base mix level
        double pan = 0.0;       // added to the pan
        double phase = 0.0;     // cycles
    };
    Modulation modulation;

    // ---- state read by the voice and tests ----
    int32_t index() const { return operatorIndex; }
    bool isOn() const { return on; }
    bool rowChanged() const { return rowChangedFlag; }
    void clearRowChanged() { rowChangedFlag = false; }
    double matrixCell(int32_t destination) const { return matrixRow[destination]; }
    const double* matrixCellPointer(int32_t destination) const { return &matrixRow[destination]; }
    double* phaseInputPointer() { return &phaseInput; }
    const double* outputPointer() const { return &output; }
    double lastOutput() const { return output; }
    uint32_t phaseIncrement() const { return increment; }
    uint32_t phaseAccumulator() const { return accumulator; }
    double frequency() const { return lastFrequency; }
    const float* waveTable() const { return table; }
    float basePhase() const { return basePhaseCycles; }
    const CRamp& amplitudeRamp() const { return amplitudeValue; }
    const CRamp& leftGainRamp() const { return leftGain; }
    const CRamp& rightGainRamp() const { return rightGain; }
    bool freeRunningPhase() const { return freeRunning != 0; }

private:
    friend class COperatorBank; // runs the per-sample part of running operators

    // Played until the first table choice, so an operator never reads null.
    static const float kSilentTable[];
    // updateFrequency's work: frequency, table and increment.
    void workOutFrequency(double keyFrequency, const CWaveManager* waves);
    // Aims both gain ramps at mix level s (before its square law) and pan panSum.
    void retargetGains(double s, double panSum, float r, bool firstTick);

    // Hot per-sample state first.
    double phaseInput = 0.0; // cycles; reset to the base phase every sample
    double output = 0.0;
    uint32_t accumulator = 0;
    uint32_t increment = 0;
    const float* table = kSilentTable;
    float basePhaseCycles = kBasePhaseCycles;
    CRamp amplitudeValue;
    CRamp leftGain;
    CRamp rightGain;

    // Control state.
    int32_t operatorIndex;
    double rateReciprocal = 1.0 / 44100.0;
    double sampleRate = 44100.0;
    double lastFrequency = 0.0;
    // The frequency the table level was last chosen for (none yet), and that
    // level: a held pitch keeps its level.
    double levelFrequency = std::numeric_limits<double>::quiet_NaN();
    int32_t tableLevel = 0;
    double matrixRow[kMatrixDestinations] = {};
    bool on = true;
    bool rowChangedFlag = false;

    // The mix level and pan sum the gain ramps were last aimed from.
    double gainsMixLevel = 0.0;
    double gainsPan = 0.0;
    // After updateRamps' last full update: whether all three ramps stood still,
    // and the switch and pan it read.
    bool rampsSettled = false;
    bool settledOn = true;
    double settledPan = 0.0;
    // What updateFrequency's last full update read (none while
    // frequencyHeld is false).
    bool frequencyHeld = false;
    double heldKeyFrequency = 0.0;
    const CWaveManager* heldWaves = nullptr;
    double heldCoarse = 0.0;
    double heldCoarseMode = 0.0;
    double heldOffset = 0.0;

    // Control-rate powers, kept while their semitones stay the same.
    SemitoneRatio pitchRatio;
    SemitoneRatio coarseRatio;

    // Parameters.
    double coarse = 1.0;
    double coarseMode = 0.0;
    double frequencyOffset = 0.0;
    double mixLevel = 0.0;
    double pan = 0.0;
    double startPhase = 0.0;
    double amplitude = 0.0;
    uint8_t freeRunning = 1;
    // The bases the modulation sums were last started from.
    double startedAmplitude = 0.0;
    double startedMixLevel = 0.0;
};

template <bool Interpolate> inline void COperator::produce(float& left, float& right) {
    const double p = clampFast(phaseInput, -kPhaseInputLimit, kPhaseInputLimit);
    const uint32_t ph = accumulator + phaseUnits(p);
    accumulator += increment;
    const float* c = table + ((ph >> kSegmentShift) << 2);
    float w;
    if constexpr (Interpolate) {
        const float f = float(int32_t(ph & kFractionMask)) * kFractionScale;
        w = ((c[3] * f + c[2]) * f + c[1]) * f + c[0];
    } else {
        w = c[0];
    }
    const float s = w * amplitudeValue.current;
    output = s;
    left += s * leftGain.current;
    right += s * rightGain.current;
    amplitudeValue.advance();
    leftGain.advance();
    rightGain.advance();
    phaseInput = basePhaseCycles;
}
