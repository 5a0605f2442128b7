// The factory library as a player meets it: every program of every bank is
// loaded through the plug-in's program-file request and plays the preview
// phrase (a low, a middle and a high note, then an eight-note chord at full
// velocity) with its chord held for two seconds, long enough for swells and
// slow filter sweeps to reach their height. Sequenced programs play it twice,
// with their sequencers running and stopped. Each output must be finite,
// sound, keep its true peak at or below -1 dBFS, sit within 6 LU of its bank's
// median loudness, and no two programs may share nearly the same spectrum
// over the held chord.
#include "base/ValueIds.h"
#include "host/HostRender.h"
#include "host/ProgramChunk.h"
#include "host/VstTestHost.h"
#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "patch/PatchFiles.h"
#include "platform/IPlatform.h"
#include "plugin/VendorRequests.h"
#include "support/Fft.h"

#include <ebur128.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Half the usual rate keeps the whole library's render short; the programs'
// levels and spectra below 11 kHz are what a player compares anyway.
constexpr double kRate = 22050.0;
constexpr int32_t kBlock = 512;
constexpr double kBeat = 0.5; // seconds at the host's 120 BPM

// The preview phrase (examples/preview.mid): notes of three quarters of a
// beat, one per beat, then the chord. The preview holds the chord for two
// beats; a player holds one longer, and a sound that swells or opens for
// longer than that must not reach past full scale when they do.
constexpr double kChordStartBeats = 3.0;
constexpr double kChordBeats = 4.0;
std::vector<TimedMidi> heldChordPhrase() {
    auto frame = [](double beats) { return int64_t(beats * kBeat * kRate); };
    std::vector<TimedMidi> events;
    const uint8_t single[] = {36, 60, 84};
    for (int i = 0; i < 3; ++i) {
        events.push_back({frame(i), 0x90, single[i], 100});
        events.push_back({frame(i + 0.75), 0x80, single[i], 0});
    }
    const uint8_t chord[] = {48, 52, 55, 60, 64, 67, 72, 76};
    for (uint8_t key : chord)
        events.push_back({frame(kChordStartBeats), 0x90, key, 127});
    for (uint8_t key : chord)
        events.push_back({frame(kChordStartBeats + kChordBeats), 0x80, key, 0});
    return events;
}
constexpr double kPhraseSeconds = (kChordStartBeats + kChordBeats) * kBeat + 0.5;

// Reading the program files in the test, for the sequencers-stopped variant.
class QuietPlatform : public IPlatform {
public:
    std::string lastError;
    void showError(const char*, const char* text) override { lastError = text; }
    bool askYesNo(const char*, const char*) override { return false; }
    bool chooseFile(char*, size_t, const char*, const char*, const char*, void*, bool) override {
        return false;
    }
    std::string configuredRootFolder() override { return ""; }
    std::string defaultRootFolder() override { return "/nonexistent"; }
    std::vector<FolderEntry> listFolder(const std::string&) override { return {}; }
    char pathSeparator() const override { return '/'; }
    char decimalSeparator() override { return '.'; }
};

struct Measured {
    std::string name;
    std::string bank;
    double lufs = 0.0;
    double truePeakDb = 0.0;
    std::vector<double> bands; // spectrum over the held chord, dB per sixth of an octave
};

// Average power spectrum of the mono sum from frame `from` on, over
// Hann-windowed frames, gathered into bands a sixth of an octave wide from
// 40 Hz to 10 kHz, in dB relative to the loudest band: the shape of the sound,
// not its level. Bands more than kAudibleRangeDb under the loudest one count
// as that far under: in a full chord they are masked by the loud ones, and
// differences down there (reverb and noise floors, leakage) are not what
// tells two sounds apart, yet they would swamp the ones that are.
constexpr double kAudibleRangeDb = 40.0;
std::vector<double> spectrumBands(const StereoSignal& s, size_t from) {
    constexpr size_t kFrame = 4096;
    std::vector<double> power(kFrame / 2, 0.0);
    std::vector<std::complex<double>> x(kFrame);
    for (size_t start = from; start + kFrame <= s.size(); start += kFrame / 2) {
        for (size_t i = 0; i < kFrame; ++i) {
            const double hann = 0.5 - 0.5 * std::cos(2.0 * M_PI * double(i) / kFrame);
            x[i] = hann * (double(s.left[start + i]) + s.right[start + i]);
        }
        fft(x);
        for (size_t k = 0; k < kFrame / 2; ++k)
            power[k] += std::norm(x[k]);
    }
    std::vector<double> bands;
    for (double low = 40.0; low < 10000.0; low *= std::pow(2.0, 1.0 / 6.0)) {
        const double high = low * std::pow(2.0, 1.0 / 6.0);
        double sum = 1e-20;
        for (size_t k = size_t(low * kFrame / kRate); k < size_t(high * kFrame / kRate); ++k)
            sum += power[k];
        bands.push_back(10.0 * std::log10(sum));
    }
    const double top = *std::max_element(bands.begin(), bands.end());
    for (double& b : bands)
        b = std::max(b - top, -kAudibleRangeDb);
    return bands;
}

// Root-mean-square difference of two band spectra in dB.
double spectrumDistance(const std::vector<double>& a, const std::vector<double>& b) {
    double sum = 0.0;
    for (size_t i = 0; i < a.size(); ++i)
        sum += (a[i] - b[i]) * (a[i] - b[i]);
    return std::sqrt(sum / double(a.size()));
}

// Plays the phrase after `load` has given the instance its program.
template <typename Load>
Measured play(const std::string& name, const std::string& bank, Load load) {
    Measured m;
    m.name = name;
    m.bank = bank;
    VstTestHost host;
    EXPECT_NE(host.open(), nullptr);
    host.start(float(kRate), kBlock);
    if (!load(host)) {
        ADD_FAILURE() << name << ": the plug-in did not take the program";
        return m;
    }
    const StereoSignal out =
        renderThroughHost(host, int64_t(kPhraseSeconds * kRate), kBlock, heldChordPhrase());
    EXPECT_TRUE(allFinite(out)) << name;

    ebur128_state* st = ebur128_init(2, unsigned(kRate), EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    std::vector<float> frames(2 * out.size());
    for (size_t i = 0; i < out.size(); ++i) {
        frames[2 * i] = out.left[i];
        frames[2 * i + 1] = out.right[i];
    }
    ebur128_add_frames_float(st, frames.data(), out.size());
    ebur128_loudness_global(st, &m.lufs);
    double peak = 0.0, channel = 0.0;
    for (unsigned c = 0; c < 2; ++c)
        if (ebur128_true_peak(st, c, &channel) == EBUR128_SUCCESS) peak = std::max(peak, channel);
    ebur128_destroy(&st);
    m.truePeakDb = peak > 0.0 ? 20.0 * std::log10(peak) : -HUGE_VAL;
    m.bands = spectrumBands(out, size_t(kChordStartBeats * kBeat * kRate));
    return m;
}

bool sequencerRuns(const CProgram& p) {
    return p.getValue(kSequencer1FirstId + kSequencerRunningOffset, false) > 0.5 ||
           p.getValue(kSequencer2FirstId + kSequencerRunningOffset, false) > 0.5;
}

std::vector<fs::path> sortedEntries(const fs::path& folder, bool folders) {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(folder))
        if (folders ? e.is_directory() : e.path().extension() == ".qxlprg") out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

TEST(FactoryLibrary, EveryProgramSoundsLevelMatchedAndDistinct) {
    const fs::path banks = fs::path(QUELLOR_SOURCE_DIR) / "data/QuellorData/Banks";
    QuietPlatform platform;
    CPluginFile settings(platform);
    std::vector<Measured> all;
    std::map<std::string, std::vector<double>> bankLoudness;

    for (const fs::path& bank : sortedEntries(banks, true))
        for (const fs::path& file : sortedEntries(bank, false)) {
            const std::string name = file.stem().string(), bankName = bank.filename().string();
            std::string path = file.string();
            Measured m = play(name, bankName, [&](VstTestHost& host) {
                return host.dispatch(effVendorSpecific, kVendorLoadProgramFile, 0, &path[0]) == 1;
            });
            all.push_back(m);
            bankLoudness[bankName].push_back(m.lufs);

            // The same program with its sequencers stopped plays the notes as keys.
            std::unique_ptr<CProgram> p(new CProgram);
            ASSERT_TRUE(loadProgramFile(*p, path.c_str(), nullptr, settings)) << path;
            if (!sequencerRuns(*p)) continue;
            p->setValue(kSequencer1FirstId + kSequencerRunningOffset, 0.0);
            p->setValue(kSequencer2FirstId + kSequencerRunningOffset, 0.0);
            Measured still = play(name + " (sequencers stopped)", bankName, [&](VstTestHost& host) {
                return setChunk(host, programChunk(*p));
            });
            EXPECT_GT(still.lufs, -70.0) << still.name << " is silent";
            EXPECT_LE(still.truePeakDb, -1.0) << still.name;
        }

    ASSERT_GE(all.size(), 128u);
    ASSERT_GE(bankLoudness.size(), 8u);
    for (auto& [bank, values] : bankLoudness)
        std::sort(values.begin(), values.end());
    for (const Measured& m : all) {
        const std::vector<double>& v = bankLoudness[m.bank];
        const double median = v[v.size() / 2];
        EXPECT_GT(m.lufs, -70.0) << m.name << " is silent";
        EXPECT_LE(m.truePeakDb, -1.0) << m.name << " peaks too high";
        EXPECT_NEAR(m.lufs, median, 6.0) << m.name << " against the median of " << m.bank;
    }
    // Two programs closer than this in every audible band, on average, sound
    // like copies on a held chord.
    constexpr double kMinDistanceDb = 1.5;
    for (size_t i = 0; i < all.size(); ++i)
        for (size_t j = i + 1; j < all.size(); ++j)
            EXPECT_GT(spectrumDistance(all[i].bands, all[j].bands), kMinDistanceDb)
                << all[i].name << " and " << all[j].name << " have nearly the same spectrum";
}

namespace {

// Spectral centroid in Hz over the whole signal: how bright it is.
double brightness(const StereoSignal& s) {
    constexpr size_t kFrame = 4096;
    std::vector<std::complex<double>> x(kFrame);
    double weighted = 0.0, total = 1e-30;
    for (size_t start = 0; start + kFrame <= s.size(); start += kFrame) {
        for (size_t i = 0; i < kFrame; ++i)
            x[i] = double(s.left[start + i]) + s.right[start + i];
        fft(x);
        for (size_t k = 1; k < kFrame / 2; ++k) {
            total += std::norm(x[k]);
            weighted += std::norm(x[k]) * double(k) * kRate / kFrame;
        }
    }
    return weighted / total;
}

// Spread of the level over 20 ms windows across [from, to): how much it wavers.
double levelWaver(const StereoSignal& s, int64_t from, int64_t to) {
    const int64_t window = int64_t(0.02 * kRate);
    std::vector<double> levels;
    for (int64_t a = from; a + window <= to; a += window)
        levels.push_back(rms(s, a, a + window));
    const auto [lo, hi] = std::minmax_element(levels.begin(), levels.end());
    return *hi / std::max(*lo, 1e-9);
}

} // namespace

// The sound every new instance opens with sorts first, and answers the
// player: velocity makes it louder and brighter, the modulation wheel adds a
// tremolo, aftertouch brightens it.
TEST(FactoryLibrary, TheFirstProgramIsExpressive) {
    const fs::path banks = fs::path(QUELLOR_SOURCE_DIR) / "data/QuellorData/Banks";
    const fs::path first = sortedEntries(sortedEntries(banks, true).front(), false).front();
    EXPECT_EQ(first.filename().string(), "Amber Tines.qxlprg");

    const int64_t second = int64_t(kRate);
    auto playNote = [&](uint8_t velocity, uint8_t wheel, uint8_t pressure) {
        VstTestHost host;
        EXPECT_NE(host.open(), nullptr);
        host.start(float(kRate), kBlock);
        std::string path = first.string();
        EXPECT_EQ(host.dispatch(effVendorSpecific, kVendorLoadProgramFile, 0, &path[0]), 1);
        const std::vector<TimedMidi> events = {{0, 0xb0, 1, wheel},
                                               {0, 0xd0, pressure, 0},
                                               {100, 0x90, 60, velocity},
                                               {2 * second, 0x80, 60, 0}};
        return renderThroughHost(host, 2 * second, kBlock, events);
    };
    const StereoSignal soft = playNote(40, 0, 0), hard = playNote(127, 0, 0);
    EXPECT_GT(rms(hard, 0, second), 2.0 * rms(soft, 0, second));
    EXPECT_GT(brightness(hard), 1.2 * brightness(soft));

    const StereoSignal wheel = playNote(100, 127, 0), still = playNote(100, 0, 0);
    EXPECT_GT(levelWaver(wheel, second / 2, 2 * second),
              1.3 * levelWaver(still, second / 2, 2 * second));

    const StereoSignal pressed = playNote(100, 0, 127);
    EXPECT_GT(brightness(pressed), 1.1 * brightness(still));
}
