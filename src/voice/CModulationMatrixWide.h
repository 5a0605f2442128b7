// CModulationMatrix::Pass::wide: the propagation of the AVX2 sample loop.
//
// Included only by CVoiceWide.cpp after it has switched the compiler to AVX2.
// Shifted blocks run as one four-lane vector each, with per lane the same
// multiply and add as the SSE2 form (no fused multiply-add), so the same
// results; the other forms are the shared ones.
//
// Threads: audio thread only (the voice's render): no allocation, no locks.
#pragma once

#include "voice/CModulationMatrix.h"

#if defined(QUELLOR_HAS_WIDE_LANES)
#include <immintrin.h>

QUELLOR_ALWAYS_INLINE void CModulationMatrix::Pass::wide(double* in, const double* out) const {
    if (blockCount <= 0) {
        (*this)(in, out);
        return;
    }
    static_assert(kBlockLanes == 4, "one vector of four doubles per block");
    for (const BlockRoute* b = block; b != block + blockCount; ++b) {
        double* d = b->destination; // locals: the vector store may alias anything
        const __m256d p = _mm256_mul_pd(_mm256_loadu_pd(b->source), _mm256_loadu_pd(b->amount));
        _mm256_storeu_pd(d, _mm256_add_pd(_mm256_loadu_pd(d), p));
    }
}
#endif
