// quellor-program turns the text sources into the factory data folder, and
// quellor-render previews a bank: the committed data must be exactly what the
// sources build, a broken source must say where it is broken, and a bank
// preview must give one WAV file and one table row per program.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kSource = QUELLOR_SOURCE_DIR;

struct FactoryBuildTest : ::testing::Test {
    fs::path dir;
    void SetUp() override {
        dir = fs::path(::testing::TempDir()) /
              ("quellor-factory-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    int run(const char* tool, const std::vector<std::string>& args) const {
        std::string command = std::string("'") + tool + "'";
        for (const std::string& a : args)
            command += " '" + a + "'";
        command += " >'" + (dir / "stdout").string() + "' 2>'" + (dir / "stderr").string() + "'";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string text(const char* name) const { return bytes(dir / name); }
    static std::string bytes(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

} // namespace

TEST_F(FactoryBuildTest, TheCommittedDataIsWhatTheSourcesBuild) {
    const fs::path built = dir / "data";
    fs::create_directories(built);
    fs::copy(kSource / "data/Microtuning", built / "Microtuning");
    ASSERT_EQ(run(QUELLOR_PROGRAM_PATH, {(kSource / "sounds").string(), built.string()}), 1)
        << "a missing command word is a usage error";
    ASSERT_EQ(
        run(QUELLOR_PROGRAM_PATH, {"build-data", (kSource / "sounds").string(), built.string()}), 0)
        << text("stderr");

    int compared = 0;
    for (const auto& e : fs::recursive_directory_iterator(built / "QuellorData")) {
        if (!e.is_regular_file()) continue;
        const fs::path relative = fs::relative(e.path(), built);
        EXPECT_EQ(bytes(e.path()), bytes(kSource / "data" / relative))
            << relative << " differs from its source; rebuild with quellor-program build-data";
        ++compared;
    }
    // And nothing committed lacks a source.
    for (const auto& e : fs::recursive_directory_iterator(kSource / "data/QuellorData")) {
        const fs::path relative = fs::relative(e.path(), kSource / "data");
        if (e.is_regular_file() && e.path().extension() != ".txt") {
            EXPECT_TRUE(fs::exists(built / relative)) << relative << " has no source";
        }
    }
    EXPECT_GE(compared, 128 + 3 * 16);
}

TEST_F(FactoryBuildTest, ABrokenSourceNamesItsLineAndWritesNothing) {
    struct Case {
        const char* source;
        const char* message;
    };
    const Case cases[] = {
        {"name = X\nop1.ratio = 1\nop1.volume = 2\n", ":3: unknown operator key \"volume\""},
        {"op1.ratio = fast\n", ":1: \"fast\" is not a number"},
        {"[envelope]\ntarget = cutoff\nop1 = 1\n", ":3: this target cannot reach \"op1\""},
        {"seq1.steps = 0 4 30\n", ":1: step \"30\" is not -24..24, - or ~"},
        {"op1.wave = No Such Wave\n", "cannot open the file"},
        {"sample1.level = 1\n", ":1: name the sample's file before its values"},
    };
    for (const Case& c : cases) {
        const fs::path source = dir / "broken.txt", out = dir / "broken.qxlprg";
        std::ofstream(source) << c.source;
        EXPECT_EQ(run(QUELLOR_PROGRAM_PATH, {"build", source.string(), out.string()}), 1)
            << c.source;
        EXPECT_NE(text("stderr").find(c.message), std::string::npos)
            << c.source << " gave: " << text("stderr");
        EXPECT_FALSE(fs::exists(out)) << c.source;
    }
}

TEST_F(FactoryBuildTest, ABankPreviewRendersEveryProgramAndTabulatesItsLoudness) {
    const fs::path bank = dir / "bank", out = dir / "previews";
    fs::create_directories(bank);
    for (const char* name : {"Amber Tines", "Funk Clav"})
        fs::copy(kSource / "data/QuellorData/Banks/01 Keys" / (std::string(name) + ".qxlprg"),
                 bank);
    const std::string midi = (kSource / "examples/preview.mid").string();
    ASSERT_EQ(run(QUELLOR_RENDER_PATH, {"--midi", midi, "--tail", "0", "--bank", bank.string(),
                                        "--out-dir", out.string()}),
              0)
        << text("stderr");
    const std::string table = text("stdout");
    EXPECT_NE(table.find("LUFS"), std::string::npos) << table;
    for (const char* name : {"Amber Tines", "Funk Clav"}) {
        EXPECT_TRUE(fs::file_size(out / (std::string(name) + ".wav")) > 44100) << name;
        const size_t row = table.find(name);
        ASSERT_NE(row, std::string::npos) << table;
        double lufs = 0, peak = 0, seconds = 0;
        ASSERT_EQ(std::sscanf(table.c_str() + row + 32, "%lf %lf %lf", &lufs, &peak, &seconds), 3)
            << table;
        EXPECT_GT(lufs, -30.0);
        EXPECT_LT(lufs, -10.0);
        EXPECT_LE(peak, -1.0);
        EXPECT_NEAR(seconds, 2.5, 0.01);
    }

    EXPECT_EQ(run(QUELLOR_RENDER_PATH, {"--midi", midi, "--bank", bank.string()}), 1);
    EXPECT_NE(text("stderr").find("--out-dir"), std::string::npos) << text("stderr");
    fs::create_directories(dir / "empty");
    EXPECT_EQ(run(QUELLOR_RENDER_PATH,
                  {"--midi", midi, "--bank", (dir / "empty").string(), "--out-dir", out.string()}),
              1);
    EXPECT_NE(text("stderr").find("no programs"), std::string::npos) << text("stderr");
}
