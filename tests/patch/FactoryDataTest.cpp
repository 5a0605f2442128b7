// The factory data folder that installs beside the plug-in: its programs load
// and its default tuning is standard tuning.
#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "patch/PatchFiles.h"
#include "support/ScriptedPlatform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

TEST(FactoryData, ProgramsLoadAndTheDefaultTuningIsStandard) {
    ScriptedPlatform platform;
    CPluginFile settings(platform);
    const fs::path data = fs::path(QUELLOR_SOURCE_DIR) / "data";

    CProgram program;
    program.tuningRatios[5] = 1.5;
    ASSERT_TRUE(
        loadTuningFile(program, (data / "Microtuning/standard.TUN").string().c_str(), settings));
    EXPECT_STREQ(program.tuningName, "standard");
    for (int n = 0; n < 128; ++n)
        EXPECT_NEAR(program.tuningRatios[n], 1.0, 1e-9) << n;

    int programs = 0;
    for (const auto& bank : fs::directory_iterator(data / "QuellorData/Banks"))
        for (const auto& file : fs::directory_iterator(bank.path())) {
            // Samples live beside the programs that play them.
            if (file.path().extension() != ".qxlprg") continue;
            CProgram p;
            EXPECT_TRUE(loadProgramFile(p, file.path().string().c_str(), nullptr, settings))
                << file.path();
            ++programs;
        }
    EXPECT_GE(programs, 1);
    EXPECT_TRUE(platform.errors.empty());
}
