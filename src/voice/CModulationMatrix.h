// The compiled modulation matrix of a voice: every non-zero cell of the 10 x 10
// matrix (sources and destinations: operators 0..7, filters 8..9) as one
// route, and the per-sample propagation out -> in over those routes.
//
// The route list is rebuilt only when a cell moves between zero and non-zero;
// the cells' values are read once per render chunk, so a change of a non-zero
// value takes effect at the next chunk (at the latest the next control tick,
// or the next render call). Per destination, contributions are added in
// source order, whichever way the routes run (one by one when there are few,
// as dense rows of the matrix when there are many, where the cells without a
// route count as 0, or as shifted blocks: four destinations d..d+3 taking
// sources d+k..d+k+3 for one offset k, the pattern of operator stacks, where
// again the cells without a route count as 0). The wide loop runs them as
// picks from the nodes in its registers (PickPass), in the same order.
//
// Threads: audio thread only (the voice's control tick and render): no
// allocation, no locks.
#pragma once

#include "base/FastClamp.h"
#include "base/Simd.h"
#include "voice/NodeLoad.h"
#include "voice/WideLanes.h"

#include <cstdint>

class CModulationMatrix {
public:
    static constexpr int32_t kNodes = 10;
    static constexpr int32_t kMaxRoutes = kNodes * kNodes;
    // A cell inside (-0.00001, 0.00001) is left out of the routing.
    static constexpr double kRoutingThreshold = 0.00001;

    // Control tick: rows[s] points at source s's kNodes cells (its matrix row).
    // The cell pointers are kept, so the rows must outlive the routing.
    void rebuild(const double* const* rows);
    int32_t routeCount() const { return count; }

    // The form the routes run in per sample: one by one, as dense rows or as
    // shifted blocks (above). rebuild takes the cheapest by estimated cost
    // unless a form is forced, from the next rebuild on; every form gives the
    // same sums, which is what forcing them in turn shows.
    enum class Mode : uint8_t { kSparse, kDense, kBlocks, kCheapest };
    void forceMode(Mode m) { forcedMode = m; }
    Mode currentMode() const { return mode; }

    // The node arrays' layout: in holds kPaddedNodes values (those past
    // kNodes are scratch); out must be readable from out[-kOutputPad] to
    // out[kNodes - 1 + kOutputPad], the pads holding 0. Both 16-byte aligned.
    static constexpr int32_t kBlockLanes = 4;
    static constexpr int32_t kPaddedNodes = 12; // kNodes rounded up to whole blocks
    static constexpr int32_t kOutputPad = 4;    // at least kBlockLanes - 1, keeps alignment

    // Chunk start: takes the cells' current values; in and out are the node
    // arrays that propagate will be given.
    void prepare(double* in, const double* out);
    struct SparseRoute {
        double* destination;
        const double* source;
        double amount;
    };
    // in[destination + i] += source[i] * amount[i] for i in 0..3.
    struct BlockRoute {
        double* destination;
        const double* source;
        alignas(16) double amount[kBlockLanes];
    };
    // The propagation of one chunk, valid until the next prepare. The sample
    // loop keeps it in a local, so that nothing the loop calls can be taken to
    // change the list under it.
    class Pass {
    public:
        // Per sample: in[d] += out[s] * cell for every route.
        QUELLOR_ALWAYS_INLINE void operator()(double* in, const double* out) const;

    private:
        friend class CModulationMatrix;
        void dense(double* in, const double* out) const;
        void blocks() const;
        const SparseRoute* sparse = nullptr;
        const BlockRoute* block = nullptr;
        int32_t blockCount = 0; // > 0: the routes run as shifted blocks
        int32_t steps = 0;      // route pairs; -1: dense rows
        const double (*rows)[kNodes] = nullptr;
        const int32_t* sources = nullptr;
        int32_t sourceCount = 0;
    };
    Pass pass() const {
        Pass p;
        p.sparse = sparse;
        p.steps = mode == Mode::kDense ? -1 : (count + kRoutesPerStep - 1) / kRoutesPerStep;
        p.rows = dense;
        p.sources = denseSources;
        p.sourceCount = denseSourceCount;
        p.block = blockRoutes;
        p.blockCount = mode == Mode::kBlocks ? blockCount : 0;
        return p;
    }

    // The routes as picks, for the wide loop, which keeps the operators'
    // nodes in registers. Destination blocks: phase inputs of operators 0..3
    // and 4..7, and the filter inputs (lanes 0 and 1 of the third block).
    // Pick j of a block gives each of its lanes that lane's j-th source in
    // ascending order, taken from the operators' eight outputs or from the
    // two filter outputs, with that route's cell; a lane with fewer sources
    // takes a cell of 0. So every destination still takes its sources in
    // ascending order.
    static constexpr int32_t kPickBlocks = 3;
    static constexpr int32_t kOperatorNodes = 8;
    static constexpr int32_t kFilterNodes = kNodes - kOperatorNodes;
    struct Pick {
        alignas(16) int32_t lane[kBlockLanes]; // source lane per destination lane
        alignas(32) double amount[kBlockLanes];
    };
    struct PickBlock {
        // A block's picks are the last ones of each array, so that the pass,
        // entered at the count, runs them in order.
        Pick fromOperators[kOperatorNodes];
        Pick fromFilters[kFilterNodes];
        int32_t operatorPicks = 0;
        int32_t filterPicks = 0;
    };
    // Chunk start, for the wide loop: takes the cells' current values.
    void preparePicks();
#if defined(QUELLOR_HAS_WIDE_LANES)
    // The wide loop's propagation of one chunk, valid until the next rebuild.
    class PickPass {
    public:
        // Per sample: in0 and in1 (phase inputs of operators 0..3 and 4..7)
        // and filterIn (the filters' inputs) take out * cell over every
        // route, the outputs being ops (operators 0..7) and lanes 0 and 1 of
        // filters.
        QUELLOR_WIDE_TARGET QUELLOR_ALWAYS_INLINE void
        operator()(__m256d& in0, __m256d& in1, __m128d& filterIn, __m256 ops, __m128 filters) const;

    private:
        friend class CModulationMatrix;
        // acc + source[lane] * amount, on the four lanes of an operators'
        // block or the two of the filters' block, the sources being the
        // operators' outputs or the filters'.
        QUELLOR_WIDE_TARGET static __m256d operatorsInto(__m256d acc, const Pick& p, __m256 ops);
        QUELLOR_WIDE_TARGET static __m256d filtersInto(__m256d acc, const Pick& p, __m128 filters);
        QUELLOR_WIDE_TARGET static __m128d operatorsIntoPair(__m128d acc, const Pick& p,
                                                             __m256 ops);
        QUELLOR_WIDE_TARGET static __m128d filtersIntoPair(__m128d acc, const Pick& p,
                                                           __m128 filters);
        // A block's last n picks, in order.
        template <typename Acc, typename Sources, Acc (*Into)(Acc, const Pick&, Sources)>
        QUELLOR_WIDE_TARGET static Acc run(Acc acc, const Pick* end, int32_t n, Sources sources);
        const PickBlock* block = nullptr;
        bool fromFilters = false;
    };
    PickPass pickPass() const {
        PickPass p;
        p.block = pickBlocks;
        p.fromFilters = anyFromFilters;
        return p;
    }
#endif

private:
    struct Route {
        int32_t destination;
        int32_t source;
        const double* amount;
    };

    Route routes[kMaxRoutes] = {};
    int32_t count = 0;

    // The chunk's values, one by one and as dense rows of the sources that
    // have at least one route: dense[j] is the row of source denseSources[j]
    // (sources in ascending order), so the pass walks the rows in memory order.
    static constexpr int32_t kRoutesPerStep = 2;
    SparseRoute sparse[kMaxRoutes + kRoutesPerStep] = {};
    double spare = 0.0; // the padding route's destination
    // The node arrays the routes are laid out for (null: not laid out).
    const double* boundInput = nullptr;
    const double* boundOutput = nullptr;
    // Where route j's cell value goes in the current form (set by bind), so
    // that prepare only copies.
    double* amountSlot[kMaxRoutes] = {};
    // Lays the routes out for the node arrays in and out, after a rebuild or
    // when the arrays move.
    void bind(double* in, const double* out);
    alignas(16) double dense[kNodes][kNodes] = {};
    int32_t denseSources[kNodes] = {};
    int32_t denseRowOf[kNodes] = {}; // source -> its row in dense
    int32_t denseSourceCount = 0;
    // Shifted blocks, ordered by destination block, then offset (so each
    // destination still takes its sources in ascending order); route j is
    // lane blockLane[j] of blockRoutes[blockOf[j]].
    static constexpr int32_t kMaxBlockRoutes = (kPaddedNodes / kBlockLanes) * (2 * kNodes - 1);
    BlockRoute blockRoutes[kMaxBlockRoutes] = {};
    int32_t blockCount = 0;
    uint8_t blockOf[kMaxRoutes] = {};
    uint8_t blockLane[kMaxRoutes] = {};
    Mode mode = Mode::kSparse;
    Mode forcedMode = Mode::kCheapest;
    PickBlock pickBlocks[kPickBlocks];
    double* pickSlot[kMaxRoutes] = {}; // where route j's cell goes in the picks
    bool anyFromFilters = false;
    void buildPicks();
};

inline void CModulationMatrix::Pass::blocks() const {
    // The blocks of one destination block are summed in registers and stored
    // once: a store and a reload per block would put the store-to-load delay
    // on the sample loop's chain once per block.
    const BlockRoute* b = block;
    const BlockRoute* const end = block + blockCount;
    while (b != end) {
        double* d = b->destination;
        __m128d a0 = loadNodePair(d);
        __m128d a1 = loadNodePair(d + 2);
        do {
            const double* s = b->source;
            a0 = _mm_add_pd(a0, _mm_mul_pd(loadNodePair(s), _mm_load_pd(b->amount)));
            a1 = _mm_add_pd(a1, _mm_mul_pd(loadNodePair(s + 2), _mm_load_pd(b->amount + 2)));
            ++b;
        } while (b != end && b->destination == d);
        _mm_store_pd(d, a0);
        _mm_store_pd(d + 2, a1);
    }
}

QUELLOR_ALWAYS_INLINE void CModulationMatrix::Pass::operator()(double* in,
                                                               const double* out) const {
    if (blockCount > 0) {
        blocks();
        return;
    }
    // Two routes per step; the list is padded to an even length with a route
    // of amount 0 into a spare node. Up to eight steps run as straight
    // code (entered at the step count, then in list order), longer lists loop.
    const SparseRoute* r = sparse;
    const auto step = [](const SparseRoute* q) {
        *q[0].destination += *q[0].source * q[0].amount;
        *q[1].destination += *q[1].source * q[1].amount;
    };
    switch (steps) {
    case 8:
        step(r), r += kRoutesPerStep;
        [[fallthrough]];
    case 7:
        step(r), r += kRoutesPerStep;
        [[fallthrough]];
    case 6:
        step(r), r += kRoutesPerStep;
        [[fallthrough]];
    case 5:
        step(r), r += kRoutesPerStep;
        [[fallthrough]];
    case 4:
        step(r), r += kRoutesPerStep;
        [[fallthrough]];
    case 3:
        step(r), r += kRoutesPerStep;
        [[fallthrough]];
    case 2:
        step(r), r += kRoutesPerStep;
        [[fallthrough]];
    case 1:
        step(r);
        [[fallthrough]];
    case 0:
        break;
    default: // dense rows (steps is then -1) or a long list
        if (steps < 0)
            dense(in, out);
        else
            for (int32_t j = 0; j < steps; ++j, r += kRoutesPerStep)
                step(r);
        break;
    }
}

inline void CModulationMatrix::Pass::dense(double* in, const double* out) const {
    static_assert(kNodes == 10, "five pairs of destinations");
    __m128d a0 = loadNodePair(in);
    __m128d a1 = loadNodePair(in + 2);
    __m128d a2 = loadNodePair(in + 4);
    __m128d a3 = loadNodePair(in + 6);
    __m128d a4 = loadNodePair(in + 8);
    for (int32_t j = 0; j < sourceCount; ++j) {
        const __m128d o = _mm_set1_pd(out[sources[j]]);
        const double* m = rows[j];
        a0 = _mm_add_pd(a0, _mm_mul_pd(o, _mm_load_pd(m)));
        a1 = _mm_add_pd(a1, _mm_mul_pd(o, _mm_load_pd(m + 2)));
        a2 = _mm_add_pd(a2, _mm_mul_pd(o, _mm_load_pd(m + 4)));
        a3 = _mm_add_pd(a3, _mm_mul_pd(o, _mm_load_pd(m + 6)));
        a4 = _mm_add_pd(a4, _mm_mul_pd(o, _mm_load_pd(m + 8)));
    }
    _mm_store_pd(in, a0);
    _mm_store_pd(in + 2, a1);
    _mm_store_pd(in + 4, a2);
    _mm_store_pd(in + 6, a3);
    _mm_store_pd(in + 8, a4);
}

#if defined(QUELLOR_HAS_WIDE_LANES)
QUELLOR_WIDE_TARGET QUELLOR_ALWAYS_INLINE __m256d
CModulationMatrix::PickPass::operatorsInto(__m256d acc, const Pick& p, __m256 ops) {
    const __m256i lane =
        _mm256_castsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(p.lane)));
    const __m128 picked = _mm256_castps256_ps128(_mm256_permutevar8x32_ps(ops, lane));
    return _mm256_add_pd(acc, _mm256_mul_pd(_mm256_cvtps_pd(picked), _mm256_load_pd(p.amount)));
}

QUELLOR_WIDE_TARGET QUELLOR_ALWAYS_INLINE __m256d
CModulationMatrix::PickPass::filtersInto(__m256d acc, const Pick& p, __m128 filters) {
    const __m128 picked =
        _mm_permutevar_ps(filters, _mm_load_si128(reinterpret_cast<const __m128i*>(p.lane)));
    return _mm256_add_pd(acc, _mm256_mul_pd(_mm256_cvtps_pd(picked), _mm256_load_pd(p.amount)));
}

QUELLOR_WIDE_TARGET QUELLOR_ALWAYS_INLINE __m128d
CModulationMatrix::PickPass::operatorsIntoPair(__m128d acc, const Pick& p, __m256 ops) {
    const __m256i lane =
        _mm256_castsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(p.lane)));
    const __m128 picked = _mm256_castps256_ps128(_mm256_permutevar8x32_ps(ops, lane));
    return _mm_add_pd(acc, _mm_mul_pd(_mm_cvtps_pd(picked), _mm_load_pd(p.amount)));
}

QUELLOR_WIDE_TARGET QUELLOR_ALWAYS_INLINE __m128d
CModulationMatrix::PickPass::filtersIntoPair(__m128d acc, const Pick& p, __m128 filters) {
    const __m128 picked =
        _mm_permutevar_ps(filters, _mm_load_si128(reinterpret_cast<const __m128i*>(p.lane)));
    return _mm_add_pd(acc, _mm_mul_pd(_mm_cvtps_pd(picked), _mm_load_pd(p.amount)));
}

// Entered at n, straight code (end is one past the block's last pick).
template <typename Acc, typename Sources, Acc (*Into)(Acc, const CModulationMatrix::Pick&, Sources)>
QUELLOR_WIDE_TARGET QUELLOR_ALWAYS_INLINE Acc
CModulationMatrix::PickPass::run(Acc acc, const Pick* end, int32_t n, Sources sources) {
    static_assert(kOperatorNodes == 8, "eight entries");
    switch (n) {
    case 8:
        acc = Into(acc, end[-8], sources);
        [[fallthrough]];
    case 7:
        acc = Into(acc, end[-7], sources);
        [[fallthrough]];
    case 6:
        acc = Into(acc, end[-6], sources);
        [[fallthrough]];
    case 5:
        acc = Into(acc, end[-5], sources);
        [[fallthrough]];
    case 4:
        acc = Into(acc, end[-4], sources);
        [[fallthrough]];
    case 3:
        acc = Into(acc, end[-3], sources);
        [[fallthrough]];
    case 2:
        acc = Into(acc, end[-2], sources);
        [[fallthrough]];
    case 1:
        acc = Into(acc, end[-1], sources);
        [[fallthrough]];
    case 0:
        break;
    default: // a block has at most eight picks
        __builtin_unreachable();
    }
    return acc;
}

QUELLOR_WIDE_TARGET QUELLOR_ALWAYS_INLINE void
CModulationMatrix::PickPass::operator()(__m256d& in0, __m256d& in1, __m128d& filterIn, __m256 ops,
                                        __m128 filters) const {
    const PickBlock& b0 = block[0];
    const PickBlock& b1 = block[1];
    const PickBlock& b2 = block[2];
    __m256d a0 = run<__m256d, __m256, operatorsInto>(in0, b0.fromOperators + kOperatorNodes,
                                                     b0.operatorPicks, ops);
    __m256d a1 = run<__m256d, __m256, operatorsInto>(in1, b1.fromOperators + kOperatorNodes,
                                                     b1.operatorPicks, ops);
    __m128d a2 = run<__m128d, __m256, operatorsIntoPair>(
        filterIn, b2.fromOperators + kOperatorNodes, b2.operatorPicks, ops);
    if (fromFilters) {
        a0 = run<__m256d, __m128, filtersInto>(a0, b0.fromFilters + kFilterNodes, b0.filterPicks,
                                               filters);
        a1 = run<__m256d, __m128, filtersInto>(a1, b1.fromFilters + kFilterNodes, b1.filterPicks,
                                               filters);
        a2 = run<__m128d, __m128, filtersIntoPair>(a2, b2.fromFilters + kFilterNodes,
                                                   b2.filterPicks, filters);
    }
    in0 = a0;
    in1 = a1;
    filterIn = a2;
}
#endif
