#include "voice/CSampleLayer.h"
#include "voice/CSamplerSlot.h"
#include "waves/CWaveSample.h"

#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {
constexpr double kRate = 44100.0;
constexpr int kTick = 44;

void put(std::vector<uint8_t>& b, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}
void putId(std::vector<uint8_t>& b, const char* id) {
    b.insert(b.end(), id, id + 4);
}

// A 16-bit PCM WAV of the given frames (interleaved), with a loop when loopEnd > 0.
std::string writeWav(const std::string& name, const std::vector<int16_t>& frames, int channels,
                     uint32_t rate, uint32_t loopStart = 0, uint32_t loopEnd = 0) {
    std::vector<uint8_t> body;
    putId(body, "WAVE");
    putId(body, "fmt ");
    put(body, 16, 4);
    put(body, 1, 2);
    put(body, channels, 2);
    put(body, rate, 4);
    put(body, rate * 2 * channels, 4);
    put(body, 2 * channels, 2);
    put(body, 16, 2);
    putId(body, "data");
    put(body, uint32_t(frames.size() * 2), 4);
    for (int16_t s : frames)
        put(body, uint16_t(s), 2);
    if (loopEnd > 0) {
        putId(body, "smpl");
        put(body, 60, 4);
        for (int i = 0; i < 7; ++i)
            put(body, 0, 4);
        put(body, 1, 4); // one loop
        put(body, 0, 4);
        put(body, 0, 4);
        put(body, 0, 4);
        put(body, loopStart, 4);
        put(body, loopEnd, 4);
        put(body, 0, 4);
        put(body, 0, 4);
    }
    std::vector<uint8_t> file;
    putId(file, "RIFF");
    put(file, uint32_t(body.size()), 4);
    file.insert(file.end(), body.begin(), body.end());
    const std::string path = std::string(::testing::TempDir()) + "quellor_layer_" +
                             std::to_string(getpid()) + "_" + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    return path;
}

struct LayerFixture : ::testing::Test {
    CWaveSample sample;
    CSamplerSlot slot;
    CSampleLayer layer;
    float left = 0.0f, right = 0.0f;
    double in1 = 0.0, in2 = 0.0;
    // The slot owns its sample; this one belongs to the fixture.
    ~LayerFixture() override { slot.sample = nullptr; }

    // A mono sample at half scale for `frames` frames.
    void load(int frames, uint32_t rate = 44100, uint32_t loopStart = 0, uint32_t loopEnd = 0) {
        std::vector<int16_t> data(frames, 16384);
        ASSERT_TRUE(
            sample.readWav(writeWav("mono.wav", data, 1, rate, loopStart, loopEnd).c_str()));
        slot.sample = &sample;
        slot.leftLevel = slot.rightLevel = 1.0f;
    }
    void begin(double bendPlusNote) {
        layer.beginModulation();
        layer.begin(&slot, 1.0 / kRate, 1.0, bendPlusNote);
        layer.updateTick(1.0 / kRate, 1.0, bendPlusNote, 1.0f / kTick, true);
    }
    // Plays n samples (ticks in between); returns how many were played.
    int play(int n, double bendPlusNote = 60.0) {
        int played = 0;
        for (int i = 0; i < n && layer.playing(); ++i, ++played) {
            if (i > 0 && i % kTick == 0) {
                layer.beginModulation();
                layer.updateTick(1.0 / kRate, 1.0, bendPlusNote, 1.0f / kTick, false);
            }
            left = right = 0.0f;
            layer.process(left, right, in1, in2);
        }
        return played;
    }
};
} // namespace

TEST_F(LayerFixture, OneShotStopsAtItsEnd) {
    load(1000);
    slot.loop = false;
    begin(60.0);
    ASSERT_TRUE(layer.playing());
    EXPECT_EQ(play(5000), 1000);
    EXPECT_FALSE(layer.playing()); // silent for the rest of the note
}

TEST_F(LayerFixture, LoopsBetweenItsLoopPoints) {
    load(1000, 44100, 200, 600);
    slot.loop = true;
    begin(60.0);
    EXPECT_EQ(play(5000), 5000);
    EXPECT_TRUE(layer.playing());
    EXPECT_GE(layer.position(), 200.0);
    EXPECT_LT(layer.position(), 600.0);
    // With the loop switched off at the slot the same sample plays once.
    slot.loop = false;
    begin(60.0);
    EXPECT_EQ(play(5000), 1000);
}

TEST_F(LayerFixture, KeyboardFollowTransposesAroundTheRootKey) {
    struct Case {
        bool follow;
        uint32_t rate;
        double bendPlusNote, pitchMod, step;
    } cases[] = {
        {true, 44100, 72.0, 0.0, 2.0},   // an octave above the root
        {true, 44100, 48.0, 0.0, 0.5},   // an octave below
        {true, 22050, 60.0, 0.0, 0.5},   // the sample's own rate counts
        {false, 44100, 84.0, 0.0, 1.0},  // not following: the key is ignored
        {false, 44100, 84.0, 12.0, 2.0}, // pitch modulation still applies
    };
    for (const Case& c : cases) {
        load(100000, c.rate);
        slot.loop = true;
        slot.rootKey = 60;
        slot.keyboardFollow = c.follow;
        begin(c.bendPlusNote);
        layer.modulation.pitch = c.pitchMod;
        layer.updateTick(1.0 / kRate, 1.0, c.bendPlusNote, 1.0f / kTick, false);
        play(kTick, c.bendPlusNote); // the step ramps to its target within a tick
        EXPECT_NEAR(layer.step(), c.step, 1e-6) << c.bendPlusNote << " " << c.rate;
    }
}

TEST_F(LayerFixture, GainsPanAndSends) {
    load(1000);
    slot.leftLevel = 0.5f;
    slot.rightLevel = 0.25f;
    slot.sendFilter1 = 1.0f;
    slot.sendFilter2 = -0.5f;
    layer.amplitudeBase = 1.0;
    layer.panBase = 0.0;
    begin(60.0);
    play(10);
    EXPECT_NEAR(left, 0.5f * 0.5f, 1e-6f); // half scale x gain 1 x slot level
    EXPECT_NEAR(right, 0.5f * 0.25f, 1e-6f);
    EXPECT_NEAR(in1, 10 * 1.0, 1e-5); // both channels summed into the sends
    EXPECT_NEAR(in2, 10 * -0.5, 1e-5);
    // A mono sample panned hard right sounds on the right only.
    layer.panBase = 1.0;
    begin(60.0);
    play(3);
    EXPECT_EQ(left, 0.0f);
    EXPECT_NEAR(right, 0.5f * 2.0f * 0.25f, 1e-6f);
}

TEST_F(LayerFixture, MissingOrForgottenSampleIsSilent) {
    layer.begin(nullptr, 1.0 / kRate, 1.0, 60.0);
    EXPECT_FALSE(layer.playing());
    layer.begin(&slot, 1.0 / kRate, 1.0, 60.0); // slot without a sample
    EXPECT_FALSE(layer.playing());
    slot.sample = &sample; // an empty sample
    layer.begin(&slot, 1.0 / kRate, 1.0, 60.0);
    EXPECT_FALSE(layer.playing());
    load(1000);
    begin(60.0);
    ASSERT_TRUE(layer.playing());
    layer.forget(&sample);
    EXPECT_FALSE(layer.playing());
}

TEST_F(LayerFixture, ExtremePitchStaysInsideTheLoop) {
    load(1000, 44100, 200, 600);
    slot.loop = true;
    slot.keyboardFollow = true;
    begin(60.0);
    layer.modulation.pitch = 3300.0; // every pitch envelope at full depth
    layer.updateTick(1.0 / kRate, 1.0, 60.0, 1.0f / kTick, false);
    EXPECT_EQ(play(500), 500);
    EXPECT_GE(layer.position(), 200.0);
    EXPECT_LT(layer.position(), 600.0);
    EXPECT_TRUE(std::isfinite(left));
}
