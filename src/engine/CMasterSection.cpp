#include "engine/CMasterSection.h"

#include "base/Denormal.h"

#include <cmath>

namespace {
// Output high-pass: second order at 15 Hz. The coefficients take 2 pi as the
// single-precision 6.28, not the exact value: every render's output follows
// from it to the bit, the host tests' reference renders among them.
constexpr float kHighPassHz = 15.0f;
constexpr float kTwoPiApprox = 6.28f;

// Smoothing per sample.
constexpr float kDistortionSmoothing = 0.005f;
constexpr float kGainSmoothing = 0.001f;
// Below this amount the distortion shaper is bypassed.
constexpr float kDistortionBypass = 0.001f;
constexpr float kShaperFloor = 0.3f;
constexpr float kShaperSpan = 0.7f;
constexpr float kLn10 = 2.302585093f;
} // namespace

void CMasterSection::setSampleRate(double rate) {
    const float w = float(kHighPassHz / rate * kTwoPiApprox);
    const float s = std::sin(w), c = std::cos(w);
    highPassK[0] = flushDenormal((1.0f + c) / (2.0f + s));
    highPassK[1] = flushDenormal(-2.0f * c / (1.0f + s));
    highPassK[2] = flushDenormal((1.0f - s) / (1.0f + s));
}

void CMasterSection::reset() {
    leftGainValue = rightGainValue = masterLevelValue;
    distortionAmount = distortionTargetValue;
    for (float& s : highPassState)
        s = 0.0f;
}

float CMasterSection::distortionShaper(float x, float d) {
    if (d < kDistortionBypass) return x;
    x = flushDenormal(x);
    float k = 1.0f - d / kDistortionRange;
    k *= k; // ^2
    k *= k; // ^4
    k *= k; // ^8
    const float g = k * kShaperSpan + kShaperFloor;
    if (x >= 0.0f) return g * (1.0f - std::exp(-d * x * kLn10) * (1.0f - x));
    return -g * (1.0f - std::exp(d * x * kLn10) * (1.0f + x));
}

void CMasterSection::process(float* left, float* right, int32_t n) {
    const float k0 = highPassK[0], k1 = highPassK[1], k2 = highPassK[2];
    float* hl = highPassState;     // left: x2, x1, y2, y1
    float* hr = highPassState + 4; // right
    for (int32_t i = 0; i < n; ++i) {
        float x = flushDenormal(left[i]);
        float y = flushDenormal(k0 * (x - 2.0f * hl[1] + hl[0]) - k1 * hl[3] - k2 * hl[2]);
        hl[0] = hl[1];
        hl[1] = x;
        hl[2] = hl[3];
        hl[3] = y;
        float l = y;

        x = flushDenormal(right[i]);
        y = flushDenormal(k0 * (x - 2.0f * hr[1] + hr[0]) - k1 * hr[3] - k2 * hr[2]);
        hr[0] = hr[1];
        hr[1] = x;
        hr[2] = hr[3];
        hr[3] = y;
        float r = y;

        distortionAmount = flushDenormal(
            distortionAmount + (distortionTargetValue - distortionAmount) * kDistortionSmoothing);
        left[i] = distortionShaper(l, distortionAmount) * leftGainValue;
        right[i] = distortionShaper(r, distortionAmount) * rightGainValue;

        const float level = masterLevelValue * volumeValue;
        const float leftTarget = level * (2.0f - 2.0f * panValue);
        const float rightTarget = level * 2.0f * panValue;
        leftGainValue =
            flushDenormal(leftGainValue + (leftTarget - leftGainValue) * kGainSmoothing);
        rightGainValue =
            flushDenormal(rightGainValue + (rightTarget - rightGainValue) * kGainSmoothing);
    }
}
