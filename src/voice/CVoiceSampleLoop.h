// The voice's per-sample loop, one template for every form of it. CVoice.cpp
// instantiates the SSE2 (or portable) forms; CVoiceWide.cpp includes this
// again with the compiler switched to AVX2 for the wide forms, which only
// run on processors that have it.
//
// Threads: audio thread only (the voice's render): no allocation, no locks.
#pragma once

#include "voice/CVoice.h"

#include <cmath>

template <bool Interpolate, bool AllRunning, bool Wide>
void CVoice::runSamples(float* left, float* right, int32_t n) {
    double* in = nodeInput;
    double* out = nodeOutput();
    double* filterIn = in + kOperatorCount;
    double* filterOut = out + kOperatorCount;
    const bool layer = sampleLayer.playing();
    const bool countLoud = released != 0;
    int32_t loud = loudAfterRelease;
    // Local copies: the compiler can keep their state in registers, since the
    // output buffers cannot alias them.
    COperatorBank ops = bank;
    CFilterPair pair = filterPair;
    const CModulationMatrix::Pass propagate = matrix.pass();
    for (int32_t i = 0; i < n; ++i) {
        CStereoSum mix;
#if defined(QUELLOR_HAS_WIDE_LANES)
        if constexpr (Wide)
            ops.template produceWide<Interpolate>(in, out, mix);
        else
#endif
            ops.template produce<Interpolate, AllRunning>(in, out, mix);
        pair.process(filterIn, filterOut, mix);
        float l, r;
        mix.total(l, r);
        if (layer && sampleLayer.playing()) {
            // Through copies, so that l and r need no memory on the usual path.
            float layerLeft = l, layerRight = r;
            sampleLayer.process(layerLeft, layerRight, filterIn[0], filterIn[1]);
            l = layerLeft;
            r = layerRight;
        }
        left[i] += l;
        right[i] += r;
#if defined(QUELLOR_HAS_WIDE_LANES)
        if constexpr (Wide)
            propagate.wide(in, out);
        else
#endif
            propagate(in, out);
        // Before release the count stays 0 (it is cleared at every start).
        if (countLoud) {
            const bool audible =
                std::fabs(l) >= CVoice::kAudibleLevel || std::fabs(r) >= CVoice::kAudibleLevel;
            loud = audible ? loud + 1 : 0;
        }
    }
    loudAfterRelease = loud;
    bank = ops;
    filterPair = pair;
}
