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
// again the cells without a route count as 0).
//
// Threads: audio thread only (the voice's control tick and render): no
// allocation, no locks.
#pragma once

#include "voice/FastClamp.h"
#include "voice/NodeLoad.h"

#include <cstdint>

// The sample loop's propagation must be inlined (a call would make the loop
// spill its registers); compilers judge the unrolled switch too large.
#if defined(__GNUC__)
#define QUELLOR_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define QUELLOR_ALWAYS_INLINE inline
#endif

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
    enum class Mode : uint8_t { kSparse, kDense, kBlocks };
    Mode mode = Mode::kSparse;
};

inline void CModulationMatrix::Pass::blocks() const {
    // The blocks of one destination block are summed in registers and stored
    // once: a store and a reload per block would put the store-to-load delay
    // on the sample loop's chain once per block.
    const BlockRoute* b = block;
    const BlockRoute* const end = block + blockCount;
    while (b != end) {
        double* d = b->destination;
#if defined(QUELLOR_HAS_SSE2)
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
#else
        double a[kBlockLanes] = {d[0], d[1], d[2], d[3]};
        do {
            for (int32_t i = 0; i < kBlockLanes; ++i)
                a[i] += b->source[i] * b->amount[i];
            ++b;
        } while (b != end && b->destination == d);
        for (int32_t i = 0; i < kBlockLanes; ++i)
            d[i] = a[i];
#endif
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
#if defined(QUELLOR_HAS_SSE2)
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
#else
    for (int32_t j = 0; j < sourceCount; ++j) {
        const double o = out[sources[j]];
        for (int32_t d = 0; d < kNodes; ++d)
            in[d] += o * rows[j][d];
    }
#endif
}
