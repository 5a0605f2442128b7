// quellor-render with Quellor's own program and chunk files: --program loads a
// program file as the editor does (its samples are found in the program's
// own folder), --chunk and --save-chunk move the host chunk.
#include "MidiBytes.h"
#include "base/ValueIds.h"
#include "patch/CMemAssembler.h"
#include "patch/CProgram.h"
#include "patch/ProgramFormat.h"
#include "support/SndfileWriter.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace fs = std::filesystem;
using namespace midibytes;

namespace {

struct ProgramRenderTest : ::testing::Test {
    fs::path dir;
    void SetUp() override {
        dir = fs::path(::testing::TempDir()) /
              ("quellor-program-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir / "bank");
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string path(const std::string& name) const { return (dir / name).string(); }

    // env: assignments put before the command ("NAME='value' ").
    int run(const std::vector<std::string>& args, const std::string& env = "") const {
        std::string command = env + "'" + QUELLOR_RENDER_PATH + "'";
        for (const std::string& a : args)
            command += " '" + a + "'";
        command += " >'" + path("stdout") + "' 2>'" + path("stderr") + "'";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // One note 60 held for a second at 120 BPM (96 ticks per quarter).
    std::string writeMidi() const {
        STrack notes;
        notes.at(0, {0x90, 60, 100}).at(192, {0x80, 60, 0}).end(0);
        const std::string p = path("note.mid");
        write(p, file(0, 96, {notes}));
        return p;
    }

    static void writeTone(const std::string& p) {
        std::vector<float> tone(44100);
        for (size_t i = 0; i < tone.size(); ++i)
            tone[i] = 0.5f * std::sin(float(i) * 0.0627f);
        ASSERT_TRUE(writeSndfile(p, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100, tone));
    }

    // A program whose only sound is the sample layer playing slot 0.
    static std::vector<uint8_t> sampleProgram(const std::string& samplePath) {
        CProgram p;
        std::snprintf(p.sampleSlots[0].samplePath, sizeof p.sampleSlots[0].samplePath, "%s",
                      samplePath.c_str());
        const int32_t slot = kSampleSlotFirstId;
        p.setValue(slot + kSampleSlotLowKeyOffset, 0.0);
        p.setValue(slot + kSampleSlotRootKeyOffset, 60 / 127.0);
        p.setValue(slot + kSampleSlotLevelOffset, 1.0);
        p.setValue(kSampleLevelId, 1.0);
        p.setValue(kMasterLevelId, 0.7);
        p.envelopes[0].setDepth(kEnvelopeSampleDestination, 1.0);
        CMemAssembler writer;
        EXPECT_TRUE(saveProgram(p, writer));
        uint8_t* bytes = nullptr;
        const int32_t n = writer.assemble(bytes);
        return std::vector<uint8_t>(bytes, bytes + n);
    }

    static void writeBytes(const std::string& p, const std::vector<uint8_t>& bytes) {
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }

    static std::vector<float> samples(const std::string& wav) {
        SF_INFO info = {};
        SNDFILE* f = sf_open(wav.c_str(), SFM_READ, &info);
        EXPECT_NE(f, nullptr) << wav;
        if (!f) return {};
        std::vector<float> frames(size_t(info.frames) * size_t(info.channels));
        sf_readf_float(f, frames.data(), info.frames);
        sf_close(f);
        return frames;
    }

    static double rmsDb(const std::vector<float>& x) {
        double sum = 0.0;
        for (float v : x)
            sum += double(v) * v;
        return 10.0 * std::log10(sum / double(x.size()) + 1e-30);
    }

    std::string text(const std::string& name) const {
        std::ifstream in(path(name));
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    static float peak(const std::string& wav) {
        const std::vector<float> frames = samples(wav);
        float p = 0.0f;
        for (float v : frames)
            p = std::max(p, std::fabs(v));
        return p;
    }
};

} // namespace

TEST_F(ProgramRenderTest, ProgramFilePlaysItsSamplesFromItsOwnFolder) {
    writeTone(path("bank/tone.wav"));
    // The stored path names a folder that does not exist here; loading the
    // program moves it into the program file's folder.
    writeBytes(path("bank/Sampled.qxlprg"), sampleProgram("C:\\Old Samples\\tone.wav"));
    const std::string midi = writeMidi();

    ASSERT_EQ(run({"--program", path("bank/Sampled.qxlprg"), "--midi", midi, "--out",
                   path("out.wav"), "--tail", "0.5"}),
              0);
    EXPECT_GT(peak(path("out.wav")), 0.05f);

    // Without the sample beside the program the same file is silent.
    fs::remove(path("bank/tone.wav"));
    ASSERT_EQ(run({"--program", path("bank/Sampled.qxlprg"), "--midi", midi, "--out",
                   path("silent.wav"), "--tail", "0.5"}),
              0);
    EXPECT_EQ(peak(path("silent.wav")), 0.0f);
}

TEST_F(ProgramRenderTest, ChunkInAndOut) {
    writeTone(path("tone.wav"));
    writeBytes(path("state.chunk"), sampleProgram(path("tone.wav")));
    const std::string midi = writeMidi();
    ASSERT_EQ(run({"--chunk", path("state.chunk"), "--save-chunk", path("saved.chunk"), "--set",
                   "0=0.5", "--midi", midi, "--out", path("out.wav")}),
              0);
    EXPECT_GT(peak(path("out.wav")), 0.05f);
    EXPECT_EQ(fs::file_size(path("saved.chunk")), fs::file_size(path("state.chunk")));

    // A chunk the plug-in refuses is handed over all the same, as hosts do:
    // the plug-in keeps its program and the render goes on.
    writeBytes(path("junk.chunk"), {1, 2, 3, 4, 5});
    EXPECT_EQ(run({"--chunk", path("junk.chunk"), "--midi", midi, "--out", path("x.wav")}), 0);
    // Files that cannot be read: one line on stderr and exit code 1.
    EXPECT_EQ(run({"--chunk", path("missing.chunk"), "--midi", midi, "--out", path("x.wav")}), 1);
    EXPECT_EQ(run({"--program", path("missing.qxlprg"), "--midi", midi, "--out", path("x.wav")}),
              1);
}

TEST_F(ProgramRenderTest, OversampleRendersTheHighQualityModeWhateverTheSettingsSay) {
    // A high trumpet note: plenty above the Nyquist frequency in the plain mode.
    STrack notes;
    notes.at(0, {0x90, 96, 100}).at(96, {0x80, 96, 0}).end(0);
    const std::string midi = path("high.mid");
    write(midi, file(0, 96, {notes}));
    const std::string trumpet = std::string(QUELLOR_SOURCE_DIR) +
                                "/data/QuellorData/Banks/06 Brass Strings and Winds/Trumpet.qxlprg";
    const std::vector<std::string> common = {"--program", trumpet, "--midi", midi, "--tail", "0.2"};
    auto with = [&](std::vector<std::string> more) {
        more.insert(more.begin(), common.begin(), common.end());
        return more;
    };

    ASSERT_EQ(run(with({"--oversample", "2", "--out", path("quality.wav")})), 0) << text("stderr");
    EXPECT_NE(text("stdout").find("voices at 2 x the rate"), std::string::npos) << text("stdout");
    ASSERT_EQ(run(with({"--out", path("plain.wav")})), 0) << text("stderr");
    EXPECT_EQ(text("stdout").find("x the rate"), std::string::npos) << text("stdout");
    // The user's own setting does not change a render.
    fs::create_directories(dir / "config" / "Quellor");
    std::ofstream(dir / "config" / "Quellor" / "Quellor.conf") << "quality=2\n";
    ASSERT_EQ(run(with({"--out", path("configured.wav")}),
                  "XDG_CONFIG_HOME='" + path("config") + "' QUELLOR_QUALITY=2 "),
              0);

    const std::vector<float> quality = samples(path("quality.wav"));
    const std::vector<float> plain = samples(path("plain.wav"));
    ASSERT_EQ(quality.size(), plain.size());
    EXPECT_NE(quality, plain);
    EXPECT_NEAR(rmsDb(quality), rmsDb(plain), 0.5);
    EXPECT_EQ(samples(path("configured.wav")), plain);

    EXPECT_EQ(run(with({"--oversample", "3", "--out", path("x.wav")})), 1);
    EXPECT_NE(text("stderr").find("bad oversampling \"3\" (expected 1 or 2)"), std::string::npos)
        << text("stderr");
    EXPECT_FALSE(fs::exists(path("x.wav")));
}
