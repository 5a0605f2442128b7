// The master section every voice is summed into before the effects: a second
// order high-pass at 15 Hz, the distortion shaper, then the master level times
// the MIDI volume, spread by the MIDI pan. Distortion and gains glide toward
// their targets sample by sample.
//
// Threads: process and the setters run on the audio thread (the renderer
// applies values at a block's start); setSampleRate and reset only while no
// block renders.
#pragma once

#include <cstdint>

class CMasterSection {
public:
    // Recomputes the high-pass coefficients for the rate (Hz).
    void setSampleRate(double rate);
    // Clears the high-pass and puts distortion and gains at their targets.
    void reset();

    // Value 0 (master level, 0..1 -> gain x^2 * 2) and value 2 (distortion,
    // 0..1 -> amount x^2 * 16).
    void setMasterLevel(double x) { masterLevelValue = float(x * x * 2.0); }
    void setDistortion(double x) { distortionTargetValue = float(x * x * kDistortionRange); }
    // MIDI volume (controller 7) and pan (controller 10), 0..1.
    void setVolume(float v) { volumeValue = v; }
    void setPan(float p) { panValue = p; }

    // In place: left and right hold the summed voices of n samples.
    void process(float* left, float* right, int32_t n);

    // The distortion shaper: odd-symmetric, y(0) = 0, y(+-1) = +-g with
    // g = (1 - d/16)^8 * 0.7 + 0.3; amounts below 0.001 pass x unchanged.
    static float distortionShaper(float x, float amount);

    float masterLevel() const { return masterLevelValue; }
    float distortionTarget() const { return distortionTargetValue; }
    float leftGain() const { return leftGainValue; }
    float rightGain() const { return rightGainValue; }
    float volume() const { return volumeValue; }
    float pan() const { return panValue; }
    const float* highPassCoefficients() const { return highPassK; }

private:
    static constexpr float kDistortionRange = 16.0f;

    float masterLevelValue = 1.0f;
    float distortionTargetValue = 0.0f;
    float distortionAmount = 0.0f;
    float leftGainValue = 1.0f;
    float rightGainValue = 1.0f;
    float volumeValue = 1.0f;
    float panValue = 0.5f;
    float highPassK[3] = {};
    // Per channel: input 2 back, previous input, output 2 back, previous output.
    float highPassState[8] = {};
};
