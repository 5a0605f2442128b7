// A voice's two filters run side by side for the sample loop (and up to four
// voices' pairs in the wide loop, where the filters of voices rendered
// together share one vector).
//
// Each CVoiceFilter owns its state; for one render chunk the voice copies the
// per-sample part (stages, coefficient and gain ramps, output weights) into
// the two lanes here, runs both filters together, and copies the state back
// at the end of the chunk. The arithmetic per lane is exactly
// CVoiceFilter::process; a filter in mode Off passes its input and leaves its
// stages alone.
//
// The input accumulators and outputs live in the voice's matrix node arrays
// (nodes 8 and 9), passed to every call.
//
// Threads: audio thread only (the voice's render): no allocation, no locks.
#pragma once

#include "voice/CStereoSum.h"
#include "voice/CVoiceFilter.h"
#include "voice/NodeLoad.h"

#include <cstdint>

class CFilterPair {
public:
    static constexpr int32_t kLanes = 2;
    static constexpr int32_t kVectorLanes = 4; // 2 and 3 silent, or a joined pair
    // The wide loop's four voices: voice j's pair in lanes 2j and 2j + 1.
    static constexpr int32_t kVoicesAcross = 4;
    static constexpr int32_t kWideLanes = kLanes * kVoicesAcross;

    // Chunk start: copies both filters' per-sample state into lanes first and
    // first + 1, and their inputs and outputs into in[0..1] and out[0..1].
    // Lanes 0 and 1 are one voice's; 2 and 3 take a second voice's when two
    // voices run side by side (joined: one vector does the work of both).
    void load(const CVoiceFilter* filters, double* in, double* out, int32_t first = 0);
    // Chunk end: stages, ramp values, inputs and outputs go back.
    void store(CVoiceFilter* filters, const double* in, const double* out, int32_t first = 0) const;

    // Per sample, as CVoiceFilter::process for both filters: input in[f],
    // output out[f], in[f] := 0, y * gains added into mix.
    void process(double* in, double* out, CStereoSum& mix);

    // Per sample on joined lanes: process for a, then for b, with the same
    // results bit for bit.
    void processJoined(double* inA, double* outA, CStereoSum& mixA, double* inB, double* outB,
                       CStereoSum& mixB);
    // The same with the inputs and outputs in registers (the caller clears
    // the inputs): returns the outputs, in lanes 0 and 1 (joined: a's in 0
    // and 1, b's in 2 and 3).
    __m128 process(__m128d in, CStereoSum& mix);
    __m128 processJoined(__m128d inA, CStereoSum& mixA, __m128d inB, CStereoSum& mixB);
#if defined(QUELLOR_HAS_WIDE_LANES)
    // Per sample on four voices' pairs across the eight lanes: processJoined
    // for voices 0 and 1, then for 2 and 3, with the same results bit for
    // bit; in[j] and mix[j] are voice j's. Returns the outputs, voice j's in
    // lanes 2j and 2j + 1.
    QUELLOR_WIDE_TARGET __m256 processFour(const __m128d* in, CStereoSum* mix);
#endif

private:
    // The ladder on four lanes of input u: returns the output y and steps the
    // coefficient and gain ramps.
    __m128 ladder(__m128 u);
#if defined(QUELLOR_HAS_WIDE_LANES)
    // The same on all eight lanes.
    QUELLOR_WIDE_TARGET __m256 ladderWide(__m256 u);
#endif

    alignas(32) float stage[4][kWideLanes] = {};
    alignas(32) float coefficient[kWideLanes] = {};
    alignas(32) float coefficientStep[kWideLanes] = {};
    alignas(32) float feedback[kWideLanes] = {};
    alignas(32) float w0[kWideLanes] = {};
    alignas(32) float w1[kWideLanes] = {};
    alignas(32) float w4[kWideLanes] = {};
    alignas(32) float leftGain[kWideLanes] = {};
    alignas(32) float leftGainStep[kWideLanes] = {};
    alignas(32) float rightGain[kWideLanes] = {};
    alignas(32) float rightGainStep[kWideLanes] = {};
    // All bits set in the lanes of filters in mode Off; whether there is one.
    alignas(32) uint32_t passLanes[kWideLanes] = {};
    bool anyPass = false;
};

inline __m128 CFilterPair::ladder(__m128 u) {
    u = _mm_min_ps(_mm_max_ps(u, _mm_set1_ps(-CVoiceFilter::kInputLimit)),
                   _mm_set1_ps(CVoiceFilter::kInputLimit));
    const __m128 k = _mm_load_ps(coefficient);
    __m128 s1 = _mm_load_ps(stage[0]);
    __m128 s2 = _mm_load_ps(stage[1]);
    __m128 s3 = _mm_load_ps(stage[2]);
    __m128 s4 = _mm_load_ps(stage[3]);
    const __m128 gain =
        _mm_add_ps(_mm_mul_ps(_mm_set1_ps(CVoiceFilter::kFeedbackPerCoefficient), k),
                   _mm_set1_ps(CVoiceFilter::kFeedbackBase));
    __m128 v = _mm_sub_ps(u, _mm_mul_ps(_mm_mul_ps(gain, _mm_load_ps(feedback)), s4));
    // |v| as a mask of everything but the sign (one AND with a constant).
    const __m128 magnitude = _mm_and_ps(v, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff)));
    v = _mm_div_ps(v, _mm_add_ps(_mm_mul_ps(magnitude, _mm_set1_ps(CVoiceFilter::kClipSlope)),
                                 _mm_set1_ps(CVoiceFilter::kClipBias)));
    s1 = _mm_add_ps(s1, _mm_mul_ps(_mm_sub_ps(v, s1), k));
    s2 = _mm_add_ps(s2, _mm_mul_ps(_mm_sub_ps(s1, s2), k));
    s3 = _mm_add_ps(s3, _mm_mul_ps(_mm_sub_ps(s2, s3), k));
    s4 = _mm_add_ps(s4, _mm_mul_ps(_mm_sub_ps(s3, s4), k));
    _mm_store_ps(stage[0], s1);
    _mm_store_ps(stage[1], s2);
    _mm_store_ps(stage[2], s3);
    _mm_store_ps(stage[3], s4);
    _mm_store_ps(coefficient, _mm_add_ps(k, _mm_load_ps(coefficientStep)));
    __m128 y =
        _mm_add_ps(_mm_add_ps(_mm_mul_ps(v, _mm_load_ps(w0)), _mm_mul_ps(s1, _mm_load_ps(w1))),
                   _mm_mul_ps(s4, _mm_load_ps(w4)));
    if (anyPass) { // a filter in mode Off passes its input
        const __m128 pass = _mm_load_ps(reinterpret_cast<const float*>(passLanes));
        y = _mm_or_ps(_mm_and_ps(pass, u), _mm_andnot_ps(pass, y));
    }
    return y;
}

inline void CFilterPair::process(double* in, double* out, CStereoSum& mix) {
    _mm_store_pd(out, _mm_cvtps_pd(process(loadNodePair(in), mix)));
    _mm_store_pd(in, _mm_setzero_pd());
}

inline __m128 CFilterPair::process(__m128d in, CStereoSum& mix) {
    const __m128 y = ladder(_mm_cvtpd_ps(in));
    const __m128 gl = _mm_load_ps(leftGain);
    const __m128 gr = _mm_load_ps(rightGain);
    mix.add(y, gl, gr);
    _mm_store_ps(leftGain, _mm_add_ps(gl, _mm_load_ps(leftGainStep)));
    _mm_store_ps(rightGain, _mm_add_ps(gr, _mm_load_ps(rightGainStep)));
    return y;
}

inline void CFilterPair::processJoined(double* inA, double* outA, CStereoSum& mixA, double* inB,
                                       double* outB, CStereoSum& mixB) {
    const __m128 y = processJoined(loadNodePair(inA), mixA, loadNodePair(inB), mixB);
    _mm_store_pd(outA, _mm_cvtps_pd(y));
    _mm_store_pd(outB, _mm_cvtps_pd(_mm_movehl_ps(y, y)));
    _mm_store_pd(inA, _mm_setzero_pd());
    _mm_store_pd(inB, _mm_setzero_pd());
}

inline __m128 CFilterPair::processJoined(__m128d inA, CStereoSum& mixA, __m128d inB,
                                         CStereoSum& mixB) {
    const __m128 y = ladder(_mm_movelh_ps(_mm_cvtpd_ps(inA), _mm_cvtpd_ps(inB)));
    const __m128 gl = _mm_load_ps(leftGain);
    const __m128 gr = _mm_load_ps(rightGain);
    // Each voice's sums take its own two lanes; the other two add 0, as the
    // silent lanes of a pair of its own would.
    const __m128 l = _mm_mul_ps(y, gl);
    const __m128 r = _mm_mul_ps(y, gr);
    const auto low = [](__m128 x) { return _mm_castsi128_ps(_mm_move_epi64(_mm_castps_si128(x))); };
    mixA.left = _mm_add_ps(mixA.left, low(l));
    mixA.right = _mm_add_ps(mixA.right, low(r));
    mixB.left = _mm_add_ps(mixB.left, low(_mm_movehl_ps(l, l)));
    mixB.right = _mm_add_ps(mixB.right, low(_mm_movehl_ps(r, r)));
    _mm_store_ps(leftGain, _mm_add_ps(gl, _mm_load_ps(leftGainStep)));
    _mm_store_ps(rightGain, _mm_add_ps(gr, _mm_load_ps(rightGainStep)));
    return y;
}

#if defined(QUELLOR_HAS_WIDE_LANES)
// Lanes 0 and 1 of x, and 0 in 2 and 3.
QUELLOR_WIDE_TARGET QUELLOR_ALWAYS_INLINE __m128 lowPair(__m128 x) {
    return _mm_blend_ps(x, _mm_setzero_ps(), 0xC);
}

// ladder's steps on eight lanes, in the same order.
QUELLOR_WIDE_TARGET inline __m256 CFilterPair::ladderWide(__m256 u) {
    u = _mm256_min_ps(_mm256_max_ps(u, _mm256_set1_ps(-CVoiceFilter::kInputLimit)),
                      _mm256_set1_ps(CVoiceFilter::kInputLimit));
    const __m256 k = _mm256_load_ps(coefficient);
    __m256 s1 = _mm256_load_ps(stage[0]);
    __m256 s2 = _mm256_load_ps(stage[1]);
    __m256 s3 = _mm256_load_ps(stage[2]);
    __m256 s4 = _mm256_load_ps(stage[3]);
    const __m256 gain =
        _mm256_add_ps(_mm256_mul_ps(_mm256_set1_ps(CVoiceFilter::kFeedbackPerCoefficient), k),
                      _mm256_set1_ps(CVoiceFilter::kFeedbackBase));
    __m256 v = _mm256_sub_ps(u, _mm256_mul_ps(_mm256_mul_ps(gain, _mm256_load_ps(feedback)), s4));
    const __m256 magnitude = _mm256_and_ps(v, _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff)));
    v = _mm256_div_ps(
        v, _mm256_add_ps(_mm256_mul_ps(magnitude, _mm256_set1_ps(CVoiceFilter::kClipSlope)),
                         _mm256_set1_ps(CVoiceFilter::kClipBias)));
    s1 = _mm256_add_ps(s1, _mm256_mul_ps(_mm256_sub_ps(v, s1), k));
    s2 = _mm256_add_ps(s2, _mm256_mul_ps(_mm256_sub_ps(s1, s2), k));
    s3 = _mm256_add_ps(s3, _mm256_mul_ps(_mm256_sub_ps(s2, s3), k));
    s4 = _mm256_add_ps(s4, _mm256_mul_ps(_mm256_sub_ps(s3, s4), k));
    _mm256_store_ps(stage[0], s1);
    _mm256_store_ps(stage[1], s2);
    _mm256_store_ps(stage[2], s3);
    _mm256_store_ps(stage[3], s4);
    _mm256_store_ps(coefficient, _mm256_add_ps(k, _mm256_load_ps(coefficientStep)));
    __m256 y = _mm256_add_ps(
        _mm256_add_ps(_mm256_mul_ps(v, _mm256_load_ps(w0)), _mm256_mul_ps(s1, _mm256_load_ps(w1))),
        _mm256_mul_ps(s4, _mm256_load_ps(w4)));
    if (anyPass) // a filter in mode Off passes its input
        y = _mm256_blendv_ps(y, u, _mm256_load_ps(reinterpret_cast<const float*>(passLanes)));
    return y;
}

QUELLOR_WIDE_TARGET inline __m256 CFilterPair::processFour(const __m128d* in, CStereoSum* mix) {
    const __m128 low = _mm_movelh_ps(_mm_cvtpd_ps(in[0]), _mm_cvtpd_ps(in[1]));
    const __m128 high = _mm_movelh_ps(_mm_cvtpd_ps(in[2]), _mm_cvtpd_ps(in[3]));
    const __m256 y = ladderWide(_mm256_set_m128(high, low));
    const __m256 gl = _mm256_load_ps(leftGain);
    const __m256 gr = _mm256_load_ps(rightGain);
    const __m256 l = _mm256_mul_ps(y, gl);
    const __m256 r = _mm256_mul_ps(y, gr);
    // Each voice's sums take its own two lanes and 0 in the other two, as in
    // processJoined.
    const __m128 ls[2] = {_mm256_castps256_ps128(l), _mm256_extractf128_ps(l, 1)};
    const __m128 rs[2] = {_mm256_castps256_ps128(r), _mm256_extractf128_ps(r, 1)};
    for (int32_t h = 0; h < 2; ++h) {
        CStereoSum& first = mix[2 * h];
        CStereoSum& second = mix[2 * h + 1];
        first.left = _mm_add_ps(first.left, lowPair(ls[h]));
        first.right = _mm_add_ps(first.right, lowPair(rs[h]));
        second.left = _mm_add_ps(second.left, lowPair(_mm_movehl_ps(ls[h], ls[h])));
        second.right = _mm_add_ps(second.right, lowPair(_mm_movehl_ps(rs[h], rs[h])));
    }
    _mm256_store_ps(leftGain, _mm256_add_ps(gl, _mm256_load_ps(leftGainStep)));
    _mm256_store_ps(rightGain, _mm256_add_ps(gr, _mm256_load_ps(rightGainStep)));
    return y;
}
#endif
