// quellor-render run as a user runs it: real binary, real files. A small test
// instrument (fixtures/TestSynth.cpp) renders its gate on the left channel and
// the host tempo (BPM / 1000) on the right, so the WAV file shows where each
// note landed and which tempo the plug-in was told.
#include "MidiBytes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sstream>
#include <sys/wait.h>

using namespace midibytes;

namespace {

struct SRun {
    int exitCode = -1;
    std::string out, err;
};

std::string quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class RenderCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::path(::testing::TempDir()) /
              ("quellor-render-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string path(const char* name) const { return (dir / name).string(); }

    // env: "NAME=value " prefix for the command, or empty.
    SRun run(const std::vector<std::string>& args, const std::string& env = "") const {
        std::string command = env + quoted(QUELLOR_RENDER_PATH);
        for (const std::string& a : args)
            command += " " + quoted(a);
        command += " >" + quoted(path("stdout")) + " 2>" + quoted(path("stderr"));
        const int status = std::system(command.c_str());
        SRun r;
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = slurp(path("stdout"));
        r.err = slurp(path("stderr"));
        return r;
    }

    // One note at beat 1 (velocity 127) released at beat 2, at 100 BPM; 200 BPM
    // from beat 2, and a second note at beat 3. 96 ticks per quarter note.
    std::string writeTestMidi() const {
        STrack tempo;
        tempo.tempo(0, 600000).tempo(192, 300000).end();
        STrack notes;
        notes.at(96, {0x90, 60, 127}).at(96, {0x80, 60, 0}).at(96, {0x90, 64, 127}).end(0);
        const std::string p = path("test.mid");
        write(p, file(1, 96, {tempo, notes}));
        return p;
    }

    std::filesystem::path dir;
};

struct SWav {
    SF_INFO info = {};
    std::vector<float> left, right;
};

SWav readWav(const std::string& path) {
    SWav w;
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &w.info);
    EXPECT_NE(f, nullptr) << path;
    if (!f) return w;
    std::vector<float> frames(size_t(w.info.frames) * size_t(w.info.channels));
    sf_readf_float(f, frames.data(), w.info.frames);
    sf_close(f);
    for (sf_count_t i = 0; i < w.info.frames; ++i) {
        w.left.push_back(frames[size_t(i) * 2]);
        w.right.push_back(frames[size_t(i) * 2 + 1]);
    }
    return w;
}

} // namespace

TEST_F(RenderCommandTest, RendersNotesAtTheirSampleAndTellsThePluginTheFileTempo) {
    const std::string out = path("out.wav");
    const SRun r = run({"--plugin", QUELLOR_TEST_SYNTH_PATH, "--rate", "48000", "--block", "512",
                        "--tail", "0.5", "--midi", writeTestMidi(), "--out", out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("peak 0.00 dBFS (1.0000)"), std::string::npos) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1);

    const SWav w = readWav(out);
    EXPECT_EQ(w.info.samplerate, 48000);
    EXPECT_EQ(w.info.channels, 2);
    EXPECT_EQ(w.info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    // The file ends at beat 3: 2 beats at 100 BPM + 1 at 200 = 1.5 s, plus 0.5 s tail.
    ASSERT_EQ(w.info.frames, 96000);
    // Note on at 0.6 s = frame 28800 = block 56 + 128 frames: exactly there.
    EXPECT_EQ(w.left[28799], 0.0f);
    EXPECT_EQ(w.left[28800], 1.0f);
    // Note off at 1.2 s = frame 57600 (delta 256 in its block).
    EXPECT_EQ(w.left[57599], 1.0f);
    EXPECT_EQ(w.left[57600], 0.0f);
    // Second note at 1.5 s, timed through the tempo change.
    EXPECT_EQ(w.left[71999], 0.0f);
    EXPECT_EQ(w.left[72000], 1.0f);
    // The transport follows the tempo map block by block.
    EXPECT_FLOAT_EQ(w.right[0], 0.1f);
    EXPECT_FLOAT_EQ(w.right[57599], 0.1f); // block starting before the change
    EXPECT_FLOAT_EQ(w.right[60000], 0.2f);
}

TEST_F(RenderCommandTest, TempoOptionRetimesTheFileAndSetAppliesParameters) {
    const std::string out = path("out.wav");
    const SRun r =
        run({"--plugin", QUELLOR_TEST_SYNTH_PATH, "--rate=44100", "--block", "100", "--tempo",
             "150", "--set", "0=0.5", "--tail", "0", "--midi", writeTestMidi(), "--out", out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const SWav w = readWav(out);
    EXPECT_EQ(w.info.samplerate, 44100);
    // 3 beats at 150 BPM = 1.2 s.
    ASSERT_EQ(w.info.frames, 52920);
    // Note on at 0.4 s = frame 17640 (block 176, delta 40).
    EXPECT_EQ(w.left[17639], 0.0f);
    EXPECT_EQ(w.left[17640], 0.5f);
    for (size_t i = 0; i < w.right.size(); i += 997)
        ASSERT_FLOAT_EQ(w.right[i], 0.15f) << i;
}

TEST_F(RenderCommandTest, AChunkIsGivenWhateverThePluginAnswers) {
    // The test synth answers 0 to effSetChunk, as many plug-ins do after
    // taking the chunk; hosts do not read that answer, nor does the renderer.
    const std::string chunk = path("gain.chunk");
    {
        const float gain = 0.25f;
        std::ofstream f(chunk, std::ios::binary);
        f.write(reinterpret_cast<const char*>(&gain), sizeof gain);
    }
    const std::string out = path("out.wav");
    const SRun r = run({"--plugin", QUELLOR_TEST_SYNTH_PATH, "--chunk", chunk, "--tail", "0",
                        "--midi", writeTestMidi(), "--out", out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const SWav w = readWav(out);
    EXPECT_EQ(*std::max_element(w.left.begin(), w.left.end()), 0.25f);
}

TEST_F(RenderCommandTest, FailuresGiveOneLineAndExitCodeOne) {
    const std::string midi = writeTestMidi();
    const std::string notMidi = path("not.mid");
    write(notMidi, {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1});
    const std::string notPlugin = path("text.so");
    write(notPlugin, {'h', 'e', 'l', 'l', 'o'});
    const std::string out = path("out.wav");
    const std::string synth = QUELLOR_TEST_SYNTH_PATH;

    const struct {
        const char* name;
        std::vector<std::string> args;
        std::string env;
        const char* message; // a part of the expected line
    } cases[] = {
        {"missing plug-in",
         {"--plugin", path("none.so"), "--midi", midi, "--out", out},
         "",
         "cannot load plug-in"},
        {"text file as plug-in",
         {"--plugin", notPlugin, "--midi", midi, "--out", out},
         "",
         "cannot load plug-in"},
        {"library without entry",
         {"--plugin", QUELLOR_NO_ENTRY_PATH, "--midi", midi, "--out", out},
         "",
         "not a VST plug-in"},
        {"entry answers null",
         {"--plugin", synth, "--midi", midi, "--out", out},
         "QUELLOR_TEST_SYNTH_MODE=null ",
         "returned no effect"},
        {"entry answers a foreign record",
         {"--plugin", synth, "--midi", midi, "--out", out},
         "QUELLOR_TEST_SYNTH_MODE=bad-magic ",
         "wrong magic"},
        {"mono plug-in",
         {"--plugin", synth, "--midi", midi, "--out", out},
         "QUELLOR_TEST_SYNTH_MODE=mono ",
         "stereo"},
        {"malformed MIDI",
         {"--plugin", synth, "--midi", notMidi, "--out", out},
         "",
         "not a usable MIDI file"},
        {"missing MIDI",
         {"--plugin", synth, "--midi", path("none.mid"), "--out", out},
         "",
         "cannot open MIDI file"},
        {"unwritable output",
         {"--plugin", synth, "--midi", midi, "--out", path("no/such/dir/out.wav")},
         "",
         "cannot write"},
        {"unknown parameter",
         {"--plugin", synth, "--set", "2=0.5", "--midi", midi, "--out", out},
         "",
         "parameter 2 does not exist"},
        {"parameter value out of range",
         {"--set", "0=1.5", "--midi", midi, "--out", out},
         "",
         "bad parameter setting"},
        {"unknown option", {"--loud", "--midi", midi, "--out", out}, "", "unknown option"},
        {"option without its value", {"--midi", midi, "--out"}, "", "needs FILE.wav"},
        {"bad block size", {"--block", "0", "--midi", midi, "--out", out}, "", "block size"},
        {"bad tempo", {"--tempo", "nan", "--midi", midi, "--out", out}, "", "tempo"},
        {"no MIDI file", {"--out", out}, "", "no MIDI file"},
    };
    for (const auto& c : cases) {
        const SRun r = run(c.args, c.env);
        EXPECT_EQ(r.exitCode, 1) << c.name;
        EXPECT_EQ(r.err.rfind("quellor-render: ", 0), 0u) << c.name << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.name << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.name << ": " << r.err;
        EXPECT_EQ(r.out, "") << c.name;
        EXPECT_FALSE(std::filesystem::exists(out)) << c.name;
    }
}

TEST_F(RenderCommandTest, HelpListsTheOptions) {
    const SRun r = run({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    for (const char* option : {"--plugin", "--rate", "--block", "--tempo", "--set", "--tail",
                               "--oversample", "--midi", "--out"})
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
}
