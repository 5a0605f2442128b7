#include "voice/CVoiceFilter.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
constexpr double kRate = 44100.0;
constexpr int kTick = 44;
constexpr double kTwoPi = 6.283185307179586;

// Runs a filter on a sine for `seconds` and returns the output RMS of the
// second half, with the voice's tick updates in between.
double sineResponse(CVoiceFilter& f, double frequency, double amplitude, double seconds) {
    const int frames = int(seconds * kRate);
    double sum = 0.0;
    int counted = 0;
    float left = 0.0f, right = 0.0f;
    for (int n = 0; n < frames; ++n) {
        if (n % kTick == 0) {
            f.beginModulation();
            f.updateTick(0.0, 60.0, 1.0 / kRate, 1.0f / kTick, n == 0);
        }
        *f.inputPointer() += amplitude * std::sin(kTwoPi * frequency * n / kRate);
        f.process(left, right);
        if (n >= frames / 2) {
            sum += f.lastOutput() * f.lastOutput();
            ++counted;
        }
    }
    return std::sqrt(sum / counted);
}
} // namespace

TEST(CVoiceFilter, CutoffMapping) {
    struct Case {
        double cutoff, keyOffset, hz;
    } cases[] = {
        {0.0, 0.0, 78.79},    // 2^6.3
        {0.1, 0.0, 147.03},   // 2^7.2
        {1.0, 0.0, 32000.0},  // 2^15.3 clamped
        {0.5, 12.0, 3565.78}, // an octave of key offset
        {0.0, -200.0, 20.0},  // clamped below
        {40.0, 0.0, 32000.0}, // modulated far above
    };
    for (const Case& c : cases)
        EXPECT_NEAR(CVoiceFilter::cutoffHz(c.cutoff, c.keyOffset), c.hz, 0.05) << c.cutoff;

    // Through the tick: key tracking 1 follows note and bend around note 60.
    CVoiceFilter f;
    f.setCutoff(0.1);
    f.setKeyTracking(1.0);
    f.setMode(CVoiceFilter::kLowPass);
    f.resetForNote(); // smoothed cutoff jumps to the target
    f.beginModulation();
    f.updateTick(2.0, 70.0, 1.0 / kRate, 1.0f / kTick, true);
    EXPECT_NEAR(f.lastCutoffHz(), 147.03 * 2.0, 0.1);
    EXPECT_FLOAT_EQ(f.coefficientRamp().current, float(f.lastCutoffHz() / kRate));
}

TEST(CVoiceFilter, CutoffChangesAreSmoothedPerTick) {
    CVoiceFilter f;
    f.setMode(CVoiceFilter::kLowPass);
    f.resetForNote();
    f.setCutoff(1.0);
    f.beginModulation();
    f.updateTick(0.0, 60.0, 1.0 / kRate, 1.0f / kTick, true);
    // A tenth of the way: 10.8 semitones above 78.8 Hz.
    EXPECT_NEAR(f.lastCutoffHz(), CVoiceFilter::cutoffHz(0.1, 0.0), 1e-9);
}

TEST(CVoiceFilter, OffModePassesTheInputAtLevelAndPan) {
    CVoiceFilter f;
    f.setLevel(1.0);
    f.setPan(0.0);
    f.setResonance(1.0f);
    f.beginModulation();
    f.updateTick(0.0, 60.0, 1.0 / kRate, 1.0f / kTick, true);
    EXPECT_EQ(f.effectiveResonance(), 0.0);
    EXPECT_EQ(f.coefficientRamp().current, 1.0f);
    float left = 0.0f, right = 0.0f;
    *f.inputPointer() = 0.3;
    f.process(left, right);
    EXPECT_FLOAT_EQ(float(f.lastOutput()), 0.3f);
    EXPECT_FLOAT_EQ(left, 0.15f);
    EXPECT_FLOAT_EQ(right, 0.15f);
    EXPECT_EQ(*f.inputPointer(), 0.0);
    EXPECT_EQ(f.stage(3), 0.0f); // the stages keep their values

    // Level 0 silences the mix contribution while the output still feeds the matrix.
    f.setLevel(0.0);
    f.beginModulation();
    f.updateTick(0.0, 60.0, 1.0 / kRate, 1.0f / kTick, true);
    left = right = 0.0f;
    *f.inputPointer() = -0.4;
    f.process(left, right);
    EXPECT_FLOAT_EQ(float(f.lastOutput()), -0.4f);
    EXPECT_EQ(left, 0.0f);
    EXPECT_EQ(right, 0.0f);
}

TEST(CVoiceFilter, ResonanceReducedInBandPassAndHighPass) {
    struct Case {
        uint8_t mode;
        double resonance;
    } cases[] = {{CVoiceFilter::kOff, 0.0},
                 {CVoiceFilter::kLowPass, 0.8},
                 {CVoiceFilter::kBandPass, 0.48},
                 {CVoiceFilter::kHighPass, 0.48},
                 {7, 0.8}}; // unknown modes act as low-pass
    for (const Case& c : cases) {
        CVoiceFilter f;
        f.setMode(c.mode);
        f.setResonance(0.8f);
        f.beginModulation();
        f.updateTick(0.0, 60.0, 1.0 / kRate, 1.0f / kTick, true);
        EXPECT_NEAR(f.effectiveResonance(), c.resonance, 1e-6) << int(c.mode);
    }
    CVoiceFilter f;
    f.setMode(CVoiceFilter::kLowPass);
    f.setResonance(0.8f);
    f.beginModulation();
    f.modulation.resonance = 0.5; // the sum is clamped to 1
    f.updateTick(0.0, 60.0, 1.0 / kRate, 1.0f / kTick, true);
    EXPECT_EQ(f.effectiveResonance(), 1.0);
}

TEST(CVoiceFilter, SoftClipperStaysBelowTwenty) {
    for (float v : {0.0f, 1.0f, -50.0f, 1e6f, -1e30f, 3.4e38f}) {
        EXPECT_LE(std::fabs(CVoiceFilter::softClip(v)), 20.0f) << v; // 20 only by rounding
        EXPECT_EQ(std::signbit(CVoiceFilter::softClip(v)), std::signbit(v));
    }
    EXPECT_NEAR(CVoiceFilter::softClip(0.1f), 0.1f / 1.00501f, 1e-7f);
}

TEST(CVoiceFilter, LowPassAttenuatesAnOctaveAboveCutoff) {
    CVoiceFilter f;
    f.setMode(CVoiceFilter::kLowPass);
    f.setCutoff(0.5); // about 1783 Hz
    f.setLevel(1.0);
    f.resetForNote();
    const double fc = CVoiceFilter::cutoffHz(0.5, 0.0);
    const double below = sineResponse(f, fc / 2.0, 0.1, 0.5);
    f.resetForNote();
    const double above = sineResponse(f, fc * 2.0, 0.1, 0.5);
    EXPECT_GT(20.0 * std::log10(below / above), 20.0);
}

TEST(CVoiceFilter, BandPassAndHighPassShapes) {
    // The unwarped coefficient k = fc / rate puts each stage's corner near
    // k * rate / (2 pi).
    const double corner = CVoiceFilter::cutoffHz(0.7, 0.0) / kTwoPi;
    double level[2][3];
    const uint8_t modes[2] = {CVoiceFilter::kBandPass, CVoiceFilter::kHighPass};
    const double tones[3] = {30.0, corner, 15000.0};
    for (int m = 0; m < 2; ++m)
        for (int t = 0; t < 3; ++t) {
            CVoiceFilter f;
            f.setMode(modes[m]);
            f.setCutoff(0.7);
            f.resetForNote();
            level[m][t] = 20.0 * std::log10(sineResponse(f, tones[t], 0.1, 0.5));
        }
    EXPECT_GT(level[0][1] - level[0][0], 12.0); // band-pass: low side
    EXPECT_GT(level[0][1] - level[0][2], 12.0); // band-pass: high side
    EXPECT_GT(level[1][2] - level[1][0], 12.0); // high-pass
}

TEST(CVoiceFilter, FullResonanceAndExtremeInputsStayBounded) {
    for (uint8_t mode : {CVoiceFilter::kOff, CVoiceFilter::kLowPass, CVoiceFilter::kHighPass}) {
        CVoiceFilter f;
        f.setMode(mode);
        f.setResonance(1.0f);
        f.setCutoff(1.0);
        f.setLevel(1.0);
        f.resetForNote();
        float left = 0.0f, right = 0.0f;
        for (int n = 0; n < 4410; ++n) {
            if (n % kTick == 0) {
                f.beginModulation();
                f.updateTick(0.0, 60.0, 1.0 / 22050.0, 1.0f / kTick, n == 0); // k above 1
            }
            // The filter feeds itself fully, as a full matrix would, plus junk.
            *f.inputPointer() += f.lastOutput() * 1.0 + (n % 7 == 0 ? 1e300 : -1.0);
            if (n == 100) *f.inputPointer() = NAN;
            f.process(left, right);
            ASSERT_TRUE(std::isfinite(f.lastOutput())) << int(mode) << " " << n;
            ASSERT_LE(std::fabs(f.lastOutput()), 1000.0);
        }
        EXPECT_TRUE(std::isfinite(left) && std::isfinite(right));
    }
}

TEST(CVoiceFilter, AppliesItsOwnValueIds) {
    CVoiceFilter f0(0), f1(1);
    EXPECT_TRUE(f0.applyValue(37, 0.1));
    EXPECT_FALSE(f1.applyValue(37, 0.1));
    EXPECT_TRUE(f1.applyValue(42, 0.5)); // 1.5 rounds toward zero: low-pass
    EXPECT_EQ(f1.mode(), CVoiceFilter::kLowPass);
    EXPECT_TRUE(f0.applyValue(39, 1.0));
    EXPECT_EQ(f0.mode(), CVoiceFilter::kHighPass);
    EXPECT_TRUE(f0.applyValue(52, 1.0)); // operator 1
    EXPECT_DOUBLE_EQ(f0.matrixCell(0), 1.0);
    EXPECT_TRUE(f0.applyValue(60, 0.25)); // into filter 2: -0.5 squared
    EXPECT_DOUBLE_EQ(f0.matrixCell(9), -0.25);
    EXPECT_DOUBLE_EQ(f0.matrixCell(8), 0.0);
    EXPECT_TRUE(f1.applyValue(71, 1.0)); // into filter 1
    EXPECT_DOUBLE_EQ(f1.matrixCell(8), 1.0);
    EXPECT_TRUE(f1.applyValue(70, 0.0)); // operator 8
    EXPECT_DOUBLE_EQ(f1.matrixCell(7), -1.0);
    EXPECT_FALSE(f0.applyValue(61, 0.0));
    EXPECT_TRUE(f1.applyValue(322, 1.0));
    EXPECT_FALSE(f1.applyValue(321, 1.0));
    EXPECT_TRUE(f1.applyValue(61, 1.0)); // level
    EXPECT_TRUE(f1.applyValue(62, 0.0)); // pan left
    f1.beginModulation();
    f1.updateTick(0.0, 72.0, 1.0 / kRate, 1.0f / kTick, true);
    EXPECT_FLOAT_EQ(f1.leftGainRamp().current, 1.0f);
    EXPECT_FLOAT_EQ(f1.rightGainRamp().current, 0.0f);
    EXPECT_NEAR(f1.lastCutoffHz(), 78.79 * 2.0, 0.05); // key tracking 1 at note 72
}
