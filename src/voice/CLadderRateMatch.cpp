#include "voice/CLadderRateMatch.h"

#include "voice/CVoiceFilter.h"

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
// Table points over 0..kMaxCoefficient, ends included.
constexpr int32_t kIntervals = 128;
// Halvings of a bracket: far below float resolution.
constexpr int32_t kBisections = 48;
// Stages in the ladder.
constexpr double kStages = 4.0;

// Phase (radians, negative) of one stage y += (x - y) k at angular
// frequency theta (radians per sample).
double stagePhase(double k, double theta) {
    const double pole = 1.0 - k;
    return -std::atan2(pole * std::sin(theta), 1.0 - pole * std::cos(theta));
}

// Squared magnitude of one stage at theta.
double stagePower(double k, double theta) {
    const double pole = 1.0 - k;
    return k * k / (1.0 - 2.0 * pole * std::cos(theta) + pole * pole);
}

// Where the loop (four stages and one sample) turns the signal round, in
// radians per sample; (just below) pi when it does not below Nyquist.
double turnRound(double k) {
    const auto lead = [k](double theta) { return kStages * stagePhase(k, theta) - theta + kPi; };
    double lo = 0.0, hi = kPi;
    for (int32_t i = 0; i < kBisections; ++i) {
        const double mid = 0.5 * (lo + hi);
        (lead(mid) > 0.0 ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

// The fine coefficient whose loop turns round at theta (fine radians).
double fineCoefficientFor(double theta) {
    double lo = 0.0, hi = 1.0;
    for (int32_t i = 0; i < kBisections; ++i) {
        const double mid = 0.5 * (lo + hi);
        (turnRound(mid) < theta ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

struct Table {
    // Fine over host coefficient, and the feedback scale, per point.
    double ratio[kIntervals + 1];
    double scale[kIntervals + 1];
};

const Table& table() {
    static const Table t = [] {
        Table out{};
        // Towards 0 the stages' poles sit near 1, where halving the
        // coefficient is exact.
        out.ratio[0] = 0.5;
        out.scale[0] = 1.0;
        for (int32_t i = 1; i <= kIntervals; ++i) {
            const double k = double(CVoiceFilter::kMaxCoefficient) * i / kIntervals;
            const double theta = turnRound(k);
            const double fine = fineCoefficientFor(0.5 * theta);
            // Loop gain at the turning point, host rate over fine rate.
            const double gain =
                std::pow(stagePower(k, theta) / stagePower(fine, 0.5 * theta), 0.5 * kStages);
            out.ratio[i] = fine / k;
            out.scale[i] =
                gain * (CVoiceFilter::kFeedbackPerCoefficient * k + CVoiceFilter::kFeedbackBase) /
                (CVoiceFilter::kFeedbackPerCoefficient * fine + CVoiceFilter::kFeedbackBase);
        }
        return out;
    }();
    return t;
}

} // namespace

void CLadderRateMatch::prepare() {
    table();
}

CLadderRateMatch::Setting CLadderRateMatch::atTwiceTheRate(float hostCoefficient) {
    const Table& t = table();
    double x = double(hostCoefficient) / double(CVoiceFilter::kMaxCoefficient) * kIntervals;
    if (!(x > 0.0)) x = 0.0; // also NaN
    if (x > kIntervals) x = kIntervals;
    int32_t i = int32_t(x);
    if (i == kIntervals) i = kIntervals - 1;
    const double f = x - i;
    const double ratio = t.ratio[i] + (t.ratio[i + 1] - t.ratio[i]) * f;
    const double scale = t.scale[i] + (t.scale[i + 1] - t.scale[i]) * f;
    return Setting{float(ratio * hostCoefficient), scale};
}
