#include "engine/CHalfBandDecimator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kInputRate = 88200.0; // twice 44.1 kHz

// A sine of the given frequency at the input rate through a fresh decimator,
// fed in blocks of uneven sizes so that every block boundary meets the history.
std::vector<float> decimateSine(double hz, int32_t outputFrames) {
    std::vector<float> in(size_t(2 * outputFrames));
    for (size_t j = 0; j < in.size(); ++j)
        in[j] = float(std::sin(2.0 * kPi * hz * double(j) / kInputRate));
    std::vector<float> out(static_cast<size_t>(outputFrames));
    CHalfBandDecimator d;
    const int32_t blocks[] = {1, 37, 512, 200, 3, 511};
    int32_t done = 0;
    for (int32_t b = 0; done < outputFrames; ++b) {
        int32_t n = blocks[b % 6];
        if (n > outputFrames - done) n = outputFrames - done;
        d.process(in.data() + 2 * done, out.data() + done, n);
        done += n;
    }
    return out;
}

// The largest output of a steady sine after the filter has filled, and its
// largest distance from the input sine delayed by the latency.
struct Steady {
    double peak = 0.0;
    double error = 0.0;
};

Steady steady(double hz) {
    const std::vector<float> out = decimateSine(hz, 6000);
    const int32_t latency = CHalfBandDecimator::kLatencyFrames;
    Steady s;
    for (int32_t m = 1000; m < int32_t(out.size()); ++m) {
        const double expected = std::sin(2.0 * kPi * hz * 2.0 * (m - latency) / kInputRate);
        s.peak = std::max(s.peak, std::fabs(double(out[size_t(m)])));
        s.error = std::max(s.error, std::fabs(out[size_t(m)] - expected));
    }
    return s;
}

TEST(CHalfBandDecimator, PassesTheAudioBandDelayedWithoutPhaseShift) {
    // Within 0.001 dB of the input, and linear phase: output frame m is the
    // input at sample 2 (m - latency).
    const double withinThousandthDb = std::pow(10.0, 0.001 / 20.0) - 1.0;
    for (double hz : {100.0, 1000.0, 3000.0, 10000.0, 20000.0})
        EXPECT_LT(steady(hz).error, withinThousandthDb) << hz << " Hz";
}

TEST(CHalfBandDecimator, RemovesWhatWouldFoldIntoTheAudioBand) {
    const double minus85Db = std::pow(10.0, -85.0 / 20.0);
    for (double hz : {24100.0, 26000.0, 33000.0, 40000.0, 44000.0})
        EXPECT_LT(steady(hz).peak, minus85Db) << hz << " Hz";
}

TEST(CHalfBandDecimator, PassesSilenceAndDirectCurrentExactlyAndForgetsOnReset) {
    CHalfBandDecimator d;
    std::vector<float> ones(1024, 1.0f), out(512, -1.0f);
    d.process(ones.data(), out.data(), 512);
    d.process(ones.data(), out.data(), 512);
    for (float y : out)
        ASSERT_NEAR(y, 1.0f, 1e-6f);

    d.reset();
    std::vector<float> zeros(1024, 0.0f);
    d.process(zeros.data(), out.data(), 512);
    for (float y : out)
        ASSERT_EQ(y, 0.0f);

    double sum = CHalfBandDecimator::centreTap();
    for (int32_t i = 0; i < CHalfBandDecimator::kPairs; ++i)
        sum += 2.0 * CHalfBandDecimator::pairTap(i);
    EXPECT_NEAR(sum, 1.0, 1e-6);
}

} // namespace
