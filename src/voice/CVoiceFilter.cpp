#include "voice/CVoiceFilter.h"

#include "base/Clamp.h"
#include "base/ToRange.h"
#include "base/ValueIds.h"
#include "voice/CLadderRateMatch.h"

namespace {
// The last of a filter's modulation cells feeds the other filter; the rest
// feed operators 1..8.
constexpr int32_t kOtherFilterCellOffset = kFilterModulationOffset + kFilterModulationCount - 1;
// Smoothing of the cutoff per control tick.
constexpr double kCutoffSmoothing = 0.1;
// Cutoff 0..1 spans 108 semitones; key tracking follows around note 60.
constexpr double kCutoffSemitones = 108.0;
constexpr double kKeyTrackingCentre = 60.0;
// fc = 2^(x * 0.08333333333333 + 6.3) Hz (this decimal, not exactly 1/12).
constexpr double kOctavesPerSemitone = 0.08333333333333;
constexpr double kBaseOctave = 6.3;
// Band-pass and high-pass run at 60 % of the resonance.
constexpr double kReducedResonance = 0.6;
// Output weights (w4 on the last stage, w1 on the first, w0 on the clipped input).
constexpr float kLowPassW4 = 2.0f;
constexpr int32_t kPercentSteps = 100;
constexpr double kStep = 0.01;
constexpr int32_t kMaxMode = 3;

} // namespace

CVoiceFilter::CVoiceFilter(int32_t index) : filterIndex(index) {
    resetForNote();
}

void CVoiceFilter::setOversampling(int32_t factor) {
    oversamplingFactor = factor > 1 ? 2 : 1;
    if (oversamplingFactor > 1) CLadderRateMatch::prepare();
}

void CVoiceFilter::setMatrixCell(int32_t destination, double v) {
    if (destination < 0 || destination >= kMatrixDestinations) return;
    v = clampValue(v, -1.0, 1.0);
    matrixRow[destination] = v * std::fabs(v);
    rowChangedFlag = true;
}

void CVoiceFilter::setPan(double value) {
    pan = clampValue(value, -1.0, 1.0);
}
void CVoiceFilter::setLevel(double level) {
    baseLevel = clampValue(level, -1.0, 1.0);
}
void CVoiceFilter::setMode(uint8_t mode) {
    modeValue = mode;
}
void CVoiceFilter::setResonance(float resonance) {
    baseResonance = clampValue(resonance, 0.0, 1.0);
}
void CVoiceFilter::setKeyTracking(double amount) {
    keyTracking = clampValue(amount, 0.0, 1.0);
}
void CVoiceFilter::setCutoff(double cutoff) {
    cutoffTarget = clampValue(cutoff, 0.0, 1.0);
}

bool CVoiceFilter::applyValue(int32_t id, double x) {
    if (id == kFilterCutoffId[filterIndex]) {
        setCutoff(toRange(x, 0, kPercentSteps) * kStep);
        return true;
    }
    if (id == kFilterResonanceId[filterIndex]) {
        setResonance(float(toRange(x, 0, kPercentSteps) * kStep));
        return true;
    }
    if (id == kFilterModeId[filterIndex]) {
        setMode(uint8_t(toRange(x, 0, kMaxMode)));
        return true;
    }
    if (id == kFilter1KeyTrackingId + filterIndex) {
        setKeyTracking(toRange(x, 0, kPercentSteps) * kStep);
        return true;
    }
    const int32_t first = kFilterFirstId + kFilterIdStride * filterIndex;
    if (id < first || id >= first + kFilterIdStride) return false;
    const double v = toRange(x, -kPercentSteps, kPercentSteps) * kStep;
    const int32_t k = id - first;
    if (k == kFilterLevelOffset)
        setLevel(v);
    else if (k == kFilterPanOffset)
        setPan(v);
    else if (k == kOtherFilterCellOffset) // into the other filter's input
        setMatrixCell(kOperatorCount + (1 - filterIndex), v);
    else
        setMatrixCell(k - kFilterModulationOffset, v);
    return true;
}

void CVoiceFilter::resetForNote() {
    for (float& x : s)
        x = 0.0f;
    input = 0.0;
    output = 0.0;
    leftGain.clear();
    rightGain.clear();
    gainsAimed = false;
    targetsSettled = false;
    coefficient.clear();
    smoothedCutoff = cutoffTarget;
    rowChangedFlag = false;
}

double CVoiceFilter::cutoffHz(double cutoff, double keyOffset) {
    const double x = keyOffset + cutoff * kCutoffSemitones;
    return clampValue(std::exp2(x * kOctavesPerSemitone + kBaseOctave), kMinCutoffHz, kMaxCutoffHz);
}

void CVoiceFilter::updateTick(double pitchBend, double note, double sampleRateReciprocal, float r,
                              bool firstTick, bool sumsMoved) {
    smoothedCutoff += (cutoffTarget - smoothedCutoff) * kCutoffSmoothing;
    if (!firstTick && !sumsMoved && targetsSettled && sameBits(smoothedCutoff, settledCutoff) &&
        sameBits(pitchBend, settledBend) && sameBits(note, settledNote) &&
        sameBits(sampleRateReciprocal, settledRate) && sameBits(keyTracking, settledKeyTracking) &&
        sameBits(baseResonance, settledResonance) && sameBits(pan, settledPan) &&
        modeValue == settledMode)
        return;
    // Taken before updateTargets reads them: a change after still shows next tick.
    settledCutoff = smoothedCutoff;
    settledBend = pitchBend;
    settledNote = note;
    settledRate = sampleRateReciprocal;
    settledKeyTracking = keyTracking;
    settledResonance = baseResonance;
    settledPan = pan;
    settledMode = modeValue;
    updateTargets(pitchBend, note, sampleRateReciprocal, r, firstTick);
    targetsSettled = coefficient.standsStill() && leftGain.standsStill() && rightGain.standsStill();
}

void CVoiceFilter::updateTargets(double pitchBend, double note, double sampleRateReciprocal,
                                 float r, bool firstTick) {
    // exp2 only when its inputs moved; a held note's cutoff settles.
    const double cutoff = smoothedCutoff + modulation.cutoff;
    const double keyOffset = (pitchBend + note - kKeyTrackingCentre) * keyTracking;
    if (!(cutoff == hzForCutoff && keyOffset == hzForKeyOffset)) {
        hzForCutoff = cutoff;
        hzForKeyOffset = keyOffset;
        cutoffFrequency = cutoffHz(cutoff, keyOffset);
    }
    double resonance = clampValue(baseResonance + modulation.resonance, 0.0, 1.0);
    // The coefficient the filter has at the host rate.
    float k = float(sampleRateReciprocal * oversamplingFactor * cutoffFrequency);
    k = k < kMaxCoefficient ? k : kMaxCoefficient;
    double feedbackScale = 1.0;
    if (oversamplingFactor > 1) {
        const CLadderRateMatch::Setting fine = CLadderRateMatch::atTwiceTheRate(k);
        k = fine.coefficient;
        feedbackScale = fine.feedbackScale;
    }
    // A ramp that stands still at the target it would get again is left alone
    // (retargeting it would change nothing); a held note's filter settles so.
    if (firstTick || !coefficient.keeps(k)) coefficient.retarget(k, r, firstTick);

    switch (modeValue) {
    case kOff:
        w4 = 1.0f, w1 = 0.0f, w0 = 0.0f;
        resonance = 0.0;
        coefficient.set(1.0f);
        break;
    case kBandPass:
        w4 = -1.0f, w1 = 1.0f, w0 = 0.0f;
        resonance *= kReducedResonance;
        break;
    case kHighPass:
        w4 = -1.0f, w1 = 0.0f, w0 = 1.0f;
        resonance *= kReducedResonance;
        break;
    default:
        w4 = kLowPassW4, w1 = 0.0f, w0 = 0.0f;
        break;
    }
    resonanceNow = resonance;
    feedback = oversamplingFactor > 1 ? float(resonance * feedbackScale) : float(resonance);

    const double level = modulation.level;
    const double panSum = pan + modulation.pan;
    if (!firstTick && gainsAimed && sameBits(level, gainsLevel) && sameBits(panSum, gainsPan) &&
        leftGain.standsStill() && rightGain.standsStill())
        return; // the same gain targets as last tick, already reached
    gainsAimed = true;
    gainsLevel = level;
    gainsPan = panSum;
    const double g = clampValue(level * std::fabs(level), -1.0, 1.0);
    const double p = clampValue((panSum + 1.0) * 0.5, 0.0, 1.0);
    leftGain.retarget(float((1.0 - p) * g), r, firstTick);
    rightGain.retarget(float(p * g), r, firstTick);
}

void CVoiceFilter::flushStates() {
    for (float& x : s)
        x = flushDenormal(x);
}
