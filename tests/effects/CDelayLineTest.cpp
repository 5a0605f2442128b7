#include "effects/CDelayLine.h"

#include "EffectSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace effects_test;

namespace {

// Samples the step and the gains need to settle from their start values.
constexpr int32_t kSettle = 20000;

// A wet-only line with everything settled.
CDelayLine settledLine(int32_t slots, double rate, double depth, double feedback = 0.0) {
    CDelayLine line(slots, 0.0);
    line.setDry(0.0f);
    line.setWet(1.0);
    line.setRate(rate);
    line.setDepth(depth);
    line.setFeedback(feedback);
    std::vector<float> zeros(kSettle, 0.0f);
    line.process(zeros.data(), kSettle);
    return line;
}

size_t peakIndex(const std::vector<float>& x, size_t from, size_t to) {
    size_t best = from;
    for (size_t i = from; i < to; ++i)
        if (std::fabs(x[i]) > std::fabs(x[best])) best = i;
    return best;
}

} // namespace

TEST(CDelayLine, ImpulseReturnsAfterOnePass) {
    struct Case {
        double rate, depth;
        size_t expectedDelay;
    } cases[] = {
        {0.0, 0.0, 2183}, // size 1: about 0.99 x 2205 samples per pass
        {3.0, 1.0, 5},    // the reverb's setting: the fastest pass, 0.2 per sample
    };
    for (const Case& c : cases) {
        CDelayLine line = settledLine(2205, c.rate, c.depth);
        std::vector<float> x(4000, 0.0f);
        x[10] = 1.0f;
        line.process(x.data(), int32_t(x.size()));
        const size_t peak = peakIndex(x, 0, x.size());
        EXPECT_NEAR(double(peak), double(10 + c.expectedDelay), 1.0) << "rate " << c.rate;
        EXPECT_GT(x[peak], 0.5f);
    }
}

TEST(CDelayLine, FirstPassReadsNothing) {
    CDelayLine line(2205, 0.0);
    line.setDry(0.0f);
    line.setWet(1.0);
    std::vector<float> x = noise(2000, 7);
    line.process(x.data(), int32_t(x.size()));
    for (float v : x)
        ASSERT_EQ(v, 0.0f);
}

TEST(CDelayLine, FeedbackRepeatsEachPass) {
    CDelayLine line = settledLine(2205, 0.0, 0.0, 0.5);
    std::vector<float> x(8000, 0.0f);
    x[0] = 1.0f;
    line.process(x.data(), int32_t(x.size()));
    auto energyNear = [&](size_t centre) {
        double sum = 0.0;
        for (size_t i = centre - 3; i <= centre + 3; ++i)
            sum += x[i];
        return sum;
    };
    const double first = energyNear(2183), second = energyNear(2 * 2183);
    EXPECT_NEAR(first, 1.0, 0.05);
    EXPECT_NEAR(second / first, 0.5, 0.05);
}

TEST(CDelayLine, ExtremeSettingsStayInsideBuffers) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        int32_t slots;
        double size, rate, depth;
    } cases[] = {
        {0, 1.0, 0.0, 0.0},       {5, 0.0, 3.0, 1.0},    {5, 1.0, 0.0, 0.0},
        {441, -7.0, 0.5, 1e9},    {400, 12.0, nan, nan}, {2205, nan, 1e300, -5.0},
        {19200, 1.0, 0.001, 0.3},
    };
    for (const Case& c : cases) {
        CDelayLine line(c.slots, 0.5);
        EXPECT_GE(line.slots(), 5);
        line.setSize(c.size);
        line.setRate(c.rate);
        line.setDepth(c.depth);
        line.setFeedback(0.99);
        line.setWet(1.0);
        line.setDamping(0.0f);
        std::vector<float> x = noise(50000, 11);
        for (int32_t block : kBlocks)
            for (size_t done = 0; done + size_t(block) <= 20000; done += size_t(block))
                line.process(x.data() + done, block);
        EXPECT_TRUE(allFinite(x)) << c.slots;
    }
}

TEST(CDelayLine, ClearForgetsTheRecording) {
    CDelayLine line = settledLine(2205, 0.0, 0.0, 0.9);
    std::vector<float> x = noise(3000, 5);
    line.process(x.data(), int32_t(x.size()));
    line.clear();
    std::vector<float> silence(5000, 0.0f);
    line.process(silence.data(), int32_t(silence.size()));
    for (float v : silence)
        ASSERT_EQ(v, 0.0f);
}
