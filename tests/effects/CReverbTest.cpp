#include "effects/CReverb.h"

#include "EffectSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace effects_test;

namespace {

constexpr double kRate = 44100.0;
// Frames until the input delay line has faded its input in.
constexpr size_t kFadeIn = 10000;

void run(CReverb& reverb, std::vector<float>& left, std::vector<float>& right,
         int32_t block = 512) {
    inBlocks(left, right, block, [&](float* l, float* r, int32_t n) { reverb.process(l, r, n); });
}

// An enabled reverb at 44100 Hz with wet 1 and the given feedback and colour.
void configure(CReverb& reverb, double feedback, double color) {
    reverb.setSampleRate(kRate);
    reverb.setFeedback(feedback);
    reverb.setColor(color);
    reverb.setWet(1.0);
    reverb.setEnabled(1.0);
}

// The wet response to an impulse on both channels at kFadeIn.
std::vector<float> impulseResponse(CReverb& reverb, size_t frames) {
    std::vector<float> left(kFadeIn + frames, 0.0f), right(kFadeIn + frames, 0.0f);
    left[kFadeIn] = right[kFadeIn] = 1.0f;
    run(reverb, left, right);
    left[kFadeIn] -= 1.0f; // the dry impulse itself
    return std::vector<float>(left.begin() + long(kFadeIn), left.end());
}

double energy(const std::vector<float>& x, size_t from, size_t to) {
    double sum = 0.0;
    for (size_t i = from; i < to; ++i)
        sum += double(x[i]) * x[i];
    return sum;
}

} // namespace

TEST(CReverb, FilterLengthsScaleWithTheRate) {
    const int32_t combs[] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
    const int32_t allpasses[] = {234, 200, 168, 125};
    CReverb reverb;
    reverb.setSampleRate(44100.0);
    for (int k = 0; k < CReverb::kCombs; ++k) {
        EXPECT_EQ(reverb.combLength(k, 0), combs[k]);
        EXPECT_EQ(reverb.combLength(k, 1), combs[k] + 123);
    }
    for (int k = 0; k < CReverb::kAllpasses; ++k) {
        EXPECT_EQ(reverb.allpassLength(k, 0), allpasses[k]);
        EXPECT_EQ(reverb.allpassLength(k, 1), allpasses[k] + 123);
    }
    EXPECT_EQ(reverb.inputLine()->slots(), 2205); // 50 ms
    reverb.setSampleRate(88200.0);
    for (int k = 0; k < CReverb::kCombs; ++k) {
        EXPECT_EQ(reverb.combLength(k, 0), 2 * combs[k]);
        EXPECT_EQ(reverb.combLength(k, 1), 2 * (combs[k] + 123));
    }
    EXPECT_EQ(reverb.inputLine()->slots(), 4410);
    reverb.setSampleRate(8000.0);
    EXPECT_EQ(reverb.combLength(0, 0), 202); // 1116 x 8000 / 44100 = 202.4
}

TEST(CReverb, FeedbackAndColorMapping) {
    struct Case {
        double v;
        float feedback, damping;
    } cases[] = {
        {0.0, -0.55f, 0.7f},  {1.0, -0.98f, 0.0f}, {0.25, -(0.55f + 0.43f * 0.5f), 0.525f},
        {-4.0, -0.55f, 0.7f}, {7.0, -0.98f, 0.0f},
    };
    for (const Case& c : cases) {
        CReverb reverb;
        reverb.setFeedback(c.v);
        reverb.setColor(c.v);
        EXPECT_NEAR(reverb.feedback(), c.feedback, 1e-6f) << c.v;
        EXPECT_NEAR(reverb.damping(), c.damping, 1e-6f) << c.v;
    }
}

TEST(CReverb, WetJumpsOnEnableAndGlidesOtherwise) {
    CReverb reverb;
    reverb.setSampleRate(kRate);
    reverb.setWet(0.5);
    EXPECT_EQ(reverb.wetTarget(), 0.0f); // disabled
    reverb.setEnabled(1.0);
    EXPECT_FLOAT_EQ(reverb.wetTarget(), 0.25f);
    EXPECT_FLOAT_EQ(reverb.wetCurrent(), 0.25f);
    reverb.setWet(1.0);
    EXPECT_FLOAT_EQ(reverb.wetCurrent(), 0.25f);
    std::vector<float> left(100, 0.0f), right(100, 0.0f);
    run(reverb, left, right);
    EXPECT_NEAR(reverb.wetCurrent(), 1.0 - 0.75 * std::pow(0.995, 100), 1e-4);
    reverb.setEnabled(0.0);
    EXPECT_EQ(reverb.wetCurrent(), 0.0f);
}

TEST(CReverb, ImpulseResponseDecays) {
    CReverb reverb;
    configure(reverb, 0.0, 0.5);
    const std::vector<float> ir = impulseResponse(reverb, 3 * 44100);
    const double head = energy(ir, 0, 4410);              // the first 100 ms
    const double tail = energy(ir, 2 * 44100, ir.size()); // after 2 s
    EXPECT_GT(head, 1e-6);
    EXPECT_LT(10.0 * std::log10(tail / head), -40.0);
}

TEST(CReverb, MoreFeedbackRingsLonger) {
    double tails[2];
    const double feedbacks[2] = {0.0, 1.0};
    for (int i = 0; i < 2; ++i) {
        CReverb reverb;
        configure(reverb, feedbacks[i], 1.0);
        const std::vector<float> ir = impulseResponse(reverb, 44100);
        tails[i] = energy(ir, 22050, 44100) / energy(ir, 0, 4410);
    }
    EXPECT_GT(tails[1], 100.0 * tails[0]);
}

TEST(CReverb, SwitchingDropsTheTail) {
    CReverb reverb;
    configure(reverb, 1.0, 1.0);
    impulseResponse(reverb, 2000);
    reverb.setEnabled(0.0);
    reverb.setEnabled(1.0);
    std::vector<float> left(1000, 0.0f), right(1000, 0.0f);
    run(reverb, left, right);
    for (size_t i = 0; i < left.size(); ++i)
        ASSERT_EQ(left[i], 0.0f) << i;
}

TEST(CReverb, SameRateKeepsTheTailButRenewsTheInputLine) {
    CReverb reverb;
    configure(reverb, 1.0, 1.0);
    impulseResponse(reverb, 2000);
    const CDelayLine* before = reverb.inputLine();
    reverb.setSampleRate(kRate);
    EXPECT_NE(reverb.inputLine(), before);
    std::vector<float> left(2000, 0.0f), right(2000, 0.0f);
    run(reverb, left, right);
    EXPECT_GT(rms(left, 0, left.size()), 1e-4); // the combs still ring
}

TEST(CReverb, AppliesItsOwnValueIds) {
    CReverb reverb;
    EXPECT_FALSE(reverb.applyValue(32, 1.0));
    EXPECT_FALSE(reverb.applyValue(37, 1.0));
    EXPECT_TRUE(reverb.applyValue(34, 1.0));
    EXPECT_NEAR(reverb.feedback(), -0.98f, 1e-6f);
    EXPECT_TRUE(reverb.applyValue(35, 0.0));
    EXPECT_NEAR(reverb.damping(), 0.7f, 1e-6f);
    EXPECT_TRUE(reverb.applyValue(36, 0.5));
    EXPECT_TRUE(reverb.applyValue(33, 1.0));
    EXPECT_TRUE(reverb.isEnabled());
    EXPECT_FLOAT_EQ(reverb.wetTarget(), 0.25f);
}

TEST(CReverb, WithoutARateProcessingDoesNothing) {
    CReverb unprepared; // no buffers before the first rate
    unprepared.setEnabled(1.0);
    unprepared.setWet(1.0);
    std::vector<float> l(64, 0.5f), r(64, 0.5f);
    unprepared.process(l.data(), r.data(), 64);
    EXPECT_EQ(l[0], 0.5f);
}
