// quellor-render playing a chord into a program whose pattern sequencer runs:
// the steps follow the tempo the tool gives the plug-in, a constant one from
// the command line or the MIDI file's own tempo map.
#include "MidiBytes.h"

#include "host/ProgramChunk.h"
#include "patch/CProgram.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <string>
#include <vector>

using namespace midibytes;

namespace {

constexpr int kRate = 44100;
constexpr uint16_t kTicksPerQuarter = 96;

std::string quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

class SequencerRenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::path(::testing::TempDir()) /
              ("quellor-sequencer-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        // A pluck per step out of silence, so that every step shows as an onset.
        CProgram p;
        makeSineVoice(p, 0.0);
        runSequencer(p, 0, {0, 4, 7, 12});
        const std::vector<uint8_t> chunk = programChunk(p);
        ASSERT_FALSE(chunk.empty());
        std::ofstream(path("seq.chunk"), std::ios::binary)
            .write(reinterpret_cast<const char*>(chunk.data()), std::streamsize(chunk.size()));
        // C major held from beat 0 to tick 326 (3.396 beats); 100 BPM for two
        // beats, then 200 BPM.
        STrack tempo;
        tempo.tempo(0, 600000).tempo(2 * kTicksPerQuarter, 300000).end();
        STrack chord;
        chord.at(0, {0x90, 60, 100}).at(0, {0x90, 64, 100}).at(0, {0x90, 67, 100});
        chord.at(326, {0x80, 60, 0}).at(0, {0x80, 64, 0}).at(0, {0x80, 67, 0}).end(0);
        write(path("chord.mid"), file(1, kTicksPerQuarter, {tempo, chord}));
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string path(const char* name) const { return (dir / name).string(); }

    // Renders the chord through the sequencer program; left channel of the WAV.
    std::vector<float> render(const std::vector<std::string>& extra) const {
        std::string command = quoted(QUELLOR_RENDER_PATH);
        std::vector<std::string> args = {
            "--rate",  std::to_string(kRate), "--block", "64",
            "--chunk", path("seq.chunk"),     "--midi",  path("chord.mid"),
            "--out",   path("out.wav"),       "--tail",  "0.3"};
        args.insert(args.end(), extra.begin(), extra.end());
        for (const std::string& a : args)
            command += " " + quoted(a);
        command += " >/dev/null 2>" + quoted(path("stderr"));
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        SF_INFO info = {};
        SNDFILE* f = sf_open(path("out.wav").c_str(), SFM_READ, &info);
        EXPECT_NE(f, nullptr);
        if (!f) return {};
        EXPECT_EQ(info.samplerate, kRate);
        std::vector<float> frames(size_t(info.frames) * size_t(info.channels));
        sf_readf_float(f, frames.data(), info.frames);
        sf_close(f);
        std::vector<float> left;
        for (sf_count_t i = 0; i < info.frames; ++i)
            left.push_back(frames[size_t(i) * size_t(info.channels)]);
        return left;
    }

    std::filesystem::path dir;
};

// Frames where a pluck starts: above 1 % of the peak after 20 ms below it.
std::vector<int64_t> noteStarts(const std::vector<float>& x) {
    float loudest = 0.0f;
    for (float v : x)
        loudest = std::fmax(loudest, std::fabs(v));
    EXPECT_GT(loudest, 0.01f);
    std::vector<int64_t> found;
    const int64_t quiet = kRate / 50;
    int64_t below = quiet;
    for (size_t i = 0; i < x.size(); ++i) {
        if (std::fabs(x[i]) > loudest * 0.01f) {
            if (below >= quiet) found.push_back(int64_t(i));
            below = 0;
        } else {
            ++below;
        }
    }
    return found;
}

// Each start within 5 ms of its step (the first step shares frame 0 with the
// chord, so its onset is the voice's own start-up time).
void expectStarts(const std::vector<int64_t>& found, const std::vector<double>& expected) {
    ASSERT_EQ(found.size(), expected.size());
    for (size_t k = 0; k < found.size(); ++k)
        EXPECT_NEAR(double(found[k] - found[0]), expected[k], kRate * 0.005) << "step " << k;
}

} // namespace

TEST_F(SequencerRenderTest, StepsFollowTheCommandLineTempo) {
    // 120 BPM: one step per 5512.5 frames while the chord (1.698 s) is held.
    std::vector<double> expected;
    for (int k = 0; k * 5512.5 < 3.396 * 0.5 * kRate; ++k)
        expected.push_back(k * 5512.5);
    expectStarts(noteStarts(render({"--tempo", "120"})), expected);
}

TEST_F(SequencerRenderTest, StepsFollowTheFilesTempoMap) {
    // Eight steps of 6615 frames at 100 BPM up to 1.2 s, then steps of
    // 3307.5 frames at 200 BPM until the chord ends at 1.619 s.
    std::vector<double> expected;
    for (int k = 0; k < 8; ++k)
        expected.push_back(k * 6615.0);
    const double end = (1.2 + 1.396 * 0.3) * kRate;
    for (double t = 1.2 * kRate; t < end; t += 3307.5)
        expected.push_back(t);
    expectStarts(noteStarts(render({})), expected);
}
