#include "voice/CSampleLayer.h"

#include "base/Clamp.h"
#include "voice/CSamplerSlot.h"
#include "waves/CWaveSample.h"

#include <cmath>

namespace {
// The layer's gains are amplitude x 2 x (1 - p) and amplitude x 2 x p.
constexpr double kPanGain = 2.0;
// A step this large skips a whole loop per sample already; beyond it the
// pitch means nothing and would only push the position toward overflow.
constexpr double kMaxStep = 1048576.0;
constexpr double kMinLoopLength = 1.0;

} // namespace

void CSampleLayer::clear() {
    slotPointer = nullptr;
    sample = nullptr;
    framePosition = 0.0;
    stepValue = 0.0;
    stepIncrement = 0.0;
    endPosition = 0.0;
    loopLength = 0.0;
    leftGain.clear();
    rightGain.clear();
}

double CSampleLayer::targetStep(double outputRateReciprocal, double rateFactor,
                                double bendPlusNote) {
    double e = modulation.pitch;
    if (slotPointer->keyboardFollow) e += bendPlusNote - slotPointer->rootKey;
    const double step = sample->sampleRate() * outputRateReciprocal * rateFactor * pitchRatio.of(e);
    return clampValue(step, 0.0, kMaxStep);
}

void CSampleLayer::begin(const CSamplerSlot* slot, double outputRateReciprocal, double rateFactor,
                         double bendPlusNote) {
    clear();
    if (!slot || !slot->sample) return;
    const CWaveSample* s = slot->sample;
    const int32_t length = s->length();
    if (length <= 0) return;
    slotPointer = slot;
    sample = s;
    stereo = s->channels() >= 2;
    framePosition = 0.0;
    double step = s->sampleRate() * outputRateReciprocal * rateFactor;
    if (slot->keyboardFollow) step *= std::pow(kSemitone, bendPlusNote - slot->rootKey);
    stepValue = clampValue(step, 0.0, kMaxStep);
    // Loop points beyond the sample's end are held to it.
    const int32_t loopEnd = s->loopEnd() < length ? s->loopEnd() : length;
    if (slot->loop && loopEnd > 0) {
        endPosition = loopEnd;
        loopLength = s->loopStart() >= 0 ? loopEnd - s->loopStart() : 0.0;
    } else {
        endPosition = length;
        loopLength = 0.0;
    }
}

void CSampleLayer::retargetGains(float r, bool firstTick) {
    const double p = clampValue(modulation.pan * 0.5 + 0.5, 0.0, 1.0);
    leftGain.retarget(float(modulation.amplitude * kPanGain * (1.0 - p)), r, firstTick);
    rightGain.retarget(float(modulation.amplitude * kPanGain * p), r, firstTick);
}

void CSampleLayer::updateTick(double outputRateReciprocal, double rateFactor, double bendPlusNote,
                              float r, bool firstTick) {
    if (!sample) return;
    const double target = targetStep(outputRateReciprocal, rateFactor, bendPlusNote);
    stepIncrement = (target - stepValue) * r;
    retargetGains(r, firstTick);
}

void CSampleLayer::process(float& left, float& right, double& filter1Input, double& filter2Input) {
    const int32_t i = int32_t(framePosition);
    const float f = float(framePosition - i);
    const float first = sample->interpolate(i, f, 0);
    const float lv = first * leftGain.current;
    // A mono sample is panned by the two gains like a stereo one.
    const float rv = (stereo ? sample->interpolate(i, f, 1) : first) * rightGain.current;
    leftGain.advance();
    rightGain.advance();
    left += lv * slotPointer->leftLevel;
    right += rv * slotPointer->rightLevel;
    const float both = lv + rv;
    filter1Input += both * slotPointer->sendFilter1;
    filter2Input += both * slotPointer->sendFilter2;
    framePosition += stepValue;
    stepValue += stepIncrement;
    if (framePosition >= endPosition) {
        if (loopLength >= kMinLoopLength) {
            framePosition -= loopLength;
            // A step longer than the loop lands at the loop start.
            if (framePosition >= endPosition) framePosition = endPosition - loopLength;
        } else {
            sample = nullptr; // a one-shot sample ends for the rest of the note
        }
    }
}

void CSampleLayer::forget(const CWaveSample* s) {
    if (s && sample == s) sample = nullptr;
}
