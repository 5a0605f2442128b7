// The voice's sample loop: a chunk of at most one control tick, run over the
// operators, filters and matrix sample by sample. Two loops exist, the plain
// one (128-bit lanes) and the wide one (256-bit, chosen at run time where the
// processor has AVX2), each for one voice or for two voices side by side.
//
// Two voices side by side: one voice's sample is a long chain of dependent
// steps (phase input, table, polynomial, matrix, the filters' ladder), and the
// processor cannot reach far enough ahead to start the next sample before the
// chain ends. A second voice's chain in the same loop is independent work it
// can run meanwhile, and the two voices' filters share one vector. The
// output is the same bit for bit as the two voices
// rendered one after the other: each voice's arithmetic is unchanged, and each
// output sample still takes the first voice's sum before the second's.
#include "voice/CVoice.h"

#include <cmath>

// The per-sample loop keeps the lanes in locals, loaded from the operators
// and filters at the chunk start and stored back at its end: the compiler can
// keep their state in registers, since the output buffers cannot alias them.
struct CVoice::SampleLoop {
    double* in;
    double* out;
    COperatorBank ops;
    CFilterPair pair;
    CModulationMatrix::Pass propagate;
    bool layer;
    bool countLoud;
    int32_t loud;
};

// Filters: false when the caller runs this voice's filters joined with
// another voice's.
QUELLOR_ALWAYS_INLINE void CVoice::beginSamples(SampleLoop& loop, bool filtersToo) {
    loop.in = nodeInput;
    loop.out = nodeOutput();
    loop.ops.load(operators, runningOperators, nodeInput, nodeOutput());
    if (filtersToo)
        loop.pair.load(filters, nodeInput + kOperatorCount, nodeOutput() + kOperatorCount);
    loop.propagate = matrix.pass();
    loop.layer = sampleLayer.playing();
    loop.countLoud = released != 0;
    loop.loud = loudAfterRelease;
}

QUELLOR_ALWAYS_INLINE void CVoice::endSamples(const SampleLoop& loop, bool filtersToo) {
    loudAfterRelease = loop.loud;
    loop.ops.store(operators, nodeInput, nodeOutput());
    if (filtersToo)
        loop.pair.store(filters, nodeInput + kOperatorCount, nodeOutput() + kOperatorCount);
}

// Everything of one sample after the operators and filters: the sample
// layer, the output, the matrix and the loudness count.
QUELLOR_ALWAYS_INLINE void CVoice::finishSample(SampleLoop& loop, CStereoSum& mix, float& left,
                                                float& right) {
    double* filterIn = loop.in + kOperatorCount;
    float l, r;
    mix.total(l, r);
    if (loop.layer && sampleLayer.playing()) {
        // Through copies, so that l and r need no memory on the usual path.
        float layerLeft = l, layerRight = r;
        sampleLayer.process(layerLeft, layerRight, filterIn[0], filterIn[1]);
        l = layerLeft;
        r = layerRight;
    }
    left += l;
    right += r;
    loop.propagate(loop.in, loop.out);
    // Before release the count stays 0 (it is cleared at every start).
    if (loop.countLoud) {
        const bool audible = std::fabs(l) >= kAudibleLevel || std::fabs(r) >= kAudibleLevel;
        loop.loud = audible ? loop.loud + 1 : 0;
    }
}

// ---- the loops ----
// The wide loops cannot share a body with the plain ones: code for the wider
// instruction set may only be inlined into functions compiled for it.

template <bool Interpolate, bool AllRunning>
void CVoice::runSamples(float* left, float* right, int32_t n) {
    SampleLoop loop;
    beginSamples(loop, true);
    for (int32_t i = 0; i < n; ++i) {
        CStereoSum mix;
        loop.ops.template produce<Interpolate, AllRunning>(loop.in, loop.out, mix);
        loop.pair.process(loop.in + kOperatorCount, loop.out + kOperatorCount, mix);
        finishSample(loop, mix, left[i], right[i]);
    }
    endSamples(loop, true);
}

template <bool Interpolate, bool AllRunning>
void CVoice::runPair(CVoice& a, CVoice& b, float* left, float* right, int32_t n) {
    SampleLoop x, y;
    a.beginSamples(x, false);
    b.beginSamples(y, false);
    CFilterPair filters; // a's in lanes 0 and 1, b's in 2 and 3
    filters.load(a.filters, x.in + kOperatorCount, x.out + kOperatorCount);
    filters.load(b.filters, y.in + kOperatorCount, y.out + kOperatorCount, CFilterPair::kLanes);
    for (int32_t i = 0; i < n; ++i) {
        CStereoSum mixA, mixB;
        x.ops.template produce<Interpolate, AllRunning>(x.in, x.out, mixA);
        y.ops.template produce<Interpolate, AllRunning>(y.in, y.out, mixB);
        filters.processJoined(x.in + kOperatorCount, x.out + kOperatorCount, mixA,
                              y.in + kOperatorCount, y.out + kOperatorCount, mixB);
        a.finishSample(x, mixA, left[i], right[i]);
        b.finishSample(y, mixB, left[i], right[i]);
    }
    filters.store(a.filters, x.in + kOperatorCount, x.out + kOperatorCount);
    filters.store(b.filters, y.in + kOperatorCount, y.out + kOperatorCount, CFilterPair::kLanes);
    a.endSamples(x, false);
    b.endSamples(y, false);
}

#if defined(QUELLOR_HAS_WIDE_LANES)
template <bool Interpolate, bool AllRunning>
QUELLOR_WIDE_TARGET void CVoice::runSamplesWide(float* left, float* right, int32_t n) {
    SampleLoop loop;
    beginSamples(loop, true);
    for (int32_t i = 0; i < n; ++i) {
        CStereoSum mix;
        loop.ops.template produceWide<Interpolate, AllRunning>(loop.in, loop.out, mix);
        loop.pair.process(loop.in + kOperatorCount, loop.out + kOperatorCount, mix);
        finishSample(loop, mix, left[i], right[i]);
    }
    endSamples(loop, true);
}

template <bool Interpolate, bool AllRunning>
QUELLOR_WIDE_TARGET void CVoice::runPairWide(CVoice& a, CVoice& b, float* left, float* right,
                                             int32_t n) {
    SampleLoop x, y;
    a.beginSamples(x, false);
    b.beginSamples(y, false);
    CFilterPair filters; // a's in lanes 0 and 1, b's in 2 and 3
    filters.load(a.filters, x.in + kOperatorCount, x.out + kOperatorCount);
    filters.load(b.filters, y.in + kOperatorCount, y.out + kOperatorCount, CFilterPair::kLanes);
    for (int32_t i = 0; i < n; ++i) {
        CStereoSum mixA, mixB;
        x.ops.template produceWide<Interpolate, AllRunning>(x.in, x.out, mixA);
        y.ops.template produceWide<Interpolate, AllRunning>(y.in, y.out, mixB);
        filters.processJoined(x.in + kOperatorCount, x.out + kOperatorCount, mixA,
                              y.in + kOperatorCount, y.out + kOperatorCount, mixB);
        a.finishSample(x, mixA, left[i], right[i]);
        b.finishSample(y, mixB, left[i], right[i]);
    }
    filters.store(a.filters, x.in + kOperatorCount, x.out + kOperatorCount);
    filters.store(b.filters, y.in + kOperatorCount, y.out + kOperatorCount, CFilterPair::kLanes);
    a.endSamples(x, false);
    b.endSamples(y, false);
}
#endif

template <bool Interpolate, bool AllRunning>
void CVoice::runLanes(float* left, float* right, int32_t n) {
#if defined(QUELLOR_HAS_WIDE_LANES)
    if (wideLanes) {
        runSamplesWide<Interpolate, AllRunning>(left, right, n);
        return;
    }
#endif
    runSamples<Interpolate, AllRunning>(left, right, n);
}

template <bool Interpolate, bool AllRunning>
void CVoice::runPairLanes(CVoice& a, CVoice& b, float* left, float* right, int32_t n) {
#if defined(QUELLOR_HAS_WIDE_LANES)
    if (a.wideLanes) {
        runPairWide<Interpolate, AllRunning>(a, b, left, right, n);
        return;
    }
#endif
    runPair<Interpolate, AllRunning>(a, b, left, right, n);
}

namespace {
// The loop for each interpolation and running set: [interpolate][all running].
using Runner = void (CVoice::*)(float*, float*, int32_t);
} // namespace

// ---- chunks ----

void CVoice::loadChunk() {
    matrix.prepare(nodeInput, nodeOutput());
}

void CVoice::runLoaded(float* left, float* right, int32_t n) {
    static constexpr Runner kRunners[2][2] = {
        {&CVoice::runLanes<false, false>, &CVoice::runLanes<false, true>},
        {&CVoice::runLanes<true, false>, &CVoice::runLanes<true, true>}};
    (this->*kRunners[!noInterpolation][allRunning()])(left, right, n);
}

void CVoice::runChunk(float* left, float* right, int32_t n) {
    loadChunk();
    runLoaded(left, right, n);
}

void CVoice::runChunkTogether(CVoice& a, CVoice& b, float* left, float* right, int32_t n) {
    using PairRunner = void (*)(CVoice&, CVoice&, float*, float*, int32_t);
    static constexpr PairRunner kPairRunners[2][2] = {
        {&CVoice::runPairLanes<false, false>, &CVoice::runPairLanes<false, true>},
        {&CVoice::runPairLanes<true, false>, &CVoice::runPairLanes<true, true>}};
    a.loadChunk();
    b.loadChunk();
    const bool interpolate = !a.noInterpolation;
    const bool all = a.allRunning();
    if (interpolate == !b.noInterpolation && all == b.allRunning() && a.wideLanes == b.wideLanes) {
        kPairRunners[interpolate][all](a, b, left, right, n);
    } else { // loops that differ run one after the other
        a.runLoaded(left, right, n);
        b.runLoaded(left, right, n);
    }
}

// Chunk start: the control tick when one is due. Returns the chunk length, at
// most frames and at most the rest of the tick.
int32_t CVoice::beginChunk(int32_t frames) {
    if (positionInTick >= tickSamples) positionInTick = 0;
    if (positionInTick == 0) {
        if (tickCounter == 0) rebuildRoutingIfNeeded();
        controlTick(tickSamples);
        firstTick = false;
    }
    const int32_t rest = tickSamples - positionInTick;
    return rest < frames ? rest : frames;
}

void CVoice::endChunk(int32_t n) {
    for (CVoiceFilter& f : filters)
        f.flushStates();
    positionInTick += n;
    if (positionInTick >= tickSamples) {
        positionInTick = 0;
        if (++tickCounter >= kTicksPerRoutingCheck) tickCounter = 0;
    }
}

// ---- rendering ----

void CVoice::render(float* left, float* right, int32_t frames) {
    if (!active || !left || !right) return;
    while (frames > 0) {
        const int32_t chunk = beginChunk(frames);
        runChunk(left, right, chunk);
        endChunk(chunk);
        left += chunk;
        right += chunk;
        frames -= chunk;
    }
}

void CVoice::renderTogether(CVoice& a, CVoice& b, float* left, float* right, int32_t frames) {
    if (!a.active || !b.active || !left || !right || &a == &b) {
        a.render(left, right, frames);
        b.render(left, right, frames);
        return;
    }
    while (frames > 0) {
        // Each voice keeps its own ticks; a chunk ends at whichever comes first.
        const int32_t chunkA = a.beginChunk(frames);
        const int32_t chunkB = b.beginChunk(frames);
        const int32_t chunk = chunkA < chunkB ? chunkA : chunkB;
        runChunkTogether(a, b, left, right, chunk);
        a.endChunk(chunk);
        b.endChunk(chunk);
        left += chunk;
        right += chunk;
        frames -= chunk;
    }
}
