// Loudness of a rendered stereo stream as listeners and the preview table see
// it: integrated loudness (LUFS) and true peak (dBTP), measured by libebur128.
#pragma once

#include <ebur128.h>

#include <string>

class CLoudness {
public:
    CLoudness() = default;
    ~CLoudness();
    CLoudness(const CLoudness&) = delete;
    CLoudness& operator=(const CLoudness&) = delete;

    bool open(int sampleRate, std::string& error);
    // Appends `frames` frames of the two channels.
    void add(const float* left, const float* right, int frames);
    // -inf when the stream stayed below the gate (silence).
    double integratedLufs() const;
    double truePeakDb() const;

private:
    ebur128_state* mState = nullptr;
    float mInterleaved[2 * 4096];
};
