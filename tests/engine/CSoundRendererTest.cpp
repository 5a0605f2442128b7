// The renderer's own behaviour driven directly: block loop, event timing,
// controllers, tempo and sample rate, master section values.
#include "engine/CSoundRenderer.h"
#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "support/PacedAudio.h"
#include "support/ScriptedPlatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

namespace {

struct RendererFixture : ::testing::Test {
    ScriptedPlatform platform;
    CPluginFile settings{platform};
    CSoundRenderer renderer{&settings, nullptr};
    std::vector<float> left, right;

    void render(int32_t frames, bool replace = true) {
        left.assign(size_t(frames > 0 ? frames : 1), 0.5f);
        right.assign(size_t(frames > 0 ? frames : 1), 0.5f);
        float* out[2] = {left.data(), right.data()};
        renderer.processBlock(out, frames, replace);
    }
    void queue(uint8_t status, uint8_t d1, uint8_t d2, int32_t delta) {
        const uint8_t bytes[4] = {status, d1, d2, 0};
        renderer.queueMidiEvent(bytes, delta);
    }
};

} // namespace

TEST_F(RendererFixture, ZeroFramesRendersNothingAndEmptiesTheQueue) {
    queue(0xb0, 1, 127, 0);
    render(0);
    EXPECT_EQ(left[0], 0.5f);
    EXPECT_EQ(renderer.queuedEvents(), 0);
    EXPECT_EQ(renderer.controllerValue(0, 60), 0.0);
    render(-5);
    EXPECT_EQ(left[0], 0.5f);
}

TEST_F(RendererFixture, EventsAtOrAfterTheBlockEndAreDiscardedWithAllLaterOnes) {
    queue(0xb0, 1, 64, 3);  // taken
    queue(0xb0, 2, 100, 8); // at the block length: discarded
    queue(0xb0, 4, 100, 9); // after it: discarded
    render(8);
    EXPECT_DOUBLE_EQ(renderer.controllerValue(0, 0), 64 / 127.0);
    EXPECT_EQ(renderer.controllerValue(4, 0), 0.0);
    EXPECT_EQ(renderer.controllerValue(5, 0), 0.0);
    EXPECT_EQ(renderer.queuedEvents(), 0);
}

TEST_F(RendererFixture, EqualDeltasTakeEffectInQueueOrder) {
    queue(0xb0, 1, 10, 4);
    queue(0xb0, 1, 20, 4);
    render(16);
    EXPECT_DOUBLE_EQ(renderer.controllerValue(0, 0), 20 / 127.0);
}

TEST_F(RendererFixture, DecreasingDeltaEndsDispatchForTheBlock) {
    queue(0xb0, 1, 10, 6);
    queue(0xb0, 11, 99, 2); // out of order: it and everything after is dropped
    queue(0xb0, 16, 99, 7);
    render(16);
    EXPECT_DOUBLE_EQ(renderer.controllerValue(0, 0), 10 / 127.0);
    EXPECT_EQ(renderer.controllerValue(6, 0), 0.0);
    EXPECT_EQ(renderer.controllerValue(7, 0), 0.0);
}

TEST_F(RendererFixture, QueueDropsEventsBeyond1024) {
    for (int i = 0; i < 1030; ++i)
        queue(0xb0, 1, uint8_t(i & 0x7f), 0);
    EXPECT_EQ(renderer.queuedEvents(), 1024);
    render(4);
    EXPECT_DOUBLE_EQ(renderer.controllerValue(0, 0), (1023 & 0x7f) / 127.0);
}

TEST_F(RendererFixture, ReplaceOverwritesAndAccumulateAdds) {
    render(700, true);
    for (float v : left)
        ASSERT_EQ(v, 0.0f);
    render(700, false);
    for (float v : right)
        ASSERT_EQ(v, 0.5f);
}

TEST_F(RendererFixture, HeldStructureLockGivesASilentBlock) {
    std::lock_guard<std::mutex> hold(renderer.structureLock());
    queue(0xb0, 1, 127, 0);
    render(32, true);
    for (float v : left)
        ASSERT_EQ(v, 0.0f);
    EXPECT_EQ(renderer.controllerValue(0, 0), 0.0);
}

// The events of a block that cannot take the structure lock (a program is
// being replaced) are not lost: they take effect at the start of the next
// block. A key released meanwhile must not leave a sequencer playing on.
TEST_F(RendererFixture, EventsOfALockedOutBlockTakeEffectInTheNext) {
    const std::string program = std::string(QUELLOR_SOURCE_DIR) +
                                "/data/QuellorData/Banks/07 Sequenced/Falling Bells.qxlprg";
    ASSERT_TRUE(renderer.loadProgramFile(program.c_str(), nullptr));
    queue(0x90, 60, 127, 0);
    for (int i = 0; i < 40; ++i)
        render(512);
    {
        std::lock_guard<std::mutex> hold(renderer.structureLock());
        queue(0xb0, 1, 127, 100);
        queue(0x80, 60, 0, 300);
        render(512);
    }
    render(512);
    EXPECT_DOUBLE_EQ(renderer.controllerValue(0, 0), 1.0);
    float peak = 0.0f;
    for (int i = 0; i < 2 * 86; ++i) {
        render(512);
        if (i >= 3 * 86 / 2)
            for (size_t k = 0; k < left.size(); ++k)
                peak = std::max({peak, std::fabs(left[k]), std::fabs(right[k])});
    }
    EXPECT_LT(peak, 1e-3f) << "still sounding 1.5 s after the key was released";
}

TEST_F(RendererFixture, TempoIsClamped) {
    EXPECT_EQ(renderer.tempo(), 140.0);
    renderer.setTempo(5);
    EXPECT_EQ(renderer.tempo(), 10.0);
    renderer.setTempo(500);
    EXPECT_EQ(renderer.tempo(), 300.0);
}

TEST_F(RendererFixture, HighPassCoefficientsFromTheSampleRate) {
    auto expected = [](double rate, float k[3]) {
        const float w = float(15.0f / rate * 6.28f);
        const float s = std::sin(w), c = std::cos(w);
        k[0] = (1 + c) / (2 + s);
        k[1] = -2 * c / (1 + s);
        k[2] = (1 - s) / (1 + s);
    };
    float k[3];
    expected(44100.0, k);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(renderer.master().highPassCoefficients()[i], k[i]);
    renderer.setSampleRate(48000.0);
    renderer.setSampleRate(48000.0);
    expected(48000.0, k);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(renderer.master().highPassCoefficients()[i], k[i]);
    EXPECT_NEAR(renderer.master().highPassCoefficients()[0], 1.0, 0.01);
}

// A value set from any thread reaches the engine at the start of the next block.
TEST_F(RendererFixture, RendererValuesFromTheirIds) {
    auto set = [&](int32_t id, double x) {
        renderer.setParameter(id, x);
        render(1);
    };
    set(0, 0.7071);
    EXPECT_NEAR(renderer.master().masterLevel(), 1.0, 1e-4);
    renderer.setParameter(0, 1.0);
    EXPECT_NEAR(renderer.master().masterLevel(), 1.0, 1e-4) << "before the next block";
    render(1);
    EXPECT_EQ(renderer.master().masterLevel(), 2.0f);
    set(2, 0.25);
    EXPECT_EQ(renderer.master().distortionTarget(), 1.0f);
    set(2, 0.005);
    EXPECT_NEAR(renderer.master().distortionTarget(), 0.0004, 1e-9);
    set(48, 0.005);
    EXPECT_EQ(renderer.glideFactor(), 1.0f);
    set(48, 1.0);
    EXPECT_FLOAT_EQ(renderer.glideFactor(), float(1.0 / 44100.0));
    set(1, 1.0);
    EXPECT_EQ(renderer.masterPitch(), 24.0f);
    renderer.setParameter(49, 0.5);
    set(323, 1.0);
    EXPECT_EQ(renderer.bendRangeUp(), 24.0f);
    EXPECT_EQ(renderer.bendRangeDown(), 48.0f);
    renderer.setParameter(44, 0.8);
    set(47, 0.0);
    EXPECT_EQ(renderer.voices().voiceCount(), 1);
    EXPECT_FLOAT_EQ(renderer.voices().unisonSpread(), 0.8f); // voice count never touches the spread
    renderer.setParameter(45, 0.6);
    set(46, 0.4);
    EXPECT_TRUE(renderer.voices().unison());
    EXPECT_FALSE(renderer.voices().glideFromHeldNote());
}

// The selected operator's values belong to the operator selected when they
// are set, even when the selection moves before the block that applies them.
TEST_F(RendererFixture, OperatorValuesGoToTheOperatorSelectedWhenSet) {
    render(1);
    ASSERT_TRUE(renderer.voices().voice(0).oper(0)->freeRunningPhase());
    for (int op : {2, 5}) {
        renderer.setParameter(kSelectedOperatorId, (op + 0.5) / kOperatorCount);
        renderer.setParameter(kSelectedAuxSwitchId, 0.0);
    }
    renderer.setParameter(kSelectedOperatorId, 0.5 / kOperatorCount);
    render(1);
    const CVoice& v = renderer.voices().voice(0);
    EXPECT_FALSE(v.oper(2)->freeRunningPhase());
    EXPECT_FALSE(v.oper(5)->freeRunningPhase());
    EXPECT_TRUE(v.oper(0)->freeRunningPhase());
}

// Any ID at all may reach the apply step, the read-back and the texts. IDs
// outside the value-ID space change nothing, read back 0 and show "0.00";
// the host's names stop at 42.
TEST_F(RendererFixture, ApplyStepIsSafeForAnyId) {
    auto chunk = [&] {
        void* data = nullptr;
        const int32_t n = renderer.getChunk(&data);
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        return n > 0 ? std::vector<uint8_t>(bytes, bytes + n) : std::vector<uint8_t>();
    };
    const std::vector<uint8_t> before = chunk();
    ASSERT_FALSE(before.empty());
    for (int32_t id : {-1, INT32_MIN, INT32_MAX, 461, 100000}) {
        renderer.setParameter(id, 0.3);
        EXPECT_EQ(renderer.getParameter(id), 0.0) << id;
        char name[24] = "untouched";
        renderer.getParameterName(id, name, sizeof name);
        EXPECT_STREQ(name, "untouched") << id;
        char display[24] = "";
        renderer.getParameterDisplay(id, display, sizeof display);
        EXPECT_STREQ(display, "0.00") << id;
    }
    EXPECT_EQ(chunk(), before);

    // Either side of the last host parameter: both are stored, only 42 has a name.
    renderer.setParameter(42, 0.3);
    renderer.setParameter(43, 0.7);
    EXPECT_DOUBLE_EQ(renderer.getParameter(42), 0.3);
    EXPECT_DOUBLE_EQ(renderer.getParameter(43), 0.7);
    char name[24] = "untouched";
    renderer.getParameterName(43, name, sizeof name);
    EXPECT_STREQ(name, "untouched");
    renderer.getParameterName(42, name, sizeof name);
    EXPECT_STREQ(name, "Flt2: Mode");
}

TEST_F(RendererFixture, ControllersFromMidiOnAnyChannel) {
    queue(0xef, 0, 64, 0);  // pitch bend, channel 16
    queue(0xbf, 7, 127, 0); // volume
    queue(0xb3, 10, 64, 0); // pan
    queue(0xd5, 100, 0, 0); // channel pressure
    queue(0xa0, 60, 127, 0);
    queue(0xb0, 64, 65, 0);     // sustain on
    queue(0x90, 0xc5, 0xff, 0); // data bytes with the high bit set are masked
    render(8);
    EXPECT_DOUBLE_EQ(renderer.controllerValue(1, 0), 8192 / 16383.0 * 2 - 1);
    EXPECT_EQ(renderer.master().volume(), 1.0f);
    EXPECT_FLOAT_EQ(renderer.master().pan(), 64 / 127.0f);
    EXPECT_DOUBLE_EQ(renderer.controllerValue(3, 0), 100 / 127.0);
    EXPECT_DOUBLE_EQ(renderer.controllerValue(2, 60), 1.0);
    EXPECT_EQ(renderer.controllerValue(2, 61), 0.0);
    EXPECT_EQ(renderer.controllerValue(11, 0), 1.0);
    EXPECT_TRUE(renderer.sustain());

    queue(0xb0, 120, 0, 0); // does nothing
    render(8);
    EXPECT_FLOAT_EQ(renderer.master().pan(), 64 / 127.0f);
    queue(0xb0, 121, 0, 0); // reset controllers: poly aftertouch stays
    render(8);
    EXPECT_EQ(renderer.controllerValue(1, 0), 0.0);
    EXPECT_EQ(renderer.master().pan(), 0.5f);
    EXPECT_DOUBLE_EQ(renderer.controllerValue(2, 60), 1.0);
}

TEST_F(RendererFixture, GainsGlideTowardVolumeAndPan) {
    renderer.setParameter(0, std::sqrt(0.5)); // master level 1.0
    queue(0xb0, 7, 127, 0);
    queue(0xb0, 10, 64, 0);
    render(20000);
    EXPECT_NEAR(renderer.master().leftGain(), 2.0 - 2.0 * 64 / 127.0, 1e-3);
    EXPECT_NEAR(renderer.master().rightGain(), 2.0 * 64 / 127.0, 1e-3);
}

TEST(DistortionShaper, BypassedBelowThresholdOddAndBounded) {
    EXPECT_EQ(CMasterSection::distortionShaper(0.37f, 0.0004f), 0.37f);
    for (float d : {0.5f, 1.0f, 8.0f, 16.0f}) {
        float k = 1.0f - d / 16.0f;
        const float g = k * k * k * k * k * k * k * k * 0.7f + 0.3f;
        EXPECT_EQ(CMasterSection::distortionShaper(0.0f, d), 0.0f);
        EXPECT_NEAR(CMasterSection::distortionShaper(1.0f, d), g, 1e-6);
        EXPECT_NEAR(CMasterSection::distortionShaper(-1.0f, d), -g, 1e-6);
        EXPECT_NEAR(CMasterSection::distortionShaper(0.3f, d),
                    -CMasterSection::distortionShaper(-0.3f, d), 1e-6);
    }
}

TEST_F(RendererFixture, KeyFrequencyFactorFromTuningRatiosAndFineTune) {
    double* t = renderer.program().tuningRatios;
    t[60] = 1.0;
    t[61] = 2.0;
    t[127] = 3.0;
    t[0] = 0.5;
    EXPECT_DOUBLE_EQ(renderer.keyFrequencyFactor(60.0), 1.0);
    EXPECT_DOUBLE_EQ(renderer.keyFrequencyFactor(60.25), 1.25);
    EXPECT_DOUBLE_EQ(renderer.keyFrequencyFactor(127.0), 3.0);
    EXPECT_DOUBLE_EQ(renderer.keyFrequencyFactor(200.0), 3.0);
    EXPECT_DOUBLE_EQ(renderer.keyFrequencyFactor(-3.0), 0.5);
    EXPECT_DOUBLE_EQ(renderer.keyFrequencyFactor(std::nan("")), 0.5);

    // The fine tune moves every key, the table's ends and beyond included.
    const double up = std::pow(2.0, 99 / 1200.0);
    settings.fineTune = 1.0;
    EXPECT_DOUBLE_EQ(renderer.keyFrequencyFactor(60.0), up);
    EXPECT_DOUBLE_EQ(renderer.keyFrequencyFactor(127.0), 3.0 * up);
    EXPECT_DOUBLE_EQ(renderer.keyFrequencyFactor(200.0), 3.0 * up);
    EXPECT_DOUBLE_EQ(renderer.keyFrequencyFactor(-3.0), 0.5 * up);
    settings.fineTune = 0.0;
    EXPECT_DOUBLE_EQ(renderer.keyFrequencyFactor(60.0), 1.0 / up);
    EXPECT_DOUBLE_EQ(renderer.keyFrequencyFactor(127.0), 3.0 / up);
}

TEST_F(RendererFixture, ImmediateGlideStartsAtTheNewPitch) {
    // The key frequency of the active voice playing `key`; NaN when none does.
    auto keyFrequency = [&](int key) {
        for (int32_t i = 0; i < 24; ++i)
            if (renderer.voices().voice(i).active && renderer.voices().voice(i).key() == key)
                return renderer.voices().voice(i).keyFrequency();
        return std::nan("");
    };
    renderer.setParameter(48, 0.0); // glide at once
    queue(0x90, 40, 100, 0);
    queue(0x80, 40, 0, 10);
    queue(0x90, 69, 100, 20);
    render(21); // the second note's first control tick has run
    EXPECT_NEAR(keyFrequency(69), 440.0, 1e-6);

    // A real glide still starts from the previous note.
    renderer.setParameter(48, 0.5);
    queue(0x90, 81, 100, 0);
    render(1);
    const double gliding = keyFrequency(81);
    EXPECT_GE(gliding, 440.0 - 1e-6);
    EXPECT_LT(gliding, 500.0); // key 81 is 880 Hz
}

TEST_F(RendererFixture, QualitySilencesTheVoicesRunsThemAtTwiceTheRateAndComesBackExactly) {
    auto playNote = [](CSoundRenderer& r) {
        const uint8_t on[4] = {0x90, 69, 100, 0};
        r.queueMidiEvent(on, 0);
        std::vector<float> l(3000), rt(3000);
        float* out[2] = {l.data(), rt.data()};
        r.processBlock(out, 3000, true);
        return l;
    };
    CSoundRenderer fresh(&settings, nullptr);
    for (CSoundRenderer* r : {&fresh, &renderer}) {
        makeAudible(r->program());
        r->applyAllParameters(false);
    }
    // The same notes without a change of quality between them.
    playNote(fresh);
    fresh.stopVoices(true);
    fresh.reset();
    const std::vector<float> plain = playNote(fresh);
    float loudest = 0.0f;
    for (float x : plain)
        loudest = std::max(loudest, std::fabs(x));
    ASSERT_GT(loudest, 0.01f);

    playNote(renderer);
    ASSERT_TRUE(renderer.voices().voice(0).active);
    renderer.setQuality(CSoundRenderer::kHighQuality);
    EXPECT_EQ(renderer.quality(), CSoundRenderer::kHighQuality);
    EXPECT_FALSE(renderer.voices().voice(0).active); // a voice cannot change its rate
    EXPECT_EQ(renderer.voices().voice(0).tickLength(), 88);
    renderer.setSampleRate(48000.0);
    EXPECT_EQ(renderer.voices().voice(0).tickLength(), 96);
    renderer.setSampleRate(44100.0);
    renderer.setQuality(3); // anything but the high quality is plain
    EXPECT_EQ(renderer.quality(), CSoundRenderer::kPlainQuality);
    EXPECT_EQ(renderer.voices().voice(0).tickLength(), 44);

    renderer.reset();
    EXPECT_EQ(playNote(renderer), plain);
}

TEST_F(RendererFixture, SwitchingQualityWhileANoteSoundsFadesInsteadOfCutting) {
    // The host's audio thread renders a held sine on its own while the
    // window's thread switches the quality.
    makeAudible(renderer.program());
    renderer.applyAllParameters(false);
    constexpr int32_t kBlockFrames = 256;
    constexpr size_t kBeforeSwitch = 8820; // 0.2 s
    std::vector<float> heard;
    std::atomic<size_t> heardFrames{0};
    std::atomic<bool> switched{false};
    std::thread audio([&] {
        std::vector<float> l(kBlockFrames), r(kBlockFrames);
        float* out[2] = {l.data(), r.data()};
        queue(0x90, 69, 127, 0);
        int32_t blocksAfter = 0;
        while (blocksAfter < 40) {
            renderer.processBlock(out, kBlockFrames, true);
            heard.insert(heard.end(), l.begin(), l.end());
            heardFrames.store(heard.size());
            if (switched.load()) ++blocksAfter;
        }
    });
    while (heardFrames.load() < kBeforeSwitch)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    renderer.setQuality(CSoundRenderer::kHighQuality);
    switched.store(true);
    audio.join();
    // A sine's own largest step, then the largest anywhere: a hard cut drops
    // by up to the whole amplitude in one sample.
    float ownStep = 0.0f, loudest = 0.0f;
    for (size_t i = 4410; i < kBeforeSwitch; ++i) {
        ownStep = std::max(ownStep, std::fabs(heard[i] - heard[i - 1]));
        loudest = std::max(loudest, std::fabs(heard[i]));
    }
    ASSERT_GT(loudest, 0.05f);
    float worstStep = 0.0f;
    for (size_t i = 1; i < heard.size(); ++i)
        worstStep = std::max(worstStep, std::fabs(heard[i] - heard[i - 1]));
    EXPECT_LE(worstStep, 1.5f * ownStep);
    EXPECT_EQ(renderer.quality(), CSoundRenderer::kHighQuality);
}
