#include "effects/CStereoDelay.h"

#include "EffectSignals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <vector>

using namespace effects_test;

namespace {

// The buffers hold a +-1e-7 guard pattern, so "silent" means below this.
constexpr float kSilence = 1e-5f;

// On, wet 1, no pre-delay (4 samples), left line 617 samples, right line 2334.
struct EchoFixture {
    static constexpr size_t kPre = 4, kLeft = 617, kRight = 2334;
    CStereoDelay delay;
    EchoFixture(double leftPan, double rightPan, double feedback, double balance) {
        delay.setPreTime(0.0);
        delay.setLeftTime(0.1);  // 13.98 ms -> length 616
        delay.setRightTime(0.2); // 52.92 ms -> length 2333
        delay.setLeftPan(leftPan);
        delay.setRightPan(rightPan);
        delay.setFeedback(feedback);
        delay.setBalance(balance);
        delay.setWet(1.0);
        delay.setOn(1.0);
    }
    // An impulse on the left channel at frame 0, run in 512-frame pieces.
    void impulse(std::vector<float>& left, std::vector<float>& right, size_t frames) {
        left.assign(frames, 0.0f);
        right.assign(frames, 0.0f);
        left[0] = 1.0f;
        inBlocks(left, right, 512, [&](float* l, float* r, int32_t n) { delay.process(l, r, n); });
    }
};

} // namespace

TEST(CStereoDelay, LengthsInFreeAndSyncMode) {
    struct Case {
        bool sync;
        double tempo, pre, leftTime;
        int32_t preLength, leftLength;
    } cases[] = {
        {false, 120, 0.0, 0.0, 3, 44},        // 0 ms pre-delay -> length 3; lines 1 ms
        {false, 120, 1.0, 1.0, 57241, 57285}, // 1298 ms and 1299 ms
        {true, 120, 1.0, 0.0, 44100, 5512},   // 8 sixteenths = 1000 ms; 1 sixteenth = 125 ms
        {true, 120, 0.0, 1.0, 3, 44100},      // 8 sixteenths
        {true, 10, 1.0, 1.0, 176311, 176311}, // 12 s and 12 s limited to 3998 ms
        {false, 120, -3.0, 9999.0, 3, 57285}, // out-of-range values are limited to 0..1
        {false, 120, std::numeric_limits<double>::quiet_NaN(), 0.5, 3, 14354}, // 325.5 ms
    };
    for (const Case& c : cases) {
        CStereoDelay delay;
        delay.setTempo(c.tempo);
        delay.setSync(c.sync ? 1.0 : 0.0);
        delay.setPreTime(c.pre);
        delay.setLeftTime(c.leftTime);
        delay.setRightTime(c.leftTime);
        EXPECT_EQ(delay.preLength(), c.preLength) << c.sync << " " << c.pre;
        EXPECT_EQ(delay.leftLength(), c.leftLength) << c.sync << " " << c.leftTime;
        EXPECT_EQ(delay.rightLength(), c.leftLength);
    }
}

TEST(CStereoDelay, LimitHoldsAtEveryRate) {
    for (double rate : kRates) {
        CStereoDelay delay;
        delay.setSampleRate(rate);
        delay.setTempo(10.0);
        delay.setSync(1.0);
        delay.setLeftTime(1.0);
        EXPECT_EQ(delay.leftLength(), int32_t(3.998 * rate)) << rate;
    }
}

TEST(CStereoDelay, ImpulseEchoesPingPongWithPans) {
    struct Case {
        double leftPan, rightPan;
        float leftEchoL, leftEchoR, rightEchoL, rightEchoR;
    } cases[] = {
        {0.0, 1.0, 0.5f, 0.0f, 0.0f, 0.5f},     // left line hard left, right line hard right
        {1.0, 0.0, 0.0f, 0.5f, 0.5f, 0.0f},     // swapped
        {0.5, 0.5, 0.25f, 0.25f, 0.25f, 0.25f}, // both centred
    };
    for (const Case& c : cases) {
        EchoFixture f(c.leftPan, c.rightPan, 0.5, 1.0);
        std::vector<float> left, right;
        f.impulse(left, right, 6400);                             // up to the fourth echo, at 5906
        const size_t e1 = EchoFixture::kPre + EchoFixture::kLeft; // left line
        const size_t e2 = e1 + EchoFixture::kRight;               // right line
        const size_t e3 = e2 + EchoFixture::kLeft;                // fed back into the left line
        const float fb = 0.5f * 0.99f;
        EXPECT_NEAR(left[e1], c.leftEchoL, kSilence) << c.leftPan;
        EXPECT_NEAR(right[e1], c.leftEchoR, kSilence);
        EXPECT_NEAR(left[e2], c.rightEchoL, kSilence);
        EXPECT_NEAR(right[e2], c.rightEchoR, kSilence);
        EXPECT_NEAR(left[e3], c.leftEchoL * fb, kSilence);
        EXPECT_NEAR(right[e3], c.leftEchoR * fb, kSilence);
        for (size_t i = 1; i < left.size(); ++i) {
            if (i == e1 || i == e2 || i == e3 || i == e3 + EchoFixture::kRight) continue;
            ASSERT_NEAR(left[i], 0.0f, kSilence) << i;
            ASSERT_NEAR(right[i], 0.0f, kSilence) << i;
        }
    }
}

TEST(CStereoDelay, BalanceChoosesPreDelayedDryOrLines) {
    {
        EchoFixture f(0.0, 1.0, 0.5, 0.0); // only the pre-delayed dry signal
        std::vector<float> left, right;
        f.impulse(left, right, 4096);
        EXPECT_NEAR(left[EchoFixture::kPre], 1.0f, kSilence);
        EXPECT_NEAR(right[EchoFixture::kPre], 0.0f, kSilence);
        for (size_t i = EchoFixture::kPre + 1; i < left.size(); ++i)
            ASSERT_NEAR(left[i], 0.0f, kSilence) << i;
    }
    {
        EchoFixture f(0.0, 1.0, 0.5, 1.0); // only the lines
        std::vector<float> left, right;
        f.impulse(left, right, 4096);
        EXPECT_NEAR(left[EchoFixture::kPre], 0.0f, kSilence);
        EXPECT_NEAR(left[EchoFixture::kPre + EchoFixture::kLeft], 0.5f, kSilence);
    }
}

TEST(CStereoDelay, SwitchingOnDropsOldEchoes) {
    EchoFixture f(0.0, 1.0, 0.9, 1.0);
    std::vector<float> left, right;
    f.impulse(left, right, 300); // the first echo is still in the left line
    f.delay.setOn(0.0);
    f.delay.setOn(1.0);
    std::vector<float> l2(20000, 0.0f), r2(20000, 0.0f);
    inBlocks(l2, r2, 512, [&](float* l, float* r, int32_t n) { f.delay.process(l, r, n); });
    for (size_t i = 0; i < l2.size(); ++i) {
        ASSERT_NEAR(l2[i], 0.0f, kSilence) << i;
        ASSERT_NEAR(r2[i], 0.0f, kSilence) << i;
    }
}

// With the left line panned hard left, the right line hard right, no feedback
// and silent input, each output is exactly what its line held at the position
// read. Whatever the delay forgot (switched on, new rate) or never reached (a
// line made longer) must read as the guard pattern of its buffer position,
// whatever the block lengths: +1e-7 at even positions, -1e-7 at odd ones.
TEST(CStereoDelay, ForgottenAndUnreachedSamplesReadAsTheGuardPattern) {
    auto guard = [](size_t position) { return position % 2 ? -1e-7f : 1e-7f; };
    const int32_t blocks[] = {1, 7, 4096, 300, 2, 512};
    auto silence = [&](CStereoDelay& delay, std::vector<float>& left, std::vector<float>& right,
                       size_t frames) {
        left.assign(frames, 0.0f);
        right.assign(frames, 0.0f);
        for (size_t done = 0, b = 0; done < frames; ++b) {
            const size_t n = std::min(frames - done, size_t(blocks[b % std::size(blocks)]));
            delay.process(&left[done], &right[done], int32_t(n));
            done += n;
        }
    };
    auto play = [](CStereoDelay& delay, size_t frames) {
        std::vector<float> left = noise(frames, 7), right = noise(frames, 8);
        inBlocks(left, right, 512, [&](float* l, float* r, int32_t n) { delay.process(l, r, n); });
    };
    std::vector<float> left, right;

    // Switched on again after 5000 frames: both lines forget everything.
    EchoFixture on(0.0, 1.0, 0.0, 1.0);
    play(on.delay, 5000);
    on.delay.setOn(1.0);
    silence(on.delay, left, right, 4000);
    for (size_t k = 0; k < EchoFixture::kLeft; ++k)
        ASSERT_EQ(left[k], guard((5000 + k) % EchoFixture::kLeft)) << k;
    for (size_t k = 0; k < EchoFixture::kRight; ++k)
        ASSERT_EQ(right[k], guard((5000 + k) % EchoFixture::kRight)) << k;
    for (size_t k = 0; k < left.size(); ++k)
        ASSERT_LE(std::fabs(left[k]) + std::fabs(right[k]), 2e-7f) << k;

    // A new rate restarts every position on forgotten buffers.
    EchoFixture rate(0.0, 1.0, 0.0, 1.0);
    play(rate.delay, 5000);
    rate.delay.setSampleRate(48000.0);
    silence(rate.delay, left, right, size_t(rate.delay.leftLength()) + 1);
    for (size_t k = 0; k < left.size(); ++k)
        ASSERT_EQ(left[k], guard(k)) << k;

    // The left line made longer after 3000 frames at length 616: positions
    // 532..616 still hold the noise, the ones beyond were never reached.
    EchoFixture longer(0.0, 1.0, 0.0, 1.0);
    play(longer.delay, 3000);
    longer.delay.setLeftTime(0.2); // length 2333
    silence(longer.delay, left, right, 2334 - 532);
    for (size_t k = 617 - 532; k < left.size(); ++k)
        ASSERT_EQ(left[k], guard(532 + k)) << k;
}

TEST(CStereoDelay, AppliesItsOwnValueIds) {
    CStereoDelay delay;
    EXPECT_FALSE(delay.applyValue(2, 1.0));
    EXPECT_FALSE(delay.applyValue(13, 1.0));
    EXPECT_TRUE(delay.applyValue(3, 1.0)); // pre time
    EXPECT_TRUE(delay.applyValue(4, 0.0)); // left time
    EXPECT_TRUE(delay.applyValue(6, 1.0)); // right time
    EXPECT_EQ(delay.preLength(), 57241);
    EXPECT_EQ(delay.leftLength(), 44);
    EXPECT_EQ(delay.rightLength(), 57285);
    EXPECT_TRUE(delay.applyValue(11, 1.0)); // sync at 120 bpm
    EXPECT_EQ(delay.leftLength(), 5512);
    EXPECT_FALSE(delay.isOn());
    EXPECT_TRUE(delay.applyValue(12, 0.5));
    EXPECT_TRUE(delay.isOn());
}
