#include "waves/CWaveManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {
constexpr double kTwoPi = 6.283185307179586;

struct Spectrum {
    double amplitudes[32] = {};
    double phases[32] = {};
};

float levelPeak(const CWaveManager& waves, int op, int level) {
    const float* t = waves.table(op) + level * CWaveManager::kLevelFloats;
    float peak = 0.0f;
    for (int j = 0; j < CWaveManager::kSegmentCount; ++j)
        peak = std::max(peak, std::fabs(t[4 * j]));
    return peak;
}
} // namespace

TEST(CWaveManager, SineSpectrumGivesEqualLevelsPeakingBelowOne) {
    CWaveManager waves;
    Spectrum sine;
    sine.amplitudes[0] = 1.0;
    waves.buildWave(3, sine.amplitudes, sine.phases, 0.0);
    const float* t = waves.table(3);
    EXPECT_NEAR(levelPeak(waves, 3, 0), 0.999f, 1e-6f);
    for (int level = 1; level < CWaveManager::kLevelCount; ++level)
        ASSERT_TRUE(
            std::equal(t, t + CWaveManager::kLevelFloats, t + level * CWaveManager::kLevelFloats))
            << "level " << level;
    // The cubic segments reproduce the sine between the table samples.
    for (double phase : {0.0, 0.1, 0.2501, 0.37, 0.5, 0.77, 0.999})
        EXPECT_NEAR(waves.evaluate(3, phase), 0.999 * std::sin(kTwoPi * phase), 2e-4) << phase;
}

TEST(CWaveManager, OneGainFromTheLoudestPartialSumForEveryLevel) {
    CWaveManager waves;
    Spectrum two;
    two.amplitudes[0] = 1.0;
    two.amplitudes[1] = 1.0;
    waves.buildWave(0, two.amplitudes, two.phases, 0.0);
    // Full wave peaks at 0.999; find the gain from its unscaled peak.
    double rawPeak = 0.0;
    for (int r = 0; r < 256; ++r)
        rawPeak = std::max(
            rawPeak, std::fabs(std::sin(kTwoPi * r / 256.0) + std::sin(kTwoPi * r / 256.0 * 2.0)));
    const double gain = 0.999 / rawPeak;
    EXPECT_NEAR(levelPeak(waves, 0, 0), 0.999f, 1e-5f);
    const float* fundamental = waves.table(0) + 31 * CWaveManager::kLevelFloats;
    for (int j : {0, 32, 64, 100, 200})
        EXPECT_NEAR(fundamental[4 * j], gain * std::sin(kTwoPi * j / 256.0), 1e-5) << j;
    // Level 30 still holds both harmonics.
    const float* both = waves.table(0) + 30 * CWaveManager::kLevelFloats;
    EXPECT_NEAR(both[4 * 32], gain * (std::sin(kTwoPi / 8) + std::sin(kTwoPi / 4)), 1e-5);
}

TEST(CWaveManager, LevelChoiceKeepsHarmonicsBelowNyquist) {
    struct Case {
        double frequency;
        int level;
    } cases[] = {{100.0, 0},    {172.0, 0}, {1000.0, 10}, {30000.0, 31},
                 {22050.0, 31}, {-5.0, 0},  {0.0, 0},     {1e300, 31}};
    for (const Case& c : cases)
        EXPECT_EQ(CWaveManager::levelFor(c.frequency, 44100.0), c.level) << c.frequency;
    EXPECT_EQ(CWaveManager::levelFor(std::nan(""), 44100.0), 0);
    CWaveManager waves;
    EXPECT_EQ(waves.selectTable(2, 1000.0, 44100.0), waves.table(2) + 10 * 1024);
    EXPECT_EQ(waves.selectTable(12, 100.0, 44100.0), waves.table(7)); // above 7 uses table 7
}

TEST(CWaveManager, SilentSpectrumAndIgnoredIndices) {
    CWaveManager waves;
    for (int op = 0; op < 8; ++op) // built silent at construction
        EXPECT_EQ(levelPeak(waves, op, 0), 0.0f);
    Spectrum silent;
    waves.buildWave(1, silent.amplitudes, silent.phases, 0.0);
    const float* t = waves.table(1);
    EXPECT_TRUE(std::all_of(t, t + CWaveManager::kTableFloats, [](float x) { return x == 0.0f; }));

    Spectrum sine;
    sine.amplitudes[0] = 1.0;
    for (int op = 0; op < 8; ++op)
        waves.buildWave(op, sine.amplitudes, sine.phases, 0.0);
    std::vector<float> before[8];
    for (int op = 0; op < 8; ++op)
        before[op].assign(waves.table(op), waves.table(op) + CWaveManager::kTableFloats);
    Spectrum other;
    other.amplitudes[4] = 0.7;
    waves.buildWave(8, other.amplitudes, other.phases, 0.0);
    waves.buildWave(-2, other.amplitudes, other.phases, 0.0);
    for (int op = 0; op < 8; ++op)
        EXPECT_TRUE(std::equal(before[op].begin(), before[op].end(), waves.table(op))) << op;
}

TEST(CWaveManager, NonFiniteSpectrumValuesCountAsZero) {
    CWaveManager waves;
    Spectrum bad;
    bad.amplitudes[0] = 1.0;
    bad.amplitudes[1] = std::nan("");
    bad.phases[2] = INFINITY;
    bad.amplitudes[2] = 1.0;
    waves.buildWave(0, bad.amplitudes, bad.phases, 0.0);
    const float* t = waves.table(0);
    EXPECT_TRUE(
        std::all_of(t, t + CWaveManager::kTableFloats, [](float x) { return std::isfinite(x); }));
    EXPECT_NEAR(levelPeak(waves, 0, 0), 0.999f, 1e-5f);
}

// The staging memory of taken waves is given back; a wave still waiting for
// the voices keeps it and arrives whole, and the display shows the last wave
// staged, whether or not the voices have it yet.
TEST(CWaveManager, StagedWavesArriveWholeWhenStagingIsGivenBack) {
    CWaveManager waves;
    Spectrum sine;
    sine.amplitudes[0] = 1.0;
    Spectrum third;
    third.amplitudes[2] = 1.0;
    third.phases[2] = 0.25;
    CWaveManager reference;
    reference.buildWave(0, third.amplitudes, third.phases, 0.0);
    const std::vector<float> expected(reference.table(0),
                                      reference.table(0) + CWaveManager::kTableFloats);

    waves.publishWave(0, third.amplitudes, third.phases, 0.0);
    waves.releaseTaken(); // not yet taken: must stay
    EXPECT_EQ(levelPeak(waves, 0, 0), 0.0f);
    EXPECT_NEAR(waves.evaluate(0, 0.0), 0.999f, 1e-4f); // cos at the start
    EXPECT_TRUE(waves.takePublished());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), waves.table(0)));
    const float* held = waves.levelTable(0, 5); // as a voice keeps it

    waves.releaseTaken(); // taken: given back, nothing new to hand over
    EXPECT_FALSE(waves.takePublished());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), waves.table(0)));
    EXPECT_NEAR(waves.evaluate(0, 0.0), 0.999f, 1e-4f);

    // A later edit of another operator builds its own staging afresh.
    waves.buildWave(1, sine.amplitudes, sine.phases, 0.0);
    EXPECT_NEAR(levelPeak(waves, 1, 0), 0.999f, 1e-6f);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), waves.table(0)));
    EXPECT_NEAR(waves.evaluate(1, 0.25), 0.999f, 1e-4f);

    // Later waves of an operator arrive in the table its voices hold.
    waves.buildWave(0, sine.amplitudes, sine.phases, 0.0);
    EXPECT_EQ(waves.levelTable(0, 5), held);
    EXPECT_NEAR(levelPeak(waves, 0, 5), 0.999f, 1e-6f);
}

// Operators whose wave is the plain sine read one table that every instance
// shares, with the very floats an operator's own table gets for the sine; an
// operator with a table of its own keeps it, and another wave makes one.
TEST(CWaveManager, PlainSinesShareOneTableWithTheFloatsOfAnOwnOne) {
    Spectrum sine, square;
    sine.amplitudes[0] = 1.0;
    for (int n = 1; n <= 32; n += 2)
        square.amplitudes[n - 1] = 1.0 / n;
    CWaveManager a, b;
    a.buildWave(0, sine.amplitudes, sine.phases, 0.0);
    b.buildWave(5, sine.amplitudes, sine.phases, 0.0);
    EXPECT_EQ(a.table(0), b.table(5));

    // Own table first, then the sine copied into it: the pointer the voices
    // hold stays, the floats are the shared table's.
    b.buildWave(2, square.amplitudes, square.phases, 0.0);
    const float* own = b.table(2);
    EXPECT_NE(own, a.table(0));
    b.buildWave(2, sine.amplitudes, sine.phases, 0.0);
    EXPECT_EQ(b.table(2), own);
    EXPECT_TRUE(std::equal(own, own + CWaveManager::kTableFloats, a.table(0)));

    // Another wave on a shared operator: a table of its own, the shared one
    // untouched; the wave display follows.
    a.buildWave(0, square.amplitudes, square.phases, 0.0);
    EXPECT_NE(a.table(0), b.table(5));
    EXPECT_FALSE(std::equal(a.table(0), a.table(0) + CWaveManager::kTableFloats, b.table(5)));
    EXPECT_NEAR(b.evaluate(5, 0.25), 0.999, 1e-3);
    EXPECT_GT(std::fabs(a.evaluate(0, 0.25) - b.evaluate(5, 0.25)), 1e-3);

    // Nearly a sine is not the sine.
    Spectrum quiet = sine;
    quiet.amplitudes[0] = 0.5;
    CWaveManager c;
    c.buildWave(1, quiet.amplitudes, quiet.phases, 0.0);
    EXPECT_NE(c.table(1), b.table(5));
}
