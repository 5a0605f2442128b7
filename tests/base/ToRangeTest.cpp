#include "base/ToRange.h"
#include "base/Denormal.h"

#include <cfloat>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

TEST(ToRange, RoundsExactHalvesTowardZeroAndClamps) {
    struct Case {
        double x;
        int lo, hi, expected;
    } cases[] = {
        {0.5, 0, 3, 1},      // 1.5 -> 1
        {0.51, 0, 3, 2},     // 1.53 -> 2
        {0.34, 0, 3, 1},     // 1.02
        {0.16, 0, 3, 0},     // 0.48
        {1.0, 0, 3, 3},      //
        {0.5, -24, 24, 0},   //
        {1.0, -24, 24, 24},  //
        {0.4375, -4, 4, 0},  // -0.5 -> 0
        {0.3125, -4, 4, -1}, // -1.5 -> -1
        {0.8125, -4, 4, 2},  // 2.5 -> 2
        {7.0, 0, 3, 3},      // clamps above
        {-3.0, 0, 3, 0},     // clamps below
        {1e300, 1, 24, 24},  // huge values clamp before conversion
    };
    for (const Case& c : cases) {
        const int expected = c.expected;
        EXPECT_EQ(toRange(c.x, c.lo, c.hi), expected) << c.x << " " << c.lo << ".." << c.hi;
    }
}

TEST(ToRange, NanGivesLow) {
    EXPECT_EQ(toRange(std::numeric_limits<double>::quiet_NaN(), -24, 24), -24);
    EXPECT_EQ(toRange(std::numeric_limits<double>::infinity(), 0, 127), 127);
    EXPECT_EQ(toRange(-std::numeric_limits<double>::infinity(), 0, 127), 0);
}

TEST(Denormal, FlushesOnlyZeroExponent) {
    EXPECT_EQ(flushDenormal(FLT_MIN / 4.0f), 0.0f);
    EXPECT_EQ(flushDenormal(FLT_MIN), FLT_MIN);
    EXPECT_EQ(flushDenormal(-1.5f), -1.5f);
    EXPECT_EQ(flushDenormal(DBL_MIN / 8.0), 0.0);
    EXPECT_EQ(flushDenormal(1e-300), 1e-300);
}
