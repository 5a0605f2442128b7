// Drives an open, started instance over many blocks as a host's transport
// does: each MIDI event goes to the block that holds its frame, with the
// matching delta, and a hook runs before every block (for automation and
// tempo changes). Plus the small signal measurements the host tests share.
#pragma once

#include "host/VstTestHost.h"

#include <cstdint>
#include <functional>
#include <vector>

struct TimedMidi {
    int64_t frame;
    uint8_t status, data1, data2;
};

struct StereoSignal {
    std::vector<float> left, right;
    size_t size() const { return left.size(); }
};

// Renders `frames` frames (processReplacing) in blocks of `block` frames.
// beforeBlock(first frame of the block, its length) runs before each block.
StereoSignal renderThroughHost(VstTestHost& host, int64_t frames, int32_t block,
                               const std::vector<TimedMidi>& events,
                               const std::function<void(int64_t, int32_t)>& beforeBlock = {});

// Loads a program chunk through effSetChunk; true when the plug-in took it.
bool setChunk(VstTestHost& host, std::vector<uint8_t> chunk);

// Root mean square of both channels over [from, to).
double rms(const StereoSignal& s, int64_t from, int64_t to);
// Largest magnitude of either channel over [from, to).
float peak(const StereoSignal& s, int64_t from, int64_t to);
bool allFinite(const StereoSignal& s);

// Frames where a sound starts out of (near) silence on the left channel: the
// first sample whose magnitude exceeds `threshold` after at least `quiet`
// frames below it.
std::vector<int64_t> onsets(const std::vector<float>& x, float threshold, int64_t quiet);

// True peak of both channels (EBU R 128 meter, oversampled) in dB relative to
// full scale; -inf for silence.
double truePeakDb(const StereoSignal& s, double sampleRate);

// The worst isolated step of x over [from, to): for each sample step larger
// than `floor`, its size over the mean step of the `reach` samples on either
// side of it (the signal's own local step). A sound that ends or fades
// smoothly stays near 1; a cut-off voice or a dropped block stands out by a
// factor of tens or hundreds. `at` receives the frame of the worst step.
double worstStepRatio(const std::vector<float>& x, int64_t from, int64_t to, float floor,
                      int64_t reach, int64_t* at = nullptr);
// Where voices only end, no step may stand out of the signal's own steps by
// more than this factor; steps below the floor (-60 dBFS) are not heard as
// clicks.
constexpr double kClickStepRatio = 12.0;
constexpr float kClickStepFloor = 0.001f;

// Magnitude of the frequency `hz` in the left channel over [from, to), per
// sample (Goertzel), so that a full-scale sine gives about 0.5.
double toneLevel(const StereoSignal& s, double hz, double sampleRate, int64_t from, int64_t to);
