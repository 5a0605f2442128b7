// Cost of the effect chain per 512-frame block, all four effects on, at
// 44100 Hz: chorus -> stereo delay -> reverb -> equaliser, as the renderer
// runs them, and each effect alone. "per_sample" is the time per stereo frame.
#include "effects/CChorus.h"
#include "effects/CDelayLine.h"
#include "effects/CEq.h"
#include "effects/CReverb.h"
#include "effects/CStereoDelay.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr int32_t kBlock = 512;
constexpr double kRate = 44100.0;

struct Chain {
    CChorus chorus;
    CStereoDelay delay;
    CReverb reverb;
    CEq eq;
    Chain() {
        chorus.setSampleRate(kRate);
        delay.setSampleRate(kRate);
        reverb.setSampleRate(kRate);
        eq.setSampleRate(kRate);
        delay.setTempo(140.0);
        // Every value at its patch default, then every effect switched on.
        const double defaults[][2] = {
            {3, 0.0},  {4, 0.3},   {5, 0.0},  {6, 0.3},   {7, 1.0},  {8, 0.5},  {9, 1.0},
            {10, 0.5}, {11, 0.0},  {12, 1.0}, {13, 0.2},  {14, 0.2}, {15, 0.5}, {16, 1.0},
            {17, 0.0}, {18, 0.5},  {19, 1.0}, {20, 0.0},  {21, 0.0}, {22, 0.0}, {23, 0.0},
            {24, 0.0}, {25, 0.25}, {26, 0.5}, {27, 0.75}, {28, 0.7}, {29, 0.4}, {30, 0.6},
            {31, 0.3}, {32, 1.0},  {33, 1.0}, {34, 0.5},  {35, 1.0}, {36, 0.5},
        };
        for (const auto& v : defaults) {
            const int32_t id = int32_t(v[0]);
            chorus.applyValue(id, v[1]) || delay.applyValue(id, v[1]) ||
                reverb.applyValue(id, v[1]) || eq.applyValue(id, v[1]);
        }
    }
};

std::vector<float> noise(uint32_t seed) {
    std::vector<float> out(kBlock);
    for (float& x : out) {
        seed = seed * 1664525u + 1013904223u;
        x = float(int32_t(seed >> 8) - (1 << 23)) / float(1 << 23) * 0.25f;
    }
    return out;
}

template <class Run> void runBlocks(benchmark::State& state, Chain& chain, Run&& run) {
    const std::vector<float> inL = noise(1), inR = noise(2);
    float left[kBlock], right[kBlock];
    for (auto _ : state) {
        std::memcpy(left, inL.data(), sizeof left);
        std::memcpy(right, inR.data(), sizeof right);
        run(chain, left, right);
        benchmark::DoNotOptimize(left);
        benchmark::DoNotOptimize(right);
        benchmark::ClobberMemory();
    }
    const double samples = double(state.iterations()) * kBlock;
    state.SetItemsProcessed(int64_t(samples));
    // Seconds per stereo frame, printed with an SI prefix (n: nanoseconds).
    state.counters["per_sample"] =
        benchmark::Counter(samples, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_EffectChain(benchmark::State& state) {
    Chain chain;
    runBlocks(state, chain, [](Chain& c, float* l, float* r) {
        c.chorus.process(l, r, kBlock);
        c.delay.process(l, r, kBlock);
        c.reverb.process(l, r, kBlock);
        c.eq.process(l, r, kBlock);
    });
}
void BM_Chorus(benchmark::State& state) {
    Chain chain;
    runBlocks(state, chain, [](Chain& c, float* l, float* r) { c.chorus.process(l, r, kBlock); });
}
void BM_StereoDelay(benchmark::State& state) {
    Chain chain;
    runBlocks(state, chain, [](Chain& c, float* l, float* r) { c.delay.process(l, r, kBlock); });
}
void BM_Reverb(benchmark::State& state) {
    Chain chain;
    runBlocks(state, chain, [](Chain& c, float* l, float* r) { c.reverb.process(l, r, kBlock); });
}
void BM_Equaliser(benchmark::State& state) {
    Chain chain;
    runBlocks(state, chain, [](Chain& c, float* l, float* r) { c.eq.process(l, r, kBlock); });
}

// The reverb's input stage alone, at the reverb's settings (mono).
void BM_ReverbInputLine(benchmark::State& state) {
    CDelayLine line(int32_t(0.05 * kRate), 0.0);
    line.setWet(1.0);
    line.setDepth(1.0);
    line.setRate(3.0);
    line.setDry(0.0f);
    const std::vector<float> in = noise(1);
    float block[kBlock];
    for (auto _ : state) {
        std::memcpy(block, in.data(), sizeof block);
        line.process(block, kBlock);
        benchmark::DoNotOptimize(block);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kBlock);
}

} // namespace

BENCHMARK(BM_EffectChain);
BENCHMARK(BM_Chorus);
BENCHMARK(BM_StereoDelay);
BENCHMARK(BM_Reverb);
BENCHMARK(BM_Equaliser);
BENCHMARK(BM_ReverbInputLine);
BENCHMARK_MAIN();
