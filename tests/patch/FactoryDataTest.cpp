// The factory data folder that installs beside the plug-in: its programs,
// envelopes, patterns and waves load through the editor's readers, and every
// tuning through the microtuning reader, without a single error message.
#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "patch/PatchFiles.h"
#include "support/ScriptedPlatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kData = fs::path(QUELLOR_SOURCE_DIR) / "data";

std::vector<fs::path> filesWith(const fs::path& folder, const char* extension) {
    std::vector<fs::path> out;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.path().extension() == extension) out.push_back(e.path());
    return out;
}

} // namespace

TEST(FactoryData, ProgramsLoadAndTheDefaultTuningIsStandard) {
    ScriptedPlatform platform;
    CPluginFile settings(platform);

    std::unique_ptr<CProgram> program(new CProgram);
    program->tuningRatios[5] = 1.5;
    ASSERT_TRUE(
        loadTuningFile(*program, (kData / "Microtuning/standard.TUN").string().c_str(), settings));
    EXPECT_STREQ(program->tuningName, "standard");
    for (int n = 0; n < 128; ++n)
        EXPECT_NEAR(program->tuningRatios[n], 1.0, 1e-9) << n;

    const std::vector<fs::path> programs = filesWith(kData / "QuellorData/Banks", ".qxlprg");
    for (const fs::path& file : programs) {
        std::unique_ptr<CProgram> p(new CProgram);
        EXPECT_TRUE(loadProgramFile(*p, file.string().c_str(), nullptr, settings)) << file;
        EXPECT_EQ(file.stem().string(), p->name);
    }
    EXPECT_GE(programs.size(), 128u);
    EXPECT_TRUE(platform.errors.empty());
}

// Each side file changes what it should: an envelope file the selected
// envelope's points, a pattern the sequencer's steps, a wave the spectrum.
TEST(FactoryData, SideFilesLoadThroughTheEditorsReaders) {
    ScriptedPlatform platform;
    CPluginFile settings(platform);
    const fs::path library = kData / "QuellorData";

    const std::vector<fs::path> envelopes = filesWith(library / "Envelopes", ".qxlenv");
    for (const fs::path& file : envelopes) {
        std::unique_ptr<CProgram> p(new CProgram);
        EXPECT_TRUE(loadEnvelopeFile(*p, file.string().c_str(), settings)) << file;
        EXPECT_GE(p->envelopes[0].pointCount, 3) << file;
    }
    const std::vector<fs::path> patterns = filesWith(library / "Patterns", ".qxlseq");
    for (const fs::path& file : patterns) {
        std::unique_ptr<CProgram> p(new CProgram);
        EXPECT_TRUE(loadPatternFile(*p, 1, file.string().c_str(), settings)) << file;
        EXPECT_EQ(p->sequencers[1].running, 0.0) << file << ": a pattern keeps the switch";
        bool sounds = false;
        for (double step : p->sequencers[1].steps)
            sounds = sounds || sequencerStepValue(step) > kSequencerHoldStep;
        EXPECT_TRUE(sounds) << file << " plays no note";
    }
    const std::vector<fs::path> waves = filesWith(library / "Waves", ".qxlwav");
    for (const fs::path& file : waves) {
        std::unique_ptr<CProgram> p(new CProgram);
        p->selectedOperator = 2;
        EXPECT_TRUE(importWaveFile(*p, file.string().c_str(), settings)) << file;
        double upper = 0.0;
        for (int h = 1; h < kHarmonicCount; ++h)
            upper += p->operators[2].harmonicAmplitudes[h];
        EXPECT_GT(upper, 0.0) << file << " is still a sine";
    }
    EXPECT_GE(envelopes.size(), 16u);
    EXPECT_GE(patterns.size(), 16u);
    EXPECT_GE(waves.size(), 16u);
    EXPECT_TRUE(platform.errors.empty());
}

// Every tuning reads without an error and differs from standard tuning
// somewhere, with A4 or middle C where its comment says.
TEST(FactoryData, TuningsReadWithoutErrors) {
    ScriptedPlatform platform;
    CPluginFile settings(platform);
    const std::vector<fs::path> tunings = filesWith(kData / "Microtuning", ".TUN");
    for (const fs::path& file : tunings) {
        if (file.filename() == "standard.TUN") continue;
        std::unique_ptr<CProgram> p(new CProgram);
        ASSERT_TRUE(loadTuningFile(*p, file.string().c_str(), settings)) << file;
        double furthest = 0.0;
        for (int n = 0; n < 128; ++n)
            furthest = std::max(furthest, std::fabs(p->tuningRatios[n] - 1.0));
        EXPECT_GT(furthest, 0.001) << file << " is standard tuning";
        const bool anchoredOnA = std::fabs(p->tuningRatios[69] - 1.0) < 1e-6;
        const bool anchoredOnC = std::fabs(p->tuningRatios[60] - 1.0) < 1e-6;
        EXPECT_TRUE(anchoredOnA || anchoredOnC) << file;
    }
    EXPECT_GE(tunings.size(), 9u);
    EXPECT_TRUE(platform.errors.empty());
}

// Every factory tuning's Scala form (the scale with its keyboard mapping
// beside it) tunes every key as its TUN file does.
TEST(FactoryData, ScalaFormsTuneAsTheirTunFiles) {
    ScriptedPlatform platform;
    CPluginFile settings(platform);
    const std::vector<fs::path> tunings = filesWith(kData / "Microtuning", ".TUN");
    for (const fs::path& tun : tunings) {
        fs::path scl = tun;
        scl.replace_extension(".scl");
        ASSERT_TRUE(fs::exists(scl)) << scl;
        std::unique_ptr<CProgram> fromTun(new CProgram), fromScala(new CProgram);
        ASSERT_TRUE(loadTuningFile(*fromTun, tun.string().c_str(), settings)) << tun;
        ASSERT_TRUE(loadTuningFile(*fromScala, scl.string().c_str(), settings)) << scl;
        EXPECT_STREQ(fromScala->tuningName, fromTun->tuningName);
        for (int n = 0; n < 128; ++n)
            ASSERT_NEAR(fromScala->tuningRatios[n] / fromTun->tuningRatios[n], 1.0, 1e-9)
                << scl << " key " << n;
    }
    EXPECT_TRUE(platform.errors.empty());
}

// The microtonal bank plays in the tunings its programs were made with, even
// with no tuning file at hand: each program carries its tuning.
TEST(FactoryData, MicrotonalProgramsCarryTheirTunings) {
    ScriptedPlatform platform;
    CPluginFile settings(platform);
    const std::vector<fs::path> programs =
        filesWith(kData / "QuellorData/Banks/10 Microtonal", ".qxlprg");
    for (const fs::path& file : programs) {
        std::unique_ptr<CProgram> p(new CProgram), tuning(new CProgram);
        ASSERT_TRUE(loadProgramFile(*p, file.string().c_str(), nullptr, settings)) << file;
        const fs::path tun = kData / "Microtuning" / (std::string(p->tuningName) + ".TUN");
        ASSERT_TRUE(loadTuningFile(*tuning, tun.string().c_str(), settings)) << file;
        for (int n = 0; n < 128; ++n)
            ASSERT_NEAR(p->tuningRatios[n], tuning->tuningRatios[n], 1e-9) << file << " key " << n;
    }
    EXPECT_GE(programs.size(), 10u);
    EXPECT_TRUE(platform.errors.empty());
}
