#include "voice/CModulationMatrix.h"

namespace {
// Estimated cost per sample (instructions) of one route run on its own, and
// of one dense source row plus the fixed part of the dense pass.
constexpr int32_t kSparseRouteCost = 8;
constexpr int32_t kDenseRowCost = 14;
constexpr int32_t kDenseFixedCost = 12;
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
    boundInput = nullptr; // the sparse list is laid out again at the next prepare
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
    useDense = count * kSparseRouteCost > denseSourceCount * kDenseRowCost + kDenseFixedCost;
}

void CModulationMatrix::prepare(double* in, const double* out) {
    if (useDense) {
        for (int32_t j = 0; j < count; ++j)
            dense[denseRowOf[routes[j].source]][routes[j].destination] = *routes[j].amount;
    } else if (in == boundInput && out == boundOutput) { // only the values may have moved
        for (int32_t j = 0; j < count; ++j)
            sparse[j].amount = *routes[j].amount;
    } else {
        for (int32_t j = 0; j < count; ++j)
            sparse[j] =
                SparseRoute{in + routes[j].destination, out + routes[j].source, *routes[j].amount};
        for (int32_t j = count; j % kRoutesPerStep; ++j)
            sparse[j] = SparseRoute{&spare, out, 0.0};
        boundInput = in;
        boundOutput = out;
    }
}
