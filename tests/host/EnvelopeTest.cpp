// Modulation envelopes heard at the output: segment times, the sustain loop,
// the release, tempo sync from the host's tempo, and the velocity and key
// curves that scale an envelope's depth.
#include "base/ValueIds.h"
#include "host/VoiceHost.h"

#include <cmath>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace {

// 2205 Hz: exactly 20 samples per period, so its amplitude can be followed
// closely.
constexpr double kToneHz = 2205.0;
// Full level of the tone on one side: amplitude 1, mix 1, pan centre.
constexpr double kFullLevel = 0.5;

// Operator 0 at kToneHz with no amplitude of its own; envelope 0 adds its
// value to that amplitude. points: (level, delta seconds).
CProgram envelopeProgram(const std::vector<std::pair<double, double>>& points, int loopStart,
                         int loopEnd) {
    CProgram p = quietProgram();
    fixedOperator(p, 0, kToneHz, 1.0, 0.0, 0.0);
    CEnvelope& e = p.envelopes[0];
    e.targetKind = kTargetAmplitude;
    e.setDepth(0, 1.0);
    while (e.pointCount < int(points.size()))
        e.insertPoint(e.pointCount - 1);
    for (size_t i = 0; i < points.size(); ++i) {
        e.setLevel(int(i), points[i].first);
        e.setDelta(int(i), points[i].second);
        e.setCurve(int(i), 0.5);
    }
    e.setLoopStart(1);
    e.setLoopEnd(loopEnd);
    e.setLoopStart(loopStart);
    return p;
}

// Samples that envelope time t (seconds) takes, after the one tick by which
// the amplitude ramp follows the envelope.
double samplesFor(double envelopeSeconds) {
    return kTick + envelopeSeconds / kEnvelopeTimeScale * kRate;
}

std::vector<double> relativeLevel(const std::vector<float>& out) {
    std::vector<double> a = toneAmplitude(out, kToneHz);
    for (double& v : a)
        v /= kFullLevel;
    return a;
}

} // namespace

// Attack 0.1 s to 1, decay 0.1 s to 0.5 held, release 0.05 s after a note off
// that falls on a tick boundary.
TEST(HostEnvelopes, SegmentTimesAreHeardWithinOneTick) {
    CProgram p = envelopeProgram({{1.0, 0.1}, {0.5, 0.1}, {0.0, 0.05}}, 1, 1);
    PlayingInstance synth(p);
    ASSERT_TRUE(synth.loaded());
    synth.noteOn(60);
    const int32_t off = kTick * 300;
    synth.render(off);
    synth.noteOff(60);
    synth.renderSeconds(0.3);
    const std::vector<double> a = relativeLevel(synth.left);

    const struct {
        const char* what;
        size_t from;
        double level;
        bool rising;
        double expected; // sample
    } crossings[] = {
        {"attack halfway", 0, 0.5, true, samplesFor(0.05)},
        {"attack at 0.9", 0, 0.9, true, samplesFor(0.09)},
        {"decay halfway", 2000, 0.75, false, samplesFor(0.15)},
        {"release halfway", size_t(off), 0.25, false, off + samplesFor(0.025)},
        {"release at 0.1", size_t(off), 0.1, false, off + samplesFor(0.04)},
    };
    for (const auto& c : crossings) {
        SCOPED_TRACE(c.what);
        const long at = firstCrossing(a, c.from, c.level, c.rising);
        ASSERT_GE(at, 0);
        EXPECT_NEAR(double(at), c.expected, kTick);
    }
    // Held at the sustain level until the note off.
    EXPECT_NEAR(a[size_t(0.25 * kRate)], 0.5, 0.005);
    EXPECT_NEAR(a[size_t(off) - 100], 0.5, 0.005);
    // After the release the voice has ended: nothing but the decay of the
    // master high-pass remains.
    const size_t ended = size_t(off + samplesFor(0.05)) + 2 * kTick;
    EXPECT_LT(peak(synth.left, ended + size_t(0.05 * kRate), synth.now()), 1e-4);
}

// Loop from point 1 to point 2: 1 -> 0.2 in 40 ms, 0.2 -> 1 in 60 ms, for as
// long as the key is held; the release then starts from the level reached.
TEST(HostEnvelopes, SustainLoopRepeatsWhileHeld) {
    CProgram p = envelopeProgram({{1.0, 0.01}, {0.2, 0.04}, {1.0, 0.06}, {0.0, 0.02}}, 1, 2);
    PlayingInstance synth(p);
    ASSERT_TRUE(synth.loaded());
    synth.noteOn(60);
    const int32_t off = kTick * 1000;
    synth.render(off);
    synth.noteOff(60);
    synth.renderSeconds(0.2);
    const std::vector<double> a = relativeLevel(synth.left);
    size_t from = 0;
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(testing::Message() << "cycle " << k);
        // Falling through 0.6 halfway down, rising through it halfway up.
        const long down = firstCrossing(a, from, 0.6, false);
        ASSERT_GE(down, 0);
        EXPECT_NEAR(double(down), samplesFor(0.03 + 0.1 * k), kTick);
        const long up = firstCrossing(a, size_t(down), 0.6, true);
        ASSERT_GE(up, 0);
        EXPECT_NEAR(double(up), samplesFor(0.08 + 0.1 * k), kTick);
        from = size_t(up);
    }
    // Where the loop stands at the note off: one tick of ramp behind, then
    // 10 ms of attack, then 40 ms down and 60 ms up per cycle.
    const double t = (off - 1 - kTick) / kRate * kEnvelopeTimeScale;
    const double phase = std::fmod(t - 0.01, 0.1);
    ASSERT_GT(phase, 0.04);
    const double atOff = 0.2 + 0.8 * (phase - 0.04) / 0.06;
    EXPECT_NEAR(a[size_t(off) - 1], atOff, 0.02);
    // The release falls from there to 0 in 20 ms.
    const long half = firstCrossing(a, size_t(off), atOff / 2.0, false);
    EXPECT_NEAR(double(half), off + samplesFor(0.01), kTick);
    EXPECT_LT(peak(synth.left, size_t(off + samplesFor(0.02)) + size_t(0.06 * kRate), synth.now()),
              1e-4);
}

// With tempo sync an envelope's deltas are beats of the host's tempo, whatever
// the key and velocity would make of its rate otherwise.
TEST(HostEnvelopes, TempoSyncedEnvelopeFollowsTheHostTempo) {
    for (double tempo : {120.0, 60.0, 180.0}) {
        for (uint8_t key : {30, 100}) {
            SCOPED_TRACE(testing::Message() << tempo << " BPM, key " << int(key));
            CProgram p = envelopeProgram({{1.0, 0.5}, {1.0, 1.0}, {0.0, 0.1}}, 1, 1);
            p.envelopes[0].tempoSync = true;
            p.envelopes[0].rateKeyTracking = 1.0;
            p.envelopes[0].rateVelocitySensitivity = 1.0;
            PlayingInstance synth(p, tempo);
            ASSERT_TRUE(synth.loaded());
            synth.noteOn(key, 20);
            synth.renderSeconds(0.6 * 120.0 / tempo);
            const std::vector<double> a = relativeLevel(synth.left);
            // Halfway through a half-beat attack: a quarter beat.
            const double quarterBeat = 15.0 / tempo;
            EXPECT_NEAR(double(firstCrossing(a, 0, 0.5, true)), samplesFor(quarterBeat), kTick);
        }
    }
}

// Without tempo sync the same envelope runs faster for higher keys when its
// rate follows the key: a semitone law around key 64.
TEST(HostEnvelopes, RateKeyTrackingScalesTheEnvelopeSpeed) {
    for (uint8_t key : {64, 76, 52}) {
        SCOPED_TRACE(testing::Message() << "key " << int(key));
        CProgram p = envelopeProgram({{1.0, 0.2}, {1.0, 1.0}, {0.0, 0.1}}, 1, 1);
        p.envelopes[0].rateKeyTracking = 1.0;
        PlayingInstance synth(p);
        ASSERT_TRUE(synth.loaded());
        synth.noteOn(key);
        synth.renderSeconds(0.5);
        const std::vector<double> a = relativeLevel(synth.left);
        const double speed = std::pow(2.0, (key - 64) / 12.0);
        EXPECT_NEAR(double(firstCrossing(a, 0, 0.5, true)), samplesFor(0.1 / speed), kTick);
    }
}

// The velocity curve read at velocity / 127 and the key curve read at the
// note scale the envelope's depth.
TEST(HostEnvelopes, VelocityAndKeyCurvesScaleTheDepth) {
    // The curves run from their last point's level (time 0) to point 0's
    // level (time 1); key k sits at time k / 128 of the envelope clock.
    const double velocitySoft = 0.2, keyLow = 1.0, keyHigh = 0.3;
    auto velocityValue = [&](int velocity) {
        return velocitySoft + (1.0 - velocitySoft) * velocity / 127.0;
    };
    auto keyValue = [&](int key) {
        return keyLow + (keyHigh - keyLow) * key / 128.0 * kEnvelopeTimeScale;
    };
    const struct {
        bool velocityCurve, keyCurve;
        uint8_t key, velocity;
        double expected;
    } cases[] = {
        {false, false, 64, 127, 1.0},
        {false, false, 64, 1, 1.0},
        {true, false, 64, 127, velocityValue(127)},
        {true, false, 64, 64, velocityValue(64)},
        {true, false, 64, 1, velocityValue(1)},
        {false, true, 0, 127, keyValue(0)},
        {false, true, 64, 127, keyValue(64)},
        {false, true, 127, 127, keyValue(127)},
        {true, true, 100, 40, velocityValue(40) * keyValue(100)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "velocity curve " << c.velocityCurve << ", key curve " << c.keyCurve
                     << ", key " << int(c.key) << ", velocity " << int(c.velocity));
        CProgram p = envelopeProgram({{1.0, 0.01}, {1.0, 1.0}, {0.0, 0.1}}, 1, 1);
        if (c.velocityCurve) {
            p.velocityCurves[0].setLevel(0, 1.0);
            p.velocityCurves[0].setLevel(1, velocitySoft);
        }
        if (c.keyCurve) {
            p.keyCurves[0].setLevel(0, keyHigh);
            p.keyCurves[0].setLevel(1, keyLow);
        }
        PlayingInstance synth(p);
        ASSERT_TRUE(synth.loaded());
        synth.noteOn(c.key, c.velocity);
        synth.renderSeconds(0.15);
        const std::vector<double> a = relativeLevel(synth.left);
        EXPECT_NEAR(a[size_t(0.1 * kRate)], c.expected, 0.005);
    }
}
