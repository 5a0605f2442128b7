// A person edits while the synth plays: a scripted user-interface thread drags
// points and curves, adds and deletes points and envelopes, pastes curves,
// changes values, loads and shifts patterns and imports spectra, each followed
// by the call the window makes, while the audio thread renders a held chord
// and new notes, a host takes the program's chunk on a third thread and sets
// every host parameter and every value the window can change, at random, on a
// fourth. Every block must be finite and none silent; every chunk must read back. Then
// samples, a program and a microtuning are loaded while it plays: each costs
// at most its one block.
//
// Built a second time under ThreadSanitizer (make test runs that build too),
// where any read of a half-written record or value by the audio thread is a report.
#include "base/ValueIds.h"
#include "engine/CProgramEdit.h"
#include "engine/CSoundRenderer.h"
#include "patch/CMemAssembler.h"
#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "patch/PatchFiles.h"
#include "patch/ProgramFormat.h"
#include "support/PacedAudio.h"
#include "support/ScriptedPlatform.h"
#include "support/SndfileWriter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The script runs for this long, or this many operations, whichever ends first.
constexpr auto kScriptTime = std::chrono::seconds(3);
constexpr int kMaxOperations = 4000;

enum Operation {
    kDragPoints,
    kAddOrDeletePoint,
    kRestructure,
    kPasteCurve,
    kMoveLoop,
    kChangeValue,
    kLoadPattern,
    kEditPattern,
    kImportSpectrum,
    kOperationCount
};

struct Script {
    CSoundRenderer& r;
    CPluginFile& settings;
    std::string patternPath;
    std::mt19937 random{20261211};

    CProgram& p() { return r.program(); }
    double uniform(double lo, double hi) {
        return std::uniform_real_distribution<>(lo, hi)(random);
    }
    int pick(int n) { return std::uniform_int_distribution<>(0, n - 1)(random); }

    // The record the envelope editor shows: envelope, key or velocity curve.
    CEnvelope& shownRecord() {
        p().envelopeView = pick(3);
        return p().currentCurve();
    }
    int32_t selected() const { return r.program().selectedEnvelope; }
    void select(int32_t e) {
        r.setParameter(kEnvelopePageId, (e / kEnvelopesPerPage) / 4.0 + 0.001);
        r.setParameter(kEnvelopeRowFirstId + (e % kEnvelopesPerPage) * kEnvelopeRowIdStride, 1.0);
    }

    // As the window does: every edit of the program's records is one CProgramEdit.
    void run(Operation op) {
        CProgramEdit edit(r);
        switch (op) {
        case kDragPoints: { // as the envelope control moves a point or a curve handle
            select(pick(p().envelopeCount));
            CEnvelope& e = shownRecord();
            const int i = pick(e.pointCount);
            for (int step = 0; step < 6; ++step) {
                e.setLevel(i, uniform(0.0, 1.0));
                e.setDelta(i, uniform(0.001, 0.4));
                e.setCurve(i, uniform(0.0, 1.0));
                edit.touchEnvelope(selected());
            }
            break;
        }
        case kAddOrDeletePoint: {
            CEnvelope& e = shownRecord();
            if (pick(2) == 0) {
                const int i = e.addPointAtTime(uniform(0.0, e.endTime(e.pointCount - 1) + 0.5));
                if (i >= 0) e.setLevel(i, uniform(0.0, 1.0));
            } else {
                e.deletePoint(pick(e.pointCount));
            }
            edit.touchEnvelope(selected());
            break;
        }
        case kRestructure:
            switch (pick(5)) {
            case 0:
            case 1:
                p().addEnvelope();
                p().currentEnvelope().targetKind = pick(kTargetKindCount);
                p().currentEnvelope().setDepth(pick(kEnvelopeDestinationCount), uniform(-1, 1));
                break;
            case 2:
                p().deleteEnvelope();
                break;
            case 3:
                p().moveEnvelope(pick(2) ? 1 : -1);
                break;
            default:
                p().cloneEnvelope();
                break;
            }
            edit.restructure();
            break;
        case kPasteCurve:
            shownRecord();
            p().copyCurve();
            select(pick(p().envelopeCount));
            p().pasteCurve();
            edit.touchEnvelope(selected());
            break;
        case kMoveLoop: {
            CEnvelope& e = p().currentEnvelope();
            e.setLoopEnd(pick(e.pointCount));
            e.setLoopStart(pick(e.pointCount));
            edit.touchEnvelope(selected());
            break;
        }
        case kChangeValue: { // the envelope section's switches, rates and routing depths
            const int32_t ids[] = {kEnvelopeKeepFollowingId,
                                   kEnvelopeTempoSyncId,
                                   kEnvelopeFreeRunningId,
                                   kEnvelopeKeyedId,
                                   kEnvelopeRateKeyTrackingId,
                                   kEnvelopeRateVelocityId,
                                   kEnvelopeBipolarId,
                                   kEnvelopeRowFirstId + 1 + pick(10),
                                   kEnvelopeRowFirstId + kEnvelopeRowIdStride + 1 + pick(10),
                                   kEnvelopeSampleDepthFirstId + pick(2),
                                   kSequencer1FirstId + kSequencerRunningOffset};
            const int32_t id = ids[pick(int(sizeof ids / sizeof ids[0]))];
            r.setParameter(id, uniform(0.0, 1.0));
            break;
        }
        case kLoadPattern: {
            const int which = pick(2);
            EXPECT_TRUE(loadPatternFile(p(), which, patternPath.c_str(), settings));
            edit.touchPattern(which);
            break;
        }
        case kEditPattern: {
            const int which = pick(2);
            switch (pick(3)) {
            case 0:
                p().rotateSteps(which, pick(2) ? 1 : -1);
                break;
            case 1:
                p().reverseSteps(which);
                break;
            default:
                p().clearPattern(which);
                break;
            }
            edit.touchPattern(which);
            break;
        }
        case kImportSpectrum: {
            r.setParameter(kSelectedOperatorId, (pick(kOperatorCount) + 0.5) / kOperatorCount);
            double amplitudes[kHarmonicCount], phases[kHarmonicCount];
            for (int h = 0; h < kHarmonicCount; ++h) {
                amplitudes[h] = pick(3) == 0 ? uniform(0.0, 1.0) : 0.0;
                phases[h] = uniform(0.0, 1.0);
            }
            p().setSpectrum(amplitudes, phases);
            edit.touchWave(-1);
            break;
        }
        default:
            break;
        }
    }
};

// Every value ID a control of the window or a host parameter sets: the host's
// 0..42, the voice, filter, operator, sample and sequencer values, the selected
// operator's, the envelope section's, the selection and the fine tune.
std::vector<int32_t> settableValueIds() {
    std::vector<int32_t> ids;
    for (int32_t id = 0; id <= kSelectedTuneModeId; ++id)
        ids.push_back(id);
    for (int32_t id = kEnvelopeKeepFollowingId; id <= kSelectedOperatorId; ++id)
        ids.push_back(id);
    ids.push_back(kFineTuneId);
    return ids;
}

// A program that sounds, with envelopes that move pitch and amplitude, some
// free-running, and a pattern for the sequencers.
void prepareProgram(CProgram& p) {
    makeAudible(p);
    p.operators[1].enabled = 1.0;
    p.operators[1].amplitude = 0.5;
    p.operators[1].mix = 0.8;
    for (int e = 1; e < 4; ++e)
        p.addEnvelope();
    const int32_t kinds[4] = {kTargetAmplitude, kTargetPitch, kTargetAmplitudeMult, kTargetPhase};
    for (int e = 0; e < 4; ++e) {
        CEnvelope& env = p.envelopes[e];
        env.targetKind = kinds[e];
        env.setDepth(0, 0.5);
        env.setDepth(1, 0.3);
        env.freeRunning = e % 2 == 1;
        env.keyed = e != 3;
    }
    SequencerPatch& s = p.sequencers[0];
    s.length = 7 / 31.0;
    for (int k = 0; k < kSequencerStepCount; ++k)
        s.steps[k] = (k % 5) / 50.0 + 0.4;
}

} // namespace

TEST(LiveEdits, ScriptedEditingWhileNotesPlayNeverSilencesOrBreaksABlock) {
    const fs::path folder = fs::temp_directory_path() /
                            ("quellor-live-stress-" +
                             std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::create_directories(folder);
    ScriptedPlatform platform;
    CPluginFile settings(platform);
    auto r = std::make_unique<CSoundRenderer>(&settings, nullptr);
    prepareProgram(r->program());
    r->applyAllParameters(false);
    Script script{*r, settings, (folder / "Steps.qxlseq").string()};
    // The pattern the script loads, written by the program's own save.
    ASSERT_TRUE(savePatternFile(r->program(), 0, script.patternPath.c_str(), settings));

    int counts[kOperationCount] = {};
    {
        // A host taking the program's chunk on its own thread all the while: every chunk
        // reads back as a program.
        std::atomic<bool> hostRuns{true};
        int chunks = 0, unreadable = 0;
        std::thread hostThread([&] {
            auto back = std::make_unique<CProgram>();
            while (hostRuns.load()) {
                void* data = nullptr;
                const int32_t length = r->getChunk(&data);
                CMemAssembler reader;
                if (length <= 0 || !reader.assign(data, length) ||
                    !loadProgram(*back, reader, false))
                    ++unreadable;
                ++chunks;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        // A host (or a window) setting single values all the while: each ID once in
        // order, then at random.
        const std::vector<int32_t> valueIds = settableValueIds();
        std::atomic<bool> valuesRun{true};
        size_t valuesSet = 0;
        std::thread valueThread([&] {
            std::mt19937 random(7);
            std::uniform_real_distribution<> value(0.0, 1.0);
            std::uniform_int_distribution<size_t> which(0, valueIds.size() - 1);
            for (size_t n = 0; valuesRun.load() || n < valueIds.size(); ++n) {
                r->setParameter(valueIds[n < valueIds.size() ? n : which(random)], value(random));
                if (n % 16 == 15) std::this_thread::sleep_for(std::chrono::microseconds(200));
                valuesSet = n + 1;
            }
        });
        PacedAudio audio(*r, 256, false);
        const auto end = std::chrono::steady_clock::now() + kScriptTime;
        for (int n = 0; n < kMaxOperations && std::chrono::steady_clock::now() < end; ++n) {
            const Operation op = Operation(n < kOperationCount ? n : script.pick(kOperationCount));
            script.run(op);
            ++counts[op];
        }
        audio.stop();
        hostRuns = false;
        hostThread.join();
        valuesRun = false;
        valueThread.join();
        EXPECT_GE(valuesSet, valueIds.size());
        EXPECT_EQ(audio.nonFiniteBlocks(), 0);
        EXPECT_GT(audio.soundingBlocks(), 0);
        EXPECT_GT(audio.blocks(), 20);
        EXPECT_GT(chunks, 0);
        EXPECT_EQ(unreadable, 0);
        std::printf("%lld blocks rendered, %d chunks taken and %zu values set during the editing\n",
                    (long long)audio.blocks(), chunks, valuesSet);
    }
    for (int op = 0; op < kOperationCount; ++op)
        EXPECT_GT(counts[op], 0) << "operation " << op << " never ran";
    EXPECT_EQ(r->lockedOutBlocks(), 0u) << "editing silenced blocks";
    EXPECT_TRUE(platform.errors.empty());

    // Loads while it plays, each holding the structure lock only for its exchange.
    const std::string wav = (folder / "tone.wav").string();
    std::vector<float> frames(size_t(2 * 44100));
    for (size_t i = 0; i < frames.size(); ++i)
        frames[i] = 0.3f * float(std::sin(double(i / 2) * 0.03));
    ASSERT_TRUE(writeSndfile(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, frames));
    const std::string tuning = (folder / "Quarter.tun").string();
    {
        std::FILE* f = std::fopen(tuning.c_str(), "w");
        ASSERT_TRUE(f);
        std::fputs("[Tuning]\nnote 60 = 6050\nnote 64 = 6350\n", f);
        std::fclose(f);
    }
    const std::string program = (folder / "Loaded.qxlprg").string();
    {
        CProgram p;
        prepareProgram(p);
        std::snprintf(p.sampleSlots[1].samplePath, sizeof p.sampleSlots[1].samplePath, "%s",
                      wav.c_str());
        ASSERT_TRUE(saveProgramFile(p, program.c_str(), settings));
    }
    {
        // Blocks of 4096 frames (93 ms): longer than a load holds the structure
        // lock even under ThreadSanitizer.
        PacedAudio audio(*r, 4096, true);
        for (int i = 0; i < 2; ++i) {
            EXPECT_LE(audio.blocksSilencedBy([&] { r->loadSample(i, wav.c_str()); }), 1u)
                << "sample load";
            EXPECT_LE(audio.blocksSilencedBy([&] {
                EXPECT_TRUE(r->loadProgramFile(program.c_str(), nullptr));
                for (int k = 0; k < 20; ++k) // and straight on with edits
                    script.run(Operation(script.pick(kOperationCount)));
            }),
                      1u)
                << "program load";
            EXPECT_LE(audio.blocksSilencedBy([&] { r->clearSlot(1); }), 1u) << "sample cleared";
            EXPECT_LE(
                audio.blocksSilencedBy([&] { EXPECT_TRUE(r->loadTuningFile(tuning.c_str())); }), 1u)
                << "microtuning";
        }
        audio.stop();
        EXPECT_EQ(audio.nonFiniteBlocks(), 0);
        EXPECT_GT(audio.soundingBlocks(), 0);
    }
    EXPECT_TRUE(platform.errors.empty());
    fs::remove_all(folder);
}
