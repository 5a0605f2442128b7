// A voice's eight operators laid out side by side for the sample loop.
//
// Each COperator owns its state; for one render chunk (at most one control
// tick) the voice copies the per-sample part into lanes here (structure of
// arrays: lane k is operator k), runs the lanes four at a time, and copies
// the state back at the end of the chunk. The arithmetic per lane is exactly
// COperator::produce. An operator that is off keeps its phase, its last
// output and its phase input (which goes on collecting matrix input); its
// lane contributes nothing.
//
// The phase inputs and outputs live in the voice's matrix node arrays
// (inputs and outputs of nodes 0..7), passed to every call; the wide loop
// keeps them in registers through a chunk instead (WideNodes).
//
// Units as COperator: phases in cycles (phase input) and 2^-32 cycles
// (accumulator, increment), levels linear.
//
// Threads: audio thread only (the voice's render): no allocation, no locks.
#pragma once

#include "voice/COperator.h"
#include "voice/CStereoSum.h"
#include "voice/NodeLoad.h"
#include "voice/WideLanes.h"

#include <cstdint>

class COperatorBank {
public:
    static constexpr int32_t kLanes = 8;
    static constexpr int32_t kGroupLanes = 4;
    static constexpr uint32_t kAllLanes = (1u << kLanes) - 1;

    // Chunk start: copies the operators' per-sample state into the lanes, and
    // their phase inputs and outputs into in[0..7] and out[0..7]. running:
    // bit k set when operator k plays this tick.
    void load(COperator* operators, uint32_t running, double* in, double* out);
    // Chunk end: accumulators, ramp values, phase inputs and outputs go back
    // to the operators.
    void store(COperator* operators, const double* in, const double* out) const;

    bool allRunning() const { return runningMask == kAllLanes; }

    // Per sample: every running lane produces its sample exactly as
    // COperator::produce does, from phase input in[k] into output out[k]
    // (then in[k] := base phase), and adds s * its left and right gains into
    // mix. AllRunning: every operator is on (no lane keeps its state).
    template <bool Interpolate, bool AllRunning>
    void produce(double* in, double* out, CStereoSum& mix);
#if defined(QUELLOR_HAS_WIDE_LANES)
    // The wide loop keeps the operators' nodes in registers for a chunk: the
    // phase inputs of lanes 0..3 and 4..7, and the eight outputs as floats
    // (every output is a float sample, so the conversion is exact).
    struct WideNodes {
        __m256d in0, in1;
        __m256 out;
    };
    QUELLOR_WIDE_TARGET static WideNodes loadWide(const double* in, const double* out);
    QUELLOR_WIDE_TARGET static void storeWide(const WideNodes& nodes, double* in, double* out);
    // The same as produce with all eight lanes in one 256-bit vector, on the
    // nodes in registers: output, lanes and mix bit for bit as produce.
    template <bool Interpolate, bool AllRunning>
    QUELLOR_WIDE_TARGET void produceWide(WideNodes& nodes, CStereoSum& mix);
#endif

private:
    alignas(32) double basePhase[kLanes] = {}; // cycles
    alignas(32) uint32_t accumulator[kLanes] = {};
    alignas(32) uint32_t increment[kLanes] = {};
    alignas(32) float amplitude[kLanes] = {};
    alignas(32) float amplitudeStep[kLanes] = {};
    alignas(32) float leftGain[kLanes] = {};
    alignas(32) float leftGainStep[kLanes] = {};
    alignas(32) float rightGain[kLanes] = {};
    alignas(32) float rightGainStep[kLanes] = {};
    // All bits set in the lanes of running operators (as 64-bit lanes, for
    // the double phase inputs and outputs). 32-byte alignment for the wide
    // loop.
    alignas(32) uint64_t runningLanes[kLanes] = {};
    alignas(32) uint32_t runningFloatLanes[kLanes] = {}; // the same as 32-bit lanes
    const float* table[kLanes] = {};
    uint32_t runningMask = 0;
};

template <bool Interpolate, bool AllRunning>
inline void COperatorBank::produce(double* in, double* out, CStereoSum& mix) {
    const __m128d lo = _mm_set1_pd(-COperator::kPhaseInputLimit);
    const __m128d hi = _mm_set1_pd(COperator::kPhaseInputLimit);
    const __m128d scale = _mm_set1_pd(COperator::kPhaseScale);
    const __m128d magic = _mm_set1_pd(COperator::kRoundingMagic);
    for (int32_t g = 0; g < kLanes; g += kGroupLanes) {
        if (!AllRunning && !((runningMask >> g) & 0xFu)) continue;
        // Phase input -> nearest 2^-32 cycle, as COperator::produce (the low
        // 32 bits of each rounded double, gathered into one integer vector).
        const __m128d in0 = loadNodePair(in + g);
        const __m128d in1 = loadNodePair(in + g + 2);
        __m128d p0 = _mm_min_pd(_mm_max_pd(in0, lo), hi); // NaN -> lo, as clampFast
        __m128d p1 = _mm_min_pd(_mm_max_pd(in1, lo), hi);
        p0 = _mm_add_pd(_mm_mul_pd(p0, scale), magic);
        p1 = _mm_add_pd(_mm_mul_pd(p1, scale), magic);
        const __m128i offset = _mm_castps_si128(
            _mm_shuffle_ps(_mm_castpd_ps(p0), _mm_castpd_ps(p1), _MM_SHUFFLE(2, 0, 2, 0)));
        __m128i* acc = reinterpret_cast<__m128i*>(accumulator + g);
        const __m128i before = _mm_load_si128(acc);
        const __m128i ph = _mm_add_epi32(before, offset);
        _mm_store_si128(
            acc, _mm_add_epi32(before, _mm_load_si128(reinterpret_cast<__m128i*>(increment + g))));
        // Segment starts as float indices (4 coefficients per segment). They
        // fit 16 bits, so each lane's low word is its whole index.
        const __m128i at = _mm_slli_epi32(_mm_srli_epi32(ph, COperator::kSegmentShift), 2);
        static_assert(((0xFFFFFFFFu >> COperator::kSegmentShift) << 2) <= 0xFFFFu);
        __m128 c0 = _mm_loadu_ps(table[g] + uint32_t(_mm_extract_epi16(at, 0)));
        __m128 c1 = _mm_loadu_ps(table[g + 1] + uint32_t(_mm_extract_epi16(at, 2)));
        __m128 c2 = _mm_loadu_ps(table[g + 2] + uint32_t(_mm_extract_epi16(at, 4)));
        __m128 c3 = _mm_loadu_ps(table[g + 3] + uint32_t(_mm_extract_epi16(at, 6)));
        _MM_TRANSPOSE4_PS(c0, c1, c2, c3); // now c0..c3 hold one coefficient of 4 lanes
        __m128 w;
        if constexpr (Interpolate) {
            const __m128 f = _mm_mul_ps(
                _mm_cvtepi32_ps(_mm_and_si128(ph, _mm_set1_epi32(COperator::kFractionMask))),
                _mm_set1_ps(COperator::kFractionScale));
            w = _mm_add_ps(
                _mm_mul_ps(_mm_add_ps(_mm_mul_ps(_mm_add_ps(_mm_mul_ps(c3, f), c2), f), c1), f),
                c0);
        } else {
            w = c0;
        }
        const __m128 amp = _mm_load_ps(amplitude + g);
        const __m128 s = _mm_mul_ps(w, amp);
        __m128d s0 = _mm_cvtps_pd(s);
        __m128d s1 = _mm_cvtps_pd(_mm_movehl_ps(s, s));
        __m128d b0 = _mm_load_pd(basePhase + g);
        __m128d b1 = _mm_load_pd(basePhase + g + 2);
        if constexpr (!AllRunning) { // a lane that is off keeps its output and phase input
            const __m128d m0 = _mm_load_pd(reinterpret_cast<const double*>(runningLanes + g));
            const __m128d m1 = _mm_load_pd(reinterpret_cast<const double*>(runningLanes + g + 2));
            s0 = _mm_or_pd(_mm_and_pd(m0, s0), _mm_andnot_pd(m0, _mm_load_pd(out + g)));
            s1 = _mm_or_pd(_mm_and_pd(m1, s1), _mm_andnot_pd(m1, _mm_load_pd(out + g + 2)));
            b0 = _mm_or_pd(_mm_and_pd(m0, b0), _mm_andnot_pd(m0, in0));
            b1 = _mm_or_pd(_mm_and_pd(m1, b1), _mm_andnot_pd(m1, in1));
        }
        _mm_store_pd(out + g, s0);
        _mm_store_pd(out + g + 2, s1);
        _mm_store_pd(in + g, b0);
        _mm_store_pd(in + g + 2, b1);
        const __m128 gl = _mm_load_ps(leftGain + g);
        const __m128 gr = _mm_load_ps(rightGain + g);
        if (AllRunning && g == 0) // the sums start here
            mix.first(s, gl, gr);
        else
            mix.add(s, gl, gr);
        _mm_store_ps(amplitude + g, _mm_add_ps(amp, _mm_load_ps(amplitudeStep + g)));
        _mm_store_ps(leftGain + g, _mm_add_ps(gl, _mm_load_ps(leftGainStep + g)));
        _mm_store_ps(rightGain + g, _mm_add_ps(gr, _mm_load_ps(rightGainStep + g)));
    }
}

#if defined(QUELLOR_HAS_WIDE_LANES)
QUELLOR_WIDE_TARGET inline COperatorBank::WideNodes COperatorBank::loadWide(const double* in,
                                                                            const double* out) {
    WideNodes n;
    n.in0 = _mm256_loadu_pd(in);
    n.in1 = _mm256_loadu_pd(in + 4);
    n.out = _mm256_set_m128(_mm256_cvtpd_ps(_mm256_loadu_pd(out + 4)),
                            _mm256_cvtpd_ps(_mm256_loadu_pd(out)));
    return n;
}

QUELLOR_WIDE_TARGET inline void COperatorBank::storeWide(const WideNodes& n, double* in,
                                                         double* out) {
    _mm256_storeu_pd(in, n.in0);
    _mm256_storeu_pd(in + 4, n.in1);
    _mm256_storeu_pd(out, _mm256_cvtps_pd(_mm256_castps256_ps128(n.out)));
    _mm256_storeu_pd(out + 4, _mm256_cvtps_pd(_mm256_extractf128_ps(n.out, 1)));
}

template <bool Interpolate, bool AllRunning>
QUELLOR_WIDE_TARGET inline void COperatorBank::produceWide(WideNodes& nodes, CStereoSum& mix) {
    const __m256d lo = _mm256_set1_pd(-COperator::kPhaseInputLimit);
    const __m256d hi = _mm256_set1_pd(COperator::kPhaseInputLimit);
    const __m256d scale = _mm256_set1_pd(COperator::kPhaseScale);
    const __m256d magic = _mm256_set1_pd(COperator::kRoundingMagic);
    // Phase input -> nearest 2^-32 cycle, as produce: the low 32 bits of the
    // eight rounded doubles, packed in lane order into one integer vector.
    __m256d p0 = _mm256_min_pd(_mm256_max_pd(nodes.in0, lo), hi); // NaN -> lo, as clampFast
    __m256d p1 = _mm256_min_pd(_mm256_max_pd(nodes.in1, lo), hi);
    p0 = _mm256_add_pd(_mm256_mul_pd(p0, scale), magic);
    p1 = _mm256_add_pd(_mm256_mul_pd(p1, scale), magic);
    // Per 128-bit half [l0 l1 h0 h1]; the 64-bit permute puts halves in order.
    const __m256 packed =
        _mm256_shuffle_ps(_mm256_castpd_ps(p0), _mm256_castpd_ps(p1), _MM_SHUFFLE(2, 0, 2, 0));
    const __m256i offset = _mm256_castpd_si256(
        _mm256_permute4x64_pd(_mm256_castps_pd(packed), _MM_SHUFFLE(3, 1, 2, 0)));
    __m256i* acc = reinterpret_cast<__m256i*>(accumulator);
    const __m256i before = _mm256_load_si256(acc);
    const __m256i ph = _mm256_add_epi32(before, offset);
    _mm256_store_si256(
        acc, _mm256_add_epi32(before, _mm256_load_si256(reinterpret_cast<__m256i*>(increment))));
    // Segment starts as float indices (4 coefficients per segment).
    alignas(32) uint32_t at[kLanes];
    _mm256_store_si256(reinterpret_cast<__m256i*>(at),
                       _mm256_slli_epi32(_mm256_srli_epi32(ph, COperator::kSegmentShift), 2));
    // Lane k and lane k + 4 share one 256-bit row; the in-half transpose then
    // leaves one coefficient of all eight lanes in each of c0..c3.
    __m256 c0 = _mm256_set_m128(_mm_loadu_ps(table[4] + at[4]), _mm_loadu_ps(table[0] + at[0]));
    __m256 c1 = _mm256_set_m128(_mm_loadu_ps(table[5] + at[5]), _mm_loadu_ps(table[1] + at[1]));
    __m256 c2 = _mm256_set_m128(_mm_loadu_ps(table[6] + at[6]), _mm_loadu_ps(table[2] + at[2]));
    __m256 c3 = _mm256_set_m128(_mm_loadu_ps(table[7] + at[7]), _mm_loadu_ps(table[3] + at[3]));
    {
        const __m256 t0 = _mm256_unpacklo_ps(c0, c1);
        const __m256 t1 = _mm256_unpacklo_ps(c2, c3);
        const __m256 t2 = _mm256_unpackhi_ps(c0, c1);
        const __m256 t3 = _mm256_unpackhi_ps(c2, c3);
        c0 = _mm256_shuffle_ps(t0, t1, _MM_SHUFFLE(1, 0, 1, 0));
        c1 = _mm256_shuffle_ps(t0, t1, _MM_SHUFFLE(3, 2, 3, 2));
        c2 = _mm256_shuffle_ps(t2, t3, _MM_SHUFFLE(1, 0, 1, 0));
        c3 = _mm256_shuffle_ps(t2, t3, _MM_SHUFFLE(3, 2, 3, 2));
    }
    __m256 w;
    if constexpr (Interpolate) {
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
    const __m256 amp = _mm256_load_ps(amplitude);
    const __m256 s = _mm256_mul_ps(w, amp);
    if constexpr (AllRunning) {
        nodes.out = s;
        nodes.in0 = _mm256_load_pd(basePhase);
        nodes.in1 = _mm256_load_pd(basePhase + 4);
    } else { // a lane that is off keeps its output and phase input
        const __m256d m0 = _mm256_load_pd(reinterpret_cast<const double*>(runningLanes));
        const __m256d m1 = _mm256_load_pd(reinterpret_cast<const double*>(runningLanes + 4));
        nodes.out = _mm256_blendv_ps(
            nodes.out, s, _mm256_load_ps(reinterpret_cast<const float*>(runningFloatLanes)));
        nodes.in0 = _mm256_blendv_pd(nodes.in0, _mm256_load_pd(basePhase), m0);
        nodes.in1 = _mm256_blendv_pd(nodes.in1, _mm256_load_pd(basePhase + 4), m1);
    }
    // Lane k of the mix takes operator k, then operator k + 4, as produce.
    const __m256 gl = _mm256_load_ps(leftGain);
    const __m256 gr = _mm256_load_ps(rightGain);
    const __m256 l = _mm256_mul_ps(s, gl);
    const __m256 r = _mm256_mul_ps(s, gr);
    const __m128 left = _mm_add_ps(_mm256_castps256_ps128(l), _mm256_extractf128_ps(l, 1));
    const __m128 right = _mm_add_ps(_mm256_castps256_ps128(r), _mm256_extractf128_ps(r, 1));
    if constexpr (AllRunning) {
        mix.left = left;
        mix.right = right;
    } else {
        mix.left = _mm_add_ps(mix.left, left);
        mix.right = _mm_add_ps(mix.right, right);
    }
    _mm256_store_ps(amplitude, _mm256_add_ps(amp, _mm256_load_ps(amplitudeStep)));
    _mm256_store_ps(leftGain, _mm256_add_ps(gl, _mm256_load_ps(leftGainStep)));
    _mm256_store_ps(rightGain, _mm256_add_ps(gr, _mm256_load_ps(rightGainStep)));
}
#endif
