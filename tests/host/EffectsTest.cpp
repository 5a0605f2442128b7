// The effect chain heard through the plug-in: each effect, switched on by
// host automation with audible settings, changes a held note; switched off,
// the output is again exactly what an instance that never had the effect on
// renders from the same events. And the chain with every effect on holds up
// at any sample rate and block size a host may choose.
#include "host/HostRender.h"

#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int32_t kBlock = 512;
constexpr uint8_t kNoteOn = 0x90, kNoteOff = 0x80;

using Settings = std::vector<std::pair<VstInt32, float>>;

struct Effect {
    const char* name;
    VstInt32 enableId;
    Settings settings; // audible values, set before the switch
};

const std::vector<Effect>& effects() {
    static const std::vector<Effect> all = {
        {"delay",
         12,
         {{3, 0.05f},
          {4, 0.2f},
          {5, 0.0f},
          {6, 0.3f},
          {7, 1.0f},
          {8, 0.6f},
          {9, 0.5f},
          {10, 0.9f},
          {11, 0.0f}}},
        {"chorus", 19, {{13, 0.6f}, {14, 0.5f}, {15, 0.9f}, {16, 0.5f}, {17, 1.0f}, {18, 0.8f}}},
        {"eq",
         32,
         {{20, 0.5f},
          {21, 0.5f},
          {22, 0.5f},
          {23, 0.5f},
          {24, 0.2f},
          {25, 0.4f},
          {26, 0.6f},
          {27, 0.8f},
          {28, 1.0f},
          {29, 0.0f},
          {30, 1.0f},
          {31, 0.0f}}},
        {"reverb", 33, {{34, 0.8f}, {35, 0.5f}, {36, 0.8f}}},
    };
    return all;
}

void switchOn(VstTestHost& host, const Effect& e) {
    for (const auto& [id, value] : e.settings)
        host.setParameter(id, value);
    host.setParameter(e.enableId, 1.0f);
}

void startSounding(VstTestHost& host, float rate = 44100.0f, VstInt32 block = kBlock) {
    ASSERT_NE(host.open(), nullptr);
    host.start(rate, block);
    ASSERT_TRUE(host.loadSoundingProgram());
}

bool sameFrames(const StereoSignal& a, const StereoSignal& b, int64_t from, int64_t to) {
    for (int64_t i = from; i < to; ++i)
        if (a.left[size_t(i)] != b.left[size_t(i)] || a.right[size_t(i)] != b.right[size_t(i)])
            return false;
    return true;
}

double differenceRms(const StereoSignal& a, const StereoSignal& b, int64_t from, int64_t to) {
    StereoSignal d;
    for (int64_t i = from; i < to; ++i) {
        d.left.push_back(a.left[size_t(i)] - b.left[size_t(i)]);
        d.right.push_back(a.right[size_t(i)] - b.right[size_t(i)]);
    }
    return rms(d, 0, to - from);
}

} // namespace

// Automation on at block 8, off at block 40, a chord held throughout.
TEST(HostEffects, EachEffectChangesTheSoundAndOffRestoresTheDrySignalExactly) {
    constexpr int64_t kOnAt = 8 * kBlock, kOffAt = 40 * kBlock, kFrames = 70 * kBlock;
    const std::vector<TimedMidi> chord = {
        {0, kNoteOn, 60, 100}, {0, kNoteOn, 64, 100}, {3000, kNoteOn, 67, 90}};
    for (const Effect& e : effects()) {
        SCOPED_TRACE(e.name);
        VstTestHost dry, wet;
        startSounding(dry);
        startSounding(wet);
        const StereoSignal reference = renderThroughHost(dry, kFrames, kBlock, chord);
        const StereoSignal heard =
            renderThroughHost(wet, kFrames, kBlock, chord, [&](int64_t first, int32_t) {
                if (first == kOnAt) switchOn(wet, e);
                if (first == kOffAt) wet.setParameter(e.enableId, 0.0f);
            });
        ASSERT_GT(rms(reference, kOnAt, kOffAt), 0.01) << "the chord should sound";
        EXPECT_TRUE(sameFrames(reference, heard, 0, kOnAt));
        EXPECT_GT(differenceRms(reference, heard, kOnAt, kOffAt),
                  0.05 * rms(reference, kOnAt, kOffAt));
        EXPECT_TRUE(sameFrames(reference, heard, kOffAt, kFrames))
            << "off must give the dry signal bit for bit";
        EXPECT_TRUE(allFinite(heard));
    }
}

// While the reverb stays on, its tail outlives the note and dies away.
TEST(HostEffects, ReverbTailDecaysAfterTheNote) {
    constexpr int64_t kRelease = int64_t(44100 * 0.5);
    constexpr int64_t kFrames = kRelease + 44100 * 4;
    const std::vector<TimedMidi> note = {{0, kNoteOn, 60, 100}, {kRelease, kNoteOff, 60, 0}};
    VstTestHost dry, wet;
    startSounding(dry);
    startSounding(wet);
    switchOn(wet, effects()[3]);
    const StereoSignal reference = renderThroughHost(dry, kFrames, kBlock, note);
    const StereoSignal heard = renderThroughHost(wet, kFrames, kBlock, note);

    const int64_t window = 22050;
    const int64_t tailStart = kRelease + 4410; // the dry note is over 100 ms after its release
    const double playing = rms(reference, 0, kRelease);
    ASSERT_LT(rms(reference, tailStart, kFrames), playing * 1e-3);
    std::vector<double> tail;
    for (int64_t w = tailStart; w + window <= kFrames; w += window)
        tail.push_back(rms(heard, w, w + window));
    ASSERT_GE(tail.size(), 6u);
    EXPECT_GT(tail.front(), playing * 0.01) << "the reverb should ring on after the note";
    for (size_t k = 1; k < tail.size(); ++k)
        EXPECT_LT(tail[k], tail[k - 1]) << "window " << k;
    EXPECT_LT(tail.back(), tail.front() * 0.01);
}

// Every effect on, at the rates and block sizes hosts use: the output stays
// finite and the sanitizer build sees no access outside a buffer. The long
// runs reach past the longest delay line so that every ring wraps.
TEST(HostEffects, AllEffectsOnAtAnyRateAndBlockSize) {
    const std::vector<TimedMidi> notes = {
        {0, kNoteOn, 48, 127}, {100, kNoteOn, 72, 100}, {9000, kNoteOff, 48, 0}};
    for (float rate : {8000.0f, 44100.0f, 96000.0f, 192000.0f}) {
        for (VstInt32 block : {1, 3, 64, 511, 512, 513, 4096}) {
            SCOPED_TRACE(std::to_string(int(rate)) + " Hz, block " + std::to_string(block));
            VstTestHost host;
            startSounding(host, rate, block);
            for (const Effect& e : effects())
                switchOn(host, e);
            const int64_t frames = block == 4096 ? int64_t(rate * 1.5) : 12000;
            const StereoSignal out = renderThroughHost(host, frames, block, notes);
            EXPECT_TRUE(allFinite(out));
            EXPECT_GT(peak(out, 0, frames), 0.001f);
        }
    }
}
