#include "engine/CHalfBandDecimator.h"

#include <cmath>
#include <cstring>

namespace {

// Kaiser window shape: 8 trades a little transition width for a stop band
// below -85 dB.
constexpr double kKaiserBeta = 8.0;
constexpr double kPi = 3.14159265358979323846;

// The modified Bessel function of the first kind, order 0, by its series
// (converges quickly for the window's arguments).
double besselI0(double x) {
    double sum = 1.0;
    double term = 1.0;
    for (int k = 1; k < 64 && term > 1e-21 * sum; ++k) {
        const double half = x / (2.0 * k);
        term *= half * half;
        sum += term;
    }
    return sum;
}

struct Taps {
    float centre;
    float pairs[CHalfBandDecimator::kPairs];
};

// Worked out once, before the first decimator runs: the ideal half-band
// response sin(pi d / 2) / (pi d) at odd distance d (0.5 at the centre),
// under the window, scaled so that the taps sum to exactly 1.
const Taps& taps() {
    static const Taps t = [] {
        constexpr double half = CHalfBandDecimator::kHalfLength;
        const double windowNorm = besselI0(kKaiserBeta);
        double raw[CHalfBandDecimator::kPairs];
        double sum = 0.5;
        for (int32_t i = 0; i < CHalfBandDecimator::kPairs; ++i) {
            const double d = 2.0 * i + 1.0;
            const double r = d / half;
            const double window = besselI0(kKaiserBeta * std::sqrt(1.0 - r * r)) / windowNorm;
            raw[i] = std::sin(kPi * d / 2.0) / (kPi * d) * window;
            sum += 2.0 * raw[i];
        }
        Taps out{};
        out.centre = float(0.5 / sum);
        for (int32_t i = 0; i < CHalfBandDecimator::kPairs; ++i)
            out.pairs[i] = float(raw[i] / sum);
        return out;
    }();
    return t;
}

} // namespace

CHalfBandDecimator::CHalfBandDecimator() {
    taps();
    reset();
}

void CHalfBandDecimator::reset() {
    std::memset(odd, 0, sizeof odd);
    std::memset(even, 0, sizeof even);
}

float CHalfBandDecimator::centreTap() {
    return taps().centre;
}

float CHalfBandDecimator::pairTap(int32_t i) {
    return i >= 0 && i < kPairs ? taps().pairs[i] : 0.0f;
}

void CHalfBandDecimator::process(const float* in, float* out, int32_t n) {
    if (n <= 0) return;
    if (n > kMaxOutputFrames) n = kMaxOutputFrames;
    const Taps& t = taps();
    // The history, then this block's odd (and even) input samples, in order.
    float a[kOddHistory + kMaxOutputFrames];
    float b[kEvenHistory + kMaxOutputFrames];
    std::memcpy(a, odd, sizeof odd);
    std::memcpy(b, even, sizeof even);
    for (int32_t m = 0; m < n; ++m) {
        b[kEvenHistory + m] = in[2 * m];
        a[kOddHistory + m] = in[2 * m + 1];
    }
    // Output m: the centre tap meets even sample m - kEvenHistory; pair i
    // meets the odd samples i + 1 after and i before the centre.
    for (int32_t m = 0; m < n; ++m) {
        const float* centre = a + m + kPairs - 1;
        float y = t.centre * b[m];
        for (int32_t i = 0; i < kPairs; ++i)
            y += t.pairs[i] * (centre[i + 1] + centre[-i]);
        out[m] = y;
    }
    std::memcpy(odd, a + n, sizeof odd);
    std::memcpy(even, b + n, sizeof even);
}
