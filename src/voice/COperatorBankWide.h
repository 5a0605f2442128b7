// COperatorBank::produceWide: the eight operator lanes as one AVX2 vector.
//
// Included only by CVoiceWide.cpp, after it has switched the compiler to
// AVX2, and only ever run when the processor has AVX2. Every step is the
// arithmetic of the SSE2 produce (two groups of four lanes) on eight lanes at
// once, in the same order, so both give the same bits. No fused multiply-add
// is enabled, so no product is rounded differently.
//
// Threads: audio thread only (the voice's render): no allocation, no locks.
#pragma once

#include "voice/COperatorBank.h"

#if defined(QUELLOR_HAS_WIDE_LANES)
#include <immintrin.h>

// Lane K's coefficient row (low half) and lane K + 4's (high half), read at
// the float indices in the low words of atLow and atHigh.
template <int32_t K>
inline __m256 wideRow(const float* const* table, __m128i atLow, __m128i atHigh) {
    const __m128 a = _mm_loadu_ps(table[K] + uint32_t(_mm_extract_epi16(atLow, 2 * K)));
    const __m128 b = _mm_loadu_ps(table[K + 4] + uint32_t(_mm_extract_epi16(atHigh, 2 * K)));
    return _mm256_insertf128_ps(_mm256_castps128_ps256(a), b, 1);
}

template <bool Interpolate>
inline void COperatorBank::produceWide(double* in, double* out, CStereoSum& mix) {
    const __m256d lo = _mm256_set1_pd(-COperator::kPhaseInputLimit);
    const __m256d hi = _mm256_set1_pd(COperator::kPhaseInputLimit);
    const __m256d scale = _mm256_set1_pd(COperator::kPhaseScale);
    const __m256d magic = _mm256_set1_pd(COperator::kRoundingMagic);
    // Phase input -> nearest 2^-32 cycle (NaN -> lo), then the low 32 bits of
    // each rounded double into one vector in lane order 0..7.
    const __m256d in0 = _mm256_loadu_pd(in);
    const __m256d in1 = _mm256_loadu_pd(in + 4);
    __m256d p0 = _mm256_min_pd(_mm256_max_pd(in0, lo), hi);
    __m256d p1 = _mm256_min_pd(_mm256_max_pd(in1, lo), hi);
    p0 = _mm256_add_pd(_mm256_mul_pd(p0, scale), magic);
    p1 = _mm256_add_pd(_mm256_mul_pd(p1, scale), magic);
    // [0 1 4 5 | 2 3 6 7], then the middle 64-bit pairs swapped.
    const __m256i mixed = _mm256_castps_si256(
        _mm256_shuffle_ps(_mm256_castpd_ps(p0), _mm256_castpd_ps(p1), _MM_SHUFFLE(2, 0, 2, 0)));
    const __m256i offset = _mm256_permute4x64_epi64(mixed, _MM_SHUFFLE(3, 1, 2, 0));
    __m256i* acc = reinterpret_cast<__m256i*>(accumulator);
    const __m256i before = _mm256_loadu_si256(acc);
    const __m256i ph = _mm256_add_epi32(before, offset);
    _mm256_storeu_si256(
        acc, _mm256_add_epi32(before, _mm256_loadu_si256(reinterpret_cast<__m256i*>(increment))));
    // Segment starts as float indices; each fits its lane's low word.
    const __m256i at = _mm256_slli_epi32(_mm256_srli_epi32(ph, COperator::kSegmentShift), 2);
    const __m128i atLow = _mm256_castsi256_si128(at);
    const __m128i atHigh = _mm256_extracti128_si256(at, 1);
    // Row k holds lane k's four coefficients in its low half, lane k + 4's in
    // its high half; the transpose below gives one coefficient of all lanes.
    const __m256 r0 = wideRow<0>(table, atLow, atHigh);
    const __m256 r1 = wideRow<1>(table, atLow, atHigh);
    const __m256 r2 = wideRow<2>(table, atLow, atHigh);
    const __m256 r3 = wideRow<3>(table, atLow, atHigh);
    const __m256 t0 = _mm256_unpacklo_ps(r0, r1);
    const __m256 t1 = _mm256_unpackhi_ps(r0, r1);
    const __m256 t2 = _mm256_unpacklo_ps(r2, r3);
    const __m256 t3 = _mm256_unpackhi_ps(r2, r3);
    const __m256 c0 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0));
    __m256 w;
    if constexpr (Interpolate) {
        const __m256 c1 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2));
        const __m256 c2 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0));
        const __m256 c3 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2));
        const __m256 f = _mm256_mul_ps(
            _mm256_cvtepi32_ps(_mm256_and_si256(ph, _mm256_set1_epi32(COperator::kFractionMask))),
            _mm256_set1_ps(COperator::kFractionScale));
        w = _mm256_add_ps(
            _mm256_mul_ps(
                _mm256_add_ps(_mm256_mul_ps(_mm256_add_ps(_mm256_mul_ps(c3, f), c2), f), c1), f),
            c0);
    } else {
        w = c0;
    }
    const __m256 amp = _mm256_loadu_ps(amplitude);
    const __m256 s = _mm256_mul_ps(w, amp);
    _mm256_storeu_pd(out, _mm256_cvtps_pd(_mm256_castps256_ps128(s)));
    _mm256_storeu_pd(out + 4, _mm256_cvtps_pd(_mm256_extractf128_ps(s, 1)));
    _mm256_storeu_pd(in, _mm256_loadu_pd(basePhase));
    _mm256_storeu_pd(in + 4, _mm256_loadu_pd(basePhase + 4));
    const __m256 gl = _mm256_loadu_ps(leftGain);
    const __m256 gr = _mm256_loadu_ps(rightGain);
    // As mix.first with lanes 0..3, then mix.add with lanes 4..7.
    const __m256 pl = _mm256_mul_ps(s, gl);
    const __m256 pr = _mm256_mul_ps(s, gr);
    mix.left = _mm_add_ps(_mm256_castps256_ps128(pl), _mm256_extractf128_ps(pl, 1));
    mix.right = _mm_add_ps(_mm256_castps256_ps128(pr), _mm256_extractf128_ps(pr, 1));
    _mm256_storeu_ps(amplitude, _mm256_add_ps(amp, _mm256_loadu_ps(amplitudeStep)));
    _mm256_storeu_ps(leftGain, _mm256_add_ps(gl, _mm256_loadu_ps(leftGainStep)));
    _mm256_storeu_ps(rightGain, _mm256_add_ps(gr, _mm256_loadu_ps(rightGainStep)));
}
#endif
