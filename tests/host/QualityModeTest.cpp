// The high-quality mode heard through the entry point: with QUELLOR_QUALITY=2
// the voices run at twice the host rate and are filtered back down, so that
// phase modulation at high notes folds far less energy back below the host's
// Nyquist frequency, at the same level.
//
// Aliasing is measured in the note: a Blackman-Harris spectrum of the held
// note, the energy within a few bins of each harmonic of the note against the
// energy everywhere else below 22.05 kHz. The same note rendered at 96 kHz
// and measured only below 22.05 kHz (what a resampler to 44.1 kHz keeps) is
// the reference of how clean it can be.
#include "base/ValueIds.h"
#include "host/HostRender.h"
#include "host/VoiceHost.h"
#include "plugin/VendorRequests.h"
#include "support/Fft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kReferenceRate = 96000.0;
// The band both modes are measured in: what a 44.1 kHz file can hold.
constexpr double kBandTopHz = 22050.0;
// Bins on either side of a harmonic that still count as the harmonic (the
// window's main lobe reaches 4 bins out).
constexpr int kHarmonicBins = 6;
constexpr int32_t kBlock = 512;

// Plays key for `seconds` through a fresh instance at `rate`, the quality
// given by the setting the instance starts with; the held note from 0.2 s on.
std::vector<float> playNote(const std::vector<uint8_t>& chunk, double rate, const char* quality,
                            uint8_t key, size_t frames) {
    setenv("QUELLOR_QUALITY", quality, 1);
    VstTestHost host;
    std::vector<float> mono;
    if (!host.open()) return mono;
    host.start(float(rate), kBlock);
    if (!setChunk(host, chunk)) return mono;
    const int64_t settle = int64_t(0.2 * rate);
    const StereoSignal s =
        renderThroughHost(host, settle + int64_t(frames), kBlock, {{0, 0x90, key, 100}});
    unsetenv("QUELLOR_QUALITY");
    for (size_t i = 0; i < frames; ++i)
        mono.push_back(0.5f * (s.left[settle + i] + s.right[settle + i]));
    return mono;
}

struct Spectrum {
    double harmonicEnergy = 0.0;
    double aliasEnergy = 0.0;
    double aliasDb() const { return 10.0 * std::log10(aliasEnergy / harmonicEnergy + 1e-30); }
};

// Energy near the harmonics of f0 and elsewhere below kBandTopHz.
Spectrum measure(const std::vector<float>& x, double rate, double f0) {
    std::vector<std::complex<double>> bins(x.size());
    const double n = double(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = 2.0 * kPi * double(i) / n;
        const double window = 0.35875 - 0.48829 * std::cos(t) + 0.14128 * std::cos(2.0 * t) -
                              0.01168 * std::cos(3.0 * t);
        bins[i] = x[i] * window;
    }
    fft(bins);
    Spectrum s;
    const double binHz = rate / n;
    const size_t top = size_t(kBandTopHz / binHz);
    for (size_t b = 1; b < top; ++b) { // bin 0: the master's high-pass leaves nothing there
        const double harmonic = std::round(double(b) * binHz / f0);
        const bool near = std::fabs(double(b) - harmonic * f0 / binHz) <= kHarmonicBins;
        (near ? s.harmonicEnergy : s.aliasEnergy) += std::norm(bins[b]);
    }
    return s;
}

struct Measured {
    Spectrum plain, quality, reference;
};

// The reference only where asked: it takes the longest to render.
Measured measureNote(const std::vector<uint8_t>& chunk, uint8_t key, bool withReference) {
    const double f0 = noteHz(key);
    Measured m;
    m.plain = measure(playNote(chunk, kRate, "1", key, 16384), kRate, f0);
    m.quality = measure(playNote(chunk, kRate, "2", key, 16384), kRate, f0);
    if (withReference)
        m.reference = measure(playNote(chunk, kReferenceRate, "1", key, 32768), kReferenceRate, f0);
    return m;
}

std::vector<uint8_t> sinePairChunk() {
    CProgram p = quietProgram();
    ratioOperator(p, 0, 1.0, 1.0);
    ratioOperator(p, 1, 1.0, 0.0); // heard only through operator 1
    p.setValue(kOperatorFirstId + kOperatorIdStride * 1 + kOperatorModulationOffset + 0, 1.0);
    return chunkOf(p);
}

std::vector<uint8_t> factoryChunk(const char* relative) {
    const std::string path =
        std::string(QUELLOR_SOURCE_DIR) + "/data/QuellorData/Banks/" + relative;
    std::vector<uint8_t> bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(f)) != EOF)
            bytes.push_back(uint8_t(c));
        std::fclose(f);
    }
    return bytes;
}

} // namespace

TEST(HostQuality, HighNotesFoldFarLessEnergyBackAtTheSameLevel) {
    struct Source {
        const char* name;
        std::vector<uint8_t> chunk;
    };
    const Source sources[] = {
        {"sine pair 1:1, amount 1", sinePairChunk()},
        {"Trumpet", factoryChunk("06 Brass Strings and Winds/Trumpet.qxlprg")},
    };
    constexpr uint8_t kC7 = 96;
    for (const Source& source : sources) {
        ASSERT_FALSE(source.chunk.empty()) << source.name;
        for (uint8_t key : {72, 84, 96, 108}) {
            const Measured m = measureNote(source.chunk, key, key == kC7);
            ASSERT_GT(m.plain.harmonicEnergy, 0.0) << source.name;
            std::printf("%-24s C%d  alias/harmonic: plain %6.1f dB, quality %6.1f dB", source.name,
                        key / 12 - 1, m.plain.aliasDb(), m.quality.aliasDb());
            if (key == kC7) std::printf(", rendered at 96 kHz %6.1f dB", m.reference.aliasDb());
            std::printf("\n");
            // The harmonics keep their level.
            EXPECT_NEAR(10.0 * std::log10(m.quality.harmonicEnergy / m.plain.harmonicEnergy), 0.0,
                        0.5)
                << source.name << ", key " << int(key);
            if (key == kC7) {
                EXPECT_LE(m.quality.aliasDb(), m.plain.aliasDb() - 25.0) << source.name;
            }
        }
    }
}

namespace {

// The level phrase, the preview phrase made short: a low, a middle and a
// high note, then a full-velocity chord, let go before the end; 2^14 frames
// (about 0.37 s).
constexpr int64_t kLevelFrames = 16384;
constexpr double kChordSeconds = 0.12;
constexpr double kReleaseSeconds = 0.25;
// What a listener hears of the level: the energy below this. Above it, up to
// the host's Nyquist frequency, the plain mode holds what the quality mode
// exists to remove (partials folded back, a one-sample feedback loop
// hunting at Nyquist), not the program's sound.
constexpr double kHeardTopHz = 18000.0;
constexpr double kLevelToleranceDb = 0.5;

std::vector<TimedMidi> levelPhrase() {
    const int64_t chordAt = int64_t(kChordSeconds * kRate);
    const int64_t off = int64_t(kReleaseSeconds * kRate);
    std::vector<TimedMidi> events;
    for (uint8_t key : {36, 60, 84})
        events.push_back({0, 0x90, key, 100});
    for (uint8_t key : {36, 60, 84})
        events.push_back({chordAt, 0x80, key, 0});
    for (uint8_t key : {48, 52, 55, 60, 64})
        events.push_back({chordAt, 0x90, key, 127});
    for (uint8_t key : {48, 52, 55, 60, 64})
        events.push_back({off, 0x80, key, 0});
    return events;
}

// Energy of both channels below kHeardTopHz; a negative value when the
// program cannot be played.
double heardEnergy(const std::filesystem::path& program, const char* quality) {
    setenv("QUELLOR_QUALITY", quality, 1);
    VstTestHost host;
    const bool opened = host.open() != nullptr;
    unsetenv("QUELLOR_QUALITY");
    if (!opened) return -1.0;
    host.start(float(kRate), kBlock);
    std::string path = program.string();
    if (host.dispatch(effVendorSpecific, kVendorLoadProgramFile, 0, &path[0]) != 1) return -1.0;
    const StereoSignal s = renderThroughHost(host, kLevelFrames, kBlock, levelPhrase());
    double energy = 0.0;
    for (const std::vector<float>* channel : {&s.left, &s.right}) {
        std::vector<std::complex<double>> bins(channel->begin(), channel->end());
        fft(bins);
        const size_t top = size_t(kHeardTopHz / kRate * double(kLevelFrames));
        for (size_t b = 1; b < top; ++b)
            energy += 2.0 * std::norm(bins[b]);
    }
    return energy;
}

} // namespace

// The quality mode is the same program, only cleaner: every factory program
// keeps its heard level within half a decibel.
TEST(HostQuality, EveryFactoryProgramKeepsItsHeardLevel) {
    const std::filesystem::path banks =
        std::filesystem::path(QUELLOR_SOURCE_DIR) / "data/QuellorData/Banks";
    std::vector<std::filesystem::path> programs;
    for (const auto& bank : std::filesystem::directory_iterator(banks))
        for (const auto& f : std::filesystem::directory_iterator(bank.path()))
            if (f.path().extension() == ".qxlprg") programs.push_back(f.path());
    std::sort(programs.begin(), programs.end());
    ASSERT_GT(programs.size(), 100u);
    for (const std::filesystem::path& program : programs) {
        const std::string name = program.stem().string();
        const double plain = heardEnergy(program, "1");
        const double quality = heardEnergy(program, "2");
        ASSERT_GE(plain, 0.0) << name;
        ASSERT_GE(quality, 0.0) << name;
        if (plain == 0.0 && quality == 0.0) continue;
        const double change = 10.0 * std::log10((quality + 1e-30) / (plain + 1e-30));
        std::printf("%-28s quality - plain %+6.3f dB\n", name.c_str(), change);
        EXPECT_NEAR(change, 0.0, kLevelToleranceDb) << name;
    }
}

TEST(HostQuality, TheHostHearsOfTheDelayAndTheOutputLagsByIt) {
    CProgram p = quietProgram();
    ratioOperator(p, 0, 1.0);
    const std::vector<uint8_t> chunk = chunkOf(p);
    int64_t onsetAt[2] = {-1, -1};
    VstInt32 delays[2] = {-1, -1};
    const char* qualities[2] = {"1", "2"};
    for (int mode = 0; mode < 2; ++mode) {
        setenv("QUELLOR_QUALITY", qualities[mode], 1);
        VstTestHost host;
        const bool opened = host.open() != nullptr;
        unsetenv("QUELLOR_QUALITY");
        ASSERT_TRUE(opened);
        delays[mode] = host.effect()->initialDelay;
        host.start(float(kRate), kBlock);
        ASSERT_TRUE(setChunk(host, chunk));
        const StereoSignal s = renderThroughHost(host, 4096, kBlock, {{1000, 0x90, 69, 127}});
        const std::vector<int64_t> found = onsets(s.left, 0.05f, 500);
        ASSERT_FALSE(found.empty()) << "quality " << qualities[mode];
        onsetAt[mode] = found[0];
    }
    EXPECT_EQ(delays[0], 0);
    EXPECT_EQ(delays[1], 47);
    EXPECT_NEAR(double(onsetAt[1] - onsetAt[0]), double(delays[1]), 1.0);
}
