// The renderer's persistence side: host chunks, program files with their
// samples, bank folders and sampler slots, and structural changes while the
// audio thread renders.
#include "engine/CSoundRenderer.h"
#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "patch/PatchFiles.h"
#include "support/ScriptedPlatform.h"
#include "support/SndfileWriter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

void writeSine(const std::string& path, int frames, int channels = 1) {
    std::vector<float> data(size_t(frames * channels));
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            data[size_t(i * channels + c)] = 0.5f * std::sin(i * 0.05f);
    ASSERT_TRUE(writeSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, channels, 44100, data))
        << path;
}

struct DataFolder {
    fs::path root;
    DataFolder() {
        root =
            fs::temp_directory_path() /
            ("quellor-files-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "QuellorData/Banks/Basses");
        fs::create_directories(root / "QuellorData/Banks/Keys");
    }
    ~DataFolder() { fs::remove_all(root); }
    std::string bank(const char* name) const {
        return (root / "QuellorData/Banks" / name).string();
    }
};

// Writes a program file from a fresh program with the given name and level.
void writeProgram(ScriptedPlatform& platform, const std::string& path, double level,
                  const char* samplePath = nullptr) {
    CPluginFile settings(platform);
    CProgram program;
    program.setValue(0, level);
    if (samplePath)
        std::snprintf(program.sampleSlots[0].samplePath, sizeof program.sampleSlots[0].samplePath,
                      "%s", samplePath);
    ASSERT_TRUE(saveProgramFile(program, path.c_str(), settings));
}

// One frame rendered: the values set before it reach the engine.
void renderFrame(CSoundRenderer& r) {
    float left = 0.0f, right = 0.0f;
    float* out[2] = {&left, &right};
    r.processBlock(out, 1, true);
}

} // namespace

TEST(RendererChunk, NewProgramChunkRoundTripsEveryValue) {
    ScriptedPlatform platform;
    CPluginFile settings(platform);
    CSoundRenderer a(&settings, nullptr);
    a.setParameter(0, 0.8);
    a.setParameter(13, 0.33);
    a.setParameter(250, 0.7);
    a.setProgramName("Round Trip");
    void* data = nullptr;
    const int32_t length = a.getChunk(&data);
    ASSERT_EQ(length, 12776);
    EXPECT_EQ(std::memcmp(data, "VLXQ", 4), 0);
    int32_t version;
    std::memcpy(&version, static_cast<char*>(data) + 4, 4);
    EXPECT_EQ(version, 6);

    CSoundRenderer b(&settings, nullptr);
    EXPECT_EQ(b.setChunk(data, length), 1);
    for (int32_t id = 0; id < 460; ++id)
        EXPECT_EQ(a.getParameter(id), b.getParameter(id)) << id;
    char name[64];
    b.getProgramName(name, sizeof name);
    EXPECT_STREQ(name, "Round Trip");
    EXPECT_FLOAT_EQ(b.master().masterLevel(), float(0.8 * 0.8 * 2));
}

// Loads, and the editor's changes that hold the edit lock, change the program
// under it: a chunk is taken only between such changes, never halfway.
TEST(RendererChunk, ChunkWaitsForAStructuralChangeToFinish) {
    ScriptedPlatform platform;
    CPluginFile settings(platform);
    CSoundRenderer r(&settings, nullptr);
    std::unique_lock<std::recursive_mutex> change(r.editLock());
    std::atomic<int32_t> length{-1};
    std::thread host([&] {
        void* data = nullptr;
        length = r.getChunk(&data);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(length.load(), -1) << "the chunk was taken while the program was being changed";
    change.unlock();
    host.join();
    EXPECT_EQ(length.load(), 12776);
}

TEST(RendererChunk, BadChunksAreRefusedWithoutDamage) {
    ScriptedPlatform platform;
    CPluginFile settings(platform);
    CSoundRenderer r(&settings, nullptr);
    r.setParameter(0, 0.9);
    EXPECT_EQ(r.setChunk(nullptr, 100), 0);
    EXPECT_EQ(r.setChunk("VLXQ", 0), 0);
    EXPECT_EQ(r.setChunk("VLXQ", -5), 0);
    const char junk[] = "not a program at all, just some bytes";
    EXPECT_EQ(r.setChunk(junk, sizeof junk), 0);
    EXPECT_EQ(r.getParameter(0), 0.9);
    void* data = nullptr;
    const int32_t length = r.getChunk(&data);
    std::vector<char> truncated(static_cast<char*>(data), static_cast<char*>(data) + length / 2);
    r.setParameter(0, 0.1);
    EXPECT_EQ(r.setChunk(truncated.data(), int32_t(truncated.size())), 0);
    EXPECT_EQ(r.getParameter(0), 0.1);
    EXPECT_EQ(r.getChunk(nullptr), 0);
}

TEST(RendererBanks, MissingDataFolderLeavesEmptyListsAndUnknownNames) {
    ScriptedPlatform platform;
    platform.rootFolder = "/nonexistent/quellor-root";
    CPluginFile settings(platform);
    settings.init();
    CSoundRenderer r(&settings, nullptr);
    EXPECT_EQ(r.banks().folderCount(), 0);
    EXPECT_EQ(r.banks().fileCount(), 0);
    EXPECT_STREQ(r.banks().folderName(0), "unknown");
    EXPECT_EQ(r.banks().folderName(1), nullptr);
    char text[64];
    EXPECT_STREQ(r.banks().fileName(0, text, sizeof text), "unknown");
    EXPECT_FALSE(r.banks().filePath(0, text, sizeof text));
}

TEST(RendererBanks, ListsFoldersLoadsTheFirstProgramAndLocatesByNameAndBank) {
    DataFolder folder;
    ScriptedPlatform platform;
    platform.rootFolder = folder.root.string();
    writeProgram(platform, folder.bank("Basses") + "/Acid.qxlprg", 0.2);
    writeProgram(platform, folder.bank("Basses") + "/Deep.QXLPRG", 0.4);
    writeProgram(platform, folder.bank("Keys") + "/Deep.qxlprg", 0.6);
    std::ofstream(folder.bank("Keys") + "/readme.txt") << "not a program";
    std::ofstream(folder.bank("Keys") + "/odd.qxlprgx") << "not a program";

    CPluginFile settings(platform);
    settings.init();
    CSoundRenderer r(&settings, nullptr);
    ASSERT_EQ(r.banks().folderCount(), 2);
    EXPECT_STREQ(r.banks().folderName(0), "Basses");
    EXPECT_STREQ(r.banks().folderName(1), "Keys");
    // Construction loaded the first program of the first folder.
    EXPECT_EQ(r.getParameter(0), 0.2);
    EXPECT_STREQ(r.program().name, "Acid");
    char text[CBankList::kListEntryCapacity];
    ASSERT_EQ(r.banks().fileCount(), 2);
    EXPECT_STREQ(r.banks().fileName(1, text, sizeof text), "Deep");

    r.banks().selectFolder(1);
    ASSERT_EQ(r.banks().fileCount(), 1); // only the .qxlprg file
    ASSERT_TRUE(r.banks().filePath(0, text, sizeof text));
    EXPECT_EQ(std::string(text), folder.bank("Keys") + "/Deep.qxlprg");
    ASSERT_TRUE(r.loadProgramFile(text, "Keys"));
    EXPECT_EQ(r.getParameter(0), 0.6);
    EXPECT_STREQ(r.program().bankName, "Keys");
    EXPECT_EQ(r.banks().currentFolder(), 1); // name and bank both match here

    std::snprintf(r.program().bankName, sizeof r.program().bankName, "Elsewhere");
    r.locateProgram(); // name only: the last folder holding it
    EXPECT_EQ(r.banks().currentFolder(), 1);
    std::snprintf(r.program().name, sizeof r.program().name, "Nowhere");
    r.locateProgram();
    EXPECT_EQ(r.banks().currentFolder(), 0);
}

TEST(RendererBanks, ProgramFilePlaysItsSamplesFromItsOwnFolder) {
    DataFolder folder;
    ScriptedPlatform platform;
    writeSine(folder.bank("Keys") + "/tine.wav", 2000);
    writeProgram(platform, folder.bank("Keys") + "/Tines.qxlprg", 0.5,
                 "C:\\Samples\\Old\\tine.wav");
    CPluginFile settings(platform);
    CSoundRenderer r(&settings, nullptr);
    ASSERT_TRUE(r.loadProgramFile((folder.bank("Keys") + "/Tines.qxlprg").c_str(), nullptr));
    EXPECT_EQ(std::string(r.program().sampleSlots[0].samplePath),
              folder.bank("Keys") + "/tine.wav");
    EXPECT_TRUE(r.slotHasSample(0));
    EXPECT_TRUE(platform.errors.empty());
    EXPECT_STREQ(r.program().name, "Tines");
}

TEST(RendererBanks, FailedProgramFileShowsTheStreamErrorAndKeepsTheProgram) {
    ScriptedPlatform platform;
    CPluginFile settings(platform);
    CSoundRenderer r(&settings, nullptr);
    r.setParameter(0, 0.77);
    EXPECT_FALSE(r.loadProgramFile("/nonexistent/x.qxlprg", nullptr));
    ASSERT_EQ(platform.errors.size(), 1u);
    EXPECT_EQ(platform.errors[0], "Failed to open the file");
    EXPECT_EQ(r.getParameter(0), 0.77);
    EXPECT_FALSE(r.loadProgramFile(nullptr, nullptr));
}

TEST(RendererSlots, LoadClearAndChooseSlotsByKey) {
    DataFolder folder;
    ScriptedPlatform platform;
    CPluginFile settings(platform);
    CSoundRenderer r(&settings, nullptr);
    const std::string wav = (folder.root / "a.wav").string();
    writeSine(wav, 500, 2);

    EXPECT_EQ(r.slotForKey(60), nullptr);
    r.loadSample(2, wav.c_str());
    r.loadSample(5, wav.c_str());
    r.loadSample(8, wav.c_str());  // ignored
    r.loadSample(-1, wav.c_str()); // ignored
    r.loadSample(3, "");           // ignored
    EXPECT_TRUE(r.slotHasSample(2));
    EXPECT_TRUE(r.slotHasSample(5));
    EXPECT_FALSE(r.slotHasSample(8));
    EXPECT_EQ(std::string(r.program().sampleSlots[2].samplePath), wav);

    // Slot 2 from key 36 (0.5 x 127 = 63.5 -> 63 by default), slot 5 from key 48.
    r.setParameter(178 + 8 * 2, 36 / 127.0);
    r.setParameter(178 + 8 * 5, 48 / 127.0);
    renderFrame(r);
    EXPECT_EQ(r.slotForKey(35), nullptr);
    EXPECT_EQ(r.slotForKey(36)->lowKey, 36);
    EXPECT_EQ(r.slotForKey(47)->lowKey, 36);
    EXPECT_EQ(r.slotForKey(100)->lowKey, 48);
    r.setParameter(178 + 8 * 5, 36 / 127.0); // equal low keys: the lower slot wins
    renderFrame(r);
    EXPECT_EQ(r.slotForKey(40), r.slotForKey(36));
    EXPECT_EQ(r.slotForKey(40)->sample != nullptr, true);

    const std::string missing = (folder.root / "missing.wav").string();
    r.loadSample(2, missing.c_str());
    ASSERT_EQ(platform.errors.size(), 1u);
    EXPECT_EQ(platform.errors[0], "Failed to load the sample\n" + missing);
    EXPECT_TRUE(r.slotHasSample(2));
    EXPECT_EQ(std::string(r.program().sampleSlots[2].samplePath), wav);

    r.clearSlot(2);
    EXPECT_FALSE(r.slotHasSample(2));
    EXPECT_STREQ(r.program().sampleSlots[2].samplePath, "");
}

TEST(RendererSlots, AFailedSampleLoadIsToldWithTheLockReleased) {
    // While the message box is up the audio thread must be able to render.
    struct LockProbe : ScriptedPlatform {
        CSoundRenderer* renderer = nullptr;
        bool lockFree = false;
        void showError(const char* caption, const char* text) override {
            ScriptedPlatform::showError(caption, text);
            std::thread([this] {
                std::unique_lock<std::mutex> lock(renderer->structureLock(), std::try_to_lock);
                lockFree = lock.owns_lock();
            }).join();
        }
    } platform;
    CPluginFile settings(platform);
    CSoundRenderer r(&settings, nullptr);
    platform.renderer = &r;
    r.loadSample(1, "/nonexistent/missing.wav");
    ASSERT_EQ(platform.errors.size(), 1u);
    EXPECT_TRUE(platform.lockFree);
    EXPECT_FALSE(r.slotHasSample(1));

    // A program whose sample is missing: told once, after the load let go.
    std::strcpy(r.program().sampleSlots[3].samplePath, "/nonexistent/gone.wav");
    platform.lockFree = false;
    r.applyAllParameters(false);
    ASSERT_EQ(platform.errors.size(), 2u);
    EXPECT_EQ(platform.errors[1], "Failed to load the sample\n/nonexistent/gone.wav");
    EXPECT_TRUE(platform.lockFree);
}

TEST(RendererSlots, LevelsSendsSwitchesAndTextsFromTheirIds) {
    ScriptedPlatform platform;
    CPluginFile settings(platform);
    CSoundRenderer r(&settings, nullptr);
    char text[24];
    const int32_t base = 178 + 8; // slot 1
    r.getParameterDisplay(base + 0, text, sizeof text);
    EXPECT_STREQ(text, "-----"); // an empty slot shows nothing
    r.setParameter(base + 6, 1.0);
    EXPECT_EQ(r.getParameter(base + 6), 0.0); // and ignores writes

    std::snprintf(r.program().sampleSlots[1].samplePath, 16, "x.wav");
    r.setParameter(base + 6, 1.0);  // level 1.0
    r.setParameter(base + 7, 0.75); // pan 0.5 -> p = 0.75
    r.setParameter(base + 4, 0.0);  // send -1
    r.setParameter(base + 3, 0.5);  // loop: on at exactly 0.5
    r.setParameter(base + 2, 0.49); // keyboard follow off
    r.setParameter(base + 1, 60 / 127.0);
    renderFrame(r);
    const CSamplerSlot& slot = r.samplerSlot(1);
    EXPECT_FLOAT_EQ(slot.leftLevel, 0.25f);
    EXPECT_FLOAT_EQ(slot.rightLevel, 0.75f);
    EXPECT_FLOAT_EQ(slot.sendFilter1, -1.0f);
    EXPECT_TRUE(slot.loop);
    EXPECT_FALSE(slot.keyboardFollow);
    EXPECT_EQ(slot.rootKey, 60);

    struct Case {
        int32_t k;
        double v;
        const char* text;
    } cases[] = {{0, 0.5, "D#5"}, {1, 60 / 127.0, "C5"}, {1, 0.0, "C0"},
                 {1, 1.0, "G10"}, {4, 0.0, "-1.00"},     {7, 0.75, "0.50"}};
    for (const Case& c : cases) {
        r.setParameter(base + c.k, c.v);
        r.getParameterDisplay(base + c.k, text, sizeof text);
        EXPECT_STREQ(text, c.text) << c.k << " " << c.v;
    }
    r.getParameterDisplay(330 + 1, text, sizeof text);
    EXPECT_STREQ(text, "x.wav");
}

TEST(RendererThreads, StructuralChangesWhileTheAudioThreadRenders) {
    DataFolder folder;
    ScriptedPlatform platform;
    CPluginFile settings(platform);
    CSoundRenderer r(&settings, nullptr);
    const std::string wav = (folder.root / "loop.wav").string();
    writeSine(wav, 4000, 2);
    const std::string program = (folder.root / "Prog.qxlprg").string();
    writeProgram(platform, program, 0.5, wav.c_str());
    void* data = nullptr;
    const int32_t length = r.getChunk(&data);
    std::vector<char> chunk(static_cast<char*>(data), static_cast<char*>(data) + length);

    std::atomic<bool> stop{false};
    std::thread audio([&] {
        std::vector<float> left(256), right(256);
        float* out[2] = {left.data(), right.data()};
        const uint8_t on[4] = {0x90, 60, 100, 0}, off[4] = {0x80, 60, 0, 0};
        int n = 0;
        while (!stop) {
            r.queueMidiEvent((n++ & 1) ? off : on, 3);
            r.processBlock(out, 256, true);
            for (float v : left)
                ASSERT_TRUE(std::isfinite(v));
        }
    });
    for (int i = 0; i < 30; ++i) {
        r.loadSample(0, wav.c_str());
        r.loadSample(3, wav.c_str());
        r.clearSlot(0);
        r.setChunk(chunk.data(), int32_t(chunk.size()));
        r.loadProgramFile(program.c_str(), nullptr);
        r.clearSlot(3);
    }
    stop = true;
    audio.join();
    EXPECT_TRUE(platform.errors.empty());
}
