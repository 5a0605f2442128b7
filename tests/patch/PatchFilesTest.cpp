#include "patch/PatchFiles.h"
#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "support/ScriptedPlatform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

struct PatchFiles : ::testing::Test {
    ScriptedPlatform platform;
    CPluginFile settings{platform};
    double fineTune = 0.5;
    CProgram program;
    std::string folder;

    void SetUp() override {
        program.fineTune = &fineTune;
        folder = std::string(::testing::TempDir()) + "quellor_files_" + std::to_string(getpid());
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::string path(const char* name) const { return folder + "/" + name; }
    static uintmax_t size(const std::string& p) { return std::filesystem::file_size(p); }
    static void write(const std::string& p, const std::string& bytes) {
        std::ofstream(p, std::ios::binary) << bytes;
    }
};

} // namespace

TEST_F(PatchFiles, SideFileSizes) {
    program.envelopes[0].pointCount = 2;
    ASSERT_TRUE(saveEnvelopeFile(program, path("e.qxlenv").c_str(), settings));
    EXPECT_EQ(size(path("e.qxlenv")), 363u);
    ASSERT_TRUE(savePatternFile(program, 1, path("p.qxlseq").c_str(), settings));
    EXPECT_EQ(size(path("p.qxlseq")), 312u);
    ASSERT_TRUE(exportWaveFile(program, path("w.qxlwav").c_str(), settings));
    EXPECT_EQ(size(path("w.qxlwav")), 520u);
    EXPECT_TRUE(platform.errors.empty());
    const std::string missing = folder + "/missing/p.qxlseq";
    EXPECT_FALSE(savePatternFile(program, 0, missing.c_str(), settings));
    // The stream's text first, then which file and why.
    EXPECT_EQ(platform.errors.back().rfind("Failed to open the file\n" + missing + "\n", 0), 0u)
        << platform.errors.back();
}

TEST_F(PatchFiles, LoadsKeepWhatTheFilesDoNotOwn) {
    // The envelope file brings points and flags, not the routing.
    CProgram other;
    other.envelopes[0].targetKind = kTargetPitch;
    other.envelopes[0].setDepth(0, 0.5);
    other.envelopes[0].bipolar = true;
    ASSERT_TRUE(saveEnvelopeFile(other, path("e.qxlenv").c_str(), settings));
    program.envelopes[0].setDepth(3, 0.8);
    ASSERT_TRUE(loadEnvelopeFile(program, path("e.qxlenv").c_str(), settings));
    EXPECT_EQ(program.envelopes[0].targetKind, kTargetAmplitude);
    EXPECT_EQ(program.envelopes[0].depths[3], 0.8);
    EXPECT_EQ(program.envelopes[0].depths[0], 0.0);
    EXPECT_TRUE(program.envelopes[0].bipolar);

    other.sequencers[0].running = 1.0;
    other.sequencers[0].steps[4] = 0.5;
    ASSERT_TRUE(savePatternFile(other, 0, path("p.qxlseq").c_str(), settings));
    ASSERT_TRUE(loadPatternFile(program, 1, path("p.qxlseq").c_str(), settings));
    EXPECT_EQ(program.sequencers[1].running, 0.0);
    EXPECT_EQ(program.sequencers[1].steps[4], 0.5);
    EXPECT_TRUE(platform.errors.empty());
}

TEST_F(PatchFiles, MessagesOfFailedLoads) {
    CProgram other;
    other.operators[0].harmonicAmplitudes[3] = 0.5;
    ASSERT_TRUE(exportWaveFile(other, path("w.qxlwav").c_str(), settings));
    std::string bytes;
    {
        std::ifstream in(path("w.qxlwav"), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    bytes[4] = 1; // version 1
    write(path("v1.qxlwav"), bytes);
    write(path("empty.qxlenv"), "");
    write(path("junk.qxlseq"), "not a pattern");

    EXPECT_FALSE(importWaveFile(program, path("v1.qxlwav").c_str(), settings));
    EXPECT_EQ(platform.errors.back(), kUnknownFormatMessage);
    EXPECT_EQ(program.operators[0].harmonicAmplitudes[3], 0.0);
    EXPECT_FALSE(loadEnvelopeFile(program, path("empty.qxlenv").c_str(), settings));
    EXPECT_EQ(platform.errors.back(), kUnknownFormatMessage);
    EXPECT_FALSE(loadPatternFile(program, 0, path("junk.qxlseq").c_str(), settings));
    EXPECT_EQ(platform.errors.back(), kUnknownFormatMessage);
    EXPECT_FALSE(loadProgramFile(program, path("none.qxlprg").c_str(), nullptr, settings));
    EXPECT_EQ(platform.errors.back(), "Failed to open the file");
    EXPECT_STREQ(program.name, "noname");

    ASSERT_TRUE(importWaveFile(program, path("w.qxlwav").c_str(), settings));
    EXPECT_EQ(program.operators[0].harmonicAmplitudes[3], 0.5);
}

TEST_F(PatchFiles, ProgramFilesNameTheProgramAndMoveItsSamples) {
    std::strcpy(program.sampleSlots[2].samplePath, "C:\\Old\\Place\\kick.wav");
    std::strcpy(program.sampleSlots[3].samplePath, "/old/place/snare.aif");
    std::strcpy(program.sampleSlots[4].samplePath, "bare.wav");
    fineTune = 0.7;
    const std::string file = path("Warm Pad.qxlprg");
    ASSERT_TRUE(saveProgramFile(program, file.c_str(), settings));
    EXPECT_STREQ(program.name, "Warm Pad");

    fineTune = 0.5;
    CProgram loaded;
    loaded.fineTune = &fineTune;
    ASSERT_TRUE(loadProgramFile(loaded, file.c_str(), "Pads", settings));
    EXPECT_EQ(fineTune, 0.5); // program files leave the fine tune alone
    EXPECT_STREQ(loaded.name, "Warm Pad");
    EXPECT_STREQ(loaded.bankName, "Pads");
    EXPECT_STREQ(loaded.programFilePath, file.c_str());
    EXPECT_STREQ(settings.programPath, file.c_str());
    EXPECT_EQ(std::string(loaded.sampleSlots[2].samplePath), folder + "/kick.wav");
    EXPECT_EQ(std::string(loaded.sampleSlots[3].samplePath), folder + "/snare.aif");
    EXPECT_STREQ(loaded.sampleSlots[4].samplePath, "bare.wav");
}

TEST_F(PatchFiles, TuningFiles) {
    write(path("Just 5.tun"), "[Tuning]\nnote 60 = 6050\n");
    ASSERT_TRUE(loadTuningFile(program, path("Just 5.tun").c_str(), settings));
    EXPECT_STREQ(program.tuningName, "Just 5");
    EXPECT_NEAR(program.tuningRatios[60], std::pow(2.0, 50.0 / 1200.0), 1e-12);
    EXPECT_NEAR(program.tuningRatios[61], 1.0, 1e-12);

    write(path("bad.tun"), "[Tuning]\nnote 60 6050\n");
    EXPECT_FALSE(loadTuningFile(program, path("bad.tun").c_str(), settings));
    EXPECT_EQ(platform.errors.back(), "Syntax error: '=' missing! (line 2)");
    EXPECT_STREQ(program.tuningName, "Just 5");
    EXPECT_NEAR(program.tuningRatios[60], std::pow(2.0, 50.0 / 1200.0), 1e-12);

    char leaf[8];
    fileLeafName("C:\\a.b\\very long name.tun", leaf, sizeof leaf);
    EXPECT_STREQ(leaf, "very lo");
}

TEST_F(PatchFiles, ScalaScalesAndTheirKeyboardMappings) {
    const std::string scale = "! a fifth and an octave\nfifths\n2\n3/2\n2/1\n";
    const std::string mapping = "0\n0\n127\n60\n69\n440.0\n0\n"; // degree 0 on C, A at 440
    write(path("Fifths.scl"), scale);
    // A scale alone: degree 0 on middle C at its equal-tempered pitch.
    ASSERT_TRUE(loadTuningFile(program, path("Fifths.scl").c_str(), settings));
    EXPECT_STREQ(program.tuningName, "Fifths");
    EXPECT_NEAR(program.tuningRatios[60], 1.0, 1e-12);
    EXPECT_NEAR(program.tuningRatios[61] * 440.0 * std::pow(2.0, -8.0 / 12),
                261.6255653005986 * 1.5, 1e-9);

    // The mapping of the same name beside it comes along (either letter case).
    write(path("Fifths.KBM"), mapping);
    ASSERT_TRUE(loadTuningFile(program, path("Fifths.scl").c_str(), settings));
    EXPECT_NEAR(program.tuningRatios[69], 1.0, 1e-12); // key 69 is degree 9: 2^4 x 3/2 above 60
    EXPECT_NEAR(program.tuningRatios[60] * 261.6255653005986, 440.0 / 24.0, 1e-9);

    // A mapping chosen alone lays out the last scale read.
    write(path("A 432.kbm"), "0\n0\n127\n60\n60\n432.0\n0\n");
    ASSERT_TRUE(loadTuningFile(program, path("A 432.kbm").c_str(), settings));
    EXPECT_STREQ(program.tuningName, "Fifths / A 432");
    EXPECT_NEAR(program.tuningRatios[60] * 261.6255653005986, 432.0, 1e-9);

    // Broken files: the message in a box captioned "File Error", nothing changed.
    double before[kTuningNoteCount];
    std::memcpy(before, program.tuningRatios, sizeof before);
    write(path("Short.scl"), "short\n3\n100.0\n");
    write(path("Bad.kbm"), "0\n0\n127\n60\n60\nloud\n0\n");
    const std::pair<std::string, std::string> broken[] = {
        {path("Short.scl"), "Scale: 3 notes announced, 1 found"},
        {path("Bad.kbm"),
         "Keyboard mapping: the reference frequency is not a positive number of hertz (line 6)"},
        {path("Missing.scl"), "Error opening the file  '" + path("Missing.scl") + "'"},
    };
    for (const auto& [file, message] : broken) {
        EXPECT_FALSE(loadTuningFile(program, file.c_str(), settings)) << file;
        EXPECT_EQ(platform.errors.back(), message);
        EXPECT_EQ(platform.captions.back(), "File Error");
        EXPECT_STREQ(program.tuningName, "Fifths / A 432");
        EXPECT_EQ(std::memcmp(program.tuningRatios, before, sizeof before), 0);
    }

    // A mapping with no scale beside it and none read before says what it needs.
    ScriptedPlatform fresh;
    CPluginFile freshSettings(fresh);
    EXPECT_FALSE(loadTuningFile(program, path("A 432.kbm").c_str(), freshSettings));
    ASSERT_EQ(fresh.errors.size(), 1u);
    EXPECT_NE(fresh.errors[0].find("load the scale (.scl) first"), std::string::npos);
}
