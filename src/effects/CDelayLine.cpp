#include "effects/CDelayLine.h"

#include "base/Denormal.h"
#include "base/SampleGuard.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {
constexpr int32_t kMinSlots = 5;
constexpr int32_t kCarriedHistory = 3; // history entries 7, 8, 9 join two passes
constexpr double kMaxStep = 0.2;       // a pass lasts at least five samples
constexpr double kStepSettleLimit = 1e-8;
constexpr double kStepGlide = 0.001;
constexpr float kGainGlide = 0.01f;
constexpr float kInputFade = 0.001f;
constexpr float kMinDamping = 0.05f;
constexpr double kSizeSpan = 0.99;
} // namespace

CDelayLine::CDelayLine(int32_t slots, double position) {
    slotCount = slots < kMinSlots ? kMinSlots : slots;
    passCapacity = slotCount + 1;
    for (Pass& pass : passes) {
        // History, the pass entries and the one entry stored past the end.
        const size_t entries = size_t(kHistory) + size_t(passCapacity) + 1;
        pass.values = std::vector<float>(entries, 0.0f);
        pass.stamps = std::vector<double>(entries, 0.0);
    }
    step = 1.0 / double(slotCount - 1);
    targetStep = step;
    writeTime = clampUnit(position);
    setSize(1.0);
    setWet(0.0);
    setFeedback(0.0);
    setRate(0.0);
    setDamping(1.0f);
    setDepth(0.0);
    setDry(1.0f);
}

void CDelayLine::setDry(float gain) {
    dryTarget = flushDenormal(gain);
}
void CDelayLine::setFeedback(double gain) {
    feedbackTarget = flushDenormal(float(gain));
}
void CDelayLine::setWet(double gain) {
    wetTarget = flushDenormal(float(gain));
}

void CDelayLine::setDamping(float amount) {
    if (!(amount >= kMinDamping)) amount = kMinDamping;
    damping = amount > 1.0f ? 1.0f : amount;
}

void CDelayLine::setDepth(double depth) {
    modDepth = depth;
}

void CDelayLine::setRate(double cyclesPerSample) {
    modRate = cyclesPerSample > 0.0 ? cyclesPerSample : 0.0;
}

void CDelayLine::setSize(double size) {
    const double s = clampUnit(size, 1.0);
    const double n = double(slotCount);
    targetStep = 1.0 / (n * ((1.0 - 2.0 / n) * s * kSizeSpan + 2.0 / n));
}

void CDelayLine::clear() {
    for (Pass& pass : passes) {
        std::fill(pass.values.begin(), pass.values.end(), 0.0f);
        std::fill(pass.stamps.begin(), pass.stamps.end(), 0.0);
        pass.count = 0;
        pass.readIndex = 0;
    }
    damped = 0.0f;
}

float CDelayLine::readAt(Pass& p, double time) {
    if (p.count == 0) return 0.0f;
    int32_t i = p.readIndex;
    while (i <= p.count && p.stamps[size_t(kHistory + i)] < time)
        ++i;
    p.readIndex = i;
    if (i > p.count) return 0.0f;
    const size_t b = size_t(kHistory + i);
    const double ta = p.stamps[b - 1], tb = p.stamps[b];
    const float va = p.values[b - 1], vb = p.values[b];
    const double f = ta < tb ? (time - ta) / (tb - ta) : 0.0;
    return float(va + (vb - va) * f);
}

void CDelayLine::process(float* buffer, int32_t frames) {
    const double minStep = 1.0 / double(slotCount);
    for (int32_t n = 0; n < frames; ++n) {
        const float x = finiteOrZero(buffer[n]);

        // Triangle 0 -> 1 -> 0 shaped by a smoothstep: the speed factor m >= 1.
        const double phi = modPhase;
        const double c = phi < 0.5 ? 2.0 * phi : 1.0 - 2.0 * (phi - 0.5);
        double m = (3.0 - 2.0 * c) * c * c * modDepth + 1.0;
        if (!(m >= 1.0)) m = 1.0;
        modPhase += modRate;
        if (modPhase > 1.0) modPhase -= 1.0;

        Pass& reading = passes[1 - writePass];
        const float r = readAt(reading, writeTime);
        damped = flushSilence(damped + (r - damped) * damping);
        const float w = feedback * damped + x * inputGain;

        double s = step * m;
        if (!(s <= kMaxStep)) s = kMaxStep;
        if (!(s >= minStep)) s = minStep;
        writeTime += s;

        if (writeTime >= 1.0) {
            // Pass end: the finished pass becomes the one read next; it keeps
            // the tail of the pass before it as history so that reading can
            // interpolate across the join, and one entry past its end.
            Pass& written = passes[writePass];
            for (int32_t k = 0; k < kCarriedHistory; ++k) {
                const size_t from = size_t(kHistory + reading.count - kCarriedHistory + k);
                const size_t to = size_t(kHistory - kCarriedHistory + k);
                written.values[to] = reading.values[from];
                written.stamps[to] = reading.stamps[from] - 1.0;
            }
            written.values[size_t(kHistory + written.count)] = w;
            written.stamps[size_t(kHistory + written.count)] = writeTime;
            written.readIndex = 0;
            writeTime -= 1.0;
            writePass = 1 - writePass;
            passes[writePass].count = 0;
        }

        Pass& writing = passes[writePass];
        if (writing.count < passCapacity) {
            writing.values[size_t(kHistory + writing.count)] = w;
            writing.stamps[size_t(kHistory + writing.count)] = writeTime;
            ++writing.count;
        }

        double d = targetStep - step;
        if (std::fabs(d) < kStepSettleLimit) d = 0.0;
        step += d * kStepGlide;

        const float dryNow = dry, wetNow = wet;
        wet = flushDenormal(wet);
        wet += (wetTarget - wet) * kGainGlide;
        inputGain = flushDenormal(inputGain);
        inputGain += (1.0f - inputGain) * kInputFade;
        feedback = flushDenormal(feedback);
        feedback += (feedbackTarget - feedback) * kGainGlide;
        dry = flushDenormal(dry);
        dry += (dryTarget - dry) * kGainGlide;

        buffer[n] = x * dryNow + damped * wetNow;
    }
}
