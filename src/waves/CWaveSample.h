// One audio file in memory: up to two channels of 32-bit floats (normalised to
// about -1..1), its sample rate and one loop. Filled from RIFF WAVE or AIFF
// files; played by the sample layer through `interpolate`, and reduced to a
// 32-harmonic spectrum by `analyse` when a wave is imported.
//
// Storage: each channel buffer holds frameCount + 10 floats; frame f lives at
// index f + 1, and the zero entries around the frames are the neighbours the
// cubic reads at the edges.
#pragma once

#include <cstdint>
#include <memory>

class CWaveSample {
public:
    static constexpr int32_t kHarmonicCount = 32;
    static constexpr int32_t kMaxChannels = 2;

    CWaveSample() = default;
    virtual ~CWaveSample() = default;
    CWaveSample(const CWaveSample&) = delete;
    CWaveSample& operator=(const CWaveSample&) = delete;

    // UI thread (never the audio thread: file I/O and allocation). Replace the
    // content with the file's; false on an unreadable file, a header that breaks
    // the rules of the format or a failed allocation, and then the previous
    // content stays as it was.
    bool readWav(const char* path);
    bool readAiff(const char* path);
    // UI thread: frees the sample data; the sample becomes empty.
    void release();

    // Audio thread: no allocation, no locks. The value between frame `frame`
    // and `frame + 1` at `fraction` (0..1), from the four frames frame-1 ..
    // frame+2 with a cubic Hermite (Catmull-Rom). Frames outside the sample read
    // as 0; `frame` is clamped to 0..length() + 6, so any value stays inside
    // the buffer. A mono sample
    // answers every channel with its one channel; an empty sample gives 0.
    float interpolate(int32_t frame, float fraction, int channel) const;

    // UI thread. For a sample holding one cycle of a wave: the relative
    // amplitudes (strongest harmonic 1.0) and phases (cycles, steps of 1/64) of
    // harmonics 1..32, and the removed DC level. The frames are read as one
    // period (the frame after the last is the first), so a constant sample has
    // no harmonics. An empty sample gives zeros.
    void analyse();

    int32_t channels() const { return channelCount; }
    double sampleRate() const { return sampleRateHz; } // Hz
    int32_t length() const { return frameCount; }      // frames per channel
    int32_t loopStart() const { return loopFirst; }    // first frame of the loop
    int32_t loopEnd() const { return loopAfter; }      // frame after the loop
    const double* harmonicAmplitudes() const { return amplitudes; }
    const double* harmonicPhases() const { return phases; }
    double mean() const { return dcMean; }

    // The readers' working copy, committed only when a read succeeds.
    struct Content;

private:
    void take(Content& content);
    float cyclicInterpolate(int32_t frame, float fraction, int channel) const;

    int32_t channelCount = 0;
    int32_t frameCount = 0;
    double sampleRateHz = 44100.0;
    int32_t loopFirst = 0;
    int32_t loopAfter = 0;
    double amplitudes[kHarmonicCount] = {};
    double phases[kHarmonicCount] = {};
    double dcMean = 0.0;
    std::unique_ptr<float[]> data[kMaxChannels];
};
