// The operator bank's vector loops (the plain one and, where the processor
// has it, the wide one) against COperator::produce run operator by operator:
// outputs, phase inputs, accumulators, ramps and each lane's share of the mix
// agree bit for bit, sample by sample, over operators set to the extremes.
#include "voice/COperatorBank.h"
#include "waves/CWaveManager.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {
constexpr double kRate = 44100.0;
constexpr int kTick = 44;
constexpr int kLanes = COperatorBank::kLanes;
constexpr int kGroup = COperatorBank::kGroupLanes;

bool sameDouble(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}
bool sameFloat(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// What the matrix adds into the phase inputs, sample after sample: ordinary
// modulation, a rounding tie, the clamp's bounds and beyond, NaN and the
// infinities.
const double kPhaseAdds[] = {0.0,
                             0.013,
                             -0.37,
                             0.5 / COperator::kPhaseScale,
                             1.0 - 1e-12,
                             COperator::kPhaseInputLimit,
                             3e5,
                             -3e5,
                             std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             1e-300,
                             -7.25,
                             20.123456789};
constexpr int kPhaseAddCount = int(sizeof kPhaseAdds / sizeof kPhaseAdds[0]);

// Eight operators, each with its own table and settings at the edges: hard
// pans, inverted level, a frequency above Nyquist (the largest increment), 0
// Hz, a very low pitch, an amplitude sum beyond 1 (envelopes can add one), a
// silent but running lane, and ramps moving across the chunk.
struct Operators {
    CWaveManager waves;
    COperator op[kLanes];

    explicit Operators(uint32_t running) {
        for (int k = 0; k < kLanes; ++k) {
            double amplitudes[32] = {};
            double phases[32] = {};
            amplitudes[0] = 1.0;
            amplitudes[k + 1] = 0.5; // a different table per operator
            phases[k + 1] = 0.1 * k;
            waves.buildWave(k, amplitudes, phases, 0.0);
            op[k] = COperator(k);
            op[k].setSampleRate(kRate);
            op[k].setFreeRunningPhase(0);
            op[k].setOn((running >> k) & 1u ? 1.0 : 0.0);
        }
        const double amplitude[kLanes] = {1.0, 1.0, 0.5, 1.0, 0.0, 0.77, 0.0, 1.0};
        const double mix[kLanes] = {1.0, -1.0, 0.5, -0.3, 0.0, 1.0, -1.0, 0.2};
        const double pan[kLanes] = {-1.0, 1.0, 0.0, 0.5, -0.5, 1.0, -1.0, 0.0};
        const double coarse[kLanes][2] = {{1.0, 0.0}, {96.0, 0.0}, {0.0, 0.0},  {-96.0, 1.0},
                                          {3.5, 0.0}, {7.0, 0.0},  {12.0, 1.0}, {1.0, 0.0}};
        const double offset[kLanes] = {0.0, 0.0, 0.0, 0.0, 0.0, 123.4, 0.0, 9999.99};
        for (int k = 0; k < kLanes; ++k) {
            op[k].setAmplitude(amplitude[k]);
            op[k].setMixLevel(mix[k]);
            op[k].setPan(pan[k]);
            op[k].setCoarse(coarse[k][0], coarse[k][1]);
            op[k].setFrequencyOffset(offset[k]);
            op[k].resetForNote();
        }
        tick(true);
        // Second tick: ramps that move through the chunk.
        op[6].setAmplitude(1.0);
        op[6].setMixLevel(1.0);
        op[7].setAmplitude(0.0);
        op[0].setPan(0.3);
        tick(false);
    }
    void tick(bool first) {
        for (COperator& o : op) {
            o.beginModulation();
            if (&o == &op[3]) o.modulation.amplitude = 4.0;
            o.updateRamps(1.0f / kTick, first, true);
            o.updateFrequency(440.0, &waves);
            o.updateBasePhase();
        }
    }
    uint32_t running() const {
        uint32_t mask = 0;
        for (int k = 0; k < kLanes; ++k)
            mask |= uint32_t(op[k].isOn()) << k;
        return mask;
    }
};

#if defined(QUELLOR_HAS_WIDE_LANES)
// One sample of the wide loop, its nodes taken from and put back into the
// arrays (exact: the outputs are float samples).
template <bool Interpolate, bool AllRunning>
QUELLOR_WIDE_TARGET void produceWide(COperatorBank& bank, double* in, double* out,
                                     CStereoSum& mix) {
    COperatorBank::WideNodes nodes = COperatorBank::loadWide(in, out);
    bank.produceWide<Interpolate, AllRunning>(nodes, mix);
    COperatorBank::storeWide(nodes, in, out);
}
#endif

// Runs three chunks of a tick through the bank (wide or plain) and the same
// operators through produce, and compares them after every sample and at
// every chunk end.
template <bool Interpolate, bool AllRunning>
void compareWithProduce(uint32_t running, bool wide, const std::string& what) {
    Operators bank(running), plain(running);
    const uint32_t mask = bank.running();
    ASSERT_EQ(AllRunning, mask == COperatorBank::kAllLanes);
    COperatorBank lanes;
    double in[kLanes], out[kLanes];
    int sample = 0;
    for (int chunk = 0; chunk < 3; ++chunk) {
        lanes.load(bank.op, mask, in, out);
        for (int i = 0; i < kTick; ++i, ++sample) {
            for (int k = 0; k < kLanes; ++k) {
                const double add = kPhaseAdds[(sample * 3 + k) % kPhaseAddCount];
                in[k] += add;
                *plain.op[k].phaseInputPointer() += add;
            }
            CStereoSum mix;
#if defined(QUELLOR_HAS_WIDE_LANES)
            if (wide)
                produceWide<Interpolate, AllRunning>(lanes, in, out, mix);
            else
#endif
                lanes.produce<Interpolate, AllRunning>(in, out, mix);
            // Mix lane j takes operator j, then operator j + 4.
            float left[kGroup] = {}, right[kGroup] = {};
            for (int k = 0; k < kLanes; ++k)
                if ((mask >> k) & 1u) plain.op[k].produce<Interpolate>(left[k % 4], right[k % 4]);
            alignas(16) float mixLeft[kGroup], mixRight[kGroup];
            _mm_store_ps(mixLeft, mix.left);
            _mm_store_ps(mixRight, mix.right);
            for (int k = 0; k < kLanes; ++k) {
                ASSERT_TRUE(sameDouble(out[k], plain.op[k].lastOutput()))
                    << what << ": output of operator " << k << " at sample " << sample;
                ASSERT_TRUE(sameDouble(in[k], *plain.op[k].phaseInputPointer()))
                    << what << ": phase input of operator " << k << " at sample " << sample;
            }
            // With every operator on the sums start from the first product,
            // which keeps a -0 that 0 + (-0) would make +0: the same sum.
            for (int j = 0; j < kGroup; ++j) {
                const bool zeros = AllRunning && mixLeft[j] == 0.0f && left[j] == 0.0f;
                ASSERT_TRUE(sameFloat(mixLeft[j], left[j]) || zeros)
                    << what << ": left mix lane " << j << " at sample " << sample;
                const bool zerosRight = AllRunning && mixRight[j] == 0.0f && right[j] == 0.0f;
                ASSERT_TRUE(sameFloat(mixRight[j], right[j]) || zerosRight)
                    << what << ": right mix lane " << j << " at sample " << sample;
            }
        }
        lanes.store(bank.op, in, out);
        for (int k = 0; k < kLanes; ++k) {
            const COperator& a = bank.op[k];
            const COperator& b = plain.op[k];
            EXPECT_EQ(a.phaseAccumulator(), b.phaseAccumulator()) << what << ", operator " << k;
            EXPECT_TRUE(sameFloat(a.amplitudeRamp().current, b.amplitudeRamp().current));
            EXPECT_TRUE(sameFloat(a.leftGainRamp().current, b.leftGainRamp().current));
            EXPECT_TRUE(sameFloat(a.rightGainRamp().current, b.rightGainRamp().current));
            EXPECT_TRUE(sameDouble(a.lastOutput(), b.lastOutput()));
            EXPECT_TRUE(
                sameDouble(*bank.op[k].phaseInputPointer(), *plain.op[k].phaseInputPointer()));
        }
        bank.tick(false);
        plain.tick(false);
    }
}

template <bool Interpolate> void compareRunningSets(bool wide) {
    const char* loop = wide ? "wide" : "plain";
    const std::string how = std::string(loop) + (Interpolate ? ", interpolated" : ", stepped");
    compareWithProduce<Interpolate, true>(COperatorBank::kAllLanes, wide, how + ", all on");
    // Off operators: scattered, a whole group of four, every one.
    for (uint32_t running : {0x5Au, 0x0Fu, 0xF0u, 0x7Fu, 0x00u})
        compareWithProduce<Interpolate, false>(running, wide,
                                               how + ", running " + std::to_string(running));
}
} // namespace

TEST(COperatorBank, PlainLoopIsProduceLaneByLane) {
    compareRunningSets<true>(false);
    compareRunningSets<false>(false);
}

TEST(COperatorBank, WideLoopIsProduceLaneByLane) {
    if (!wideLanesAvailable()) GTEST_SKIP() << "no 256-bit loop on this processor";
    compareRunningSets<true>(true);
    compareRunningSets<false>(true);
}
