// A voice's two filters run side by side for the sample loop.
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

private:
    // The ladder on four lanes of input u: returns the output y and steps the
    // coefficient and gain ramps.
    __m128 ladder(__m128 u);

    alignas(16) float stage[4][kVectorLanes] = {};
    alignas(16) float coefficient[kVectorLanes] = {};
    alignas(16) float coefficientStep[kVectorLanes] = {};
    alignas(16) float feedback[kVectorLanes] = {};
    alignas(16) float w0[kVectorLanes] = {};
    alignas(16) float w1[kVectorLanes] = {};
    alignas(16) float w4[kVectorLanes] = {};
    alignas(16) float leftGain[kVectorLanes] = {};
    alignas(16) float leftGainStep[kVectorLanes] = {};
    alignas(16) float rightGain[kVectorLanes] = {};
    alignas(16) float rightGainStep[kVectorLanes] = {};
    // All bits set in the lanes of filters in mode Off; whether there is one.
    alignas(16) uint32_t passLanes[kVectorLanes] = {};
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
