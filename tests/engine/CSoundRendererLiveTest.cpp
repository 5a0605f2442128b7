// Editing and loading while the synth plays: when edits reach the audio thread,
// what it keeps of a running envelope across an edit, and what a load costs it.
#include "base/ValueIds.h"
#include "engine/CProgramEdit.h"
#include "engine/CSoundRenderer.h"
#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "patch/PatchFiles.h"
#include "support/PacedAudio.h"
#include "support/ScriptedPlatform.h"
#include "support/SndfileWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int32_t kBlock = 441; // 10 ms at 44100 Hz
constexpr double kStepScale = CEnvelope::kTimeStepScale;

void render(CSoundRenderer& r, int32_t blocks) {
    std::vector<float> left(kBlock), right(kBlock);
    float* out[2] = {left.data(), right.data()};
    for (int32_t i = 0; i < blocks; ++i)
        r.processBlock(out, kBlock, true);
}

// A free-running, never released envelope looping over three one-second
// segments: 0 -> 1 -> 0 -> 1 after a 1 ms start.
void makeFreeRunningLoop(CEnvelope& e) {
    e.insertPoint(1);
    const double levels[4] = {0.0, 1.0, 0.0, 1.0};
    const double deltas[4] = {0.001, 1.0, 1.0, 1.0};
    for (int i = 0; i < 4; ++i) {
        e.setLevel(i, levels[i]);
        e.setDelta(i, deltas[i]);
    }
    e.setLoopEnd(3);
    e.setLoopStart(1);
    e.freeRunning = true;
    e.keyed = false;
    e.recompute();
}

} // namespace

// What the window changes reaches the audio thread through the seams, whole,
// at the start of the next block, and not before: until then the voices play
// on with what they had.
TEST(RendererLiveEdits, EditsReachTheAudioSideAtTheNextBlock) {
    ScriptedPlatform platform;
    CPluginFile settings(platform);
    auto r = std::make_unique<CSoundRenderer>(&settings, nullptr);
    CProgram& p = r->program();
    const CEnvelope& live = r->playingEnvelopes().envelope(0);

    // Values of the envelope section by their IDs.
    r->setParameter(kEnvelopeBipolarId, 1.0);
    r->setParameter(kEnvelopeRowFirstId + 1 + 3, 0.7); // row 0, operator 4's depth
    EXPECT_FALSE(live.bipolar);
    render(*r, 1);
    EXPECT_TRUE(live.bipolar);
    EXPECT_EQ(live.depths[3], 0.7);

    // The key and velocity curves come with their envelope.
    for (int i = 0; i < 2; ++i) {
        p.keyCurves[0].setLevel(i, 0.25);
        p.velocityCurves[0].setLevel(i, 0.5);
    }
    CProgramEdit(*r).touchEnvelope(0);
    render(*r, 1);
    EXPECT_EQ(live.keyTable[60], 0.25);
    const uint8_t on[4] = {0x90, 60, 100, 0};
    r->queueMidiEvent(on, 0);
    render(*r, 1);
    EXPECT_EQ(r->voices().voice(0).envelope(0).depth, 0.5);

    // The count with the records.
    p.addEnvelope();
    p.currentEnvelope().targetKind = kTargetPitch;
    CProgramEdit(*r).restructure();
    EXPECT_EQ(r->playingEnvelopes().count(), 1);
    render(*r, 1);
    EXPECT_EQ(r->playingEnvelopes().count(), 2);
    EXPECT_EQ(r->playingEnvelopes().envelope(1).targetKind, kTargetPitch);

    // A pattern.
    p.sequencers[0].steps[3] = 0.9;
    CProgramEdit(*r).touchPattern(0);
    render(*r, 1);
    EXPECT_EQ(r->sequencer(0).step(3), sequencerStepValue(0.9));

    // A wave: the table the voices read stays as it was until the block.
    const std::vector<float> before(r->waves().table(0),
                                    r->waves().table(0) + CWaveManager::kTableFloats);
    double amplitudes[kHarmonicCount] = {0.5, 0.0, 0.5};
    double phases[kHarmonicCount] = {};
    p.setSpectrum(amplitudes, phases);
    CProgramEdit(*r).touchWave(0);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), r->waves().table(0)));
    render(*r, 1);
    CWaveManager expected;
    expected.buildWave(0, amplitudes, phases, 0.0);
    EXPECT_TRUE(std::equal(expected.table(0), expected.table(0) + CWaveManager::kTableFloats,
                           r->waves().table(0)));
    EXPECT_EQ(r->lockedOutBlocks(), 0u);
}

// An edit of a free-running envelope's record, which starts the program's copy
// again, must not start the one that runs: it goes on from where it was, and a
// note begun afterwards takes it up there. Points deleted under its position
// keep it running in the last segment instead of leaving it finished for good.
TEST(RendererLiveEdits, FreeRunningEnvelopeKeepsItsPositionAcrossEdits) {
    struct Case {
        const char* name;
        double runSeconds; // before the edit
        std::function<void(CEnvelope&)> edit;
        int32_t segmentAfter; // where the envelope is just after it
    } cases[] = {
        {"a level dragged in another segment", 0.5, [](CEnvelope& e) { e.setLevel(2, 0.3); }, 1},
        {"a curve dragged in its own segment", 0.5, [](CEnvelope& e) { e.setCurve(1, 0.8); }, 1},
        {"the segment it is in deleted", 2.5, [](CEnvelope& e) { e.deletePoint(3); }, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPlatform platform;
        CPluginFile settings(platform);
        auto r = std::make_unique<CSoundRenderer>(&settings, nullptr);
        CEnvelope& e = r->program().envelopes[0];
        makeFreeRunningLoop(e);
        CProgramEdit(*r).touchEnvelope(0);
        const int32_t blocks = int32_t(std::lround(c.runSeconds * 100));
        render(*r, blocks);
        const CEnvelope& running = r->playingEnvelopes().envelope(0);
        const double ran = blocks * 0.01 * kStepScale;
        const int32_t segment = running.currentSegment;
        const double time = running.timeInSegment;
        ASSERT_EQ(segment, c.runSeconds < 1.0 ? 1 : 3);
        ASSERT_NEAR(time, std::fmod(ran - 0.001, 1.0), 1e-9);

        c.edit(e); // recomputes the program's record, which starts it again
        EXPECT_EQ(e.currentSegment, 0);
        CProgramEdit(*r).touchEnvelope(0);
        render(*r, 1);
        EXPECT_EQ(running.currentSegment, c.segmentAfter);
        EXPECT_FALSE(running.isFinished());
        if (c.segmentAfter == segment) {
            EXPECT_NEAR(running.timeInSegment, time + 0.01 * kStepScale, 1e-9);
        }

        // A note now copies the running position.
        const uint8_t on[4] = {0x90, 60, 100, 0};
        r->queueMidiEvent(on, 0);
        render(*r, 1);
        const CEnvelope& copied = r->voices().voice(0).envelope(0);
        EXPECT_EQ(copied.currentSegment, c.segmentAfter);
        EXPECT_GT(copied.timeInSegment, 0.005);

        // And it goes on looping: after another two seconds it is still inside the loop.
        render(*r, 200);
        EXPECT_FALSE(running.isFinished());
        EXPECT_GE(running.currentSegment, running.loopStart);
        EXPECT_LE(running.currentSegment, running.loopEnd);
    }
}

// Deleting, moving or cloning envelopes moves the records between slots; a
// free-running envelope runs on from where it was in whatever slot it lands.
TEST(RendererLiveEdits, FreeRunningEnvelopeKeepsItsPositionWhereverItMoves) {
    struct Case {
        const char* name;
        std::function<void(CProgram&)> restructure;
        std::vector<int32_t> slotsAfter; // the slots that hold it afterwards
    } cases[] = {
        {"an envelope before it deleted",
         [](CProgram& p) {
             p.selectedEnvelope = 0;
             p.deleteEnvelope();
         },
         {1}},
        {"moved up", [](CProgram& p) { p.moveEnvelope(-1); }, {1}},
        {"cloned", [](CProgram& p) { p.cloneEnvelope(); }, {2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPlatform platform;
        CPluginFile settings(platform);
        auto r = std::make_unique<CSoundRenderer>(&settings, nullptr);
        CProgram& p = r->program();
        p.addEnvelope();
        p.addEnvelope(); // the third, selected, runs freely; the others start with notes
        makeFreeRunningLoop(p.envelopes[2]);
        CProgramEdit(*r).restructure();
        render(*r, 50);
        const CEnvelope& before = r->playingEnvelopes().envelope(2);
        ASSERT_EQ(before.currentSegment, 1);
        const double time = before.timeInSegment;

        c.restructure(p);
        CProgramEdit(*r).restructure();
        render(*r, 1);
        for (int32_t slot : c.slotsAfter) {
            const CEnvelope& running = r->playingEnvelopes().envelope(slot);
            EXPECT_TRUE(running.freeRunning) << slot;
            EXPECT_EQ(running.currentSegment, 1) << slot;
            EXPECT_NEAR(running.timeInSegment, time + 0.01 * kStepScale, 1e-9) << slot;
        }
        // An envelope added now starts from the beginning.
        p.addEnvelope();
        makeFreeRunningLoop(p.currentEnvelope());
        CProgramEdit(*r).restructure();
        render(*r, 1);
        EXPECT_EQ(r->playingEnvelopes().envelope(p.envelopeCount - 1).currentSegment, 1);
        EXPECT_NEAR(r->playingEnvelopes().envelope(p.envelopeCount - 1).timeInSegment,
                    0.01 * kStepScale - 0.001, 1e-9);
    }
}

// stopVoices from the window's or the host's thread never touches the voices
// while they render: the audio thread silences them at the start of its next
// block, before that block's notes.
TEST(RendererLiveEdits, VoicesStopAtTheNextBlock) {
    ScriptedPlatform platform;
    CPluginFile settings(platform);
    auto r = std::make_unique<CSoundRenderer>(&settings, nullptr);
    makeAudible(r->program());
    r->applyAllParameters(false);
    const uint8_t on[4] = {0x90, 60, 100, 0};
    std::vector<float> left(kBlock), right(kBlock);
    float* out[2] = {left.data(), right.data()};
    auto peak = [&] {
        r->processBlock(out, kBlock, true);
        float p = 0.0f;
        for (float v : left)
            p = std::max(p, std::fabs(v));
        return p;
    };
    r->queueMidiEvent(on, 0);
    const float playing = std::max(peak(), peak());
    ASSERT_TRUE(r->voices().voice(0).active);

    r->stopVoices(true);
    EXPECT_TRUE(r->voices().voice(0).active) << "not before the audio thread's next block";
    const float stopped = peak(); // only the effects' tails are left
    EXPECT_FALSE(r->voices().voice(0).active);
    EXPECT_LT(stopped, playing / 100) << playing;

    // A note in the block after the request plays.
    r->stopVoices(true);
    r->queueMidiEvent(on, 0);
    render(*r, 1);
    EXPECT_TRUE(r->voices().voice(0).active);
}

// Loads read and parse their files before they take the structure lock and
// hold it only to exchange what the voices use: each costs at most the one
// block in which it lands, however large the file, and the blocks stay finite.
TEST(RendererLiveEdits, ALoadCostsAtMostTheBlockItLandsIn) {
    const fs::path folder =
        fs::temp_directory_path() /
        ("quellor-live-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::create_directories(folder);
    // Twenty seconds of stereo: reading it takes longer than several blocks.
    const std::string wav = (folder / "long.wav").string();
    std::vector<float> frames(size_t(2 * 20 * 44100));
    for (size_t i = 0; i < frames.size(); ++i)
        frames[i] = 0.5f * float(std::sin(double(i / 2) * 0.05));
    ASSERT_TRUE(writeSndfile(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, frames));
    // A program file beside it that plays it from slot 0.
    ScriptedPlatform platform;
    CPluginFile settings(platform);
    const std::string program = (folder / "WithSample.qxlprg").string();
    {
        CProgram p;
        makeAudible(p);
        std::snprintf(p.sampleSlots[0].samplePath, sizeof p.sampleSlots[0].samplePath, "%s",
                      wav.c_str());
        ASSERT_TRUE(saveProgramFile(p, program.c_str(), settings));
    }

    auto r = std::make_unique<CSoundRenderer>(&settings, nullptr);
    makeAudible(r->program());
    r->applyAllParameters(false);
    {
        // Blocks of 2048 frames (46 ms): longer than the structure lock is held
        // even in the sanitizers' builds, far shorter than a file takes to read.
        PacedAudio audio(*r, 2048, true);
        std::this_thread::sleep_for(2 * audio.period());
        for (int i = 0; i < 3; ++i)
            EXPECT_LE(audio.blocksSilencedBy([&] { r->loadSample(i, wav.c_str()); }), 1u)
                << "sample load " << i;
        EXPECT_LE(audio.blocksSilencedBy(
                      [&] { EXPECT_TRUE(r->loadProgramFile(program.c_str(), nullptr)); }),
                  1u)
            << "program load";
        EXPECT_TRUE(r->slotHasSample(0));
        EXPECT_FALSE(r->slotHasSample(1)); // the program's slots replace the loaded ones
        EXPECT_LE(audio.blocksSilencedBy([&] { r->clearSlot(0); }), 1u) << "sample cleared";
        audio.stop();
        EXPECT_EQ(audio.nonFiniteBlocks(), 0);
        EXPECT_GT(audio.soundingBlocks(), 0);
    }
    EXPECT_TRUE(platform.errors.empty());
    EXPECT_FALSE(r->slotHasSample(0));
    fs::remove_all(folder);
}
