#include "effects/CEq.h"

#include "EffectSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace effects_test;

namespace {

constexpr double kRate = 44100.0;

void run(CEq& eq, std::vector<float>& left, std::vector<float>& right) {
    inBlocks(left, right, 512, [&](float* l, float* r, int32_t n) { eq.process(l, r, n); });
}

// Gain in dB of a sine at `hz` through the equaliser, measured after it settles.
double gainDb(CEq& eq, double hz) {
    const size_t frames = 44100;
    std::vector<float> left = sine(frames, hz, kRate, 0.05f), right = left;
    const double in = rms(left, frames / 2, frames);
    run(eq, left, right);
    EXPECT_EQ(left, right);
    return 20.0 * std::log10(rms(left, frames / 2, frames) / in);
}

} // namespace

TEST(CEq, MiddleLevelsAreExactlyFlat) {
    const double frequencies[] = {30.0, 250.0, 1000.0, 20267.0, 0.49 * kRate, 1e6, -5.0};
    const double qs[] = {0.0, 0.5, 1.0};
    for (double hz : frequencies)
        for (double q : qs) {
            CEq eq;
            for (int band = 0; band < CEq::kBands; ++band) {
                eq.setFrequency(band, hz);
                eq.setQ(band, q);
            }
            eq.setEnabled(1.0f);
            const std::vector<float> inL = noise(4096, 1), inR = noise(4096, 2);
            std::vector<float> left = inL, right = inR;
            run(eq, left, right);
            EXPECT_EQ(left, inL) << hz << " " << q;
            EXPECT_EQ(right, inR) << hz << " " << q;
        }
}

TEST(CEq, FullLevelBoostsEachBandByTwentyDecibels) {
    struct Case {
        int band;
        double centreHz, probeHz, probeDb;
    } cases[] = {
        {0, 300.0, 300.0, 10.0},   // low shelf: half the boost at its corner
        {0, 300.0, 20.0, 20.0},    // and all of it well below
        {1, 1000.0, 1000.0, 20.0}, // peaking: all of it at the centre
        {2, 5000.0, 5000.0, 20.0},
        {3, 4000.0, 4000.0, 10.0}, // high shelf: half at its corner
        {3, 4000.0, 18000.0, 20.0},
        {1, 1000.0, 10000.0, 0.0}, // a peak leaves distant frequencies alone
    };
    for (const Case& c : cases) {
        CEq eq;
        eq.setFrequency(c.band, c.centreHz);
        eq.setLevel(c.band, 1.0);
        eq.setEnabled(1.0f);
        EXPECT_NEAR(gainDb(eq, c.probeHz), c.probeDb, 0.5) << c.band << " at " << c.probeHz;
    }
}

TEST(CEq, QNarrowsThePeak) {
    CEq wide, narrow;
    for (CEq* eq : {&wide, &narrow}) {
        eq->setFrequency(1, 1000.0);
        eq->setLevel(1, 1.0);
        eq->setEnabled(1.0f);
    }
    narrow.setQ(1, 1.0); // Q 25
    EXPECT_GT(gainDb(wide, 1500.0), 10.0);
    EXPECT_LT(gainDb(narrow, 1500.0), 1.0);
    EXPECT_NEAR(gainDb(narrow, 1000.0), 20.0, 0.5);
}

TEST(CEq, FrequenciesNearNyquistActAsTheLimit) {
    std::vector<float> outputs[3];
    const double frequencies[3] = {0.478 * kRate, 0.49 * kRate, 0.45 * kRate};
    for (int i = 0; i < 3; ++i) {
        CEq eq;
        eq.setFrequency(2, frequencies[i]);
        eq.setLevel(2, 0.0);
        eq.setEnabled(1.0f);
        std::vector<float> left = noise(4096, 1), right = noise(4096, 2);
        run(eq, left, right);
        outputs[i] = left;
    }
    EXPECT_EQ(outputs[0], outputs[1]);
    EXPECT_NE(outputs[0], outputs[2]);
}

TEST(CEq, SwitchingClearsTheFilterMemory) {
    auto configured = [](CEq& eq) {
        for (int band = 0; band < CEq::kBands; ++band)
            eq.setLevel(band, band % 2 ? 0.1 : 0.9);
        eq.setEnabled(1.0f);
    };
    CEq used, fresh;
    configured(used);
    configured(fresh);
    std::vector<float> left = noise(3000, 1), right = noise(3000, 2);
    run(used, left, right);
    used.setEnabled(0.0f);
    used.setEnabled(1.0f);
    std::vector<float> a = noise(2048, 3), b = noise(2048, 4), c = a, d = b;
    run(used, a, b);
    run(fresh, c, d);
    EXPECT_EQ(a, c);
    EXPECT_EQ(b, d);
}

TEST(CEq, NonFiniteInputAndValuesDoNotStick) {
    for (double rate : kRates)
        for (int32_t block : kBlocks) {
            CEq eq;
            eq.setSampleRate(rate);
            for (int band = 0; band < CEq::kBands; ++band) {
                eq.setLevel(band, band == 0 ? std::numeric_limits<double>::quiet_NaN() : 9999.0);
                eq.setQ(band, std::numeric_limits<double>::infinity());
                eq.setFrequency(band, band == 3 ? std::numeric_limits<double>::quiet_NaN() : 1e9);
            }
            eq.setEnabled(1.0f);
            std::vector<float> left = noise(8192, 1), right = noise(8192, 2);
            left[100] = std::numeric_limits<float>::quiet_NaN();
            right[200] = -std::numeric_limits<float>::infinity();
            inBlocks(left, right, block,
                     [&](float* l, float* r, int32_t n) { eq.process(l, r, n); });
            EXPECT_TRUE(allFinite(left) && allFinite(right)) << rate << " " << block;
        }
}

TEST(CEq, AppliesItsOwnValueIds) {
    CEq eq;
    EXPECT_FALSE(eq.applyValue(19, 1.0));
    EXPECT_FALSE(eq.applyValue(33, 1.0));
    EXPECT_TRUE(eq.applyValue(24, 0.0));
    EXPECT_TRUE(eq.applyValue(27, 1.0));
    EXPECT_DOUBLE_EQ(eq.frequency(0), 30.0);
    EXPECT_EQ(int(eq.frequency(3)), 20267); // 30 x 2^9.4
    EXPECT_TRUE(eq.applyValue(22, 0.25));
    EXPECT_DOUBLE_EQ(eq.q(2), 0.25);
    EXPECT_TRUE(eq.applyValue(29, 0.75));
    EXPECT_DOUBLE_EQ(eq.level(1), 0.75);
    EXPECT_TRUE(eq.applyValue(32, 0.6));
    EXPECT_TRUE(eq.isEnabled());
}
