// The fade-out before a program exchange. Loading a program (a chunk, a file,
// Previous/Next in the window) silences every voice and clears the effects;
// done at once, the output would drop from its level to 0 at a block
// boundary. So the loading thread first asks the audio thread to fade the
// whole output out, waits until it is silent, and only then exchanges the
// program; after the exchange the output comes back at full level, starting
// from the new program's silence.
//
// Threads: fadeOutAndWait and finish on the loading thread (host or
// user-interface), apply and blockRendered on the audio thread, which never
// waits. When no audio thread renders (suspended, offline, before the first
// block, or the loading thread is the audio thread itself) nothing is waited
// for; nor longer than a few blocks when the audio thread falls behind.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

class CExchangeFade {
public:
    static constexpr double kFadeSeconds = 0.005;

    // Loading thread, before the exchange: returns once the output is silent,
    // or at once when no audio thread is rendering.
    void fadeOutAndWait();
    // Loading thread, after the exchange: the output comes back.
    void finish();

    // While no block renders (the renderer's structure lock held).
    void setSampleRate(double rate);
    // Audio thread: scales the piece (n samples) by the fade, if one runs.
    void apply(float* left, float* right, int32_t n);
    // Audio thread, at the end of each block of frames at rate.
    void blockRendered(int32_t frames, double rate);

    float gain() const { return level; }

private:
    std::atomic<bool> wanted{false};
    std::atomic<bool> silent{false};
    // When the audio thread last finished a block (steady clock, ns; 0 never),
    // how long that block lasted, and which thread it was.
    std::atomic<int64_t> lastBlockEnd{0};
    std::atomic<int64_t> lastBlockLength{0};
    std::atomic<std::thread::id> audioThread{};
    // Audio thread only.
    float level = 1.0f;
    float step = 1.0f;
};
