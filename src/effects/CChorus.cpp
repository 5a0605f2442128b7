#include "effects/CChorus.h"

#include "base/SampleGuard.h"
#include "base/ValueIds.h"

#include <cmath>

namespace {
constexpr double kDefaultRate = 44100.0;
constexpr double kBufferSeconds = 0.006 * 2.0; // twice the longest time
constexpr float kTimeBaseMs = 0.1f, kTimeSpanMs = 5.9f, kMinTimeMs = 0.01f, kMaxTimeMs = 6.0f;
constexpr float kSpeedBaseHz = 0.02f, kSpeedSpanHz = 4.98f, kMaxSpeedHz = 5.0f;
// Unrelated rate and depth ratios of modulators 2 and 3 to modulator 1.
constexpr double kRate2 = 1.762, kRate3 = 0.421;
constexpr double kDepth2 = 1.967, kDepth3 = 0.793;
constexpr double kSwingAB = 0.66666, kSwingCD = 0.75;
// Loudness normalisation of the tap sum.
constexpr float kWetNorm = 0.43f, kStereoNorm = 0.19f;
constexpr int32_t kModulatorPeriod = 8; // samples between tap target updates
constexpr float kTapGlide = 1.0f / float(kModulatorPeriod);
constexpr float kMinTapSpeed = 0.8f, kMaxTapSpeed = 1.25f;
constexpr int32_t kStartLead = 100; // the write counter starts this far ahead of the taps
constexpr int32_t kWrapLimit = 1000000;

float unit(float v) {
    return float(clampUnit(double(v)));
}
} // namespace

CChorus::CChorus() {
    setSampleRate(kDefaultRate);
}

void CChorus::setTime(float v) {
    float t = kTimeBaseMs + kTimeSpanMs * unit(v);
    time = t < kMinTimeMs ? kMinTimeMs : (t > kMaxTimeMs ? kMaxTimeMs : t);
    updateDerived();
}
void CChorus::setSpeed(float v) {
    float s = kSpeedBaseHz + kSpeedSpanHz * unit(v);
    speed = s < kSpeedBaseHz ? kSpeedBaseHz : (s > kMaxSpeedHz ? kMaxSpeedHz : s);
    updateDerived();
}
void CChorus::setWet(float v) {
    wet = unit(v) * unit(v);
    updateDerived();
}
void CChorus::setDry(float v) {
    dry = unit(v) * unit(v);
    updateDerived();
}
void CChorus::setInvert(float v) {
    invert = v >= 0.5f;
    updateDerived();
}
void CChorus::setStereo(float v) {
    stereo = unit(v);
    updateDerived();
}
void CChorus::setEnabled(float v) {
    const bool on = v >= 0.5f;
    updateDerived();
    // The state is reset before the audio thread can see the switch.
    if (on && !enabled) reset();
    enabled = on;
}

void CChorus::setSampleRate(double rate) {
    sampleRate = limitSampleRate(rate, sampleRate > 0.0 ? sampleRate : kDefaultRate);
    const int32_t needed = int32_t(sampleRate * kBufferSeconds) + 1;
    int32_t pow2 = 1;
    while (pow2 < needed)
        pow2 <<= 1;
    size = pow2;
    mask = pow2 - 1;
    buffer = std::vector<float>(size_t(size), 0.0f);
    updateDerived();
    reset();
}

void CChorus::reset() {
    // From phase 0 every modulator must rise, or it would flip back and forth at 0.
    for (int k = 0; k < 3; ++k) {
        phases[k] = 0.0;
        increments[k] = std::fabs(increments[k]);
    }
    writeCount = kStartLead;
    for (double& x : positions)
        x = 0.0;
    for (float& s : buffer)
        s = 0.0f;
}

bool CChorus::applyValue(int32_t id, double x) {
    if (id < kChorusFirstId || id >= kChorusFirstId + kChorusIdCount) return false;
    const float v = float(x);
    switch (id - kChorusFirstId) {
    case kChorusTimeOffset:
        setTime(v);
        return true;
    case kChorusSpeedOffset:
        setSpeed(v);
        return true;
    case kChorusWetOffset:
        setWet(v);
        return true;
    case kChorusDryOffset:
        setDry(v);
        return true;
    case kChorusInvertOffset:
        setInvert(v);
        return true;
    case kChorusStereoOffset:
        setStereo(v);
        return true;
    case kChorusEnableOffset:
        setEnabled(v);
        return true;
    default:
        return false;
    }
}

void CChorus::updateDerived() {
    // A modulator keeps its direction of travel when its rate changes.
    const double i1 = double(speed) / sampleRate;
    const double rates[3] = {i1, kRate2 * i1, kRate3 * i1};
    for (int k = 0; k < 3; ++k)
        increments[k] = std::copysign(rates[k], increments[k]);

    const double d1 = sampleRate * 0.001 * double(time);
    depths[0] = d1;
    depths[1] = kDepth2 * d1;
    depths[2] = kDepth3 * d1;

    const float w = invert ? -wet : wet;
    const float n = 1.0f - kWetNorm * std::fabs(w) - kStereoNorm * stereo * std::fabs(w);
    gainA = (stereo * 0.5f + 0.5f) * w * n;
    gainB = (0.5f - stereo * 0.5f) * w * n;
    gainDry = dry * n;
}

void CChorus::updateModulators() {
    for (int k = 0; k < 3; ++k) {
        phases[k] += increments[k];
        if (phases[k] >= 1.0 || phases[k] <= 0.0) increments[k] = -increments[k];
    }
    const double w = double(writeCount);
    const double targets[4] = {
        w - (1.0 + kSwingAB * phases[0]) * depths[0], // A
        w - (1.0 - kSwingAB * phases[0]) * depths[0], // B
        w - (1.0 - kSwingCD * phases[1]) * depths[1], // C
        w - (1.0 + kSwingCD * phases[2]) * depths[2], // D
    };
    for (int k = 0; k < 4; ++k) {
        float s = float(targets[k] - positions[k]) * kTapGlide;
        if (!(s >= kMinTapSpeed)) s = kMinTapSpeed;
        if (s > kMaxTapSpeed) s = kMaxTapSpeed;
        speeds[k] = s;
    }
}

void CChorus::process(float* left, float* right, int32_t frames) {
    if (!enabled) return;
    const float gA = gainA, gB = gainB, gDry = gainDry;
    float* buf = buffer.data();
    const int32_t m = mask;
    // Positions never fall below 0 (they start there and only advance) and
    // every index is masked, so reads stay inside the ring.
    auto read = [buf, m](double x) {
        const int32_t i = int32_t(x);
        const float f = float(x - double(i));
        return f * buf[(i + 1) & m] + (1.0f - f) * buf[i & m];
    };
    for (int32_t n = 0; n < frames; ++n) {
        if (n % kModulatorPeriod == 0) updateModulators();
        const float a = left[n], b = right[n];
        buf[writeCount & m] = (a + b) * 0.5f;
        ++writeCount;
        const float tA = read(positions[0]);
        const float tC = read(positions[2]);
        const float tB = read(positions[1]);
        const float tD = read(positions[3]);
        for (int k = 0; k < 4; ++k)
            positions[k] += speeds[k];
        left[n] = gB * (tD + tB) + gA * (tC + tA) + gDry * a;
        right[n] = gB * (tC + tA) + gA * (tD + tB) + gDry * b;
    }
    if (writeCount > kWrapLimit) {
        const int32_t wrapped = (writeCount % size) + size;
        const double shift = double(writeCount - wrapped);
        for (double& x : positions)
            x -= shift;
        writeCount = wrapped;
    }
}
