#include "effects/CReverb.h"

#include "effects/SampleGuard.h"
#include "engine/Denormal.h"

#include <cmath>

namespace {
// Comb and allpass lengths in samples at the tuning rate; the right channel's
// are longer by the spread, so the two channels decorrelate.
constexpr double kTuningRate = 44100.0;
constexpr int32_t kCombTuning[CReverb::kCombs] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr int32_t kAllpassTuning[CReverb::kAllpasses] = {234, 200, 168, 125};
constexpr int32_t kStereoSpread = 123;

constexpr double kMinFeedback = double(0.55f), kMaxFeedback = 0.98;
constexpr float kMaxDamping = 0.7f;
constexpr float kInputScale = 0.02f;
constexpr float kAllpassGain = 0.5f;
constexpr float kWetGlide = 0.005f;   // per sample
constexpr float kSilentWet = 0.0001f; // below this, on both wet values, nothing runs
constexpr double kLineSeconds = 0.05; // slots of the input delay line
// The input delay line runs at its shortest pass (about five samples), wet only.
constexpr double kLineRate = 3.0, kLineDepth = 1.0;

void allocate(std::vector<float>& buffer, int32_t& length, int32_t tuning, double rate) {
    length = int32_t(double(tuning) * rate / kTuningRate);
    if (length < 1) length = 1;
    buffer = std::vector<float>(size_t(length), 0.0f);
}
} // namespace

CReverb::CReverb() = default;

void CReverb::setEnabled(double v) {
    enabled = v >= 0.5;
    setWet(wetParameter);
    clearState();
}

void CReverb::setFeedback(double v) {
    feedbackGain = float(-(kMinFeedback + (kMaxFeedback - kMinFeedback) * std::sqrt(clampUnit(v))));
}

void CReverb::setColor(double v) {
    dampingAmount = float(1.0 - clampUnit(v)) * kMaxDamping;
}

void CReverb::setWet(double v) {
    wetParameter = clampUnit(v);
    wetTargetGain = enabled ? float(wetParameter * wetParameter) : 0.0f;
}

void CReverb::clearState() {
    wetCurrentGain = wetTargetGain;
    clearPending = true;
}

void CReverb::setSampleRate(double rate) {
    const double sr = limitSampleRate(rate, sampleRate > 0.0 ? sampleRate : kTuningRate);
    if (sr != sampleRate) {
        sampleRate = sr;
        for (int k = 0; k < kCombs; ++k)
            for (int ch = 0; ch < 2; ++ch) {
                Line& line = combs[k].part[ch];
                allocate(line.buffer, line.length, kCombTuning[k] + ch * kStereoSpread, sr);
                line.index = 0;
                line.store = 0.0f;
            }
        for (int k = 0; k < kAllpasses; ++k)
            for (int ch = 0; ch < 2; ++ch) {
                Line& line = allpasses[k].part[ch];
                allocate(line.buffer, line.length, kAllpassTuning[k] + ch * kStereoSpread, sr);
                line.index = 0;
            }
        clearPending = true;
    }
    delayLine = std::make_unique<CDelayLine>(int32_t(kLineSeconds * sr), 0.0);
    delayLine->setWet(1.0);
    delayLine->setSize(1.0);
    delayLine->setDepth(kLineDepth);
    delayLine->setRate(kLineRate);
    delayLine->setFeedback(0.0);
    delayLine->setDry(0.0f);
}

bool CReverb::applyValue(int32_t id, double x) {
    switch (id) {
    case 33:
        setEnabled(x);
        return true;
    case 34:
        setFeedback(x);
        return true;
    case 35:
        setColor(x);
        return true;
    case 36:
        setWet(x);
        return true;
    default:
        return false;
    }
}

void CReverb::clearNow() {
    for (Stage* stages : {combs, allpasses}) {
        const int count = stages == combs ? kCombs : kAllpasses;
        for (int k = 0; k < count; ++k)
            for (Line& line : stages[k].part) {
                for (float& s : line.buffer)
                    s = 0.0f;
                line.index = 0;
                line.store = 0.0f;
            }
    }
    delayLine->clear();
}

void CReverb::process(float* left, float* right, int32_t frames) {
    if (!delayLine) return;
    if (!(wetCurrentGain >= kSilentWet || wetTargetGain >= kSilentWet)) return;
    if (clearPending.exchange(false)) clearNow();
    for (int32_t done = 0; done < frames; done += kMaxBlock) {
        const int32_t n = frames - done < kMaxBlock ? frames - done : kMaxBlock;
        renderBlock(left + done, right + done, n);
    }
}

float CReverb::runChannel(int channel, float input) {
    const float fb = feedbackGain, damp = dampingAmount, undamped = 1.0f - damp;
    float s = 0.0f;
    for (Stage& comb : combs) {
        Line& c = comb.part[channel];
        const float o = c.buffer[size_t(c.index)];
        s += o;
        c.store = flushDenormal(flushDenormal(c.store) * damp + o * undamped);
        c.buffer[size_t(c.index)] = c.store * fb + input;
        if (++c.index >= c.length) c.index = 0;
    }
    for (Stage& allpass : allpasses) {
        Line& a = allpass.part[channel];
        const float b = flushDenormal(a.buffer[size_t(a.index)]);
        a.buffer[size_t(a.index)] = b * kAllpassGain + s;
        if (++a.index >= a.length) a.index = 0;
        s = b - s;
    }
    return s;
}

void CReverb::renderBlock(float* left, float* right, int32_t frames) {
    for (int32_t i = 0; i < frames; ++i)
        mono[i] = (left[i] + right[i]) * 0.5f;
    delayLine->process(mono, frames);
    for (int32_t i = 0; i < frames; ++i) {
        // Only finite input reaches the combs: a NaN there would ring forever.
        const float u = finiteOrZero(mono[i] * kInputScale);
        const float sl = runChannel(0, u);
        const float sr = runChannel(1, u);
        left[i] += sl * wetCurrentGain;
        right[i] += sr * wetCurrentGain;
        wetCurrentGain =
            flushDenormal(wetCurrentGain + (wetTargetGain - wetCurrentGain) * kWetGlide);
    }
}
