#include "effects/CChorus.h"

#include "EffectSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace effects_test;

namespace {

void run(CChorus& chorus, std::vector<float>& left, std::vector<float>& right,
         int32_t block = 512) {
    inBlocks(left, right, block, [&](float* l, float* r, int32_t n) { chorus.process(l, r, n); });
}

void runSilence(CChorus& chorus, size_t frames) {
    std::vector<float> l(frames, 0.0f), r(frames, 0.0f);
    run(chorus, l, r);
}

double energyNear(const std::vector<float>& x, double centre) {
    double sum = 0.0;
    for (long i = long(centre) - 3; i <= long(centre) + 4; ++i)
        sum += double(x[size_t(i)]) * x[size_t(i)];
    return sum;
}

} // namespace

TEST(CChorus, GainsFollowWetDryStereoAndInvert) {
    struct Case {
        float wet, dry, invert, stereo;
        float gainA, gainB, dryGain;
    } cases[] = {
        {1, 0, 0, 0.5f, 0.75f * 0.475f, 0.25f * 0.475f, 0.0f},
        {1, 0, 1, 0.5f, -0.75f * 0.475f, -0.25f * 0.475f, 0.0f}, // same normalisation, negated
        {1, 0, 0, 1.0f, 0.38f, 0.0f, 0.0f},                      // A + C left only
        {1, 0, 0, 0.0f, 0.285f, 0.285f, 0.0f},                   // all four on both sides
        {0, 1, 0, 0.5f, 0.0f, 0.0f, 1.0f},                       // dry only
        {0.5f, 0.5f, 0, 0.0f, 0.125f * 0.8925f, 0.125f * 0.8925f, 0.25f * 0.8925f},
    };
    for (const Case& c : cases) {
        CChorus chorus;
        chorus.setWet(c.wet);
        chorus.setDry(c.dry);
        chorus.setInvert(c.invert);
        chorus.setStereo(c.stereo);
        EXPECT_NEAR(chorus.tapGainA(), c.gainA, 1e-6f) << c.wet << " " << c.stereo;
        EXPECT_NEAR(chorus.tapGainB(), c.gainB, 1e-6f);
        EXPECT_NEAR(chorus.dryGain(), c.dryGain, 1e-6f);
    }
}

TEST(CChorus, BufferHoldsTwiceTheLongestTime) {
    struct Case {
        double rate;
        int32_t size;
    } cases[] = {{8000, 128}, {44100, 1024}, {96000, 2048}, {192000, 4096}, {384000, 8192}};
    for (const Case& c : cases) {
        CChorus chorus;
        chorus.setSampleRate(c.rate);
        EXPECT_EQ(chorus.bufferSize(), c.size) << c.rate;
    }
}

TEST(CChorus, TapsGlideWithinTheSpeedLimits) {
    CChorus chorus;
    chorus.setTime((4.0f - 0.1f) / 5.9f); // 4 ms: about 176 samples
    chorus.setEnabled(1.0f);
    runSilence(chorus, 8);
    // The taps start 100 samples behind the writer and fall back at the lowest speed.
    for (int k = 0; k < 4; ++k) {
        EXPECT_DOUBLE_EQ(chorus.tapSpeed(k), 0.8f) << k;
        EXPECT_NEAR(chorus.tapDelay(k), 100.0 + 8 * 0.2, 1e-6) << k; // speed 0.8 in float
    }
    runSilence(chorus, 44100);
    const double d1 = 44.1 * 4.0;
    const double ranges[4][2] = {{d1, 1.66666 * d1},
                                 {0.33334 * d1, d1},
                                 {0.25 * 1.967 * d1, 1.967 * d1},
                                 {0.793 * d1, 1.75 * 0.793 * d1}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_GE(chorus.tapSpeed(k), 0.8f);
        EXPECT_LE(chorus.tapSpeed(k), 1.25f);
        EXPECT_GT(chorus.tapDelay(k), ranges[k][0] - 10) << k;
        EXPECT_LT(chorus.tapDelay(k), ranges[k][1] + 10) << k;
    }
    // A much shorter time pulls every tap forward at the highest speed.
    chorus.setTime(0.0f);
    runSilence(chorus, 8);
    for (int k = 0; k < 4; ++k)
        EXPECT_DOUBLE_EQ(chorus.tapSpeed(k), 1.25f) << k;
}

TEST(CChorus, StereoOneSendsTapsAAndCLeftOnly) {
    CChorus chorus;
    chorus.setTime(1.0f);  // 6 ms
    chorus.setSpeed(1.0f); // 5 Hz, so the modulators spread the taps apart
    chorus.setStereo(1.0f);
    chorus.setEnabled(1.0f);
    runSilence(chorus, 22050);
    double delay[4];
    for (int k = 0; k < 4; ++k)
        delay[k] = chorus.tapDelay(k);
    ASSERT_GT(std::fabs(delay[0] - delay[1]), 20.0);
    ASSERT_GT(std::fabs(delay[2] - delay[3]), 20.0);
    std::vector<float> left(1024, 0.0f), right(1024, 0.0f);
    left[0] = right[0] = 1.0f;
    run(chorus, left, right);
    for (int k : {0, 2}) { // A and C
        EXPECT_GT(energyNear(left, delay[k]), 0.05) << k;
        EXPECT_EQ(energyNear(right, delay[k]), 0.0) << k;
    }
    for (int k : {1, 3}) { // B and D
        EXPECT_GT(energyNear(right, delay[k]), 0.05) << k;
        EXPECT_EQ(energyNear(left, delay[k]), 0.0) << k;
    }
}

TEST(CChorus, StereoZeroGivesBothSidesTheSameMix) {
    CChorus chorus;
    chorus.setStereo(0.0f);
    chorus.setEnabled(1.0f);
    std::vector<float> left = noise(20000, 1), right = noise(20000, 2);
    run(chorus, left, right);
    EXPECT_EQ(left, right);
}

TEST(CChorus, AppliesItsOwnValueIds) {
    CChorus chorus;
    EXPECT_FALSE(chorus.applyValue(12, 1.0));
    EXPECT_FALSE(chorus.applyValue(20, 1.0));
    EXPECT_TRUE(chorus.applyValue(15, 1.0)); // wet
    EXPECT_TRUE(chorus.applyValue(16, 0.0)); // dry
    EXPECT_TRUE(chorus.applyValue(17, 0.0)); // invert
    EXPECT_TRUE(chorus.applyValue(18, 1.0)); // stereo
    EXPECT_NEAR(chorus.tapGainA(), 0.38f, 1e-6f);
    EXPECT_TRUE(chorus.applyValue(13, 0.5));
    EXPECT_TRUE(chorus.applyValue(14, 0.5));
    EXPECT_FALSE(chorus.isEnabled());
    EXPECT_TRUE(chorus.applyValue(19, 0.5));
    EXPECT_TRUE(chorus.isEnabled());
}

TEST(CChorus, WriteCounterWrapKeepsTapDelays) {
    CChorus chorus;
    chorus.setEnabled(1.0f);
    runSilence(chorus, 999424); // 1952 blocks: the write counter is just below 1000000
    double before[4];
    for (int k = 0; k < 4; ++k)
        before[k] = chorus.tapDelay(k);
    std::vector<float> left = noise(1024, 1), right = noise(1024, 2);
    run(chorus, left, right); // crosses the wrap
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(chorus.tapDelay(k), before[k], 1024 * 0.25) << k;
    EXPECT_TRUE(allFinite(left) && allFinite(right));
}
