#include "voice/COperator.h"
#include "waves/CWaveManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {
constexpr double kRate = 44100.0;
constexpr double kTwoPi = 6.283185307179586;

// An operator with a built sine table, ready to play at the given key frequency.
struct SineOperator {
    CWaveManager waves;
    COperator op{2};
    explicit SineOperator(double amplitude = 1.0) {
        double amplitudes[32] = {1.0};
        double phases[32] = {};
        waves.buildWave(2, amplitudes, phases, 0.0);
        op.setSampleRate(kRate);
        op.setAmplitude(amplitude);
        op.setMixLevel(1.0);
        op.setOn(1.0);
        op.resetForNote();
    }
    void tick(double keyFrequency, bool first) {
        op.beginModulation();
        op.updateFrequency(keyFrequency, &waves);
        op.updateBasePhase();
        op.updateAmplitude(1.0f / 44, first);
        op.updateGains(1.0f / 44, first);
    }
};
} // namespace

TEST(COperator, TuningByRatioSemitonesAndOffset) {
    struct Case {
        double mode, coarse, offset, pitchMod, frequencyMod, expected;
    } cases[] = {
        {0.0, 2.0, 0.0, 0.0, 0.0, 880.0},        // ratio
        {0.0, 0.5, 10.0, 0.0, 0.0, 230.0},       // ratio plus offset
        {1.0, 12.0, 0.0, 0.0, 0.0, 880.0},       // semitones
        {0.5, -12.0, 0.0, 0.0, 0.0, 220.0},      // mode 0.5 already means semitones
        {0.0, 0.0, 100.0, 0.0, 0.0, 100.0},      // fixed frequency
        {0.0, 1.0, -40.0, 12.0, 0.0, 800.0},     // pitch modulation scales key + offset
        {0.0, 1.0, 0.0, 0.0, 60.0, 500.0},       // frequency modulation adds Hz
        {0.0, 500.0, 0.0, 0.0, 0.0, 96 * 440.0}, // coarse clamped to 96
    };
    CWaveManager waves;
    for (const Case& c : cases) {
        COperator op;
        op.setSampleRate(kRate);
        op.setCoarse(c.coarse, c.mode);
        op.setFrequencyOffset(c.offset);
        op.beginModulation();
        op.modulation.pitch = c.pitchMod;
        op.modulation.frequency = c.frequencyMod;
        op.updateFrequency(440.0, &waves);
        EXPECT_NEAR(op.frequency(), c.expected, 1e-6) << c.coarse << " " << c.offset;
        EXPECT_EQ(op.phaseIncrement(), uint32_t(std::min(c.expected / kRate, 0.5) * 4294967295.0));
    }
}

TEST(COperator, IncrementStopsAtNyquistAndZero) {
    CWaveManager waves;
    COperator op;
    op.setSampleRate(kRate);
    op.setCoarse(96.0, 1.0); // 96 semitones above 10 kHz
    op.setFrequencyOffset(9999.99);
    op.beginModulation();
    op.updateFrequency(10000.0, &waves);
    EXPECT_EQ(op.phaseIncrement(), uint32_t(0.5 * 4294967295.0));
    EXPECT_EQ(op.waveTable(), waves.table(0) + 31 * CWaveManager::kLevelFloats);
    op.setCoarse(0.0, 0.0);
    op.setFrequencyOffset(-9999.99);
    op.updateFrequency(10000.0, &waves);
    EXPECT_EQ(op.phaseIncrement(), 0u);
    op.modulation.pitch = NAN;
    op.updateFrequency(10000.0, &waves);
    EXPECT_EQ(op.phaseIncrement(), 0u);
}

TEST(COperator, MatrixCellsStoreSignedSquareAndMarkTheRow) {
    COperator op;
    EXPECT_FALSE(op.rowChanged());
    op.setMatrixCell(3, -0.5);
    EXPECT_DOUBLE_EQ(op.matrixCell(3), -0.25);
    EXPECT_TRUE(op.rowChanged());
    op.setMatrixCell(9, 1.5);
    EXPECT_DOUBLE_EQ(op.matrixCell(9), 1.0);
    op.clearRowChanged();
    op.setMatrixCell(10, 0.5);
    op.setMatrixCell(-1, 0.5);
    EXPECT_FALSE(op.rowChanged());
}

TEST(COperator, LevelAndPanLaws) {
    struct Case {
        double mix, pan, left, right;
    } cases[] = {
        {1.0, 0.0, 0.5, 0.5},                            // centre: half level each side
        {-1.0, 0.0, -0.5, -0.5},                         // -1 is full level, inverted
        {0.5, -1.0, 0.25, 0.0},                          // mix is squared with its sign kept
        {1.0, 1.0, 0.0, 1.0},    {1.0, 0.5, 0.25, 0.75}, // linear pan law
    };
    for (const Case& c : cases) {
        COperator op;
        op.setMixLevel(c.mix);
        op.setPan(c.pan);
        op.beginModulation();
        op.updateGains(1.0f / 44, true);
        EXPECT_FLOAT_EQ(op.leftGainRamp().current, float(c.left)) << c.mix << " " << c.pan;
        EXPECT_FLOAT_EQ(op.rightGainRamp().current, float(c.right)) << c.mix << " " << c.pan;
    }
    // Pan modulation is clamped into the pan range.
    COperator op;
    op.setMixLevel(1.0);
    op.beginModulation();
    op.modulation.pan = -7.0;
    op.updateGains(1.0f / 44, true);
    EXPECT_FLOAT_EQ(op.leftGainRamp().current, 1.0f);
    EXPECT_FLOAT_EQ(op.rightGainRamp().current, 0.0f);
}

TEST(COperator, AmplitudeRampsOverOneTickAfterTheFirst) {
    SineOperator s(1.0);
    s.tick(441.0, true);
    EXPECT_FLOAT_EQ(s.op.amplitudeRamp().current, 1.0f);
    s.op.setAmplitude(0.5);
    s.tick(441.0, false);
    EXPECT_FLOAT_EQ(s.op.amplitudeRamp().current, 1.0f);
    EXPECT_FLOAT_EQ(s.op.amplitudeRamp().increment, -0.5f / 44);
    s.op.setOn(0.0);
    s.tick(441.0, false);
    EXPECT_FLOAT_EQ(s.op.amplitudeRamp().current, 0.5f);
    EXPECT_FLOAT_EQ(s.op.amplitudeRamp().target, 0.0f);
}

TEST(COperator, PlaysTheTableAtItsPitchWithPhaseModulation) {
    SineOperator s(0.8);
    s.tick(441.0, true); // 100 samples per cycle
    float left = 0.0f, right = 0.0f;
    for (int n = 0; n < 60; ++n) {
        left = right = 0.0f;
        if (n == 50) *s.op.phaseInputPointer() += 0.25; // a quarter cycle ahead
        s.op.produce<true>(left, right);
        const double phase = n * 0.01 + (n == 50 ? 0.25 : 0.0);
        EXPECT_NEAR(s.op.lastOutput(), 0.8 * 0.999 * std::sin(kTwoPi * phase), 2e-4) << n;
        EXPECT_FLOAT_EQ(left, float(s.op.lastOutput()) * 0.5f);
        EXPECT_FLOAT_EQ(right, left);
    }
    // The phase input returns to the base phase after every sample.
    EXPECT_FLOAT_EQ(float(*s.op.phaseInputPointer()), 20.0f);
}

TEST(COperator, WithoutInterpolationTheSegmentsAreSteps) {
    SineOperator s;
    s.tick(44100.0 / 256.0 / 4.0, true); // four samples per segment
    const float* table = s.op.waveTable();
    float left = 0.0f, right = 0.0f;
    for (int n = 0; n < 64; ++n) {
        s.op.produce<false>(left, right);
        // The increment is 2^22 - 1 and, from the second sample on, the 20 base
        // cycles x 4294967295 land 20 units below a cycle start, so each fourth
        // sample is just short of its segment.
        const int expected = n == 0 ? 0 : n % 4 == 0 ? n / 4 - 1 : n / 4;
        EXPECT_FLOAT_EQ(float(s.op.lastOutput()), table[4 * expected]) << n << " " << expected;
    }
}

TEST(COperator, ExtremePhaseInputsStayFinite) {
    SineOperator s;
    s.tick(441.0, true);
    float left = 0.0f, right = 0.0f;
    for (double in : {1e300, -1e300, double(NAN), double(INFINITY), 262144.5, -3e5}) {
        *s.op.phaseInputPointer() = in;
        s.op.produce<true>(left, right);
        EXPECT_TRUE(std::isfinite(s.op.lastOutput())) << in;
        EXPECT_LE(std::fabs(s.op.lastOutput()), 1.0);
    }
}

TEST(COperator, NoteResetKeepsAFreeRunningPhase) {
    SineOperator s;
    s.tick(441.0, true);
    float left = 0.0f, right = 0.0f;
    for (int n = 0; n < 10; ++n)
        s.op.produce<true>(left, right);
    const uint32_t running = s.op.phaseAccumulator();
    ASSERT_NE(running, 0u);
    s.op.resetForNote(); // free-running by default
    EXPECT_EQ(s.op.phaseAccumulator(), running);
    EXPECT_EQ(s.op.phaseIncrement(), 0u);
    EXPECT_FLOAT_EQ(s.op.basePhase(), 20.0f);
    EXPECT_TRUE(s.op.rowChanged());
    EXPECT_EQ(s.op.amplitudeRamp().current, 0.0f);
    s.op.setFreeRunningPhase(0);
    s.op.resetForNote();
    EXPECT_EQ(s.op.phaseAccumulator(), 0u);
}

TEST(COperator, AppliesItsOwnValueIds) {
    COperator op(2); // IDs 98..110
    EXPECT_FALSE(op.applyValue(97, 0.0, 0));
    EXPECT_FALSE(op.applyValue(111, 0.0, 0));
    EXPECT_TRUE(op.applyValue(98, 0.0, 0)); // mix -1
    EXPECT_TRUE(op.applyValue(99, 1.0, 0)); // pan +1
    op.beginModulation();
    op.updateGains(1.0f / 44, true);
    EXPECT_FLOAT_EQ(op.rightGainRamp().current, -1.0f);
    EXPECT_TRUE(op.applyValue(100, 0.4, 0));
    EXPECT_FALSE(op.isOn());
    EXPECT_TRUE(op.applyValue(101, 0.75, 0)); // cell 0: 0.5 squared
    EXPECT_DOUBLE_EQ(op.matrixCell(0), 0.25);
    EXPECT_TRUE(op.applyValue(110, 0.0, 0)); // cell 9: -1
    EXPECT_DOUBLE_EQ(op.matrixCell(9), -1.0);
    // Selected-operator values only when this operator is selected.
    EXPECT_FALSE(op.applyValue(326, 12.0, 1));
    EXPECT_TRUE(op.applyValue(326, 12.0, 2));
    EXPECT_TRUE(op.applyValue(329, 1.0, 2)); // semitones
    EXPECT_TRUE(op.applyValue(327, 3.0, 2));
    EXPECT_TRUE(op.applyValue(328, 0.7, 2));
    EXPECT_TRUE(op.applyValue(325, 0.2, 2));
    EXPECT_TRUE(op.applyValue(324, 0.25, 2));
    CWaveManager waves;
    op.setSampleRate(kRate);
    op.beginModulation();
    op.updateFrequency(100.0, &waves);
    op.updateBasePhase();
    EXPECT_NEAR(op.frequency(), 203.0, 1e-9);
    EXPECT_DOUBLE_EQ(op.modulation.amplitude, 0.7);
    EXPECT_FALSE(op.freeRunningPhase());
    EXPECT_FLOAT_EQ(op.basePhase(), 20.25f);
}
