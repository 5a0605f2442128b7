#include "effects/CStereoDelay.h"

#include "base/Denormal.h"
#include "base/SampleGuard.h"
#include "base/ValueIds.h"

#include <algorithm>

namespace {
constexpr double kDefaultRate = 44100.0;
constexpr double kBufferSeconds = 4.0;
constexpr double kFreeSpanMs = 1298.0;      // free time^2 scale
constexpr double kLineMinMs = 1.0;          // a line is never shorter than 1 ms
constexpr double kSixteenthMsBpm = 15000.0; // 15000 / bpm ms is one sixteenth note
constexpr double kSyncSixteenths = 7.0;     // lines: 1 + 7 x time sixteenths
constexpr double kSyncPreSixteenths = 8.0;  // pre-delay: 8 x time sixteenths
constexpr double kMaxTimeMs = 3998.0;       // inside the 4 s buffers
constexpr int32_t kShortLength = 3;         // replaces lengths below 1 sample
constexpr double kFeedbackScale = 0.99;
constexpr double kMinTempo = 10.0, kMaxTempo = 300.0;
// The buffers hold this alternating pattern instead of zeros, so that the
// lines never settle into denormal numbers.
constexpr float kGuardLevel = 1e-7f;
} // namespace

CStereoDelay::CStereoDelay() {
    setSampleRate(kDefaultRate);
}

void CStereoDelay::setPreTime(double v) {
    preTime = clampUnit(v);
    updateDerived();
}
void CStereoDelay::setLeftTime(double v) {
    leftTime = clampUnit(v);
    updateDerived();
}
void CStereoDelay::setLeftPan(double v) {
    leftPan = 2.0 * clampUnit(v, 0.5) - 1.0;
    updateDerived();
}
void CStereoDelay::setRightTime(double v) {
    rightTime = clampUnit(v);
    updateDerived();
}
void CStereoDelay::setRightPan(double v) {
    rightPan = 2.0 * clampUnit(v, 0.5) - 1.0;
    updateDerived();
}
void CStereoDelay::setFeedback(double v) {
    feedback = clampUnit(v) * kFeedbackScale;
    updateDerived();
}
void CStereoDelay::setBalance(double v) {
    balance = clampUnit(v);
    updateDerived();
}
void CStereoDelay::setWet(double v) {
    const double u = clampUnit(v);
    wet = u * u;
    updateDerived();
}
void CStereoDelay::setSync(double v) {
    sync = v > 0.5;
    updateDerived();
}
void CStereoDelay::setOn(double v) {
    on = v >= 0.5;
    refill();
    updateDerived();
}

void CStereoDelay::setTempo(double bpm) {
    if (!(bpm == bpm)) return;
    tempo = bpm < kMinTempo ? kMinTempo : (bpm > kMaxTempo ? kMaxTempo : bpm);
    updateDerived();
}

void CStereoDelay::setSampleRate(double rate) {
    sampleRate = limitSampleRate(rate, sampleRate > 0.0 ? sampleRate : kDefaultRate);
    const int32_t size = int32_t(sampleRate * kBufferSeconds);
    if (size != capacity) {
        // Left uninitialised: the guard pattern is written as the lines reach it.
        for (std::unique_ptr<float[]>* buffer : {&preLeft, &preRight, &lineLeft, &lineRight})
            buffer->reset(new float[size_t(size)]);
        capacity = size;
    }
    prePos = leftPos = rightPos = 0;
    refill();
    updateDerived();
}

void CStereoDelay::reset() {
    updateDerived();
    refill();
}

bool CStereoDelay::applyValue(int32_t id, double x) {
    if (id < kDelayFirstId || id >= kDelayFirstId + kDelayIdCount) return false;
    switch (id - kDelayFirstId) {
    case kDelayPreTimeOffset:
        setPreTime(x);
        return true;
    case kDelayLeftTimeOffset:
        setLeftTime(x);
        return true;
    case kDelayLeftPanOffset:
        setLeftPan(x);
        return true;
    case kDelayRightTimeOffset:
        setRightTime(x);
        return true;
    case kDelayRightPanOffset:
        setRightPan(x);
        return true;
    case kDelayFeedbackOffset:
        setFeedback(x);
        return true;
    case kDelayBalanceOffset:
        setBalance(x);
        return true;
    case kDelayWetOffset:
        setWet(x);
        return true;
    case kDelaySyncOffset:
        setSync(x);
        return true;
    case kDelayOnOffset:
        setOn(x);
        return true;
    default:
        return false;
    }
}

void CStereoDelay::refill() {
    preFilled = leftFilled = rightFilled = 0;
}

// Writes the guard pattern (even samples +level, odd -level) into the samples
// of one or two buffers that a block starting at `position` will visit and
// that hold nothing written since the last refill. A block visits position
// onwards and, once it wraps, 0..length; either way every sample it visits
// lies below `end`.
void CStereoDelay::guardAhead(float* first, float* second, int32_t& filled, int32_t position,
                              int32_t length, int32_t frames) const {
    int64_t end = std::min(int64_t(position) + frames, int64_t(length) + 1);
    end = std::min(std::max(end, int64_t(position) + 1), int64_t(capacity));
    for (int32_t i = filled; i < end; ++i) {
        const float level = (i & 1) ? -kGuardLevel : kGuardLevel;
        first[i] = level;
        if (second) second[i] = level;
    }
    if (end > filled) filled = int32_t(end);
}

void CStereoDelay::updateDerived() {
    double preMs, leftMs, rightMs;
    if (sync) {
        const double sixteenth = kSixteenthMsBpm / tempo;
        leftMs = sixteenth * (1.0 + kSyncSixteenths * leftTime);
        rightMs = sixteenth * (1.0 + kSyncSixteenths * rightTime);
        preMs = sixteenth * kSyncPreSixteenths * preTime;
    } else {
        preMs = kFreeSpanMs * preTime * preTime;
        leftMs = kFreeSpanMs * leftTime * leftTime + kLineMinMs;
        rightMs = kFreeSpanMs * rightTime * rightTime + kLineMinMs;
    }
    // Every time is limited, so each length stays below the buffer capacity.
    auto toLength = [this](double ms) {
        if (!(ms < kMaxTimeMs)) ms = kMaxTimeMs;
        int32_t length = int32_t(ms * 0.001 * sampleRate);
        if (length < 1) length = kShortLength;
        return length < capacity ? length : capacity - 1;
    };
    preLen = toLength(preMs);
    leftLen = toLength(leftMs);
    rightLen = toLength(rightMs);

    const double pl = (leftPan + 1.0) * 0.5, pr = (rightPan + 1.0) * 0.5;
    dryThrough = float(1.0 - balance);
    leftToLeft = float((1.0 - pl) * balance);
    leftToRight = float(pl * balance);
    rightToRight = float(pr * balance);
    rightToLeft = float((1.0 - pr) * balance);
    wetGain = float(wet);
    feedbackGain = float(feedback);
}

void CStereoDelay::process(float* left, float* right, int32_t frames) {
    if (!on) return;
    // Lengths are read once per block; a setter may shorten them meanwhile,
    // and every position stays inside the buffers either way.
    const int32_t pLen = preLen, lLen = leftLen, rLen = rightLen;
    int32_t pp = prePos, lp = leftPos, rp = rightPos;
    const float dryG = dryThrough, llG = leftToLeft, lrG = leftToRight;
    const float rrG = rightToRight, rlG = rightToLeft, wetG = wetGain, fbG = feedbackGain;
    float* pre0 = preLeft.get();
    float* pre1 = preRight.get();
    float* lineL = lineLeft.get();
    float* lineR = lineRight.get();
    guardAhead(pre0, pre1, preFilled, pp, pLen, frames);
    guardAhead(lineL, nullptr, leftFilled, lp, lLen, frames);
    guardAhead(lineR, nullptr, rightFilled, rp, rLen, frames);
    for (int32_t n = 0; n < frames; ++n) {
        const float a = left[n], b = right[n];
        const float pa = pre0[pp], pb = pre1[pp];
        // A NaN or infinity would circulate in the lines forever (0 x NaN is
        // still NaN), so only finite input enters the pre-delay.
        pre0[pp] = finiteOrZero(a);
        pre1[pp] = finiteOrZero(b);
        const float dl = lineL[lp], dr = lineR[rp];
        lineL[lp] = flushSilence(fbG * dr + (pa + pb) * 0.5f);
        lineR[rp] = flushSilence(dl);
        left[n] = (dr * rlG + dl * llG + pa * dryG) * wetG + a;
        right[n] = (dl * lrG + dr * rrG + pb * dryG) * wetG + b;
        if (++pp > pLen) pp = 0;
        if (++lp > lLen) lp = 0;
        if (++rp > rLen) rp = 0;
    }
    prePos = pp;
    leftPos = lp;
    rightPos = rp;
}
