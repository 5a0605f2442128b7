#include "quellor-program/SampleRecipes.h"

#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kTwoPi = 6.283185307179586;

// A fixed pseudo-random sequence, so that a rebuild writes the same bytes.
struct SRandom {
    uint32_t state = 12345;
    double next() { // 0..1
        state = state * 1664525u + 1013904223u;
        return double(state >> 8) / double(1u << 24);
    }
};

// Gain of a resonance at `centre` Hz with width `width` Hz, at `f` Hz.
double formant(double f, double centre, double width) {
    const double x = (f - centre) / width;
    return 1.0 / (1.0 + x * x);
}

// A sung "ah" on C3 by three voices at 130, 131 and 132 Hz: every partial is a
// whole number of hertz, so the one-second file loops without a seam.
std::vector<double> vowelAh() {
    std::vector<double> out(kRate, 0.0);
    SRandom random;
    for (int voice = 0; voice < 3; ++voice) {
        const double f0 = 130.0 + voice;
        for (int h = 1; f0 * h < 6000.0; ++h) {
            const double f = f0 * h;
            const double a = (formant(f, 700, 110) + 0.5 * formant(f, 1220, 120) +
                              0.25 * formant(f, 2600, 200)) /
                             std::sqrt(double(h));
            const double phase = kTwoPi * random.next();
            for (int i = 0; i < kRate; ++i)
                out[size_t(i)] += a * std::sin(kTwoPi * f * i / kRate + phase);
        }
    }
    return out;
}

// Breath: noise as a sum of whole-hertz sines with random phases, shaped by a
// soft band around 1.5 kHz; loops without a seam like the vowel.
std::vector<double> breath() {
    std::vector<double> out(kRate, 0.0);
    SRandom random;
    for (int f = 80; f < 9000; f += 3) {
        const double a = formant(f, 1500, 900) + 0.3 * formant(f, 4500, 1500);
        const double phase = kTwoPi * random.next();
        const double w = kTwoPi * f / kRate;
        for (int i = 0; i < kRate; ++i)
            out[size_t(i)] += a * std::sin(w * i + phase);
    }
    return out;
}

// A struck glass: inharmonic partials of a free plate, each dying at its own
// rate, on C5. Played once, not looped.
std::vector<double> glassStrike() {
    constexpr double kRoot = 523.25;
    constexpr double kRatios[] = {1.0, 2.32, 4.25, 6.63, 9.38, 12.5};
    constexpr double kDecays[] = {1.2, 0.8, 0.5, 0.3, 0.2, 0.12}; // seconds to 1/e
    std::vector<double> out(2 * kRate, 0.0);
    for (int k = 0; k < 6; ++k)
        for (size_t i = 0; i < out.size(); ++i) {
            const double t = double(i) / kRate;
            out[i] +=
                std::exp(-t / kDecays[k]) * std::sin(kTwoPi * kRoot * kRatios[k] * t) / (1.0 + k);
        }
    return out;
}

// A kalimba-like tine: a plucked fundamental with its high, quick overtone and
// a thump, on C4, played once.
std::vector<double> tinePluck() {
    constexpr double kRoot = 261.63;
    std::vector<double> out(kRate + kRate / 2, 0.0);
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / kRate;
        out[i] = std::exp(-t / 0.6) * std::sin(kTwoPi * kRoot * t) +
                 0.4 * std::exp(-t / 0.08) * std::sin(kTwoPi * kRoot * 5.4 * t) +
                 0.3 * std::exp(-t / 0.015) * std::sin(kTwoPi * 90.0 * t);
    }
    return out;
}

struct SRecipe {
    const char* leaf;
    std::vector<double> (*make)();
};
constexpr SRecipe kRecipes[] = {
    {"Vowel Ah.wav", vowelAh},
    {"Breath.wav", breath},
    {"Glass Strike.wav", glassStrike},
    {"Tine Pluck.wav", tinePluck},
};

} // namespace

bool writeSampleRecipe(const std::string& leaf, const std::string& path, std::string& error) {
    for (const SRecipe& r : kRecipes) {
        if (leaf != r.leaf) continue;
        std::vector<double> x = r.make();
        double peak = 0.0;
        for (double v : x)
            peak = std::max(peak, std::fabs(v));
        // Normalised to -3 dBFS, the level every factory sample is made at.
        const double gain = peak > 0.0 ? 0.7071 / peak : 0.0;
        std::vector<short> pcm(x.size());
        for (size_t i = 0; i < x.size(); ++i)
            pcm[i] = short(std::lround(x[i] * gain * 32767.0));
        SF_INFO info = {};
        info.samplerate = kRate;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
        if (!f) {
            error = "cannot write the sample " + path;
            return false;
        }
        const bool ok =
            sf_write_short(f, pcm.data(), sf_count_t(pcm.size())) == sf_count_t(pcm.size());
        sf_close(f);
        if (!ok) error = "cannot write the sample " + path;
        return ok;
    }
    error = "no sample recipe named \"" + leaf + "\"";
    return false;
}
