#include "voice/CModulationMatrix.h"

namespace {
// Estimated cost per sample (instructions) of one route run on its own, of
// one dense source row plus the fixed part of the dense pass, and of one
// shifted block plus its fixed part. Blocks also keep the chains through
// memory short, which is what bounds the sample loop on the clock.
constexpr int32_t kSparseRouteCost = 7;
constexpr int32_t kDenseRowCost = 16;
constexpr int32_t kDenseFixedCost = 12;
constexpr int32_t kBlockRouteCost = 10;
constexpr int32_t kBlockFixedCost = 4;
} // namespace

void CModulationMatrix::rebuild(const double* const* rows) {
    int32_t n = 0;
    for (int32_t s = 0; s < kNodes; ++s) {
        for (int32_t d = 0; d < kNodes; ++d) {
            const double* amount = rows[s] + d;
            const double v = *amount;
            if (v > -kRoutingThreshold && v < kRoutingThreshold) continue;
            routes[n++] = Route{d, s, amount};
        }
    }
    count = n;
    boundInput = nullptr; // the routes are laid out again at the next prepare
    boundOutput = nullptr;
    denseSourceCount = 0;
    for (int32_t s = 0; s < kNodes; ++s)
        for (int32_t d = 0; d < kNodes; ++d)
            dense[s][d] = 0.0;
    int32_t lastSource = -1;
    for (int32_t j = 0; j < count; ++j) {
        if (routes[j].source != lastSource) {
            lastSource = routes[j].source;
            denseRowOf[lastSource] = denseSourceCount;
            denseSources[denseSourceCount++] = lastSource;
        }
    }
    // Shifted blocks: one per destination block and offset in use.
    blockCount = 0;
    int32_t blockAt[kPaddedNodes / kBlockLanes][2 * kNodes - 1];
    for (auto& row : blockAt)
        for (int32_t& b : row)
            b = -1;
    for (int32_t j = 0; j < count; ++j) {
        const int32_t d = routes[j].destination;
        int32_t& b = blockAt[d / kBlockLanes][routes[j].source - d + kNodes - 1];
        if (b < 0) b = 0; // counted below, in block order
    }
    for (auto& row : blockAt)
        for (int32_t& b : row)
            if (b == 0) b = blockCount++;
    for (int32_t j = 0; j < count; ++j) {
        const int32_t d = routes[j].destination;
        blockOf[j] = uint8_t(blockAt[d / kBlockLanes][routes[j].source - d + kNodes - 1]);
        blockLane[j] = uint8_t(d % kBlockLanes);
    }
    buildPicks();
    const int32_t sparseCost = count * kSparseRouteCost;
    const int32_t denseCost = denseSourceCount * kDenseRowCost + kDenseFixedCost;
    const int32_t blockCost = blockCount * kBlockRouteCost + kBlockFixedCost;
    if (forcedMode != Mode::kCheapest)
        mode = forcedMode;
    else if (blockCost < sparseCost && blockCost < denseCost)
        mode = Mode::kBlocks;
    else
        mode = sparseCost > denseCost ? Mode::kDense : Mode::kSparse;
}

void CModulationMatrix::prepare(double* in, const double* out) {
    if (in != boundInput || out != boundOutput) bind(in, out);
    for (int32_t j = 0; j < count; ++j)
        *amountSlot[j] = *routes[j].amount;
}

void CModulationMatrix::bind(double* in, const double* out) {
    if (mode == Mode::kBlocks) {
        for (int32_t j = 0; j < count; ++j) {
            const int32_t d = routes[j].destination;
            BlockRoute& b = blockRoutes[blockOf[j]];
            b.destination = in + (d - d % kBlockLanes);
            b.source = out + (routes[j].source - d % kBlockLanes);
            amountSlot[j] = &b.amount[blockLane[j]];
        }
        for (int32_t k = 0; k < blockCount; ++k) // lanes without a route stay 0
            for (double& a : blockRoutes[k].amount)
                a = 0.0;
    } else if (mode == Mode::kDense) {
        for (int32_t j = 0; j < count; ++j)
            amountSlot[j] = &dense[denseRowOf[routes[j].source]][routes[j].destination];
    } else {
        for (int32_t j = 0; j < count; ++j) {
            sparse[j] = SparseRoute{in + routes[j].destination, out + routes[j].source, 0.0};
            amountSlot[j] = &sparse[j].amount;
        }
        for (int32_t j = count; j % kRoutesPerStep; ++j)
            sparse[j] = SparseRoute{&spare, out, 0.0};
    }
    boundInput = in;
    boundOutput = out;
}

void CModulationMatrix::buildPicks() {
    // Per destination: how many sources it has of each kind; a block takes
    // as many picks as its busiest lane.
    int32_t fromOperators[kPaddedNodes] = {};
    int32_t fromFilters[kPaddedNodes] = {};
    for (int32_t j = 0; j < count; ++j) {
        const Route& r = routes[j];
        (r.source < kOperatorNodes ? fromOperators : fromFilters)[r.destination]++;
    }
    anyFromFilters = false;
    for (int32_t b = 0; b < kPickBlocks; ++b) {
        PickBlock& block = pickBlocks[b];
        block.operatorPicks = block.filterPicks = 0;
        for (int32_t i = 0; i < kBlockLanes; ++i) {
            const int32_t d = b * kBlockLanes + i;
            if (fromOperators[d] > block.operatorPicks) block.operatorPicks = fromOperators[d];
            if (fromFilters[d] > block.filterPicks) block.filterPicks = fromFilters[d];
        }
        if (block.filterPicks > 0) anyFromFilters = true;
        for (Pick& p : block.fromOperators) // lanes without a route add 0
            p = Pick{};
        for (Pick& p : block.fromFilters)
            p = Pick{};
    }
    // Routes come in ascending source order, so a destination's sources so
    // far are the rank of its next one.
    int32_t rank[kPaddedNodes] = {};
    int32_t filterRank[kPaddedNodes] = {};
    for (int32_t j = 0; j < count; ++j) {
        const Route& r = routes[j];
        PickBlock& block = pickBlocks[r.destination / kBlockLanes];
        const int32_t i = r.destination % kBlockLanes;
        Pick& p =
            r.source < kOperatorNodes
                ? block.fromOperators[kOperatorNodes - block.operatorPicks + rank[r.destination]++]
                : block.fromFilters[kFilterNodes - block.filterPicks + filterRank[r.destination]++];
        p.lane[i] = r.source < kOperatorNodes ? r.source : r.source - kOperatorNodes;
        pickSlot[j] = &p.amount[i];
    }
}

void CModulationMatrix::preparePicks() {
    for (int32_t j = 0; j < count; ++j)
        *pickSlot[j] = *routes[j].amount;
}
