// One voice rendering 512-frame blocks. Items are frames, so the report's
// items_per_second inverts to nanoseconds per frame (shown as ns_per_frame).
//
// Typical: 8 operators on, 10 matrix cells, both filters low-pass with
// resonance, 4 envelopes (amplitude, pitch, cutoff, pan). Full matrix: the
// same with all 100 cells non-zero. The voice uses the 256-bit loop where the
// processor has it; the plain-loop variant shows the other.
#include "voice/CVoice.h"
#include "waves/CWaveManager.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {
constexpr int kBlock = 512;

struct Patch {
    CWaveManager waves;
    std::unique_ptr<CVoice> voice = std::make_unique<CVoice>();
    CEnvelope envelopes[4];

    explicit Patch(bool fullMatrix) {
        double amplitudes[32] = {1.0, 0.5, 0.3, 0.2, 0.1};
        double phases[32] = {};
        for (int op = 0; op < 8; ++op)
            waves.buildWave(op, amplitudes, phases, 0.0);
        voice->attach(nullptr, &waves);
        for (int op = 0; op < 8; ++op) {
            COperator& o = *voice->oper(op);
            o.setOn(1.0);
            o.setAmplitude(0.5);
            o.setMixLevel(op < 4 ? 0.6 : 0.0);
            o.setPan(op % 2 ? -0.3 : 0.3);
            o.setCoarse(1.0 + op, 0.0);
        }
        if (fullMatrix) {
            for (int s = 0; s < 8; ++s)
                for (int d = 0; d < 10; ++d)
                    voice->oper(s)->setMatrixCell(d, 0.1);
            for (int f = 0; f < 2; ++f)
                for (int d = 0; d < 10; ++d)
                    voice->filter(f)->setMatrixCell(d, 0.1);
        } else {
            // Four two-operator stacks, two feedback paths, four filter feeds.
            voice->oper(4)->setMatrixCell(0, 0.4);
            voice->oper(5)->setMatrixCell(1, 0.4);
            voice->oper(6)->setMatrixCell(2, 0.4);
            voice->oper(7)->setMatrixCell(3, 0.4);
            voice->oper(4)->setMatrixCell(4, 0.2);
            voice->oper(7)->setMatrixCell(7, 0.2);
            voice->oper(0)->setMatrixCell(8, 0.5);
            voice->oper(1)->setMatrixCell(8, 0.5);
            voice->oper(2)->setMatrixCell(9, 0.5);
            voice->oper(3)->setMatrixCell(9, 0.5);
        }
        for (int f = 0; f < 2; ++f) {
            CVoiceFilter& flt = *voice->filter(f);
            flt.setMode(CVoiceFilter::kLowPass);
            flt.setCutoff(0.6);
            flt.setResonance(0.7f);
            flt.setLevel(0.8);
            flt.setPan(f ? 0.5 : -0.5);
        }
        const int32_t kinds[4] = {kTargetAmplitude, kTargetPitch, kTargetCutoff, kTargetPanning};
        for (int i = 0; i < 4; ++i) {
            CEnvelope& e = envelopes[i];
            e.targetKind = kinds[i];
            for (int d = 0; d < kEnvelopeDestinationCount; ++d)
                e.setDepth(d, 0.3);
            for (double& k : e.keyTable)
                k = 1.0;
        }
        voice->start(60.0, 100, envelopes, 4, 0.0);
    }
};

void renderVoice(benchmark::State& state, bool fullMatrix, bool wide = true) {
    Patch patch(fullMatrix);
    patch.voice->setWideLanes(wide);
    std::vector<float> left(kBlock), right(kBlock);
    for (auto _ : state) {
        patch.voice->render(left.data(), right.data(), kBlock);
        benchmark::DoNotOptimize(left.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kBlock);
    state.counters["ns_per_frame"] =
        benchmark::Counter(double(state.iterations()) * kBlock,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["routes"] = patch.voice->routeCount();
}

void BM_VoiceTypicalPatch(benchmark::State& state) {
    renderVoice(state, false);
}
void BM_VoiceFullMatrix(benchmark::State& state) {
    renderVoice(state, true);
}
// Two voices of the typical patch a fifth apart, rendered side by side or
// one after the other. Items are voice frames.
void renderTwo(benchmark::State& state, bool together) {
    Patch a(false), b(false);
    b.voice->start(67.0, 100, b.envelopes, 4, 0.0);
    std::vector<float> left(kBlock), right(kBlock);
    for (auto _ : state) {
        if (together) {
            CVoice::renderTogether(*a.voice, *b.voice, left.data(), right.data(), kBlock);
        } else {
            a.voice->render(left.data(), right.data(), kBlock);
            b.voice->render(left.data(), right.data(), kBlock);
        }
        benchmark::DoNotOptimize(left.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kBlock * 2);
    state.counters["ns_per_frame"] =
        benchmark::Counter(double(state.iterations()) * kBlock * 2,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
void BM_TwoVoicesTogether(benchmark::State& state) {
    renderTwo(state, true);
}
void BM_TwoVoicesOneAfterTheOther(benchmark::State& state) {
    renderTwo(state, false);
}

// The plain 128-bit loop, for comparison where the wide one runs.
void BM_VoiceTypicalPatchPlainLoop(benchmark::State& state) {
    renderVoice(state, false, false);
}
} // namespace

BENCHMARK(BM_VoiceTypicalPatch);
BENCHMARK(BM_VoiceTypicalPatchPlainLoop);
BENCHMARK(BM_VoiceFullMatrix);
BENCHMARK(BM_TwoVoicesTogether);
BENCHMARK(BM_TwoVoicesOneAfterTheOther);
BENCHMARK_MAIN();
