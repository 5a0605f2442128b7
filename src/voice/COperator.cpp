#include "voice/COperator.h"

#include "base/Clamp.h"
#include "base/ToRange.h"
#include "base/ValueIds.h"
#include "waves/CWaveManager.h"

#include <cmath>

namespace {
constexpr double kSwitchThreshold = 0.5;
constexpr double kMaxIncrementFraction = 0.5; // of the sample rate (Nyquist)

// Bipolar values arrive as 0..1 and map to -1.00..1.00 in steps of 0.01.
constexpr int32_t kBipolarSteps = 100;
constexpr double kStep = 0.01;

double bipolar(double x) {
    return toRange(x, -kBipolarSteps, kBipolarSteps) * kStep;
}
} // namespace

const float COperator::kSilentTable[CWaveManager::kLevelFloats] = {};

void COperator::setOn(double value) {
    on = value > kSwitchThreshold;
}
void COperator::setMixLevel(double level) {
    mixLevel = clampValue(level, -1.0, 1.0);
}
void COperator::setPan(double value) {
    pan = clampValue(value, -1.0, 1.0);
}
void COperator::setFreeRunningPhase(uint8_t value) {
    freeRunning = value;
}
void COperator::setAmplitude(double value) {
    amplitude = clampValue(value, 0.0, 1.0);
}
void COperator::setPhase(double phase) {
    startPhase = clampValue(phase, 0.0, 1.0);
}

void COperator::setMatrixCell(int32_t destination, double v) {
    if (destination < 0 || destination >= kMatrixDestinations) return;
    v = clampValue(v, -1.0, 1.0);
    matrixRow[destination] = v * std::fabs(v);
    rowChangedFlag = true;
}

void COperator::setCoarse(double value, double mode) {
    coarse = clampValue(value, -kMaxCoarse, kMaxCoarse);
    coarseMode = mode;
}

void COperator::setFrequencyOffset(double hz) {
    frequencyOffset = clampValue(hz, -kMaxFrequencyOffset, kMaxFrequencyOffset);
}

bool COperator::applyValue(int32_t id, double x, int32_t selectedOperator) {
    const int32_t first = kOperatorFirstId + kOperatorIdStride * operatorIndex;
    if (id >= first && id < first + kOperatorIdStride) {
        const int32_t k = id - first;
        if (k == kOperatorMixOffset)
            setMixLevel(bipolar(x));
        else if (k == kOperatorPanOffset)
            setPan(bipolar(x));
        else if (k == kOperatorEnabledOffset)
            setOn(x);
        else
            setMatrixCell(k - kOperatorModulationOffset, bipolar(x));
        return true;
    }
    if (selectedOperator != operatorIndex) return false;
    switch (id) {
    case kSelectedStartPhaseId:
        setPhase(x);
        return true;
    case kSelectedAuxSwitchId:
        setFreeRunningPhase(x > kSwitchThreshold ? 1 : 0);
        return true;
    case kSelectedCoarseTuneId:
        setCoarse(x, coarseMode);
        return true;
    case kSelectedOffsetHzId:
        setFrequencyOffset(x);
        return true;
    case kSelectedAmplitudeId:
        setAmplitude(x);
        return true;
    case kSelectedTuneModeId:
        setCoarse(coarse, x);
        return true;
    default:
        return false;
    }
}

void COperator::setSampleRate(double rate) {
    sampleRate = rate;
    rateReciprocal = 1.0 / rate;
    levelFrequency = std::numeric_limits<double>::quiet_NaN(); // the level depends on the rate
    frequencyHeld = false;                                     // and so does the increment
}

void COperator::resetForNote() {
    amplitudeValue.clear();
    leftGain.clear();
    rightGain.clear();
    rampsSettled = false;
    frequencyHeld = false; // the increment is cleared below
    phaseInput = 0.0;
    rowChangedFlag = true;
    basePhaseCycles = kBasePhaseCycles;
    increment = 0;
    if (!freeRunning) accumulator = 0;
}

void COperator::workOutFrequency(double keyFrequency, const CWaveManager* waves) {
    const double c = coarse;
    const double base =
        coarseMode < kSwitchThreshold ? keyFrequency * c : keyFrequency * coarseRatio.of(c);
    const double f =
        pitchRatio.of(modulation.pitch) * (base + frequencyOffset) + modulation.frequency;
    lastFrequency = f;
    if (waves) {
        // The same as waves->selectTable(operatorIndex, f, sampleRate).
        if (!(f == levelFrequency)) {
            levelFrequency = f;
            tableLevel = CWaveManager::levelFor(f, sampleRate);
        }
        table = waves->levelTable(operatorIndex, tableLevel);
    }
    const double x = clampValue(f * rateReciprocal, 0.0, kMaxIncrementFraction);
    increment = uint32_t(x * kPhaseScale);
}

void COperator::retargetGains(double s, double panSum, float r, bool firstTick) {
    gainsMixLevel = s;
    gainsPan = panSum;
    const double m = s * std::fabs(s);
    const double p = clampValue((panSum + 1.0) * 0.5, 0.0, 1.0);
    leftGain.retarget(float((1.0 - p) * m), r, firstTick);
    rightGain.retarget(float(p * m), r, firstTick);
}
