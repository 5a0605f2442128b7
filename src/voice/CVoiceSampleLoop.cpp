// The voice's sample loop: a chunk of at most one control tick, run over the
// operators, filters and matrix sample by sample. Two loops exist, the plain
// one (128-bit lanes) and the wide one (256-bit, chosen at run time where the
// processor has AVX2), each for one voice or for two voices side by side.
//
// The wide loops keep the operators' phase inputs and outputs in registers
// and run the matrix as picks from them (CModulationMatrix::PickPass): the
// operators' chain from one sample to the next then never goes through
// memory.
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
#if defined(QUELLOR_HAS_WIDE_LANES)
    CModulationMatrix::PickPass picks;
#endif
    bool layer;
    bool countLoud;
    int32_t loud;
    // The voice's end fade (CVoice::beginEndFade), while one runs.
    bool fading;
    float fade;
    float fadeStep;
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
#if defined(QUELLOR_HAS_WIDE_LANES)
    loop.picks = matrix.pickPass();
#endif
    loop.layer = sampleLayer.playing();
    loop.countLoud = released != 0;
    loop.loud = loudAfterRelease;
    loop.fading = fading;
    loop.fade = fadeGain;
    loop.fadeStep = fadeStep;
}

QUELLOR_ALWAYS_INLINE void CVoice::endSamples(const SampleLoop& loop, bool filtersToo) {
    loudAfterRelease = loop.loud;
    fading = loop.fading;
    fadeGain = loop.fade;
    loop.ops.store(operators, nodeInput, nodeOutput());
    if (filtersToo)
        loop.pair.store(filters, nodeInput + kOperatorCount, nodeOutput() + kOperatorCount);
}

// Everything of one sample after the operators and filters but the matrix:
// the sample layer, the output and the loudness count.
QUELLOR_ALWAYS_INLINE void CVoice::outputSample(SampleLoop& loop, CStereoSum& mix, float& left,
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
    if (loop.fading) {
        l *= loop.fade;
        r *= loop.fade;
        // Down to silence, or back up to full level (a fading voice taken for
        // a new note); the fade then ends.
        loop.fade += loop.fadeStep;
        if (loop.fade <= 0.0f) {
            loop.fade = 0.0f;
        } else if (loop.fade >= 1.0f) {
            loop.fade = 1.0f;
            loop.fading = false;
        }
    }
    left += l;
    right += r;
    // Before release the count stays 0 (it is cleared at every start).
    if (loop.countLoud) {
        const bool audible = std::fabs(l) >= kAudibleLevel || std::fabs(r) >= kAudibleLevel;
        loop.loud = audible ? loop.loud + 1 : 0;
    }
}

QUELLOR_ALWAYS_INLINE void CVoice::finishAfterFilters(SampleLoop& loop, CStereoSum& mix,
                                                      float& left, float& right) {
    outputSample(loop, mix, left, right);
    loop.propagate(loop.in, loop.out);
}

// Everything of one sample after the operators, for a voice with its own
// filters.
QUELLOR_ALWAYS_INLINE void CVoice::finishSample(SampleLoop& loop, CStereoSum& mix, float& left,
                                                float& right) {
    loop.pair.process(loop.in + kOperatorCount, loop.out + kOperatorCount, mix);
    finishAfterFilters(loop, mix, left, right);
}

// Two voices' loops, their filters joined in one set of lanes.
struct CVoice::PairLoop {
    SampleLoop x, y;
    CFilterPair filters; // a's in lanes 0 and 1, b's in 2 and 3
};

QUELLOR_ALWAYS_INLINE void CVoice::beginPair(CVoice& a, CVoice& b, PairLoop& p) {
    a.beginSamples(p.x, false);
    b.beginSamples(p.y, false);
    p.filters.load(a.filters, p.x.in + kOperatorCount, p.x.out + kOperatorCount);
    p.filters.load(b.filters, p.y.in + kOperatorCount, p.y.out + kOperatorCount,
                   CFilterPair::kLanes);
}

QUELLOR_ALWAYS_INLINE void CVoice::endPair(CVoice& a, CVoice& b, const PairLoop& p) {
    p.filters.store(a.filters, p.x.in + kOperatorCount, p.x.out + kOperatorCount);
    p.filters.store(b.filters, p.y.in + kOperatorCount, p.y.out + kOperatorCount,
                    CFilterPair::kLanes);
    a.endSamples(p.x, false);
    b.endSamples(p.y, false);
}

// Everything of one sample after both voices' operators.
QUELLOR_ALWAYS_INLINE void CVoice::finishPair(CVoice& a, CVoice& b, PairLoop& p, CStereoSum& mixA,
                                              CStereoSum& mixB, float& left, float& right) {
    p.filters.processJoined(p.x.in + kOperatorCount, p.x.out + kOperatorCount, mixA,
                            p.y.in + kOperatorCount, p.y.out + kOperatorCount, mixB);
    a.finishAfterFilters(p.x, mixA, left, right);
    b.finishAfterFilters(p.y, mixB, left, right);
}

// Where two voices side by side stand in their open chunks: samples before
// each one's next tick (at most the frames left), and samples run since its
// chunk began.
struct CVoice::PairChunks {
    int32_t restA = 0, runA = 0;
    int32_t restB = 0, runB = 0;
    int32_t nearer() const { return restA < restB ? restA : restB; }
    void advance(int32_t n) {
        restA -= n;
        runA += n;
        restB -= n;
        runB += n;
    }
};

// The tick of one voice of a pair, due while the pair's loop goes on: its
// lanes go back to it, its chunk ends and the next begins with the tick, and
// its lanes come back, the other voice's lanes staying where they are. False
// when the tick changed which loop the voice needs: the pair's loop then
// stops here.
template <bool Interpolate, bool AllRunning>
bool CVoice::tickInPair(SampleLoop& loop, CFilterPair& pair, int32_t lane, int32_t frames,
                        int32_t& rest, int32_t& run) {
    pair.store(filters, loop.in + kOperatorCount, loop.out + kOperatorCount, lane);
    endSamples(loop, false);
    rest = nextChunk(run, frames);
    run = 0;
    prepareMatrix();
    beginSamples(loop, false);
    pair.load(filters, loop.in + kOperatorCount, loop.out + kOperatorCount, lane);
    return noInterpolation != Interpolate && allRunning() == AllRunning;
}

// The ticks due after a stretch of the pair's loop, each voice alone. False
// when the loop stops here.
template <bool Interpolate, bool AllRunning>
bool CVoice::ticksInPair(CVoice& a, CVoice& b, PairLoop& p, PairChunks& c, int32_t frames) {
    if (c.restA == 0 &&
        !a.tickInPair<Interpolate, AllRunning>(p.x, p.filters, 0, frames, c.restA, c.runA))
        return false;
    return c.restB != 0 || b.tickInPair<Interpolate, AllRunning>(
                               p.y, p.filters, CFilterPair::kLanes, frames, c.restB, c.runB);
}

// Four voices' loops, their filters across the eight lanes of one vector
// (voice j's in lanes 2j and 2j + 1): the wide loop only.
struct CVoice::FourLoop {
    SampleLoop voice[kVoicesAcross];
    CFilterPair filters;
};

QUELLOR_ALWAYS_INLINE void CVoice::beginFour(CVoice* const* v, FourLoop& q) {
    for (int32_t j = 0; j < kVoicesAcross; ++j) {
        SampleLoop& loop = q.voice[j];
        v[j]->beginSamples(loop, false);
        q.filters.load(v[j]->filters, loop.in + kOperatorCount, loop.out + kOperatorCount,
                       CFilterPair::kLanes * j);
    }
}

QUELLOR_ALWAYS_INLINE void CVoice::endFour(CVoice* const* v, const FourLoop& q) {
    for (int32_t j = 0; j < kVoicesAcross; ++j) {
        const SampleLoop& loop = q.voice[j];
        q.filters.store(v[j]->filters, loop.in + kOperatorCount, loop.out + kOperatorCount,
                        CFilterPair::kLanes * j);
        v[j]->endSamples(loop, false);
    }
}

// PairChunks for four voices.
struct CVoice::FourChunks {
    int32_t rest[kVoicesAcross] = {};
    int32_t run[kVoicesAcross] = {};
    int32_t nearer() const {
        int32_t n = rest[0];
        for (int32_t j = 1; j < kVoicesAcross; ++j)
            n = rest[j] < n ? rest[j] : n;
        return n;
    }
    void advance(int32_t n) {
        for (int32_t j = 0; j < kVoicesAcross; ++j) {
            rest[j] -= n;
            run[j] += n;
        }
    }
};

// ticksInPair for four voices.
template <bool Interpolate, bool AllRunning>
bool CVoice::ticksInFour(CVoice* const* v, FourLoop& q, FourChunks& c, int32_t frames) {
    for (int32_t j = 0; j < kVoicesAcross; ++j)
        if (c.rest[j] == 0 &&
            !v[j]->tickInPair<Interpolate, AllRunning>(
                q.voice[j], q.filters, CFilterPair::kLanes * j, frames, c.rest[j], c.run[j]))
            return false;
    return true;
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
        finishSample(loop, mix, left[i], right[i]);
    }
    endSamples(loop, true);
}

// The pair loops run on through either voice's ticks (tickInPair) until the
// frames end, or until a tick changes the loop a voice needs. They return the
// samples run.
template <bool Interpolate, bool AllRunning>
int32_t CVoice::runPair(CVoice& a, CVoice& b, float* left, float* right, int32_t frames,
                        PairChunks& c) {
    PairLoop p;
    beginPair(a, b, p);
    int32_t done = 0;
    for (;;) {
        const int32_t end = done + c.nearer();
        for (int32_t i = done; i < end; ++i) {
            CStereoSum mixA, mixB;
            p.x.ops.template produce<Interpolate, AllRunning>(p.x.in, p.x.out, mixA);
            p.y.ops.template produce<Interpolate, AllRunning>(p.y.in, p.y.out, mixB);
            finishPair(a, b, p, mixA, mixB, left[i], right[i]);
        }
        c.advance(end - done);
        done = end;
        if (done == frames || !ticksInPair<Interpolate, AllRunning>(a, b, p, c, frames - done))
            break;
    }
    endPair(a, b, p);
    return done;
}

#if defined(QUELLOR_HAS_WIDE_LANES)
// The filters' inputs of the wide loop, in a register through the chunk. The
// node array's pair stays 0 but for what the sample layer adds in a sample.
QUELLOR_WIDE_TARGET QUELLOR_ALWAYS_INLINE __m128d takeFilterInput(double* filterIn) {
    const __m128d in = _mm_load_pd(filterIn);
    _mm_store_pd(filterIn, _mm_setzero_pd());
    return in;
}

// Matrix start for the filters' inputs: 0, or what the sample layer added.
QUELLOR_WIDE_TARGET QUELLOR_ALWAYS_INLINE __m128d layerInput(bool layer, double* filterIn) {
    return layer ? takeFilterInput(filterIn) : _mm_setzero_pd();
}

template <bool Interpolate, bool AllRunning>
QUELLOR_WIDE_TARGET void CVoice::runSamplesWide(float* left, float* right, int32_t n) {
    SampleLoop loop;
    beginSamples(loop, true);
    COperatorBank::WideNodes nodes = COperatorBank::loadWide(loop.in, loop.out);
    double* filterIn = loop.in + kOperatorCount;
    double* filterOut = loop.out + kOperatorCount;
    __m128d filterInput = takeFilterInput(filterIn);
    __m128 filterOutput = _mm_cvtpd_ps(_mm_load_pd(filterOut)); // float samples, exact
    for (int32_t i = 0; i < n; ++i) {
        CStereoSum mix;
        loop.ops.template produceWide<Interpolate, AllRunning>(nodes, mix);
        filterOutput = loop.pair.process(filterInput, mix);
        outputSample(loop, mix, left[i], right[i]);
        filterInput = layerInput(loop.layer, filterIn);
        loop.picks(nodes.in0, nodes.in1, filterInput, nodes.out, filterOutput);
    }
    _mm_store_pd(filterIn, filterInput);
    _mm_store_pd(filterOut, _mm_cvtps_pd(filterOutput));
    COperatorBank::storeWide(nodes, loop.in, loop.out);
    endSamples(loop, true);
}

template <bool Interpolate, bool AllRunning>
QUELLOR_WIDE_TARGET int32_t CVoice::runPairWide(CVoice& a, CVoice& b, float* left, float* right,
                                                int32_t frames, PairChunks& c) {
    PairLoop p;
    beginPair(a, b, p);
    COperatorBank::WideNodes x = COperatorBank::loadWide(p.x.in, p.x.out);
    COperatorBank::WideNodes y = COperatorBank::loadWide(p.y.in, p.y.out);
    double* filterInA = p.x.in + kOperatorCount;
    double* filterOutA = p.x.out + kOperatorCount;
    double* filterInB = p.y.in + kOperatorCount;
    double* filterOutB = p.y.out + kOperatorCount;
    __m128d filterInputA = takeFilterInput(filterInA);
    __m128d filterInputB = takeFilterInput(filterInB);
    // a's filter outputs in lanes 0 and 1, b's in 2 and 3 (float samples, exact).
    __m128 filterOutput =
        _mm_movelh_ps(_mm_cvtpd_ps(_mm_load_pd(filterOutA)), _mm_cvtpd_ps(_mm_load_pd(filterOutB)));
    // The registers stay the truth through a voice's tick: the tick reads
    // none of the nodes.
    int32_t done = 0;
    for (;;) {
        const int32_t end = done + c.nearer();
        for (int32_t i = done; i < end; ++i) {
            CStereoSum mixA, mixB;
            p.x.ops.template produceWide<Interpolate, AllRunning>(x, mixA);
            p.y.ops.template produceWide<Interpolate, AllRunning>(y, mixB);
            filterOutput = p.filters.processJoined(filterInputA, mixA, filterInputB, mixB);
            a.outputSample(p.x, mixA, left[i], right[i]);
            filterInputA = layerInput(p.x.layer, filterInA);
            p.x.picks(x.in0, x.in1, filterInputA, x.out, filterOutput);
            b.outputSample(p.y, mixB, left[i], right[i]);
            filterInputB = layerInput(p.y.layer, filterInB);
            p.y.picks(y.in0, y.in1, filterInputB, y.out, _mm_movehl_ps(filterOutput, filterOutput));
        }
        c.advance(end - done);
        done = end;
        if (done == frames || !ticksInPair<Interpolate, AllRunning>(a, b, p, c, frames - done))
            break;
    }
    _mm_store_pd(filterInA, filterInputA);
    _mm_store_pd(filterInB, filterInputB);
    _mm_store_pd(filterOutA, _mm_cvtps_pd(filterOutput));
    _mm_store_pd(filterOutB, _mm_cvtps_pd(_mm_movehl_ps(filterOutput, filterOutput)));
    COperatorBank::storeWide(x, p.x.in, p.x.out);
    COperatorBank::storeWide(y, p.y.in, p.y.out);
    endPair(a, b, p);
    return done;
}

// Voice j's filter outputs in lanes 0 and 1.
QUELLOR_WIDE_TARGET QUELLOR_ALWAYS_INLINE __m128 voiceFilterOutputs(__m256 y, int32_t j) {
    const __m128 half = (j & 2) ? _mm256_extractf128_ps(y, 1) : _mm256_castps256_ps128(y);
    return (j & 1) ? _mm_movehl_ps(half, half) : half;
}

// runPairWide for four voices: each voice's operators and matrix as there,
// the four voices' filters in one ladder, the outputs added in voice order.
template <bool Interpolate, bool AllRunning>
QUELLOR_WIDE_TARGET int32_t CVoice::runFourWide(CVoice* const* v, float* left, float* right,
                                                int32_t frames, FourChunks& c) {
    FourLoop q;
    beginFour(v, q);
    COperatorBank::WideNodes nodes[kVoicesAcross];
    __m128d filterInput[kVoicesAcross];
    __m128 lastOutput[kVoicesAcross];
    for (int32_t j = 0; j < kVoicesAcross; ++j) {
        const SampleLoop& loop = q.voice[j];
        nodes[j] = COperatorBank::loadWide(loop.in, loop.out);
        filterInput[j] = takeFilterInput(loop.in + kOperatorCount);
        lastOutput[j] = _mm_cvtpd_ps(_mm_load_pd(loop.out + kOperatorCount)); // exact
    }
    __m256 filterOutput = _mm256_set_m128(_mm_movelh_ps(lastOutput[2], lastOutput[3]),
                                          _mm_movelh_ps(lastOutput[0], lastOutput[1]));
    // The registers stay the truth through a voice's tick: the tick reads
    // none of the nodes.
    int32_t done = 0;
    for (;;) {
        const int32_t end = done + c.nearer();
        for (int32_t i = done; i < end; ++i) {
            CStereoSum mix[kVoicesAcross];
#pragma GCC unroll 4
            for (int32_t j = 0; j < kVoicesAcross; ++j)
                q.voice[j].ops.template produceWide<Interpolate, AllRunning>(nodes[j], mix[j]);
            filterOutput = q.filters.processFour(filterInput, mix);
#pragma GCC unroll 4
            for (int32_t j = 0; j < kVoicesAcross; ++j) {
                SampleLoop& loop = q.voice[j];
                v[j]->outputSample(loop, mix[j], left[i], right[i]);
                filterInput[j] = layerInput(loop.layer, loop.in + kOperatorCount);
                loop.picks(nodes[j].in0, nodes[j].in1, filterInput[j], nodes[j].out,
                           voiceFilterOutputs(filterOutput, j));
            }
        }
        c.advance(end - done);
        done = end;
        if (done == frames || !ticksInFour<Interpolate, AllRunning>(v, q, c, frames - done)) break;
    }
    for (int32_t j = 0; j < kVoicesAcross; ++j) {
        const SampleLoop& loop = q.voice[j];
        _mm_store_pd(loop.in + kOperatorCount, filterInput[j]);
        _mm_store_pd(loop.out + kOperatorCount, _mm_cvtps_pd(voiceFilterOutputs(filterOutput, j)));
        COperatorBank::storeWide(nodes[j], loop.in, loop.out);
    }
    endFour(v, q);
    return done;
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
int32_t CVoice::runPairLanes(CVoice& a, CVoice& b, float* left, float* right, int32_t frames,
                             PairChunks& chunks) {
#if defined(QUELLOR_HAS_WIDE_LANES)
    if (a.wideLanes) return runPairWide<Interpolate, AllRunning>(a, b, left, right, frames, chunks);
#endif
    return runPair<Interpolate, AllRunning>(a, b, left, right, frames, chunks);
}

// ---- chunks ----

// The loop for the voice's interpolation and running set, the matrix prepared.
void CVoice::runLoaded(float* left, float* right, int32_t n) {
    using Runner = void (CVoice::*)(float*, float*, int32_t);
    static constexpr Runner kRunners[2][2] = {
        {&CVoice::runLanes<false, false>, &CVoice::runLanes<false, true>},
        {&CVoice::runLanes<true, false>, &CVoice::runLanes<true, true>}};
    (this->*kRunners[!noInterpolation][allRunning()])(left, right, n);
}

// Chunk start: the cells' current values into the form the voice's loop runs.
void CVoice::prepareMatrix() {
    if (wideLanes)
        matrix.preparePicks();
    else
        matrix.prepare(nodeInput, nodeOutput());
}

void CVoice::runChunk(float* left, float* right, int32_t n) {
    prepareMatrix();
    runLoaded(left, right, n);
}

// Both voices' chunks open: runs the pair's loop, or the two voices' own loops
// one after the other up to the nearer tick when they differ. Returns the
// samples run.
int32_t CVoice::runChunkTogether(CVoice& a, CVoice& b, float* left, float* right, int32_t frames,
                                 PairChunks& c) {
    using PairRunner = int32_t (*)(CVoice&, CVoice&, float*, float*, int32_t, PairChunks&);
    static constexpr PairRunner kPairRunners[2][2] = {
        {&CVoice::runPairLanes<false, false>, &CVoice::runPairLanes<false, true>},
        {&CVoice::runPairLanes<true, false>, &CVoice::runPairLanes<true, true>}};
    a.prepareMatrix();
    b.prepareMatrix();
    const bool interpolate = !a.noInterpolation;
    const bool all = a.allRunning();
    if (interpolate == !b.noInterpolation && all == b.allRunning() && a.wideLanes == b.wideLanes)
        return kPairRunners[interpolate][all](a, b, left, right, frames, c);
    const int32_t n = c.nearer();
    a.runLoaded(left, right, n);
    b.runLoaded(left, right, n);
    c.advance(n);
    return n;
}

// runChunkTogether for four voices in the wide loop: the four voices' loop
// when they need the same one, else each voice's own loop up to the nearest
// tick.
int32_t CVoice::runChunkFour(CVoice* const* v, float* left, float* right,
                             [[maybe_unused]] int32_t frames, FourChunks& c) {
#if defined(QUELLOR_HAS_WIDE_LANES)
    using FourRunner = int32_t (*)(CVoice* const*, float*, float*, int32_t, FourChunks&);
    static constexpr FourRunner kFourRunners[2][2] = {
        {&CVoice::runFourWide<false, false>, &CVoice::runFourWide<false, true>},
        {&CVoice::runFourWide<true, false>, &CVoice::runFourWide<true, true>}};
#endif
    bool same = true;
    for (int32_t j = 0; j < kVoicesAcross; ++j) {
        v[j]->prepareMatrix();
        same = same && v[j]->wideLanes && v[j]->noInterpolation == v[0]->noInterpolation &&
               v[j]->allRunning() == v[0]->allRunning();
    }
#if defined(QUELLOR_HAS_WIDE_LANES)
    if (same)
        return kFourRunners[!v[0]->noInterpolation][v[0]->allRunning()](v, left, right, frames, c);
#endif
    const int32_t n = c.nearer();
    for (int32_t j = 0; j < kVoicesAcross; ++j)
        v[j]->runLoaded(left, right, n);
    c.advance(n);
    return n;
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

// Ends the open chunk of run samples and begins the next one, with its tick.
int32_t CVoice::nextChunk(int32_t run, int32_t frames) {
    endChunk(run);
    return beginChunk(frames);
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
    // No frames, no tick: as render.
    if (frames <= 0) return;
    if (!a.active || !b.active || !left || !right || &a == &b) {
        a.render(left, right, frames);
        b.render(left, right, frames);
        return;
    }
    // Each voice keeps its own ticks and chunks, as alone: the pair's loop
    // runs on through either voice's tick, and only that voice's lanes leave
    // it for the tick.
    PairChunks c;
    c.restA = a.beginChunk(frames);
    c.restB = b.beginChunk(frames);
    for (;;) {
        const int32_t n = runChunkTogether(a, b, left, right, frames, c);
        left += n;
        right += n;
        frames -= n;
        if (frames == 0) break;
        if (c.restA == 0) { // a tick the pair's loop left to here
            c.restA = a.nextChunk(c.runA, frames);
            c.runA = 0;
        }
        if (c.restB == 0) {
            c.restB = b.nextChunk(c.runB, frames);
            c.runB = 0;
        }
    }
    a.endChunk(c.runA);
    b.endChunk(c.runB);
}

void CVoice::renderFour(CVoice* const* v, float* left, float* right, int32_t frames) {
    if (frames <= 0 || !left || !right) return;
    bool apart = false; // whether the four cannot share the wide loop
    for (int32_t j = 0; j < kVoicesAcross; ++j) {
        apart = apart || !v[j]->active || !v[j]->wideLanes;
        for (int32_t k = 0; k < j; ++k)
            apart = apart || v[j] == v[k];
    }
    if (apart) {
        renderTogether(*v[0], *v[1], left, right, frames);
        renderTogether(*v[2], *v[3], left, right, frames);
        return;
    }
    FourChunks c;
    for (int32_t j = 0; j < kVoicesAcross; ++j)
        c.rest[j] = v[j]->beginChunk(frames);
    for (;;) {
        const int32_t n = runChunkFour(v, left, right, frames, c);
        left += n;
        right += n;
        frames -= n;
        if (frames == 0) break;
        for (int32_t j = 0; j < kVoicesAcross; ++j)
            if (c.rest[j] == 0) { // a tick the four voices' loop left to here
                c.rest[j] = v[j]->nextChunk(c.run[j], frames);
                c.run[j] = 0;
            }
    }
    for (int32_t j = 0; j < kVoicesAcross; ++j)
        v[j]->endChunk(c.run[j]);
}
