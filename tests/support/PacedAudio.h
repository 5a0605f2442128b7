// The host's audio thread, played by a test: it renders blocks through
// processBlock while the test's own thread edits and loads, holds a chord from
// the first block on and plays a new note every few blocks (its MIDI queued on
// the audio thread, as processEvents is), and checks that every sample is
// finite.
//
// Paced, each block takes its real duration at 44100 Hz: a block that returns
// at once because the structure lock was held still waits for its period, as a
// host's next callback would. So a lock held for less than a period silences
// at most one block. Unpaced, blocks follow one another as fast as they render.
#pragma once

#include "engine/CSoundRenderer.h"
#include "patch/CProgram.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

// Operator 1 at full amplitude, switched on and mixed in: a program that sounds.
inline void makeAudible(CProgram& p) {
    p.operators[0].amplitude = 1.0;
    p.operators[0].enabled = 1.0;
    p.operators[0].mix = 1.0;
}

class PacedAudio {
public:
    static constexpr double kRate = 44100.0;

    PacedAudio(CSoundRenderer& r, int32_t blockFrames, bool paced)
        : renderer(r), frames(blockFrames), pacedBlocks(paced), thread([this] { run(); }) {}
    ~PacedAudio() { stop(); }
    PacedAudio(const PacedAudio&) = delete;
    PacedAudio& operator=(const PacedAudio&) = delete;

    void stop() {
        running = false;
        if (thread.joinable()) thread.join();
    }
    int64_t blocks() const { return blockCount.load(); }
    // Blocks with a sample that was NaN or infinite.
    int64_t nonFiniteBlocks() const { return badBlocks.load(); }
    // Blocks in which something was heard.
    int64_t soundingBlocks() const { return heardBlocks.load(); }
    std::chrono::microseconds period() const {
        return std::chrono::microseconds(int64_t(frames * 1e6 / kRate));
    }
    // The blocks that operation silenced (the structure lock held), counted
    // once the audio thread has had two blocks' time to render after it.
    uint32_t blocksSilencedBy(const std::function<void()>& operation) {
        const uint32_t before = renderer.lockedOutBlocks();
        operation();
        std::this_thread::sleep_for(2 * period());
        return renderer.lockedOutBlocks() - before;
    }

private:
    void midi(uint8_t status, uint8_t key, uint8_t velocity) {
        const uint8_t bytes[4] = {status, key, velocity, 0};
        renderer.queueMidiEvent(bytes, 0);
    }

    void run() {
        std::vector<float> left(static_cast<size_t>(frames)), right(static_cast<size_t>(frames));
        float* out[2] = {left.data(), right.data()};
        for (uint8_t key : {60, 64, 67})
            midi(0x90, key, 100);
        int32_t lastNote = -1;
        auto next = std::chrono::steady_clock::now();
        for (int64_t n = 0; running; ++n) {
            if (n % 8 == 7) { // a new note while the chord holds
                if (lastNote >= 0) midi(0x80, uint8_t(lastNote), 0);
                lastNote = 48 + int32_t(n / 8 % 36);
                midi(0x90, uint8_t(lastNote), uint8_t(40 + n % 80));
            }
            renderer.processBlock(out, frames, true);
            bool finite = true, heard = false;
            for (int32_t i = 0; i < frames; ++i) {
                finite =
                    finite && std::isfinite(left[size_t(i)]) && std::isfinite(right[size_t(i)]);
                heard = heard || left[size_t(i)] != 0.0f;
            }
            if (!finite) ++badBlocks;
            if (heard) ++heardBlocks;
            ++blockCount;
            if (pacedBlocks) {
                next += period();
                const auto now = std::chrono::steady_clock::now();
                if (next > now)
                    std::this_thread::sleep_until(next);
                else
                    next = now; // behind: the host would not make up for it
            }
        }
    }

    CSoundRenderer& renderer;
    const int32_t frames;
    const bool pacedBlocks;
    std::atomic<bool> running{true};
    std::atomic<int64_t> blockCount{0};
    std::atomic<int64_t> badBlocks{0};
    std::atomic<int64_t> heardBlocks{0};
    std::thread thread;
};
