// Levels and pan laws of operators and voice filters, and the low-pass
// response of a voice filter, measured at the plug-in's output.
#include "base/ValueIds.h"
#include "host/VoiceHost.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

constexpr double kSettled = 0.1; // seconds: master high-pass and ramps at rest
constexpr double kLength = 0.3;

struct Stereo {
    std::vector<float> left, right;
};

Stereo play(CProgram& p, uint8_t key = 69) {
    PlayingInstance synth(p);
    EXPECT_TRUE(synth.loaded());
    synth.noteOn(key);
    synth.renderSeconds(kLength);
    return {synth.left, synth.right};
}

// Operator 0 feeds voice filter `filter` (mode 0 passes it through) and is
// not heard itself.
void operatorIntoFilter(CProgram& p, int filter, double level, double pan) {
    ratioOperator(p, 0, 1.0, 0.0);
    p.setValue(kOperatorFirstId + kOperatorModulationOffset + kOperatorCount + filter, 1.0);
    const int32_t base = kFilterFirstId + kFilterIdStride * filter;
    p.setValue(base + kFilterLevelOffset, bipolar(level));
    p.setValue(base + kFilterPanOffset, bipolar(pan));
}

struct LevelCase {
    double level, pan;
    // Signed gain of each side against the reference (level 1, pan hard left).
    double left, right;
};

// level L and pan P: gain L|L|, split (1 - p) and p with p = (P + 1) / 2.
const LevelCase kLevelCases[] = {
    {1.0, 1.0, 0.0, 1.0},    {1.0, 0.0, 0.5, 0.5},        {0.5, -1.0, 0.25, 0.0},
    {-1.0, -1.0, -1.0, 0.0}, {-0.5, 0.0, -0.125, -0.125}, {1.0, 0.5, 0.25, 0.75},
    {0.0, 0.0, 0.0, 0.0},
};

} // namespace

TEST(HostLevels, OperatorMixIsSquaredAndPannedLinearly) {
    CProgram reference = quietProgram();
    ratioOperator(reference, 0, 1.0, 1.0, -1.0);
    const Stereo ref = play(reference);
    const size_t from = size_t(kSettled * kRate), to = ref.left.size();
    // A sine at full amplitude, mix 1 and hard left: unit gain through the master.
    EXPECT_NEAR(peak(ref.left, from, to), 1.0, 0.02);
    EXPECT_LT(peak(ref.right, from, to), 1e-6);
    for (const LevelCase& c : kLevelCases) {
        SCOPED_TRACE(testing::Message() << "mix " << c.level << " pan " << c.pan);
        CProgram p = quietProgram();
        ratioOperator(p, 0, 1.0, c.level, c.pan);
        const Stereo out = play(p);
        EXPECT_NEAR(gainAgainst(out.left, ref.left, from, to), c.left, 1e-4);
        EXPECT_NEAR(gainAgainst(out.right, ref.left, from, to), c.right, 1e-4);
    }
}

// Mix -1 is full level with the opposite sign, sample for sample.
TEST(HostLevels, NegativeMixInvertsTheOperatorExactly) {
    CProgram up = quietProgram(), down = quietProgram();
    ratioOperator(up, 0, 1.0, 1.0);
    ratioOperator(down, 0, 1.0, -1.0);
    const Stereo a = play(up), b = play(down);
    ASSERT_EQ(a.left.size(), b.left.size());
    ASSERT_GT(peak(a.left, 0, a.left.size()), 0.1);
    for (size_t i = 0; i < a.left.size(); ++i) {
        ASSERT_EQ(a.left[i], -b.left[i]) << i;
        ASSERT_EQ(a.right[i], -b.right[i]) << i;
    }
}

TEST(HostLevels, FilterLevelIsSquaredAndPannedLinearly) {
    for (int filter = 0; filter < 2; ++filter) {
        SCOPED_TRACE(testing::Message() << "filter " << filter);
        CProgram reference = quietProgram();
        operatorIntoFilter(reference, filter, 1.0, -1.0);
        const Stereo ref = play(reference);
        const size_t from = size_t(kSettled * kRate), to = ref.left.size();
        EXPECT_NEAR(peak(ref.left, from, to), 1.0, 0.02);
        for (const LevelCase& c : kLevelCases) {
            SCOPED_TRACE(testing::Message() << "level " << c.level << " pan " << c.pan);
            CProgram p = quietProgram();
            operatorIntoFilter(p, filter, c.level, c.pan);
            const Stereo out = play(p);
            EXPECT_NEAR(gainAgainst(out.left, ref.left, from, to), c.left, 1e-4);
            EXPECT_NEAR(gainAgainst(out.right, ref.left, from, to), c.right, 1e-4);
        }
    }
}

// Cutoff 0.5 is the nominal corner 2^(54/12 + 6.3) Hz, about 1782 Hz. The
// ladder's stages take fc / sample rate as their coefficient without
// warping, so the response already falls well below that corner; far below
// it the low-pass has its pass-band gain of 2.
TEST(HostLevels, LowPassFilterCutsAnOctaveAboveTheCornerAgainstAnOctaveBelow) {
    const double corner = std::pow(2.0, 54.0 * 0.08333333333333 + 6.3);
    auto levelAt = [](double hz, int mode) {
        CProgram p = quietProgram();
        fixedOperator(p, 0, hz, 0.0);
        p.setValue(kOperatorFirstId + kOperatorModulationOffset + kOperatorCount, 1.0);
        p.setValue(kFilterFirstId + kFilterLevelOffset, 1.0);
        p.setValue(kFilterCutoffId[0], 0.5);
        p.setValue(kFilterResonanceId[0], 0.0);
        p.setValue(kFilterModeId[0], mode / 3.0);
        const Stereo out = play(p);
        return amplitudeAt(out.left, size_t(kSettled * kRate), out.left.size(), hz);
    };
    const double below = levelAt(corner / 2.0, 1), above = levelAt(corner * 2.0, 1);
    // The open filter passes both tones alike, at half level on each side.
    EXPECT_NEAR(levelAt(corner / 2.0, 0), 0.5, 0.01);
    EXPECT_NEAR(levelAt(corner * 2.0, 0), 0.5, 0.01);
    EXPECT_GE(20.0 * std::log10(below / above), 20.0) << below << " vs " << above;
    EXPECT_GT(levelAt(corner / 32.0, 1), levelAt(corner / 32.0, 0));
}
