#include "effects/CReverb.h"

#include "base/Denormal.h"
#include "base/SampleGuard.h"
#include "base/ValueIds.h"

#include <algorithm>
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

// Left uninitialised: a new buffer is cleared at the start of the first block
// that runs the reverb.
void allocate(std::unique_ptr<float[]>& buffer, int32_t& length, int32_t tuning, double rate) {
    length = int32_t(double(tuning) * rate / kTuningRate);
    if (length < 1) length = 1;
    buffer.reset(new float[size_t(length)]);
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
    case kReverbEnableId:
        setEnabled(x);
        return true;
    case kReverbFeedbackId:
        setFeedback(x);
        return true;
    case kReverbColorId:
        setColor(x);
        return true;
    case kReverbWetId:
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
                std::fill(line.buffer.get(), line.buffer.get() + line.length, 0.0f);
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

// One comb, both channels, over a block. The two channels' recursions are
// independent, so running them side by side hides each one's latency; stores
// and indices stay in registers.
void CReverb::runComb(Stage& comb, const float* input, int32_t frames, float fb, float damp) {
    const float undamped = 1.0f - damp;
    Line& l = comb.part[0];
    Line& r = comb.part[1];
    float* bufL = l.buffer.get();
    float* bufR = r.buffer.get();
    float* sumL = wetSignal[0];
    float* sumR = wetSignal[1];
    const int32_t lengthL = l.length, lengthR = r.length;
    int32_t iL = l.index, iR = r.index;
    // The stores are flushed as they are written, so they are never denormal on reading.
    float storeL = flushDenormal(l.store), storeR = flushDenormal(r.store);
    for (int32_t i = 0; i < frames; ++i) {
        const float u = input[i];
        const float oL = bufL[iL], oR = bufR[iR];
        sumL[i] += oL;
        sumR[i] += oR;
        storeL = flushSilence(storeL * damp + oL * undamped);
        storeR = flushSilence(storeR * damp + oR * undamped);
        bufL[iL] = storeL * fb + u;
        bufR[iR] = storeR * fb + u;
        if (++iL >= lengthL) iL = 0;
        if (++iR >= lengthR) iR = 0;
    }
    l.index = iL;
    r.index = iR;
    l.store = storeL;
    r.store = storeR;
}

// One allpass, both channels, over a block, in series on the wet signals.
void CReverb::runAllpass(Stage& allpass, int32_t frames) {
    Line& l = allpass.part[0];
    Line& r = allpass.part[1];
    float* bufL = l.buffer.get();
    float* bufR = r.buffer.get();
    float* sL = wetSignal[0];
    float* sR = wetSignal[1];
    const int32_t lengthL = l.length, lengthR = r.length;
    int32_t iL = l.index, iR = r.index;
    for (int32_t i = 0; i < frames; ++i) {
        const float bL = flushSilence(bufL[iL]), bR = flushSilence(bufR[iR]);
        bufL[iL] = bL * kAllpassGain + sL[i];
        bufR[iR] = bR * kAllpassGain + sR[i];
        if (++iL >= lengthL) iL = 0;
        if (++iR >= lengthR) iR = 0;
        sL[i] = bL - sL[i];
        sR[i] = bR - sR[i];
    }
    l.index = iL;
    r.index = iR;
}

void CReverb::renderBlock(float* left, float* right, int32_t frames) {
    for (int32_t i = 0; i < frames; ++i)
        mono[i] = (left[i] + right[i]) * 0.5f;
    delayLine->process(mono, frames);
    // Only finite input reaches the combs: a NaN there would ring forever.
    for (int32_t i = 0; i < frames; ++i)
        mono[i] = finiteOrZero(mono[i] * kInputScale);
    const float fb = feedbackGain, damp = dampingAmount;
    std::fill(wetSignal[0], wetSignal[0] + frames, 0.0f);
    std::fill(wetSignal[1], wetSignal[1] + frames, 0.0f);
    for (Stage& comb : combs)
        runComb(comb, mono, frames, fb, damp);
    for (Stage& allpass : allpasses)
        runAllpass(allpass, frames);
    float wet = wetCurrentGain;
    const float target = wetTargetGain;
    for (int32_t i = 0; i < frames; ++i) {
        left[i] += wetSignal[0][i] * wet;
        right[i] += wetSignal[1][i] * wet;
        wet = flushDenormal(wet + (target - wet) * kWetGlide);
    }
    wetCurrentGain = wet;
}
