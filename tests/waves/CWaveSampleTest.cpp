// Fixtures are written at test time by libsndfile (or built byte by byte where
// libsndfile cannot write the chunk layout wanted) and read back by our readers;
// libsndfile's own reading of the same file is the reference.
#include "waves/CWaveSample.h"
#include "support/SndfileWriter.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string tempPath(const std::string& name) {
    return std::string(::testing::TempDir()) + "quellor_wave_" + std::to_string(getpid()) + "_" +
           name;
}

std::vector<float> testSignal(int frames, int channels) {
    std::vector<float> v(size_t(frames) * channels);
    uint32_t state = 12345;
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) {
            state = state * 1664525u + 1013904223u;
            const float noise = float(state >> 8) / 16777216.0f - 0.5f;
            v[size_t(i) * channels + c] =
                0.6f * std::sin(0.05f * i * (c + 1)) + 0.3f * noise + (i == 7 ? 0.05f : 0.0f);
        }
    return v;
}

std::vector<float> readSndfile(const std::string& path, SF_INFO& info) {
    info = {};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    std::vector<float> v;
    if (!f) return v;
    v.resize(size_t(info.frames) * info.channels);
    sf_readf_float(f, v.data(), info.frames);
    sf_close(f);
    return v;
}

std::vector<uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& b) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

void put32le(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}
void put16le(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void putId(std::vector<uint8_t>& b, const char* id) {
    b.insert(b.end(), id, id + 4);
}

struct WavFormat {
    uint32_t tag = 1, channels = 1, rate = 44100, blockAlign = 2, bits = 16;
    uint32_t byteRate() const { return rate * blockAlign; }
};

std::vector<uint8_t> fmtChunk(const WavFormat& w) {
    std::vector<uint8_t> b;
    putId(b, "fmt ");
    put32le(b, 16);
    put16le(b, w.tag);
    put16le(b, w.channels);
    put32le(b, w.rate);
    put32le(b, w.byteRate());
    put16le(b, w.blockAlign);
    put16le(b, w.bits);
    return b;
}

std::vector<uint8_t> smplChunk(uint32_t start, uint32_t end) {
    std::vector<uint8_t> b;
    putId(b, "smpl");
    put32le(b, 60);
    for (int i = 0; i < 7; ++i)
        put32le(b, 0); // manufacturer .. SMPTE offset
    put32le(b, 1);     // loop count
    put32le(b, 0);     // sampler data
    put32le(b, 0);     // cue id
    put32le(b, 0);     // loop type
    put32le(b, start);
    put32le(b, end);
    put32le(b, 0); // fraction
    put32le(b, 0); // play count
    return b;
}

std::vector<uint8_t> dataChunk(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> b;
    putId(b, "data");
    put32le(b, uint32_t(samples.size() * 2));
    for (int16_t s : samples)
        put16le(b, uint16_t(s));
    return b;
}

std::vector<uint8_t> riff(const std::vector<std::vector<uint8_t>>& chunks) {
    std::vector<uint8_t> body;
    putId(body, "WAVE");
    for (const auto& c : chunks)
        body.insert(body.end(), c.begin(), c.end());
    std::vector<uint8_t> b;
    putId(b, "RIFF");
    put32le(b, uint32_t(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

} // namespace

TEST(WaveSample, ReadsWhatLibsndfileWritesWithinOneStep) {
    struct Case {
        const char* name;
        int format;
        int channels;
        int rate;
        bool aiff;
        float step; // one step of the stored resolution
    } cases[] = {
        {"w16m441.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100, false, 1.0f / 32768},
        {"w16s48.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 48000, false, 1.0f / 32768},
        {"w24m48.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, 48000, false, 1.0f / 8388608},
        {"w24s441.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 44100, false, 1.0f / 8388608},
        {"w32s441.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 2, 44100, false, 1.0f / 8388608},
        {"wfs48.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 48000, false, 1e-7f},
        {"a16s441.aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 44100, true, 1.0f / 32768},
        {"a16m22.aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1, 22050, true, 1.0f / 32768},
        {"a24m48.aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 1, 48000, true, 1.0f / 8388608},
        {"a24s441.aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 2, 44100, true, 1.0f / 8388608},
    };
    const int frames = 1001; // odd: exercises the pad byte of mono 16-bit data
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = tempPath(c.name);
        ASSERT_TRUE(
            writeSndfile(path, c.format, c.channels, c.rate, testSignal(frames, c.channels)));
        SF_INFO info;
        const std::vector<float> ref = readSndfile(path, info);
        ASSERT_EQ(info.frames, frames);

        CWaveSample s;
        ASSERT_TRUE(c.aiff ? s.readAiff(path.c_str()) : s.readWav(path.c_str()));
        // The other reader refuses the file.
        CWaveSample other;
        EXPECT_FALSE(c.aiff ? other.readWav(path.c_str()) : other.readAiff(path.c_str()));

        EXPECT_EQ(s.channels(), c.channels);
        EXPECT_EQ(s.length(), frames);
        EXPECT_EQ(s.sampleRate(), double(c.rate));
        EXPECT_EQ(s.loopStart(), 0);
        EXPECT_EQ(s.loopEnd(), frames);
        float worst = 0.0f;
        for (int i = 0; i < frames; ++i)
            for (int ch = 0; ch < c.channels; ++ch)
                worst = std::max(worst, std::fabs(s.interpolate(i, 0.0f, ch) -
                                                  ref[size_t(i) * c.channels + ch]));
        EXPECT_LE(worst, c.step);
        std::remove(path.c_str());
    }
}

namespace {
void put32be(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 3; i >= 0; --i)
        b.push_back(uint8_t(v >> (8 * i)));
}
void put16be(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}

// libsndfile writes no markers, so MARK and INST chunks with a sustain loop
// from marker `beginId` to `endId` are appended to its output.
void appendSustainLoop(std::vector<uint8_t>& aiff, uint32_t beginFrame, uint32_t endFrame,
                       int beginId = 1, int endId = 2) {
    std::vector<uint8_t> mark;
    putId(mark, "MARK");
    put32be(mark, 0);
    put16be(mark, 3);
    // Names of even and odd length: the counted strings pad to an even total.
    put16be(mark, 1);
    put32be(mark, beginFrame);
    mark.push_back(5);
    mark.insert(mark.end(), {'s', 't', 'a', 'r', 't'});
    put16be(mark, 2);
    put32be(mark, endFrame);
    mark.push_back(2);
    mark.insert(mark.end(), {'a', 'b', 0});
    put16be(mark, 7);
    put32be(mark, 3);
    mark.push_back(0);
    mark.push_back(0);
    const uint32_t markSize = uint32_t(mark.size() - 8);
    for (int i = 0; i < 4; ++i)
        mark[4 + i] = uint8_t(markSize >> (24 - 8 * i));

    std::vector<uint8_t> inst;
    putId(inst, "INST");
    put32be(inst, 20);
    inst.insert(inst.end(), {60, 0, 0, 127, 1, 127, 0, 0});
    put16be(inst, 1); // forward sustain loop
    put16be(inst, uint32_t(beginId));
    put16be(inst, uint32_t(endId));
    put16be(inst, 0);
    put16be(inst, 0);
    put16be(inst, 0);

    aiff.insert(aiff.end(), mark.begin(), mark.end());
    aiff.insert(aiff.end(), inst.begin(), inst.end());
    const uint32_t formSize = uint32_t(aiff.size() - 8);
    for (int i = 0; i < 4; ++i)
        aiff[4 + i] = uint8_t(formSize >> (24 - 8 * i));
}
} // namespace

TEST(WaveSample, AiffSustainLoopComesFromItsMarkers) {
    const std::string path = tempPath("loop.aif");
    ASSERT_TRUE(
        writeSndfile(path, SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1, 44100, testSignal(1000, 1)));
    const std::vector<uint8_t> plain = fileBytes(path);
    std::vector<uint8_t> bytes = plain;
    appendSustainLoop(bytes, 100, 900);
    writeBytes(path, bytes);
    SF_INFO info;
    ASSERT_EQ(readSndfile(path, info).size(), 1000u); // still a valid file for libsndfile

    CWaveSample s;
    ASSERT_TRUE(s.readAiff(path.c_str()));
    EXPECT_EQ(s.length(), 1000);
    EXPECT_EQ(s.loopStart(), 100);
    EXPECT_EQ(s.loopEnd(), 900);

    // A loop naming a marker that does not exist keeps that end of the whole sample.
    bytes = plain;
    appendSustainLoop(bytes, 100, 1500, 1, 9);
    writeBytes(path, bytes);
    ASSERT_TRUE(s.readAiff(path.c_str()));
    EXPECT_EQ(s.loopStart(), 100);
    EXPECT_EQ(s.loopEnd(), 1000);
    std::remove(path.c_str());
}

TEST(WaveSample, WavLoopOnlyFromASmplChunkAfterTheData) {
    std::vector<int16_t> samples(2 * 1000);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t(i * 13);
    WavFormat w;
    w.channels = 2;
    w.blockAlign = 4;
    const std::string path = tempPath("smpl.wav");

    writeBytes(path, riff({fmtChunk(w), dataChunk(samples), smplChunk(200, 800)}));
    CWaveSample after;
    ASSERT_TRUE(after.readWav(path.c_str()));
    EXPECT_EQ(after.channels(), 2);
    EXPECT_EQ(after.length(), 1000);
    EXPECT_EQ(after.loopStart(), 200);
    EXPECT_EQ(after.loopEnd(), 800);
    EXPECT_FLOAT_EQ(after.interpolate(3, 0.0f, 1), float(int16_t(7 * 13)) / 32768.0f);

    writeBytes(path, riff({fmtChunk(w), smplChunk(200, 800), dataChunk(samples)}));
    CWaveSample before;
    ASSERT_TRUE(before.readWav(path.c_str()));
    EXPECT_EQ(before.loopStart(), 0);
    EXPECT_EQ(before.loopEnd(), 1000);

    // A loop end beyond the frames is cut to them.
    writeBytes(path, riff({fmtChunk(w), dataChunk(samples), smplChunk(300, 5000)}));
    CWaveSample longLoop;
    ASSERT_TRUE(longLoop.readWav(path.c_str()));
    EXPECT_EQ(longLoop.loopStart(), 300);
    EXPECT_EQ(longLoop.loopEnd(), 1000);
    std::remove(path.c_str());
}

TEST(WaveSample, RefusedHeadersLeaveThePreviousSample) {
    const std::string good = tempPath("good.wav");
    ASSERT_TRUE(writeSndfile(good, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100, testSignal(50, 1)));
    const std::vector<int16_t> samples(64, 1000);
    WavFormat alignedWrong; // 16-bit mono with block align 4
    alignedWrong.blockAlign = 4;
    WavFormat rateWrong;
    std::vector<uint8_t> badByteRate = riff({fmtChunk(rateWrong), dataChunk(samples)});
    badByteRate[28] ^= 1; // byte rate no longer rate x block align
    WavFormat threeChannels;
    threeChannels.channels = 3;
    threeChannels.blockAlign = 6;
    WavFormat floatSixteen;
    floatSixteen.tag = 3;

    std::vector<std::pair<const char*, std::vector<uint8_t>>> badWavs = {
        {"block align 4 for 16-bit mono", riff({fmtChunk(alignedWrong), dataChunk(samples)})},
        {"byte rate", badByteRate},
        {"three channels", riff({fmtChunk(threeChannels), dataChunk(samples)})},
        {"16-bit float", riff({fmtChunk(floatSixteen), dataChunk(samples)})},
        {"short fmt",
         [] {
             std::vector<uint8_t> f = fmtChunk(WavFormat());
             f[4] = 14;
             f.resize(8 + 14);
             return riff({f});
         }()},
        {"not RIFF", std::vector<uint8_t>{'R', 'I', 'F', 'X', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}},
    };
    for (const auto& [name, bytes] : badWavs) {
        SCOPED_TRACE(name);
        CWaveSample s;
        ASSERT_TRUE(s.readWav(good.c_str()));
        const std::string path = tempPath("bad.wav");
        writeBytes(path, bytes);
        EXPECT_FALSE(s.readWav(path.c_str()));
        EXPECT_EQ(s.length(), 50);
        EXPECT_EQ(s.channels(), 1);
        std::remove(path.c_str());
    }

    // 8-bit WAV and AIFF, compressed AIFC, and a missing file.
    struct Written {
        const char* name;
        int format;
        bool aiff;
    } written[] = {
        {"u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, false},
        {"s8.aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, true},
        {"float.aifc", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, true},
    };
    for (const Written& w : written) {
        SCOPED_TRACE(w.name);
        const std::string path = tempPath(w.name);
        ASSERT_TRUE(writeSndfile(path, w.format, 1, 44100, testSignal(50, 1)));
        CWaveSample s;
        EXPECT_FALSE(w.aiff ? s.readAiff(path.c_str()) : s.readWav(path.c_str()));
        EXPECT_EQ(s.length(), 0);
        std::remove(path.c_str());
    }
    const std::string aiff = tempPath("renamed.aif");
    ASSERT_TRUE(writeSndfile(aiff, SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1, 44100, testSignal(50, 1)));
    std::vector<uint8_t> bytes = fileBytes(aiff);
    CWaveSample s;
    ASSERT_TRUE(s.readAiff(aiff.c_str()));
    bytes[11] = 'C'; // form type AIFC
    writeBytes(aiff, bytes);
    EXPECT_FALSE(s.readAiff(aiff.c_str()));
    EXPECT_FALSE(s.readWav("/nonexistent-folder/none.wav"));
    EXPECT_FALSE(s.readAiff("/nonexistent-folder/none.aif"));
    std::remove(aiff.c_str());
    std::remove(good.c_str());
}

// Every truncation and a spread of damaged bytes of real files: the readers
// answer true or false and never read outside their buffers (the sanitizer
// build checks that), and whatever they keep is self-consistent.
TEST(WaveSample, DamagedFilesNeverReadOutsideTheirBuffers) {
    const std::string wav = tempPath("fz.wav"), aif = tempPath("fz.aif");
    ASSERT_TRUE(writeSndfile(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 44100, testSignal(40, 2)));
    ASSERT_TRUE(writeSndfile(aif, SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 44100, testSignal(40, 2)));
    std::vector<uint8_t> withLoop = fileBytes(aif);
    appendSustainLoop(withLoop, 10, 30);
    writeBytes(aif, withLoop);
    const std::string damaged = tempPath("damaged.bin");
    for (const std::string& source : {wav, aif}) {
        const std::vector<uint8_t> original = fileBytes(source);
        uint32_t state = 99;
        for (size_t variant = 0; variant < original.size() + 400; ++variant) {
            std::vector<uint8_t> b = original;
            if (variant < original.size()) {
                b.resize(variant);
            } else {
                for (int k = 0; k < 3; ++k) {
                    state = state * 1664525u + 1013904223u;
                    const size_t at = (state >> 8) % std::min<size_t>(b.size(), 120);
                    b[at] = uint8_t(state >> 3);
                }
            }
            writeBytes(damaged, b);
            for (int reader = 0; reader < 2; ++reader) {
                CWaveSample s;
                if (reader == 0 ? s.readWav(damaged.c_str()) : s.readAiff(damaged.c_str())) {
                    ASSERT_LE(0, s.loopStart());
                    ASSERT_LE(s.loopStart(), s.loopEnd());
                    ASSERT_LE(s.loopEnd(), s.length());
                    for (int i = -3; i < s.length() + 12; ++i)
                        (void)s.interpolate(i, 0.5f, i & 1);
                }
            }
        }
    }
    std::remove(damaged.c_str());
    std::remove(wav.c_str());
    std::remove(aif.c_str());
}

// A float file may hold values past full scale, which are kept; NaN,
// infinities and values so large that interpolating between them would
// overflow can only come from damage and read as 0, so every read is finite.
TEST(WaveSample, DamagedFloatValuesReadAsSilence) {
    const float inf = std::numeric_limits<float>::infinity();
    const float big = std::numeric_limits<float>::max();
    const std::vector<float> written = {0.5f, 2.0f, -1.0e6f, std::nanf(""), inf,
                                        -inf, big,  -big,    3.0e7f,        0.25f};
    const std::vector<float> expected = {0.5f, 2.0f, -1.0e6f, 0, 0, 0, 0, 0, 0, 0.25f};
    const std::string path = tempPath("float.wav");
    ASSERT_TRUE(writeSndfile(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 44100, written));
    CWaveSample s;
    ASSERT_TRUE(s.readWav(path.c_str()));
    ASSERT_EQ(s.length(), int(written.size()));
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(s.interpolate(int(i), 0.0f, 0), expected[i]) << "frame " << i;
    for (int i = -1; i < s.length() + 2; ++i)
        for (float fraction : {0.25f, 0.5f, 0.75f})
            ASSERT_TRUE(std::isfinite(s.interpolate(i, fraction, 0))) << i << " " << fraction;
    std::remove(path.c_str());
}

namespace {
// A one-cycle sample of `frames` mono 16-bit frames through the WAV reader.
void loadCycle(CWaveSample& s, int frames, double (*wave)(double)) {
    std::vector<int16_t> samples(frames);
    for (int i = 0; i < frames; ++i)
        samples[i] = int16_t(std::lround(16000.0 * wave(double(i) / frames)));
    const std::string path = tempPath("cycle.wav");
    writeBytes(path, riff({fmtChunk(WavFormat()), dataChunk(samples)}));
    ASSERT_TRUE(s.readWav(path.c_str()));
    std::remove(path.c_str());
}
} // namespace

TEST(WaveSample, AnalysisOfOneCycle) {
    constexpr double kTwoPi = 6.283185307179586;
    CWaveSample sine;
    loadCycle(sine, 600, [](double t) { return std::sin(kTwoPi * t); });
    sine.analyse();
    EXPECT_DOUBLE_EQ(sine.harmonicAmplitudes()[0], 1.0);
    EXPECT_EQ(sine.harmonicPhases()[0], 0.0);
    for (int n = 1; n < 32; ++n)
        EXPECT_LT(std::fabs(sine.harmonicAmplitudes()[n]), 0.01) << n;
    EXPECT_NEAR(sine.mean(), 0.0, 1e-3);

    // A falling sawtooth 1 - 2t: harmonic n has amplitude 2 / (pi n), falling as 1/n
    // (with the gentle high-frequency loss of the 64-bin resampling).
    CWaveSample saw;
    loadCycle(saw, 1024, [](double t) { return 1.0 - 2.0 * t; });
    saw.analyse();
    EXPECT_DOUBLE_EQ(saw.harmonicAmplitudes()[0], 1.0);
    for (int n = 2; n <= 8; ++n)
        EXPECT_NEAR(saw.harmonicAmplitudes()[n - 1], 1.0 / n, 0.1 / n) << n;
    for (int n = 2; n < 32; ++n)
        EXPECT_LT(saw.harmonicAmplitudes()[n - 1], saw.harmonicAmplitudes()[n - 2]) << n;

    CWaveSample dc;
    loadCycle(dc, 100, [](double) { return 0.5; });
    dc.analyse();
    for (int n = 0; n < 32; ++n)
        EXPECT_EQ(dc.harmonicAmplitudes()[n], 0.0);
    EXPECT_NEAR(dc.mean(), 8000.0 / 32768.0, 1e-9);

    CWaveSample empty;
    empty.analyse();
    EXPECT_EQ(empty.harmonicAmplitudes()[0], 0.0);
    EXPECT_EQ(empty.interpolate(0, 0.5f, 0), 0.0f);
}

TEST(WaveSample, InterpolationIsTheCubicThroughFourFrames) {
    const std::vector<int16_t> samples = {0, 8192, 16384, -8192, 4096};
    const std::string path = tempPath("cubic.wav");
    writeBytes(path, riff({fmtChunk(WavFormat()), dataChunk(samples)}));
    CWaveSample s;
    ASSERT_TRUE(s.readWav(path.c_str()));
    std::remove(path.c_str());
    const float y[] = {0.0f, 0.25f, 0.5f, -0.25f};
    const float d = 0.25f;
    const float c1 = (y[2] - y[0]) * 0.5f;
    const float c3 = (y[1] - y[2]) * 1.5f + (y[3] - y[0]) * 0.5f;
    const float c2 = c1 + y[0] - y[1] - c3;
    EXPECT_FLOAT_EQ(s.interpolate(1, d, 0), y[1] + d * (c1 + d * (c2 + d * c3)));
    EXPECT_FLOAT_EQ(s.interpolate(2, 0.0f, 1), 0.5f);  // mono answers channel 1 too
    EXPECT_FLOAT_EQ(s.interpolate(-5, 0.0f, 0), 0.0f); // clamped to frame 0
    EXPECT_FLOAT_EQ(s.interpolate(-1, 1.0f, 0), 0.25f);
    EXPECT_EQ(s.interpolate(1 << 30, 0.5f, 0), 0.0f);
    s.release();
    EXPECT_EQ(s.length(), 0);
    EXPECT_EQ(s.interpolate(1, 0.5f, 0), 0.0f);
}
