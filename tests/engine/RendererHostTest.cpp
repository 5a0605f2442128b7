// What the renderer asks of the shell that hosts it, seen from a recording host.
#include "engine/CSoundRenderer.h"
#include "engine/IRendererHost.h"
#include "patch/CPluginFile.h"
#include "support/ScriptedPlatform.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

struct RecordingHost : IRendererHost {
    std::vector<std::pair<int32_t, float>> announced;
    std::vector<int32_t> begun, ended;
    bool tempoValid = false;
    double tempo = 0.0;
    int32_t tempoAsked = 0;

    void announceValue(int32_t id, float value) override { announced.emplace_back(id, value); }
    void beginValueEdit(int32_t id) override { begun.push_back(id); }
    void endValueEdit(int32_t id) override { ended.push_back(id); }
    void latencyChanged(int32_t frames) override { latencies.push_back(frames); }
    std::vector<int32_t> latencies;
    bool hostTempo(double& bpm) override {
        ++tempoAsked;
        if (tempoValid) bpm = tempo;
        return tempoValid;
    }
};

struct HostedRenderer : ::testing::Test {
    ScriptedPlatform platform;
    CPluginFile settings{platform};
    RecordingHost host;
    CSoundRenderer renderer{&settings, &host};

    void render(int32_t frames) {
        std::vector<float> left(size_t(frames), 0.0f), right(size_t(frames), 0.0f);
        float* out[2] = {left.data(), right.data()};
        renderer.processBlock(out, frames, true);
    }
};

} // namespace

TEST_F(HostedRenderer, EachBlockTakesTheHostsTempoWhenItGivesOne) {
    host.tempoValid = true;
    host.tempo = 96.0;
    render(64);
    EXPECT_EQ(renderer.tempo(), 96.0);
    host.tempo = 1000.0; // held to the engine's range
    render(64);
    EXPECT_EQ(renderer.tempo(), CSoundRenderer::kMaxTempo);
    host.tempoValid = false; // none given: the last tempo stays
    render(64);
    EXPECT_EQ(renderer.tempo(), CSoundRenderer::kMaxTempo);
    EXPECT_EQ(host.tempoAsked, 3);
    render(0); // no block, no question
    EXPECT_EQ(host.tempoAsked, 3);
}

TEST_F(HostedRenderer, EditGesturesReachTheHostForHostParametersOnly) {
    renderer.beginEdit(0);
    renderer.endEdit(0);
    renderer.beginEdit(kHostParameterCount - 1);
    renderer.beginEdit(kHostParameterCount); // the editor's own values
    renderer.endEdit(-1);
    EXPECT_EQ(host.begun, (std::vector<int32_t>{0, kHostParameterCount - 1}));
    EXPECT_EQ(host.ended, (std::vector<int32_t>{0}));
}

TEST_F(HostedRenderer, ALoadedProgramAnnouncesEveryHostParameterOnce) {
    renderer.setParameter(kMasterLevelId, 0.25);
    void* data = nullptr;
    const int32_t length = renderer.getChunk(&data);
    ASSERT_GT(length, 0);
    const std::vector<uint8_t> chunk(static_cast<uint8_t*>(data),
                                     static_cast<uint8_t*>(data) + length);
    host.announced.clear();
    ASSERT_EQ(renderer.setChunk(chunk.data(), length), 1);
    ASSERT_EQ(host.announced.size(), size_t(kHostParameterCount));
    for (int32_t id = 0; id < kHostParameterCount; ++id)
        EXPECT_EQ(host.announced[size_t(id)].first, id);
    EXPECT_EQ(host.announced[kMasterLevelId].second, 0.25f);
}

TEST_F(HostedRenderer, AQualityChangeTellsTheHostTheOutputsNewDelay) {
    EXPECT_EQ(renderer.latencyFrames(), 0);
    renderer.setQuality(CSoundRenderer::kHighQuality);
    // The decimator's delay at the host rate.
    EXPECT_EQ(renderer.latencyFrames(), 47);
    renderer.setQuality(CSoundRenderer::kHighQuality); // no change, nothing to tell
    renderer.setQuality(CSoundRenderer::kPlainQuality);
    EXPECT_EQ(host.latencies, (std::vector<int32_t>{47, 0}));
    EXPECT_EQ(renderer.latencyFrames(), 0);
}
