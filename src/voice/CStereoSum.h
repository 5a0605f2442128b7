// One sample's stereo mix, summed by the voice's sample loop from its
// operators and filters. With SSE2 it keeps four partial sums per channel
// (one per vector lane) and adds them up once at the end of the sample, so the
// order of the float additions differs from a plain left-to-right sum
// (rounding only, about 1e-7 of the level).
//
// Threads: audio thread only, per sample.
#pragma once

#include "base/FastClamp.h"

struct CStereoSum {
    __m128 left = _mm_setzero_ps();
    __m128 right = _mm_setzero_ps();

    void add(__m128 s, __m128 leftGain, __m128 rightGain) {
        left = _mm_add_ps(left, _mm_mul_ps(s, leftGain));
        right = _mm_add_ps(right, _mm_mul_ps(s, rightGain));
    }
    // The first contribution of a sample: as add into the empty sums (the
    // only difference: a -0 product stays -0 instead of becoming +0).
    void first(__m128 s, __m128 leftGain, __m128 rightGain) {
        left = _mm_mul_ps(s, leftGain);
        right = _mm_mul_ps(s, rightGain);
    }
    // Writes the two totals.
    void total(float& l, float& r) const {
        // [l0 + l2, r0 + r2, l1 + l3, r1 + r3], then the two halves.
        __m128 both = _mm_add_ps(_mm_unpacklo_ps(left, right), _mm_unpackhi_ps(left, right));
        both = _mm_add_ps(both, _mm_movehl_ps(both, both));
        l = _mm_cvtss_f32(both);
        r = _mm_cvtss_f32(_mm_shuffle_ps(both, both, _MM_SHUFFLE(1, 1, 1, 1)));
    }
};
