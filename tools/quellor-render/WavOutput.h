// The rendered stereo stream on its way to disk: a 32-bit float WAV file written
// block by block through libsndfile, and the level figures of what went in.
#pragma once

#include <cstdint>
#include <string>

typedef struct sf_private_tag SNDFILE;

class CWavOutput {
public:
    CWavOutput() = default;
    ~CWavOutput(); // closes the file if still open
    CWavOutput(const CWavOutput&) = delete;
    CWavOutput& operator=(const CWavOutput&) = delete;

    // Creates (or replaces) `path` as a stereo WAV at `sampleRate` Hz.
    bool open(const std::string& path, int sampleRate, std::string& error);
    // Appends `frames` frames; false with a message when the disk refuses.
    bool write(const float* left, const float* right, int frames, std::string& error);
    // Finishes the file header. False when the file could not be completed.
    bool close(std::string& error);
    // Closes and deletes the file: a failed render leaves no half file behind.
    void discard();

    int64_t frames() const { return mFrames; }
    float peak() const { return mPeak; } // largest absolute sample, linear
    double rms() const;                  // over both channels, linear
    int64_t nonFiniteSamples() const { return mNonFinite; }

private:
    SNDFILE* mFile = nullptr;
    std::string mPath;
    float mInterleaved[2 * 4096];
    int64_t mFrames = 0;
    float mPeak = 0.0f;
    double mSumSquares = 0.0;
    int64_t mNonFinite = 0;
};
