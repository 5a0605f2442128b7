#include "effects/CEq.h"

#include "base/Denormal.h"
#include "base/SampleGuard.h"
#include "base/ValueIds.h"

#include <cmath>

namespace {
constexpr double kTwoPi = 6.283185;
constexpr double kMaxW = 3.0;   // radians per sample, about 0.477 x sample rate
constexpr double kQSpan = 24.0; // cookbook Q = 1 + 24 q^2
constexpr double kFreqBaseHz = 30.0, kFreqOctaves = 9.4;

bool validBand(int band) {
    return band >= 0 && band < CEq::kBands;
}
} // namespace

CEq::CEq() = default;

void CEq::setEnabled(float v) {
    const bool on = v > 0.5f;
    if (on == enabled) return;
    clearMemory = true;
    enabled = on;
}

void CEq::setLevel(int band, double level) {
    if (!validBand(band)) return;
    levels[band] = clampUnit(level, 0.5);
    dirty = true;
}

void CEq::setFrequency(int band, double hz) {
    if (!validBand(band) || !(hz == hz)) return;
    frequencies[band] = hz;
    dirty = true;
}

void CEq::setQ(int band, double q) {
    if (!validBand(band)) return;
    qs[band] = clampUnit(q);
    dirty = true;
}

void CEq::setSampleRate(double rate) {
    const double r = limitSampleRate(rate, sampleRate);
    if (r == sampleRate) return;
    sampleRate = r;
    dirty = true;
}

void CEq::reset() {
    clearMemory = true;
}

bool CEq::applyValue(int32_t id, double x) {
    if (id >= kEqQFirstId && id < kEqQFirstId + kBands) {
        setQ(id - kEqQFirstId, x);
    } else if (id >= kEqFrequencyFirstId && id < kEqFrequencyFirstId + kBands) {
        setFrequency(id - kEqFrequencyFirstId, kFreqBaseHz * std::exp2(kFreqOctaves * x));
    } else if (id >= kEqLevelFirstId && id < kEqLevelFirstId + kBands) {
        setLevel(id - kEqLevelFirstId, x);
    } else if (id == kEqEnableId) {
        setEnabled(float(x));
    } else {
        return false;
    }
    return true;
}

void CEq::computeCoefficients() {
    for (int band = 0; band < kBands; ++band) {
        const double A = std::pow(10.0, levels[band] - 0.5); // section gain A^2: -20..+20 dB
        double w = kTwoPi * double(float(frequencies[band])) / sampleRate;
        if (!(w > 0.0)) w = 0.0;
        if (w > kMaxW) w = kMaxW;
        const double qe = qs[band] * qs[band] * kQSpan + 1.0;
        const double sw = std::sin(w), cw = std::cos(w);
        const double alpha = sw / (2.0 * qe);
        const double bs = std::sqrt(A) / qe * sw; // beta x sin w = 2 sqrt(A) alpha
        double b0, b1, b2, a0, a1, a2;
        if (band == 0) { // low shelf
            b0 = A * ((A + 1) - (A - 1) * cw + bs);
            b1 = 2 * A * ((A - 1) - (A + 1) * cw);
            b2 = A * ((A + 1) - (A - 1) * cw - bs);
            a0 = (A + 1) + (A - 1) * cw + bs;
            a1 = -2 * ((A - 1) + (A + 1) * cw);
            a2 = (A + 1) + (A - 1) * cw - bs;
        } else if (band == kBands - 1) { // high shelf
            b0 = A * ((A + 1) + (A - 1) * cw + bs);
            b1 = -2 * A * ((A - 1) + (A + 1) * cw);
            b2 = A * ((A + 1) + (A - 1) * cw - bs);
            a0 = (A + 1) - (A - 1) * cw + bs;
            a1 = 2 * ((A - 1) - (A + 1) * cw);
            a2 = (A + 1) - (A - 1) * cw - bs;
        } else { // peaking
            b0 = 1 + alpha * A;
            b1 = -2 * cw;
            b2 = 1 - alpha * A;
            a0 = 1 + alpha / A;
            a1 = b1;
            a2 = 1 - alpha / A;
        }
        Biquad& c = coefficients[band];
        c.b0 = flushDenormal(float(b0 / a0));
        c.b1 = flushDenormal(float(b1 / a0));
        c.b2 = flushDenormal(float(b2 / a0));
        c.a1 = flushDenormal(float(a1 / a0));
        c.a2 = flushDenormal(float(a2 / a0));
    }
}

void CEq::filter(const Biquad& c, Memory& ml, Memory& mr, float* left, float* right,
                 int32_t frames) {
    // Both channels in one loop: two independent recursions keep the pipeline busy.
    float lx1 = ml.x1, lx2 = ml.x2, ly1 = ml.y1, ly2 = ml.y2;
    float rx1 = mr.x1, rx2 = mr.x2, ry1 = mr.y1, ry2 = mr.y2;
    for (int32_t n = 0; n < frames; ++n) {
        // Non-finite input would stay in the memory for good; it becomes silence.
        const float xl = finiteOrZero(left[n]);
        const float xr = finiteOrZero(right[n]);
        // Grouped so that a flat section (b == a) returns its input exactly.
        const float yl =
            flushDenormal(c.b0 * xl + (c.b1 * lx1 - c.a1 * ly1) + (c.b2 * lx2 - c.a2 * ly2));
        const float yr =
            flushDenormal(c.b0 * xr + (c.b1 * rx1 - c.a1 * ry1) + (c.b2 * rx2 - c.a2 * ry2));
        lx2 = lx1;
        lx1 = xl;
        ly2 = ly1;
        ly1 = yl;
        rx2 = rx1;
        rx1 = xr;
        ry2 = ry1;
        ry1 = yr;
        left[n] = yl;
        right[n] = yr;
    }
    ml = Memory{lx1, lx2, ly1, ly2};
    mr = Memory{rx1, rx2, ry1, ry2};
}

void CEq::process(float* left, float* right, int32_t frames) {
    if (!enabled) return;
    if (dirty.exchange(false)) computeCoefficients();
    if (clearMemory.exchange(false))
        for (auto& channel : memory)
            for (Memory& m : channel)
                m = Memory{};
    for (int band = 0; band < kBands; ++band)
        filter(coefficients[band], memory[0][band], memory[1][band], left, right, frames);
}
