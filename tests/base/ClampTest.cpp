#include "base/Clamp.h"
#include "base/FastClamp.h"
#include "base/SameBits.h"
#include "base/SampleGuard.h"
#include "base/SemitoneRatio.h"

#include <cfloat>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
} // namespace

// Every clamp the control and sample paths use: in range kept, out of range
// held to the bound, NaN to the low bound.
TEST(Clamp, ControlAndSampleClampsAgree) {
    struct Case {
        double x, lo, hi, expected;
    } cases[] = {
        {0.25, 0.0, 1.0, 0.25},  {-3.0, -1.0, 1.0, -1.0}, {7.0, -1.0, 1.0, 1.0},
        {kNan, -1.0, 1.0, -1.0}, {kInf, 0.0, 1.0, 1.0},   {-kInf, 0.0, 1.0, 0.0},
        {1.0, 0.0, 1.0, 1.0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(clampValue(c.x, c.lo, c.hi), c.expected) << c.x;
        EXPECT_EQ(clampFast(c.x, c.lo, c.hi), c.expected) << c.x;
        EXPECT_EQ(clampFast(float(c.x), float(c.lo), float(c.hi)), float(c.expected)) << c.x;
    }
    // -0 at a bound of 0 comes out as the bound itself, +0.
    EXPECT_FALSE(std::signbit(clampValue(-0.0, 0.0, 1.0)));
}

TEST(SameBits, TellsSignedZerosApartAndFindsNanEqualToItself) {
    EXPECT_TRUE(sameBits(1.5, 1.5));
    EXPECT_FALSE(sameBits(0.0, -0.0));
    EXPECT_FALSE(sameBits(0.0f, -0.0f));
    EXPECT_TRUE(sameBits(kNan, kNan));
    EXPECT_TRUE(sameBits(std::nanf(""), std::nanf("")));
}

TEST(SampleGuard, ReplacesWhatWouldStickInARecursiveState) {
    EXPECT_EQ(finiteOrZero(0.5f), 0.5f);
    EXPECT_EQ(finiteOrZero(-FLT_MAX), -FLT_MAX);
    EXPECT_EQ(finiteOrZero(FLT_MIN / 4.0f), 0.0f);
    EXPECT_EQ(finiteOrZero(std::numeric_limits<float>::infinity()), 0.0f);
    EXPECT_EQ(finiteOrZero(std::nanf("")), 0.0f);

    EXPECT_EQ(clampUnit(1.5), 1.0);
    EXPECT_EQ(clampUnit(kNan, 0.25), 0.25);

    EXPECT_EQ(limitSampleRate(44100.0, 48000.0), 44100.0);
    EXPECT_EQ(limitSampleRate(10.0, 48000.0), kMinSampleRate);
    EXPECT_EQ(limitSampleRate(1e6, 48000.0), kMaxSampleRate);
    for (double bad : {0.0, -44100.0, kNan, kInf})
        EXPECT_EQ(limitSampleRate(bad, 48000.0), 48000.0) << bad;
}

TEST(SemitoneRatio, TwelveSemitonesMakeAnOctaveAndRepeatsGiveTheSameBits) {
    SemitoneRatio r;
    EXPECT_EQ(r.of(0.0), 1.0);
    EXPECT_NEAR(r.of(12.0), 2.0, 1e-12);
    EXPECT_NEAR(r.of(-12.0), 0.5, 1e-12);
    // Cached or worked out afresh, a value gives the same bits as the power.
    const double once = r.of(7.3);
    EXPECT_TRUE(sameBits(r.of(7.3), once));
    EXPECT_TRUE(sameBits(once, std::pow(kSemitone, 7.3)));
    EXPECT_TRUE(std::isnan(r.of(kNan)));
    EXPECT_NEAR(r.of(1.0), 1.0594630943592953, 1e-15);
}
