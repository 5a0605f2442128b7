// What every effect promises the renderer, checked once for all of them:
// switched off it hands the signal back exactly; a NaN or an infinity in
// its input does not stay in its output; and at every sample rate and block
// length, with its settings moving while it runs, it stays inside its
// buffers (the sanitizers watch) and gives finite output.
#include "effects/CChorus.h"
#include "effects/CDelayLine.h"
#include "effects/CEq.h"
#include "effects/CReverb.h"
#include "effects/CStereoDelay.h"

#include "EffectSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

using namespace effects_test;

namespace {

// Each effect as the contract drives it. `configure(hard)`: on, wet, with
// every feedback path at its strongest (hard) or at zero, where a NaN times
// a zero gain would still be NaN. `vary(block)` moves the settings that size
// its buffers. `nonFiniteSpan()`: the frames from a non-finite input sample
// on during which it may still be heard.

struct Chorus {
    CChorus e;
    explicit Chorus(double rate) { e.setSampleRate(rate); }
    void configure(bool hard) {
        e.setEnabled(1.0f);
        e.setWet(1.0f);
        e.setDry(0.5f);
        e.setSpeed(hard ? 1.0f : 0.0f);
        e.setTime(hard ? 1.0f : 0.0f);
        e.setStereo(1.0f);
    }
    void vary(int32_t block) { e.setTime(float(block % 3) * 0.5f); }
    void switchOff() { e.setEnabled(0.0f); }
    void process(float* l, float* r, int32_t n) { e.process(l, r, n); }
    // No feedback: a sample lasts until the ring buffer is rewritten.
    int32_t nonFiniteSpan() const { return e.bufferSize() + 1; }
};

struct StereoDelay {
    CStereoDelay e;
    explicit StereoDelay(double rate) { e.setSampleRate(rate); }
    void configure(bool hard) {
        e.setOn(1.0);
        e.setWet(1.0);
        e.setPreTime(0.0);
        e.setLeftTime(0.1);
        e.setRightTime(0.2);
        e.setLeftPan(0.0);
        e.setRightPan(1.0);
        e.setFeedback(hard ? 1.0 : 0.0);
        e.setBalance(hard ? 0.5 : 1.0);
    }
    void vary(int32_t block) {
        // Lengths jump between the shortest and the longest while running.
        const double t = (block % 3) * 0.5;
        e.setPreTime(t);
        e.setLeftTime(1.0 - t);
        e.setRightTime(t);
        e.setSync(block % 2);
        e.setTempo(block % 5 == 0 ? 10.0 : 300.0);
    }
    void switchOff() { e.setOn(0.0); }
    void process(float* l, float* r, int32_t n) { e.process(l, r, n); }
    // The dry part passes the sample itself; the lines never take it in.
    int32_t nonFiniteSpan() const { return 1; }
};

struct Eq {
    CEq e;
    explicit Eq(double rate) { e.setSampleRate(rate); }
    void configure(bool hard) {
        for (int band = 0; band < CEq::kBands; ++band) {
            e.setLevel(band, hard ? 1.0 : 0.0);
            e.setQ(band, hard ? 1.0 : 0.0);
            e.setFrequency(band, 100.0 * (band + 1) * (band + 1));
        }
        e.setEnabled(1.0f);
    }
    void vary(int32_t block) { e.setFrequency(block % CEq::kBands, block % 2 ? 1e6 : 30.0); }
    void switchOff() { e.setEnabled(0.0f); }
    void process(float* l, float* r, int32_t n) { e.process(l, r, n); }
    int32_t nonFiniteSpan() const { return 0; }
};

struct Reverb {
    CReverb e;
    explicit Reverb(double rate) { e.setSampleRate(rate); }
    void configure(bool hard) {
        e.setFeedback(hard ? 1.0 : 0.0);
        e.setColor(1.0);
        e.setWet(1.0);
        e.setEnabled(1.0);
    }
    void vary(int32_t block) { e.setColor(block % 2); }
    void switchOff() { e.setEnabled(0.0); }
    void process(float* l, float* r, int32_t n) { e.process(l, r, n); }
    // The dry part passes the sample itself.
    int32_t nonFiniteSpan() const { return 1; }
};

// The delay line is mono and has no switch; a pair of them makes it stereo,
// sized by the rate as the reverb sizes its own.
struct DelayLine {
    CDelayLine left, right;
    explicit DelayLine(double rate)
        : left(int32_t(0.05 * rate), 0.0), right(int32_t(0.05 * rate), 0.5) {}
    void configure(bool hard) {
        for (CDelayLine* line : {&left, &right}) {
            line->setWet(1.0);
            line->setFeedback(hard ? 0.99 : 0.0);
        }
    }
    void vary(int32_t block) {
        // The pass length and its modulation jump, up to the reverb's fastest pass.
        const double t = (block % 3) * 0.5;
        for (CDelayLine* line : {&left, &right}) {
            line->setSize(t);
            line->setRate(3.0 * t);
            line->setDepth(1.0 - t);
        }
    }
    void process(float* l, float* r, int32_t n) {
        left.process(l, n);
        right.process(r, n);
    }
    int32_t nonFiniteSpan() const { return 0; }
};

// The block lengths of every test: the renderer's, and one longer than any
// piece it passes.
constexpr int32_t kContractBlocks[] = {1, 7, 512, 2500};

template <class Unit>
void run(Unit& unit, std::vector<float>& left, std::vector<float>& right, int32_t block,
         bool varying = false) {
    int32_t blocks = 0;
    inBlocks(left, right, block, [&](float* l, float* r, int32_t n) {
        if (varying) unit.vary(blocks++);
        unit.process(l, r, n);
    });
}

template <class Unit> class EffectContract : public ::testing::Test {};
using AllEffects = ::testing::Types<Chorus, StereoDelay, Eq, Reverb, DelayLine>;
TYPED_TEST_SUITE(EffectContract, AllEffects);

template <class Unit> class SwitchedEffectContract : public ::testing::Test {};
using SwitchedEffects = ::testing::Types<Chorus, StereoDelay, Eq, Reverb>;
TYPED_TEST_SUITE(SwitchedEffectContract, SwitchedEffects);

} // namespace

TYPED_TEST(SwitchedEffectContract, OffPassesTheSignalExactly) {
    for (double rate : kRates) {
        TypeParam unit(rate);
        unit.configure(true);
        std::vector<float> left = noise(5000, 1), right = noise(5000, 2);
        run(unit, left, right, 512); // something in every buffer, then off
        unit.switchOff();
        const std::vector<float> dryL = noise(3000, 3), dryR = noise(3000, 4);
        std::vector<float> l = dryL, r = dryR;
        run(unit, l, r, 512);
        EXPECT_EQ(l, dryL) << rate;
        EXPECT_EQ(r, dryR) << rate;
    }
}

TYPED_TEST(EffectContract, NonFiniteInputDoesNotStick) {
    // Every rate, and every block length at the usual rate.
    std::vector<std::pair<double, int32_t>> cases;
    for (double rate : kRates)
        cases.emplace_back(rate, 512);
    for (int32_t block : kContractBlocks)
        if (block != 512) cases.emplace_back(44100.0, block);
    for (bool hard : {false, true})
        for (const auto& [rate, block] : cases) {
            TypeParam unit(rate);
            unit.configure(hard);
            const size_t bad = 4096;
            const size_t span = size_t(unit.nonFiniteSpan());
            // After the span, long enough for several passes through every line.
            std::vector<float> left = noise(bad + span + size_t(rate / 8), 1),
                               right = noise(left.size(), 2);
            left[bad] = std::numeric_limits<float>::quiet_NaN();
            right[bad + 1] = std::numeric_limits<float>::infinity();
            run(unit, left, right, block);
            for (size_t i = 0; i < left.size(); ++i) {
                const bool mayL = i >= bad && i < bad + span;
                const bool mayR = i >= bad + 1 && i < bad + 1 + span;
                ASSERT_TRUE(mayL || std::isfinite(left[i]))
                    << "left " << i << ", rate " << rate << ", block " << block
                    << (hard ? ", hard" : ", gentle");
                ASSERT_TRUE(mayR || std::isfinite(right[i]))
                    << "right " << i << ", rate " << rate << ", block " << block
                    << (hard ? ", hard" : ", gentle");
            }
        }
}

TYPED_TEST(EffectContract, AnyRateAndBlockStaysInsideBuffers) {
    for (double rate : kRates)
        for (int32_t block : kContractBlocks) {
            TypeParam unit(rate);
            unit.configure(true);
            std::vector<float> left = noise(size_t(rate / 4), 5),
                               right = noise(size_t(rate / 4), 6);
            run(unit, left, right, block, true);
            EXPECT_TRUE(allFinite(left) && allFinite(right)) << rate << " " << block;
        }
}
