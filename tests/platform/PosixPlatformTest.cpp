// The Linux backend: where the data root comes from, folder listings, and the
// decimal separator that never touches the process-wide locale.
#include "platform/IPlatform.h"
#include "support/ScopedEnv.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {

struct PosixPlatformTest : ::testing::Test {
    fs::path dir = fs::path(::testing::TempDir()) / "quellor-posix-platform";
    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir / "config/Quellor");
    }
    void TearDown() override { fs::remove_all(dir); }
};

} // namespace

TEST_F(PosixPlatformTest, RootFromEnvironmentThenConfigFileThenDefault) {
    IPlatform& p = nativePlatform();
    ScopedEnv config("XDG_CONFIG_HOME", (dir / "config").c_str());
    ScopedEnv data("XDG_DATA_HOME", "/data/home");
    {
        ScopedEnv root("QUELLOR_ROOT", nullptr);
        EXPECT_EQ(p.configuredRootFolder(), "");
        EXPECT_EQ(p.defaultRootFolder(), "/data/home/Quellor");
        std::ofstream(dir / "config/Quellor/Quellor.conf") << "# comment\nrootFolder=/srv/q\n";
        EXPECT_EQ(p.configuredRootFolder(), "/srv/q");
    }
    ScopedEnv root("QUELLOR_ROOT", "/from/env");
    EXPECT_EQ(p.configuredRootFolder(), "/from/env");
    ScopedEnv noData("XDG_DATA_HOME", nullptr);
    ScopedEnv home("HOME", "/home/user");
    EXPECT_EQ(p.defaultRootFolder(), "/home/user/.local/share/Quellor");
}

TEST_F(PosixPlatformTest, QualityFromEnvironmentThenConfigFileAndStoredBesideTheOtherLines) {
    IPlatform& p = nativePlatform();
    ScopedEnv config("XDG_CONFIG_HOME", (dir / "config").c_str());
    ScopedEnv noQuality("QUELLOR_QUALITY", nullptr);
    EXPECT_EQ(p.configuredQuality(), "");
    const fs::path file = dir / "config/Quellor/Quellor.conf";
    std::ofstream(file) << "rootFolder=/srv/q\nquality=1\nscale=2\n";
    EXPECT_EQ(p.configuredQuality(), "1");
    EXPECT_EQ(p.configuredScale(), "2");

    ASSERT_TRUE(p.storeQuality("2"));
    EXPECT_EQ(p.configuredQuality(), "2");
    EXPECT_EQ(p.configuredRootFolder(), "/srv/q");
    std::ifstream in(file);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "rootFolder=/srv/q\nscale=2\nquality=2\n");
    EXPECT_FALSE(fs::exists(dir / "config/Quellor/Quellor.conf.new"));

    // A folder that does not exist yet is made.
    fs::remove_all(dir / "config");
    ASSERT_TRUE(p.storeQuality("1"));
    EXPECT_EQ(p.configuredQuality(), "1");

    ScopedEnv quality("QUELLOR_QUALITY", "2");
    EXPECT_EQ(p.configuredQuality(), "2");
}

TEST_F(PosixPlatformTest, ProgramChangeSwitchFromEnvironmentThenConfigFile) {
    IPlatform& p = nativePlatform();
    ScopedEnv config("XDG_CONFIG_HOME", (dir / "config").c_str());
    ScopedEnv unset("QUELLOR_PROGRAM_CHANGE", nullptr);
    EXPECT_EQ(p.configuredProgramChange(), "");
    std::ofstream(dir / "config/Quellor/Quellor.conf") << "quality=2\nprogramChange=off\n";
    EXPECT_EQ(p.configuredProgramChange(), "off");
    ScopedEnv on("QUELLOR_PROGRAM_CHANGE", "on");
    EXPECT_EQ(p.configuredProgramChange(), "on");
}

TEST_F(PosixPlatformTest, ListsFoldersAndFiles) {
    IPlatform& p = nativePlatform();
    fs::create_directories(dir / "list/Bank");
    std::ofstream(dir / "list/a.qxlprg") << "x";
    auto entries = p.listFolder((dir / "list").string());
    ASSERT_EQ(entries.size(), 2u);
    int folders = 0;
    for (const FolderEntry& e : entries)
        folders += e.isDirectory ? 1 : 0;
    EXPECT_EQ(folders, 1);
    EXPECT_TRUE(p.listFolder((dir / "missing").string()).empty());
    EXPECT_EQ(p.pathSeparator(), '/');
}

TEST_F(PosixPlatformTest, DecimalSeparatorLeavesTheProcessLocaleAlone) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    const char sep = nativePlatform().decimalSeparator();
    EXPECT_TRUE(sep == '.' || sep == ',');
    EXPECT_EQ(before, std::setlocale(LC_ALL, nullptr));
}

TEST_F(PosixPlatformTest, DialogsWithoutADisplayAnswerNoAndCancel) {
    ScopedEnv display("DISPLAY", nullptr);
    ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
    IPlatform& p = nativePlatform();
    EXPECT_FALSE(p.askYesNo("Quellor", "Overwrite?"));
    char path[260] = "/tmp/x.qxlprg";
    EXPECT_FALSE(
        p.chooseFile(path, sizeof path, "Load Program", "*.qxlprg", "Program", nullptr, true));
}
