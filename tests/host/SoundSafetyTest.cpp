// The sound under stress, through the plug-in's entry point: a phrase that
// pushes every program (a chord up to key 127 at full velocity, mod wheel,
// aftertouch and bend) at the sample rates hosts use; voices that end,
// program loads while notes are held, tails that must end in digital
// silence, and host values that break the 0..1 rule.
#include "base/ValueIds.h"
#include "host/HostRender.h"
#include "host/ProgramChunk.h"
#include "host/VstTestHost.h"
#include "patch/CMemAssembler.h"
#include "patch/CProgram.h"
#include "patch/ProgramFormat.h"
#include "plugin/VendorRequests.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int32_t kBlock = 512;
// The stress phrase: the chord held this long, then a tail.
constexpr double kHoldSeconds = 0.4;
constexpr double kPhraseSeconds = 0.9;
// Output between 0 and this magnitude is remains of a tail, not sound.
constexpr float kTinyLevel = 1e-30f;

std::vector<fs::path> factoryPrograms() {
    const fs::path banks = fs::path(QUELLOR_SOURCE_DIR) / "data/QuellorData/Banks";
    std::vector<fs::path> out;
    for (const auto& bank : fs::directory_iterator(banks))
        if (bank.is_directory())
            for (const auto& f : fs::directory_iterator(bank.path()))
                if (f.path().extension() == ".qxlprg") out.push_back(f.path());
    std::sort(out.begin(), out.end());
    return out;
}

bool loadFile(VstTestHost& host, const fs::path& file) {
    std::string path = file.string();
    return host.dispatch(effVendorSpecific, kVendorLoadProgramFile, 0, &path[0]) == 1;
}

std::vector<TimedMidi> stressPhrase(double rate) {
    const int64_t off = int64_t(kHoldSeconds * rate);
    std::vector<TimedMidi> events;
    for (uint8_t key : {36, 60, 79, 96, 103, 115, 127})
        events.push_back({0, 0x90, key, 127});
    // Mod wheel, aftertouch and bend up over the held chord.
    for (int i = 1; i <= 8; ++i) {
        const int64_t at = off * i / 10;
        const uint8_t v = uint8_t(std::min(127, i * 16));
        events.push_back({at, 0xb0, 1, v});
        events.push_back({at, 0xd0, v, 0});
        events.push_back({at, 0xe0, 0, uint8_t(64 + v / 2)});
    }
    for (uint8_t key : {36, 60, 79, 96, 103, 115, 127})
        events.push_back({off, 0x80, key, 0});
    return events;
}

int64_t tinySamples(const StereoSignal& s) {
    int64_t n = 0;
    for (size_t i = 0; i < s.size(); ++i)
        for (float x : {s.left[i], s.right[i]})
            n += (x != 0.0f && std::fabs(x) < kTinyLevel) ? 1 : 0;
    return n;
}

// Whether the program's pattern sequencers run: they start notes of their
// own after the keys are let go.
bool sequencerRuns(VstTestHost& host) {
    void* data = nullptr;
    const VstIntPtr length = host.dispatch(effGetChunk, 1, 0, &data);
    CMemAssembler reader;
    uint8_t* bytes = length > 0 && data ? reader.setBuffer(int32_t(length)) : nullptr;
    if (!bytes) return false;
    std::memcpy(bytes, data, size_t(length));
    double fineTune = 0.5;
    auto p = std::make_unique<CProgram>();
    p->fineTune = &fineTune;
    if (!loadProgram(*p, reader, false)) return false;
    return p->getValue(kSequencer1FirstId + kSequencerRunningOffset, false) > 0.5 ||
           p->getValue(kSequencer2FirstId + kSequencerRunningOffset, false) > 0.5;
}

// Every other program at 22,050 Hz and every third at 32,000 Hz (where the
// filters reach the highest coefficients, the two together covering most of
// the library); a spread of them at the rates above.
struct RatePlan {
    double rate;
    size_t first, stride;
};
constexpr RatePlan kPlans[] = {{22050.0, 0, 2},  {32000.0, 1, 3},  {44100.0, 4, 13},
                               {48000.0, 8, 17}, {96000.0, 5, 19}, {192000.0, 11, 29}};

} // namespace

TEST(SoundSafety, EveryProgramStaysBelowFullScaleAtEveryRateAndEndsWithoutClicks) {
    const std::vector<fs::path> programs = factoryPrograms();
    ASSERT_GT(programs.size(), 100u);
    for (const RatePlan& plan : kPlans) {
        for (size_t i = plan.first; i < programs.size(); i += plan.stride) {
            const std::string name = programs[i].stem().string();
            SCOPED_TRACE(name + " at " + std::to_string(int(plan.rate)) + " Hz");
            VstTestHost host;
            ASSERT_NE(host.open(), nullptr);
            host.start(float(plan.rate), kBlock);
            ASSERT_TRUE(loadFile(host, programs[i]));
            const StereoSignal out = renderThroughHost(host, int64_t(kPhraseSeconds * plan.rate),
                                                       kBlock, stressPhrase(plan.rate));
            ASSERT_TRUE(allFinite(out));
            EXPECT_LE(truePeakDb(out, plan.rate), 0.0);
            EXPECT_EQ(tinySamples(out), 0);
            // From the release on voices end and nothing starts, unless a
            // sequencer plays on.
            if (sequencerRuns(host)) continue;
            const int64_t release = int64_t(kHoldSeconds * plan.rate) + 1;
            const int64_t reach = int64_t(plan.rate * 0.001);
            for (const std::vector<float>* channel : {&out.left, &out.right}) {
                int64_t at = 0;
                const double ratio = worstStepRatio(*channel, release, int64_t(out.size()),
                                                    kClickStepFloor, reach, &at);
                EXPECT_LE(ratio, kClickStepRatio) << "at " << double(at) / plan.rate << " s";
            }
        }
    }
}

TEST(SoundSafety, ALongReleaseTailEndsInExactSilence) {
    // A minute after the key is let go, nothing but zeros and sound remain:
    // no output creeping toward the smallest float.
    constexpr double kRate = 22050.0;
    const fs::path banks = fs::path(QUELLOR_SOURCE_DIR) / "data/QuellorData/Banks";
    VstTestHost host;
    ASSERT_NE(host.open(), nullptr);
    host.start(float(kRate), kBlock);
    fs::path pad;
    for (const fs::path& p : factoryPrograms())
        if (p.stem() == "Warm Pad") pad = p;
    ASSERT_FALSE(pad.empty());
    ASSERT_TRUE(loadFile(host, pad));
    const StereoSignal out = renderThroughHost(host, int64_t(60.0 * kRate), 4096,
                                               {{0, 0x90, 60, 127}, {int64_t(kRate), 0x80, 60, 0}});
    ASSERT_TRUE(allFinite(out));
    EXPECT_EQ(tinySamples(out), 0);
    EXPECT_GT(peak(out, 0, int64_t(kRate)), 0.01f);
    EXPECT_EQ(peak(out, out.size() - 4096, out.size()), 0.0f);
}

TEST(SoundSafety, LoadingAProgramWhileNotesSoundFadesOutInsteadOfCutting) {
    // The audio thread renders blocks on its own while the window's thread
    // loads a program: the output fades out before the exchange.
    constexpr double kRate = 44100.0;
    VstTestHost host;
    ASSERT_NE(host.open(), nullptr);
    host.start(float(kRate), kBlock);
    // A held sine chord: its level stays until the load, which brings the
    // same program again.
    auto program = std::make_unique<CProgram>();
    makeSineVoice(*program, 0.5);
    const std::vector<uint8_t> chunk = programChunk(*program);
    ASSERT_TRUE(setChunk(host, chunk));
    std::vector<float> heard;
    std::atomic<bool> loaded{false};
    std::atomic<int> blocksAfter{0};
    std::atomic<size_t> heardFrames{0};
    std::thread audio([&] {
        std::vector<float> left(kBlock), right(kBlock);
        float* outs[2] = {left.data(), right.data()};
        AEffect* e = host.effect();
        EventList chord;
        chord.addMidi(0x90, 57, 127, 0);
        chord.addMidi(0x90, 64, 127, 0);
        e->dispatcher(e, effProcessEvents, 0, 0, chord.record(), 0.0f);
        while (blocksAfter.load() < 40 && heard.size() < size_t(20 * kRate)) {
            e->processReplacing(e, nullptr, outs, kBlock);
            heard.insert(heard.end(), left.begin(), left.end());
            heardFrames.store(heard.size());
            if (loaded.load()) blocksAfter.fetch_add(1);
        }
    });
    // Let the chord sound for a while, then load through the chunk.
    while (heardFrames.load() < size_t(0.3 * kRate))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    {
        std::vector<uint8_t> copy = chunk;
        host.dispatch(effSetChunk, 1, VstIntPtr(copy.size()), copy.data());
    }
    loaded.store(true);
    audio.join();
    ASSERT_GT(heard.size(), size_t(0.3 * kRate));
    EXPECT_GT(peak(StereoSignal{heard, heard}, 0, int64_t(0.3 * kRate)), 0.03f);
    const double ratio =
        worstStepRatio(heard, int64_t(0.1 * kRate), int64_t(heard.size()), kClickStepFloor, 44);
    EXPECT_LE(ratio, kClickStepRatio);
}

TEST(SoundSafety, HostValuesOutOfRangeNeverPoisonTheSound) {
    constexpr double kRate = 44100.0;
    constexpr int32_t kSmallBlock = 256;
    const float bad[] = {std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(),
                         std::numeric_limits<float>::quiet_NaN(),
                         1e30f,
                         -1e30f,
                         2.0f,
                         -1.0f};
    VstTestHost host;
    ASSERT_NE(host.open(), nullptr);
    host.start(float(kRate), kSmallBlock);
    ASSERT_TRUE(host.loadSoundingProgram());
    AEffect* e = host.effect();
    const StereoSignal before =
        renderThroughHost(host, 8 * kSmallBlock, kSmallBlock, {{0, 0x90, 60, 100}});
    const float normal = peak(before, 4 * kSmallBlock, 8 * kSmallBlock);
    ASSERT_GT(normal, 0.01f);
    for (VstInt32 id = 0; id < kHostParameterCount; ++id) {
        const float good = e->getParameter(e, id);
        for (float value : bad) {
            SCOPED_TRACE(host.parameterName(id) + " set to " + std::to_string(value));
            host.setParameter(id, value);
            const float stored = e->getParameter(e, id);
            EXPECT_TRUE(stored >= 0.0f && stored <= 1.0f) << stored;
            const StereoSignal during = renderThroughHost(host, kSmallBlock, kSmallBlock, {});
            EXPECT_TRUE(allFinite(during));
            host.setParameter(id, good);
            const StereoSignal after = renderThroughHost(host, 3 * kSmallBlock, kSmallBlock, {});
            ASSERT_TRUE(allFinite(after));
            EXPECT_LE(peak(after, kSmallBlock, 3 * kSmallBlock), 4.0f * normal + 0.05f);
        }
    }
    // Back at the good values the sound is what it was.
    const StereoSignal end = renderThroughHost(host, 8 * kSmallBlock, kSmallBlock, {});
    EXPECT_NEAR(peak(end, 4 * kSmallBlock, 8 * kSmallBlock), normal, 0.25f * normal);
}

TEST(SoundSafety, EveryProgramsVoicesEndWithoutAStepOutOfItsOwnSound) {
    // A held chord let go: where the voices end, no step may stand out of the
    // signal's own steps by more than a few times what the program's own
    // sound shows while the chord holds (a sharp wave has steps of its own).
    constexpr double kRate = 44100.0;
    constexpr double kLetGoSeconds = 0.4;
    constexpr double kEndSeconds = 0.65;
    constexpr double kOwnFrom = 0.05;
    constexpr double kOwnMargin = 3.0;
    const uint8_t chord[] = {48, 52, 55, 60};
    const std::vector<fs::path> programs = factoryPrograms();
    ASSERT_GT(programs.size(), 100u);
    const int64_t letGo = int64_t(kLetGoSeconds * kRate);
    const int64_t reach = int64_t(kRate * 0.001);
    for (const fs::path& program : programs) {
        const std::string name = program.stem().string();
        SCOPED_TRACE(name);
        VstTestHost host;
        ASSERT_NE(host.open(), nullptr);
        host.start(float(kRate), kBlock);
        ASSERT_TRUE(loadFile(host, program));
        if (sequencerRuns(host)) continue; // it plays on after the keys
        std::vector<TimedMidi> events;
        for (uint8_t key : chord)
            events.push_back({0, 0x90, key, 110});
        for (uint8_t key : chord)
            events.push_back({letGo, 0x80, key, 0});
        const StereoSignal out =
            renderThroughHost(host, int64_t(kEndSeconds * kRate), kBlock, events);
        for (const std::vector<float>* channel : {&out.left, &out.right}) {
            const double own =
                worstStepRatio(*channel, int64_t(kOwnFrom * kRate), letGo, kClickStepFloor, reach);
            int64_t at = 0;
            const double ending =
                worstStepRatio(*channel, letGo, int64_t(out.size()), kClickStepFloor, reach, &at);
            EXPECT_LE(ending, std::max(kClickStepRatio, kOwnMargin * own))
                << "at " << double(at) / kRate << " s; held, the sound's own steps reach " << own;
        }
    }
}

TEST(SoundSafety, AStolenVoiceFadesInsteadOfCutting) {
    // More keys held than there are voices: each key past the last free voice
    // takes the oldest one. Where that happens, no step may stand out of the
    // steps the program's own new notes make while voices are still free.
    constexpr double kRate = 44100.0;
    constexpr int kKeys = 30; // past the 24 voices
    constexpr double kNoteSpacing = 0.02;
    constexpr double kEndSeconds = 0.8;
    constexpr double kOwnFrom = 0.05;
    constexpr double kOwnMargin = 3.0;
    constexpr int kVoices = 24;
    const int64_t firstSteal = int64_t(kVoices * kNoteSpacing * kRate);
    const int64_t reach = int64_t(kRate * 0.001);
    for (const char* name :
         {"03 Pads/Warm Pad", "03 Pads/Dark Pad", "02 Basses/Reese Bass", "02 Basses/Acid Bass",
          "04 Leads/Saw Lead", "06 Brass Strings and Winds/String Ensemble"}) {
        SCOPED_TRACE(name);
        const fs::path file = fs::path(QUELLOR_SOURCE_DIR) / "data/QuellorData/Banks" /
                              (std::string(name) + ".qxlprg");
        if (!fs::exists(file)) {
            ADD_FAILURE() << "no factory program " << file;
            continue;
        }
        VstTestHost host;
        ASSERT_NE(host.open(), nullptr);
        host.start(float(kRate), kBlock);
        ASSERT_TRUE(loadFile(host, file));
        std::vector<TimedMidi> events;
        for (int k = 0; k < kKeys; ++k)
            events.push_back({int64_t(k * kNoteSpacing * kRate), 0x90, uint8_t(36 + k), 100});
        const StereoSignal out =
            renderThroughHost(host, int64_t(kEndSeconds * kRate), kBlock, events);
        for (const std::vector<float>* channel : {&out.left, &out.right}) {
            const double own = worstStepRatio(*channel, int64_t(kOwnFrom * kRate), firstSteal,
                                              kClickStepFloor, reach);
            int64_t at = 0;
            const double stealing = worstStepRatio(*channel, firstSteal, int64_t(out.size()),
                                                   kClickStepFloor, reach, &at);
            EXPECT_LE(stealing, std::max(kClickStepRatio, kOwnMargin * own))
                << "at " << double(at) / kRate << " s; while voices were free, the steps reach "
                << own;
        }
    }
}
