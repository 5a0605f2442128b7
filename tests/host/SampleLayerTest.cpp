// The voices' sample layer heard through the plug-in: a WAV file written here
// is loaded through a program chunk whose sampler slot names it.
#include "base/ValueIds.h"
#include "host/VoiceHost.h"
#include "support/SndfileWriter.h"

#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// 441 Hz: 100 frames a period; 88 whole periods, so the loop over the whole
// file has no seam.
constexpr double kSampleHz = 441.0;
constexpr int kSampleFrames = 8800;
constexpr float kSampleAmplitude = 0.5f;
constexpr int kRootKey = 60;

std::string writeSineWav() {
    const std::string path = testing::TempDir() + "quellor-host-sine441.wav";
    std::vector<float> frames(kSampleFrames);
    for (int i = 0; i < kSampleFrames; ++i)
        frames[size_t(i)] = kSampleAmplitude * float(std::sin(2.0 * M_PI * i / 100.0));
    if (!writeSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, int(kRate), frames))
        return std::string();
    return path;
}

// No operator sounds; slot 0 plays the file on every key. The layer's gain
// is 1 on each side and the slot's level 1 centred halves it: the file's
// sine comes out at half its amplitude.
CProgram sampleProgram(const std::string& path, bool loop, bool follow) {
    CProgram p = quietProgram();
    std::snprintf(p.sampleSlots[0].samplePath, sizeof p.sampleSlots[0].samplePath, "%s",
                  path.c_str());
    const int32_t base = kSampleSlotFirstId;
    p.setValue(base + kSampleSlotLowKeyOffset, 0.0);
    p.setValue(base + kSampleSlotRootKeyOffset, kRootKey / 127.0);
    p.setValue(base + kSampleSlotKeyboardFollowOffset, follow ? 1.0 : 0.0);
    p.setValue(base + kSampleSlotLoopOffset, loop ? 1.0 : 0.0);
    p.setValue(base + kSampleSlotLevelOffset, 1.0);
    p.setValue(base + kSampleSlotPanOffset, 0.5);
    p.setValue(kSampleLevelId, 1.0);
    p.setValue(kSamplePanId, 0.5);
    return p;
}

constexpr double kHeardAmplitude = kSampleAmplitude * 0.5;

} // namespace

TEST(HostSampleLayer, LoopingSampleKeepsPlayingAndOneShotStopsAtItsEnd) {
    const std::string path = writeSineWav();
    ASSERT_FALSE(path.empty());
    for (bool loop : {true, false}) {
        SCOPED_TRACE(loop ? "looping" : "one-shot");
        CProgram p = sampleProgram(path, loop, true);
        PlayingInstance synth(p);
        ASSERT_TRUE(synth.loaded());
        synth.noteOn(kRootKey);
        synth.renderSeconds(1.0);
        // Inside the file both play it.
        EXPECT_NEAR(amplitudeAt(synth.left, 1000, 7000, kSampleHz), kHeardAmplitude, 0.01);
        // Long after its end (0.2 s) only the loop still sounds.
        const size_t late = size_t(0.5 * kRate);
        const double after = amplitudeAt(synth.left, late, synth.now(), kSampleHz);
        if (loop) {
            EXPECT_NEAR(after, kHeardAmplitude, 0.01);
            EXPECT_NEAR(cents(crossingFrequency(synth.left, late, synth.now()), kSampleHz), 0.0,
                        0.1);
        } else {
            EXPECT_LT(after, 1e-3);
        }
    }
}

// Keyboard follow transposes by note - root key; without it every key plays
// the file at its own pitch.
TEST(HostSampleLayer, KeyboardFollowTransposesByTheDistanceToTheRootKey) {
    const std::string path = writeSineWav();
    ASSERT_FALSE(path.empty());
    const struct {
        bool follow;
        uint8_t key;
        double hz;
    } cases[] = {
        {true, kRootKey, kSampleHz},
        {true, kRootKey + 12, 2.0 * kSampleHz},
        {true, kRootKey - 5, kSampleHz * std::pow(2.0, -5.0 / 12.0)},
        {false, kRootKey + 12, kSampleHz},
        {false, kRootKey - 24, kSampleHz},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "follow " << c.follow << ", key " << int(c.key));
        CProgram p = sampleProgram(path, true, c.follow);
        PlayingInstance synth(p);
        ASSERT_TRUE(synth.loaded());
        synth.noteOn(c.key);
        synth.renderSeconds(0.6);
        const double hz = crossingFrequency(synth.left, size_t(0.1 * kRate), synth.now());
        EXPECT_NEAR(cents(hz, c.hz), 0.0, 0.1) << hz;
    }
}

// A program whose slot is empty, handed over while the sample plays, stops
// it at once and for the following notes.
TEST(HostSampleLayer, ClearedSlotSilencesTheLayerAtOnce) {
    const std::string path = writeSineWav();
    ASSERT_FALSE(path.empty());
    CProgram p = sampleProgram(path, true, true);
    PlayingInstance synth(p);
    ASSERT_TRUE(synth.loaded());
    synth.noteOn(kRootKey);
    synth.renderSeconds(0.3);
    ASSERT_GT(amplitudeAt(synth.left, 0, synth.now(), kSampleHz), 0.2);

    CProgram cleared = sampleProgram(path, true, true);
    cleared.sampleSlots[0].samplePath[0] = '\0';
    ASSERT_TRUE(synth.setProgram(cleared));
    const size_t from = synth.now();
    synth.renderSeconds(0.1);
    synth.noteOn(kRootKey);
    synth.renderSeconds(0.3);
    EXPECT_EQ(peak(synth.left, from, synth.now()), 0.0);
    EXPECT_EQ(peak(synth.right, from, synth.now()), 0.0);
}
