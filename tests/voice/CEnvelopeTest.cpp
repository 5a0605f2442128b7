#include "voice/CEnvelope.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <type_traits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kTick = 0.001; // one control tick at rate 1

// Voices copy envelopes by plain assignment on the audio thread.
static_assert(std::is_trivially_copyable_v<CEnvelope>);
static_assert(std::is_standard_layout_v<CEnvelope>);

std::string depthText(const CEnvelope& e, int destination, char separator = '.') {
    char text[32];
    e.depthText(destination, text, sizeof text, separator);
    return text;
}

std::string pointText(const CEnvelope& e, char separator = '.') {
    char text[64];
    e.pointText(text, sizeof text, separator);
    return text;
}

// Five points with distinct times, loop 1..2.
CEnvelope fivePoints() {
    CEnvelope e;
    e.insertPoint(1);
    e.insertPoint(1);
    for (int i = 0; i < 5; ++i)
        e.setDelta(i, 0.1 * (i + 1));
    e.setLoopEnd(2);
    return e;
}

} // namespace

TEST(CEnvelope, ConstructsTheDefaultEnvelope) {
    CEnvelope e;
    EXPECT_EQ(e.pointCount, 3);
    EXPECT_EQ(e.minimumPointCount, 3);
    EXPECT_TRUE(e.loopEnabled);
    EXPECT_TRUE(e.keyed);
    EXPECT_FALSE(e.keyTableCurve);
    EXPECT_EQ(e.controller, kNoController);
    EXPECT_EQ(e.loopStart, 1);
    EXPECT_EQ(e.loopEnd, 1);
    EXPECT_DOUBLE_EQ(e.timeGrid, 0.001);
    EXPECT_DOUBLE_EQ(e.endTime(0), 0.001);
    EXPECT_DOUBLE_EQ(e.endTime(1), 0.501);
    EXPECT_DOUBLE_EQ(e.endTime(2), 0.502);
    EXPECT_DOUBLE_EQ(e.points[0].startLevel, 0.0); // from the last point
    EXPECT_DOUBLE_EQ(e.loopBack.startLevel, 1.0);
    EXPECT_STREQ(kControllerNames[0], "Modulation Wheel");
    EXPECT_STREQ(kControllerNames[kNoController], "<no ctrl>");
}

TEST(CEnvelope, ResetKeepsOrClearsRouting) {
    CEnvelope e;
    e.targetKind = kTargetPitch;
    e.setDepth(0, 12.0);
    e.bipolar = true;
    e.insertPoint(1);
    e.reset(false);
    EXPECT_EQ(e.targetKind, kTargetPitch);
    EXPECT_DOUBLE_EQ(e.depths[0], 12.0);
    EXPECT_FALSE(e.bipolar);
    EXPECT_EQ(e.pointCount, 3);
    e.reset(true);
    EXPECT_EQ(e.targetKind, kTargetAmplitude);
    EXPECT_DOUBLE_EQ(e.depths[0], 0.0);
}

TEST(CEnvelope, QuantisesDeltasToTheGridAndLevelsToATenThousandth) {
    struct Case {
        double in, delta;
    } cases[] = {{0.0004, 0.001}, {0.0025, 0.002}, {0.0026, 0.003}, {0.25, 0.25},
                 {150.0, 100.0},  {-3.0, 0.001},   {kNaN, 0.001}};
    for (const Case& c : cases) {
        CEnvelope e;
        e.setDelta(1, c.in);
        EXPECT_NEAR(e.delta(1), c.delta, 1e-12) << c.in;
        EXPECT_NEAR(e.endTime(2), 0.001 + c.delta + 0.001, 1e-12) << c.in;
    }
    struct LevelCase {
        double in, level;
    } levels[] = {{0.12345, 0.1234}, {0.5, 0.5}, {1.7, 1.0}, {-0.2, 0.0}, {kNaN, 0.0}};
    for (const LevelCase& c : levels) {
        CEnvelope e;
        e.setLevel(1, c.in);
        EXPECT_NEAR(e.level(1), c.level, 1e-12) << c.in;
    }
}

TEST(CEnvelope, RepeatedRecomputeDoesNotDriftLevels) {
    CEnvelope e;
    e.setLevel(1, 0.4321);
    for (int i = 0; i < 100; ++i)
        e.recompute();
    EXPECT_NEAR(e.level(1), 0.4321, 1e-12);
}

TEST(CEnvelope, IndicesAreClampedEverywhere) {
    CEnvelope e;
    e.setLevel(1000, 0.3); // last point
    EXPECT_NEAR(e.lastLevel(), 0.3, 1e-12);
    e.setCurve(-7, 0.9);
    EXPECT_DOUBLE_EQ(e.curve(0), 0.9);
    EXPECT_DOUBLE_EQ(e.level(-1), e.level(0));
    EXPECT_DOUBLE_EQ(e.endTime(99), e.endTime(2));
    e.selectedPoint = 40;
    EXPECT_EQ(e.selectedPointClamped(), 2);
    e.setLastLevel(kNaN);
    EXPECT_DOUBLE_EQ(e.lastLevel(), 0.0);
    e.setCurve(1, kNaN);
    EXPECT_DOUBLE_EQ(e.curve(1), 0.0);
}

TEST(CEnvelope, KeepFollowingMovesOnlyTheEditedPoint) {
    CEnvelope e = fivePoints();
    e.keepFollowing = true;
    const double nextEnd = e.endTime(2);
    e.setDelta(1, 0.05);
    EXPECT_NEAR(e.delta(1), 0.05, 1e-12);
    EXPECT_NEAR(e.endTime(2), nextEnd, 1e-12);
    e.setDelta(1, 50.0); // limited so that the next point keeps one grid step
    EXPECT_NEAR(e.endTime(1), nextEnd - 0.001, 1e-12);
    EXPECT_NEAR(e.delta(2), 0.001, 1e-12);
    EXPECT_NEAR(e.endTime(2), nextEnd, 1e-12);
}

TEST(CEnvelope, LoopPointsStayOrdered) {
    CEnvelope e = fivePoints(); // loop 1..2, points 0..4
    struct Case {
        bool start;
        int index, loopStart, loopEnd;
    } cases[] = {
        {false, 9, 1, 4}, {true, 3, 3, 4},  {true, 9, 4, 4}, {false, 2, 4, 4},
        {true, 0, 1, 4},  {false, 0, 1, 1}, {true, 3, 1, 1},
    };
    for (const Case& c : cases) {
        if (c.start) {
            e.setLoopStart(c.index);
        } else {
            e.setLoopEnd(c.index);
        }
        EXPECT_EQ(e.loopStart, c.loopStart) << c.start << " " << c.index;
        EXPECT_EQ(e.loopEnd, c.loopEnd) << c.start << " " << c.index;
    }
    e.loopEnabled = false;
    e.setLoopEnd(3);
    EXPECT_EQ(e.loopEnd, 1);
}

TEST(CEnvelope, InsertAndDeleteKeepLaterTimesAndLoop) {
    CEnvelope e = fivePoints(); // end times 0.1 0.3 0.6 1.0 1.5, loop 1..2
    e.deletePoint(1);
    EXPECT_EQ(e.pointCount, 4);
    EXPECT_NEAR(e.endTime(1), 0.6, 1e-12);
    EXPECT_NEAR(e.endTime(3), 1.5, 1e-12);
    EXPECT_EQ(e.loopStart, 1);
    EXPECT_EQ(e.loopEnd, 1);

    e.insertPoint(0); // duplicates point 0, shifting the rest
    EXPECT_EQ(e.pointCount, 5);
    EXPECT_DOUBLE_EQ(e.curve(1), 0.5);
    EXPECT_EQ(e.loopStart, 2);
    EXPECT_EQ(e.loopEnd, 2);

    e.deletePoint(4); // the last point
    e.deletePoint(3);
    EXPECT_EQ(e.pointCount, 3);
    EXPECT_EQ(e.loopEnd, 2);
    e.deletePoint(0); // at the minimum: nothing happens
    EXPECT_EQ(e.pointCount, 3);

    CEnvelope full;
    for (int i = 0; i < 70; ++i)
        full.insertPoint(1);
    EXPECT_EQ(full.pointCount, kEnvelopeMaxPoints);
    EXPECT_EQ(full.loopEnd, 62);
}

TEST(CEnvelope, AddPointAtTimeKeepsTheFollowingPoint) {
    CEnvelope e = fivePoints(); // end times 0.1 0.3 0.6 1.0 1.5
    EXPECT_EQ(e.addPointAtTime(0.45), 2);
    EXPECT_EQ(e.pointCount, 6);
    EXPECT_NEAR(e.endTime(2), 0.45, 1e-12);
    EXPECT_NEAR(e.endTime(3), 0.6, 1e-12);
    EXPECT_NEAR(e.endTime(5), 1.5, 1e-12);

    EXPECT_EQ(e.addPointAtTime(0.05), 0);
    EXPECT_NEAR(e.endTime(0), 0.05, 1e-12);
    EXPECT_NEAR(e.endTime(1), 0.1, 1e-12);

    EXPECT_EQ(e.addPointAtTime(-1.0), 0);
    EXPECT_EQ(e.addPointAtTime(kNaN), 0);
    EXPECT_EQ(e.pointCount, 7);

    e.keepFollowing = true; // too close to point 4 (0.6)
    EXPECT_EQ(e.addPointAtTime(0.5995), -1);
    EXPECT_EQ(e.pointCount, 7);
    EXPECT_EQ(e.addPointAtTime(0.55), 4);
    EXPECT_TRUE(e.keepFollowing);
    EXPECT_NEAR(e.endTime(5), 0.6, 1e-12);
}

TEST(CEnvelope, AddPointBeyondTheEndDuplicatesTheLastPoint) {
    CEnvelope e;
    e.setLastLevel(0.25);
    e.setCurve(2, 0.8);
    EXPECT_EQ(e.addPointAtTime(3.0), 3);
    EXPECT_EQ(e.pointCount, 4);
    EXPECT_NEAR(e.level(3), 0.25, 1e-12);
    EXPECT_DOUBLE_EQ(e.curve(3), 0.5);
    EXPECT_NEAR(e.endTime(3), e.endTime(2) + e.timeGrid, 1e-12);
    EXPECT_NEAR(e.endTime(2), 0.502, 1e-12);
}

TEST(CEnvelope, AddPointRefusesAFullEnvelope) {
    CEnvelope e;
    for (int i = 0; i < 70; ++i)
        e.insertPoint(0);
    const double end = e.endTime(10);
    EXPECT_EQ(e.addPointAtTime(0.0015), -1);
    EXPECT_DOUBLE_EQ(e.endTime(10), end);
    EXPECT_EQ(e.addPointAtTime(1e9), kEnvelopeMaxPoints - 1);
    EXPECT_EQ(e.pointCount, kEnvelopeMaxPoints);
}

TEST(CEnvelope, DefaultEnvelopeRisesHoldsAndReleasesInOneMillisecond) {
    CEnvelope e;
    e.start(0.0);
    EXPECT_DOUBLE_EQ(e.evaluate(kTick, true), 0.0); // value before the advance
    EXPECT_GT(e.evaluate(kTick, true), 0.99);
    for (int i = 0; i < 2000; ++i)
        ASSERT_DOUBLE_EQ(e.evaluate(kTick, true), 1.0) << i;
    EXPECT_TRUE(e.looping);
    EXPECT_FALSE(e.isFinished());

    e.release();
    EXPECT_DOUBLE_EQ(e.evaluate(kTick, true), 1.0);
    EXPECT_LT(e.evaluate(kTick, true), 0.01);
    EXPECT_TRUE(e.isFinished());
    EXPECT_DOUBLE_EQ(e.evaluate(kTick, true), 0.0);
    EXPECT_DOUBLE_EQ(e.evaluate(kTick, true), 0.0);
}

TEST(CEnvelope, NotKeyedOrFreeRunningEnvelopesIgnoreRelease) {
    for (int which = 0; which < 2; ++which) {
        CEnvelope e;
        if (which == 0) e.keyed = false;
        if (which == 1) e.freeRunning = true;
        e.start(0.0);
        for (int i = 0; i < 10; ++i)
            e.evaluate(kTick, true);
        e.release();
        EXPECT_FALSE(e.released) << which;
        for (int i = 0; i < 10; ++i)
            EXPECT_DOUBLE_EQ(e.evaluate(kTick, true), 1.0) << which;
    }
}

TEST(CEnvelope, ReleaseDuringAttackStartsFromTheLevelReached) {
    CEnvelope e;
    e.setDelta(0, 0.1);
    e.setDelta(2, 0.01);
    e.start(0.0);
    double reached = 0.0;
    for (int i = 0; i < 50; ++i)
        reached = e.evaluate(kTick, true);
    EXPECT_NEAR(reached, 0.49 * 0.99801, 0.002);
    e.release();
    EXPECT_NEAR(e.evaluate(kTick, true), reached, 1e-12);
    double previous = reached;
    for (int i = 0; i < 9; ++i) {
        const double v = e.evaluate(kTick, true);
        EXPECT_LT(v, previous);
        previous = v;
    }
    for (int i = 0; i < 5; ++i)
        e.evaluate(kTick, true);
    EXPECT_TRUE(e.isFinished());
}

TEST(CEnvelope, LoopReplaysFromLoopEndLevel) {
    CEnvelope e = fivePoints(); // end times 0.1 0.3 0.6 1.0 1.5, loop 1..2
    e.setLevel(0, 1.0);
    e.setLevel(1, 0.2);
    e.setLevel(2, 0.6);
    e.start(0.0);
    for (int i = 0; i < 650; ++i)
        e.evaluate(kTick, true);
    EXPECT_TRUE(e.looping);
    EXPECT_EQ(e.currentSegment, 1);
    // Segment 1 now runs from loop end's level 0.6 towards 0.2.
    EXPECT_NEAR(e.evaluate(0.0, true), 0.6 + (0.2 - 0.6) * e.timeInSegment / 0.2, 1e-9);
    // Without permission to loop, it runs on through.
    CEnvelope once = e;
    for (int i = 0; i < 2000; ++i)
        once.evaluate(kTick, false);
    EXPECT_TRUE(once.isFinished());
    // A huge step lands within the loop instead of walking forever.
    e.evaluate(1e12, true);
    EXPECT_GE(e.currentSegment, 1);
    EXPECT_LE(e.currentSegment, 2);
    EXPECT_TRUE(std::isfinite(e.evaluate(std::numeric_limits<double>::infinity(), true)));
}

TEST(CEnvelope, RetriggerContinuesFromTheCurrentLevel) {
    CEnvelope e;
    e.start(0.0);
    for (int i = 0; i < 100; ++i)
        e.evaluate(kTick, true);
    e.retriggerFromCurrentLevel();
    EXPECT_EQ(e.currentSegment, 0);
    EXPECT_FALSE(e.looping);
    EXPECT_DOUBLE_EQ(e.evaluate(kTick, true), 1.0); // no click down to 0
    // The segment that was running gets its own start level back.
    EXPECT_DOUBLE_EQ(e.points[1].startLevel, 1.0);
}

TEST(CEnvelope, BipolarMapsRunningAndFinishedValues) {
    CEnvelope e;
    e.bipolar = true;
    e.setLastLevel(0.25);
    e.start(0.0);
    EXPECT_DOUBLE_EQ(e.evaluate(kTick, true), -0.5); // starts from the last level
    for (int i = 0; i < 5; ++i) {
        const double v = e.evaluate(kTick, true);
        EXPECT_GE(v, -1.0);
        EXPECT_LE(v, 1.0);
    }
    EXPECT_DOUBLE_EQ(e.evaluate(kTick, true), 1.0);
    e.release();
    for (int i = 0; i < 5; ++i)
        e.evaluate(kTick, true);
    ASSERT_TRUE(e.isFinished());
    EXPECT_DOUBLE_EQ(e.evaluate(kTick, true), -0.5);
}

TEST(CEnvelope, SegmentShapeFollowsTheCurve) {
    EXPECT_DOUBLE_EQ(CEnvelope::segmentShape(0.0, 1.0, 0.5, 0.3), 0.3);
    EXPECT_DOUBLE_EQ(CEnvelope::segmentShape(0.2, 0.6, 0.0, 1.0), 0.6);
    EXPECT_DOUBLE_EQ(CEnvelope::segmentShape(0.2, 0.6, 1.0, 0.0), 0.2);
    // Curve 0 starts slowly (0.5 x 10^-5), curve 1 fast.
    EXPECT_NEAR(CEnvelope::segmentShape(0.0, 1.0, 0.0, 0.5), 0.5 * std::pow(10.0, -5.0), 1e-15);
    EXPECT_NEAR(CEnvelope::segmentShape(0.0, 1.0, 1.0, 0.5), 1.0 - 0.5 * std::pow(10.0, -5.0),
                1e-15);
}

TEST(CEnvelope, VelocityCurveIsReadAtVelocityOver127) {
    CEnvelope v;
    v.makeKeyTableDefault();
    EXPECT_EQ(v.pointCount, 2);
    EXPECT_FALSE(v.loopEnabled);
    EXPECT_TRUE(v.keepFollowing);
    v.setLevel(0, 0.8);
    v.setLevel(1, 0.2);
    v.start(127.0 / 127.0); // start of the second segment: point 0's level
    EXPECT_NEAR(v.evaluate(0.0, false), 0.8, 1e-12);
    v.start(0.0); // start of the first segment: the last level
    EXPECT_NEAR(v.evaluate(0.0, false), 0.2, 1e-12);
    v.start(64.0 / 127.0);
    EXPECT_NEAR(v.evaluate(0.0, false), 0.2 + 0.6 * 64.0 / 127.0, 1e-12);
}

TEST(CEnvelope, KeyTableSamplesTheFirstSegmentAndInterpolates) {
    CEnvelope k;
    k.makeKeyTableDefault();
    for (int i = 0; i < kKeyTableSize; ++i)
        ASSERT_DOUBLE_EQ(k.keyTable[i], 1.0);
    k.setLastLevel(0.0); // ramp from 0 at key 0 up to point 0's level
    const double step = CEnvelope::kKeyTableTimeGrid * CEnvelope::kTimeStepScale;
    EXPECT_DOUBLE_EQ(k.keyTable[0], 0.0);
    EXPECT_NEAR(k.keyTable[64], 64 * step, 1e-12);
    EXPECT_NEAR(k.keyTableLookup(64.5), 64.5 * step, 1e-12);
    EXPECT_DOUBLE_EQ(k.keyTableLookup(-3.0), k.keyTable[0]);
    EXPECT_DOUBLE_EQ(k.keyTableLookup(127.0), k.keyTable[127]);
    EXPECT_DOUBLE_EQ(k.keyTableLookup(1e30), k.keyTable[127]);
    EXPECT_DOUBLE_EQ(k.keyTableLookup(kNaN), k.keyTable[0]);
    k.reset(true); // a key-table curve resets to the flat curve
    EXPECT_EQ(k.pointCount, 2);
    EXPECT_DOUBLE_EQ(k.keyTable[0], 1.0);
}

TEST(CEnvelope, DepthsFollowTheTargetKind) {
    struct Case {
        int32_t kind;
        int destination;
        double value, stored;
        int storedAt;
    } cases[] = {
        {kTargetAmplitude, 3, -7.0, -1.0, 3},  {kTargetAmplitude, 10, 50.0, 10.0, 10},
        {kTargetAmplitude, 99, 5.0, 5.0, 10},  {kTargetAmplitude, -4, 0.5, 0.5, 0},
        {kTargetAmplitude, 8, 0.5, 0.0, 8},    {kTargetPitch, 2, 250.0, 100.0, 2},
        {kTargetFrequency, 10, 5.0, 0.0, 10},  {kTargetFrequency, 0, 250.0, 100.0, 0},
        {kTargetPanning, 10, 5.0, 1.0, 10},    {kTargetCutoff, 9, 3.0, 1.0, 9},
        {kTargetCutoff, 0, 0.5, 0.0, 0},       {kTargetAmplitude, 1, kNaN, -1.0, 1},
        {kTargetMixLevelMult, 8, 0.7, 0.7, 8}, {42, 9, 0.5, 0.5, 9}, // kind clamped to 9
    };
    for (const Case& c : cases) {
        CEnvelope e;
        e.targetKind = c.kind;
        e.setDepth(c.destination, c.value);
        EXPECT_DOUBLE_EQ(e.depths[c.storedAt], c.stored) << c.kind << " " << c.destination;
    }
    CEnvelope e;
    e.targetKind = kTargetPitch;
    e.setDepth(0, 48.0);
    e.targetKind = kTargetAmplitude;
    e.clampDepths();
    EXPECT_DOUBLE_EQ(e.depths[0], 1.0);
}

TEST(CEnvelope, DepthTexts) {
    CEnvelope e;
    e.setDepth(0, 0.5);
    e.setDepth(1, 0.004);
    e.setDepth(2, -0.004);
    e.setDepth(10, -2.345);
    EXPECT_EQ(depthText(e, 0), "0.50");
    EXPECT_EQ(depthText(e, 0, ','), "0,50");
    EXPECT_EQ(depthText(e, 1), "zero");
    EXPECT_EQ(depthText(e, 2), "zero");
    EXPECT_EQ(depthText(e, 3, ','), "zero");
    EXPECT_EQ(depthText(e, 8), "n/a");
    EXPECT_EQ(depthText(e, 10), "-2.35");
    char small[3];
    e.depthText(0, small, sizeof small, '.');
    EXPECT_STREQ(small, "0.");
}

TEST(CEnvelope, PointTextShowsTheSelectedPoint) {
    CEnvelope e;
    e.selectedPoint = 1;
    EXPECT_EQ(pointText(e), "Lev 1.00  Crv 0.50  Dlt 0.50");
    e.bipolar = true;
    e.setLevel(1, 0.25);
    EXPECT_EQ(pointText(e, ','), "Lev -0,50  Crv 0,50  Dlt 0,50");
}

TEST(CEnvelope, DestinationUsedNeedsAMeasurableDepth) {
    CEnvelope e;
    e.setDepth(0, 0.0001);
    e.setDepth(1, -0.00011);
    EXPECT_FALSE(e.isDestinationUsed(0));
    EXPECT_TRUE(e.isDestinationUsed(1));
    EXPECT_FALSE(e.isDestinationUsed(500));
}

TEST(CEnvelope, RecomputeRepairsADamagedRecord) {
    CEnvelope e;
    e.pointCount = 1000;
    e.loopEnd = -3;
    e.loopStart = 77;
    e.timeGrid = 0.0;
    e.points[1].delta = kNaN;
    e.points[1].level = kNaN;
    e.recompute();
    EXPECT_EQ(e.pointCount, kEnvelopeMaxPoints);
    EXPECT_EQ(e.loopEnd, 1);
    EXPECT_EQ(e.loopStart, 1);
    EXPECT_DOUBLE_EQ(e.timeGrid, CEnvelope::kDefaultTimeGrid);
    EXPECT_DOUBLE_EQ(e.level(1), 0.0);
    EXPECT_DOUBLE_EQ(e.delta(1), 0.001);
    e.start(0.0);
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(std::isfinite(e.evaluate(kTick, true)));
}
