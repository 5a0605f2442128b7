#include "patch/CPluginFile.h"
#include "support/ScriptedPlatform.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(CPluginFile, RandomSequenceFromFreshState) {
    ScriptedPlatform platform;
    CPluginFile settings(platform);
    EXPECT_DOUBLE_EQ(settings.random(), 4009202705.0 / 4294967295.0);
    EXPECT_DOUBLE_EQ(settings.random(), 2593574640.0 / 4294967295.0);
    EXPECT_DOUBLE_EQ(settings.random(), 4225104667.0 / 4294967295.0);
}

TEST(CPluginFile, PathsBuiltFromConfiguredOrDefaultRoot) {
    ScriptedPlatform platform;
    platform.fallbackRoot = "/home/u/.local/share/Quellor";
    CPluginFile settings(platform);
    settings.init();
    EXPECT_STREQ(settings.rootFolder, "/home/u/.local/share/Quellor");
    EXPECT_STREQ(settings.programPath,
                 "/home/u/.local/share/Quellor/QuellorData/Banks/untitled.qxlprg");
    EXPECT_STREQ(settings.banksFolder, "/home/u/.local/share/Quellor/QuellorData/Banks/");
    EXPECT_STREQ(settings.wavesFolder, "/home/u/.local/share/Quellor/QuellorData/Waves/");
    EXPECT_STREQ(settings.tuningPath, "/home/u/.local/share/Quellor/Microtuning/standard.TUN");
    EXPECT_STREQ(settings.envelopePath,
                 "/home/u/.local/share/Quellor/QuellorData/Envelopes/untitled.qxlenv");
    EXPECT_STREQ(settings.patternPath,
                 "/home/u/.local/share/Quellor/QuellorData/Patterns/untitled.qxlseq");
    EXPECT_STREQ(settings.samplePath, "");

    // A second instance's init does not read the settings again.
    platform.rootFolder = "/d/Synth";
    settings.init();
    EXPECT_STREQ(settings.rootFolder, "/home/u/.local/share/Quellor");

    CPluginFile other(platform);
    other.init();
    EXPECT_STREQ(other.banksFolder, "/d/Synth/QuellorData/Banks/");
}

TEST(CPluginFile, OverlongRootIsCutToTheBuffers) {
    ScriptedPlatform platform;
    platform.rootFolder = std::string(600, 'x');
    CPluginFile settings(platform);
    settings.init();
    EXPECT_EQ(std::strlen(settings.rootFolder), CPluginFile::kPathCapacity - 1);
    EXPECT_EQ(std::strlen(settings.programPath), CPluginFile::kPathCapacity - 1);
}

TEST(CPluginFile, MessagesGoThroughThePlatform) {
    ScriptedPlatform platform;
    CPluginFile settings(platform);
    settings.showError("Failed to open the file");
    platform.yesNoAnswers.push_back(true);
    EXPECT_TRUE(settings.askYesNo("Overwrite?"));
    EXPECT_FALSE(settings.askYesNo("Again?"));
    ASSERT_EQ(platform.errors.size(), 1u);
    EXPECT_EQ(platform.errors[0], "Failed to open the file");
    EXPECT_EQ(platform.questions.size(), 2u);
}

TEST(CPluginFile, QualityIsHighOnlyWhenTheSettingSaysTwo) {
    ScriptedPlatform platform;
    CPluginFile settings(platform);
    const std::pair<const char*, int32_t> cases[] = {
        {"", CPluginFile::kPlainQuality},     {"1", CPluginFile::kPlainQuality},
        {"2", CPluginFile::kHighQuality},     {" 2\t", CPluginFile::kHighQuality},
        {"3", CPluginFile::kPlainQuality},    {"2x", CPluginFile::kPlainQuality},
        {"high", CPluginFile::kPlainQuality},
    };
    for (const auto& [text, quality] : cases) {
        platform.quality = text;
        EXPECT_EQ(settings.qualitySetting(), quality) << '"' << text << '"';
    }
    // Only the two known values are ever written.
    EXPECT_TRUE(settings.storeQualitySetting(CPluginFile::kHighQuality));
    EXPECT_EQ(platform.quality, "2");
    EXPECT_TRUE(settings.storeQualitySetting(7));
    EXPECT_EQ(platform.quality, "1");
    platform.qualityStorable = false;
    EXPECT_FALSE(settings.storeQualitySetting(CPluginFile::kHighQuality));
}

TEST(CPluginFile, ProgramChangeIsOnUnlessTheSettingSaysOff) {
    ScriptedPlatform platform;
    CPluginFile settings(platform);
    const std::pair<const char*, bool> cases[] = {
        {"", true},   {"1", true},    {"on", true},      {"yes", true}, {"maybe", true},
        {"0", false}, {"off", false}, {" Off\t", false}, {"NO", false}, {"false", false},
    };
    for (const auto& [text, on] : cases) {
        platform.programChange = text;
        EXPECT_EQ(settings.programChangeSetting(), on) << '"' << text << '"';
    }
}
