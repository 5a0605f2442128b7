// The filter pair's vector ladder against CVoiceFilter::process run filter by
// filter: outputs, stages, ramps and each lane's share of the mix agree bit
// for bit, sample by sample, for one voice's pair and for two voices' pairs
// joined in one vector, through the node arrays (the plain loop) and through
// registers (the wide loop), and for four voices' pairs across the wide
// loop's eight lanes, over filters set to the extremes.
#include "voice/CFilterPair.h"
#include "voice/WideLanes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

namespace {
constexpr int kTick = 44;
constexpr int kVectorLanes = CFilterPair::kVectorLanes;

bool sameDouble(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}
bool sameFloat(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

struct Setting {
    const char* name;
    uint8_t mode;
    double cutoff, resonance, keyTracking, level, pan;
    double note, bend, rate;
    // The second tick's cutoff and level: ramps that move through the chunks.
    double nextCutoff, nextLevel;
};

const Setting kSettings[] = {
    {"low-pass", CVoiceFilter::kLowPass, 0.5, 0.8, 0.0, 0.7, -0.4, 60, 0, 44100, 0.6, 0.7},
    // The coefficient held at 1: the highest cutoff at a rate below it.
    {"band-pass at its highest", CVoiceFilter::kBandPass, 1.0, 1.0, 0.0, -1.0, 1.0, 60, 0, 8000,
     1.0, -1.0},
    {"high-pass at its lowest", CVoiceFilter::kHighPass, 0.0, 0.3, 0.0, 1.0, -1.0, 60, 0, 44100,
     0.0, 0.2},
    {"off", CVoiceFilter::kOff, 0.4, 0.9, 0.0, 0.5, 0.2, 60, 0, 44100, 0.9, 0.5},
    {"mode 7 acts as low-pass", 7, 0.3, 0.5, 0.0, 0.6, 0.0, 60, 0, 44100, 0.3, 0.6},
    {"full resonance, key tracked high", CVoiceFilter::kLowPass, 0.8, 1.0, 1.0, 1.0, 0.0, 127, 12.0,
     44100, 0.2, 0.9},
    {"silent level", CVoiceFilter::kBandPass, 0.6, 0.5, 0.5, 0.0, 0.0, 30, -2.0, 96000, 0.6, 0.0},
    {"high-pass, level falling", CVoiceFilter::kHighPass, 0.7, 1.0, 0.0, 1.0, 0.5, 60, 0, 44100,
     0.7, -0.3},
};
constexpr int kSettingCount = int(sizeof kSettings / sizeof kSettings[0]);

// What the matrix and the sample layer add into the inputs: ordinary
// signals, the input bound and far beyond, a float denormal, NaN and the
// infinities.
const double kInputAdds[] = {0.0,    0.5,
                             -0.9,   999.99,
                             1500.0, -1e6,
                             1e-40,  0.1,
                             -3.3,   std::numeric_limits<double>::quiet_NaN(),
                             0.25,   std::numeric_limits<double>::infinity(),
                             -0.6,   -std::numeric_limits<double>::infinity()};
constexpr int kInputAddCount = int(sizeof kInputAdds / sizeof kInputAdds[0]);

void configure(CVoiceFilter& f, const Setting& s) {
    f.setMode(s.mode);
    f.setCutoff(s.cutoff);
    f.setResonance(float(s.resonance));
    f.setKeyTracking(s.keyTracking);
    f.setLevel(s.level);
    f.setPan(s.pan);
    f.resetForNote();
    f.beginModulation();
    f.updateTick(s.bend, s.note, 1.0 / s.rate, 1.0f / kTick, true);
    f.setCutoff(s.nextCutoff);
    f.setLevel(s.nextLevel);
    f.beginModulation();
    f.updateTick(s.bend, s.note, 1.0 / s.rate, 1.0f / kTick, false);
}

#if defined(QUELLOR_HAS_WIDE_LANES)
// The wide loop's call, on the node arrays: outputs into y[0..7].
QUELLOR_WIDE_TARGET void processFour(CFilterPair& pair, const double* in, CStereoSum* mixes,
                                     float* y) {
    const __m128d inputs[4] = {_mm_load_pd(in), _mm_load_pd(in + 2), _mm_load_pd(in + 4),
                               _mm_load_pd(in + 6)};
    _mm256_store_ps(y, pair.processFour(inputs, mixes));
}
#endif

enum class Form { kPair, kPairInRegisters, kJoined, kJoinedInRegisters, kFour };

// Settings first..first + 7 (wrapping): voice a's two filters, and voice b's
// (and c's and d's) when joined.
void compareWithProcess(int first, Form form) {
    const bool four = form == Form::kFour;
    const bool joined = form == Form::kJoined || form == Form::kJoinedInRegisters;
    const bool registers = form != Form::kPair && form != Form::kJoined;
    const int voices = four ? 4 : joined ? 2 : 1;
    const int filterCount = 2 * voices;
    constexpr int kMost = CFilterPair::kWideLanes;
    CVoiceFilter lanes[kMost] = {CVoiceFilter(0), CVoiceFilter(1), CVoiceFilter(0),
                                 CVoiceFilter(1), CVoiceFilter(0), CVoiceFilter(1),
                                 CVoiceFilter(0), CVoiceFilter(1)};
    CVoiceFilter plain[kMost] = {CVoiceFilter(0), CVoiceFilter(1), CVoiceFilter(0),
                                 CVoiceFilter(1), CVoiceFilter(0), CVoiceFilter(1),
                                 CVoiceFilter(0), CVoiceFilter(1)};
    std::string what = "filters";
    for (int f = 0; f < filterCount; ++f) {
        const Setting& s = kSettings[(first + f) % kSettingCount];
        configure(lanes[f], s);
        configure(plain[f], s);
        what += std::string(f ? ", " : " ") + s.name;
    }
    what += four ? " (four" : joined ? " (joined" : " (one pair";
    what += registers ? ", in registers)" : ")";

    CFilterPair pair;
    alignas(16) double in[kMost], out[kMost]; // voice j's nodes in 2j..2j + 1
    int sample = 0;
    for (int chunk = 0; chunk < 3; ++chunk) {
        for (int v = 0; v < voices; ++v)
            pair.load(lanes + 2 * v, in + 2 * v, out + 2 * v, CFilterPair::kLanes * v);
        for (int i = 0; i < kTick; ++i, ++sample) {
            for (int f = 0; f < filterCount; ++f) {
                const double add = kInputAdds[(sample * 5 + f) % kInputAddCount];
                in[f] += add;
                *plain[f].inputPointer() += add;
            }
            CStereoSum mixes[4];
            CStereoSum& mixA = mixes[0];
            CStereoSum& mixB = mixes[1];
            if (four) {
#if defined(QUELLOR_HAS_WIDE_LANES)
                alignas(32) float ys[kMost];
                processFour(pair, in, mixes, ys);
                for (int f = 0; f < filterCount; ++f) {
                    out[f] = ys[f];
                    in[f] = 0.0;
                }
#endif
            } else if (form == Form::kPair) {
                pair.process(in, out, mixA);
            } else if (form == Form::kJoined) {
                pair.processJoined(in, out, mixA, in + 2, out + 2, mixB);
            } else {
                const __m128 y =
                    joined ? pair.processJoined(_mm_load_pd(in), mixA, _mm_load_pd(in + 2), mixB)
                           : pair.process(_mm_load_pd(in), mixA);
                alignas(16) float ys[4];
                _mm_store_ps(ys, y);
                for (int f = 0; f < filterCount; ++f) {
                    out[f] = ys[f];
                    in[f] = 0.0;
                }
            }
            float left[kMost] = {}, right[kMost] = {};
            for (int f = 0; f < filterCount; ++f)
                plain[f].process(left[f], right[f]);

            alignas(16) float mix[4][2][kVectorLanes]; // voice, channel, lane
            for (int v = 0; v < 4; ++v) {
                _mm_store_ps(mix[v][0], mixes[v].left);
                _mm_store_ps(mix[v][1], mixes[v].right);
            }
            for (int f = 0; f < filterCount; ++f) {
                ASSERT_TRUE(sameDouble(out[f], plain[f].lastOutput()))
                    << what << ": output of filter " << f << " at sample " << sample;
                ASSERT_EQ(in[f], 0.0) << what;
            }
            // A voice's sums hold its own filters in lanes 0 and 1, and 0
            // in lanes 2 and 3.
            for (int v = 0; v < voices; ++v)
                for (int lane = 0; lane < kVectorLanes; ++lane) {
                    const float l = lane < 2 ? left[2 * v + lane] : 0.0f;
                    const float r = lane < 2 ? right[2 * v + lane] : 0.0f;
                    ASSERT_TRUE(sameFloat(mix[v][0][lane], l) && sameFloat(mix[v][1][lane], r))
                        << what << ": mix of voice " << v << ", lane " << lane << " at sample "
                        << sample;
                }
        }
        for (int v = 0; v < voices; ++v)
            pair.store(lanes + 2 * v, in + 2 * v, out + 2 * v, CFilterPair::kLanes * v);
        for (int f = 0; f < filterCount; ++f) {
            lanes[f].flushStates();
            plain[f].flushStates();
            const CVoiceFilter& a = lanes[f];
            const CVoiceFilter& b = plain[f];
            for (int k = 0; k < 4; ++k)
                EXPECT_TRUE(sameFloat(a.stage(k), b.stage(k))) << what << ", stage " << k;
            EXPECT_TRUE(sameFloat(a.coefficientRamp().current, b.coefficientRamp().current));
            EXPECT_TRUE(sameFloat(a.leftGainRamp().current, b.leftGainRamp().current));
            EXPECT_TRUE(sameFloat(a.rightGainRamp().current, b.rightGainRamp().current));
            EXPECT_TRUE(sameDouble(a.lastOutput(), b.lastOutput()));
        }
        for (int f = 0; f < filterCount; ++f) {
            const Setting& s = kSettings[(first + f) % kSettingCount];
            for (CVoiceFilter* x : {&lanes[f], &plain[f]}) {
                x->beginModulation();
                x->updateTick(s.bend, s.note, 1.0 / s.rate, 1.0f / kTick, false);
            }
        }
    }
}
} // namespace

TEST(CFilterPair, EveryFormIsProcessFilterByFilter) {
    for (Form form : {Form::kPair, Form::kPairInRegisters, Form::kJoined, Form::kJoinedInRegisters})
        for (int first = 0; first < kSettingCount; first += 2)
            compareWithProcess(first, form);
}

TEST(CFilterPair, FourVoicesAcrossTheWideLanesAreProcessFilterByFilter) {
    if (!wideLanesAvailable()) GTEST_SKIP() << "no 256-bit loop on this processor";
    for (int first = 0; first < kSettingCount; first += 2)
        compareWithProcess(first, Form::kFour);
}
