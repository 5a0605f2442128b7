// Four-band stereo equaliser, the last stage of the effect chain: a low shelf,
// two peaking bands and a high shelf in series on each channel, each a
// direct-form-I biquad designed with the audio-EQ-cookbook formulas.
// Coefficients are recomputed lazily on the audio thread at the start of the
// next block after any change.
#pragma once

#include <atomic>
#include <cstdint>

class CEq {
public:
    static constexpr int kBands = 4; // band 0 low shelf, 1 and 2 peaking, 3 high shelf

    // Defaults: disabled, 44100 Hz, levels 0.5 (flat), frequencies 250, 500,
    // 1000, 2000 Hz, Q 0.
    CEq();
    virtual ~CEq() = default;

    // Setters: between blocks (the renderer applies values at a block's start);
    // they store a value and mark the coefficients for
    // recomputation, nothing else. A band outside 0..3 is ignored.
    // On above 0.5; a switch in either direction clears the filter memory.
    void setEnabled(float v);
    // Level 0..1 (NaN gives 0.5): the band's gain spans -20 dB .. +20 dB, 0.5 is flat.
    void setLevel(int band, double level);
    // Centre or corner frequency in Hz; above 0.477 x sample rate it acts as
    // that limit, and a NaN is ignored.
    void setFrequency(int band, double hz);
    // Q 0..1 (NaN gives 0), the cookbook Q 1 .. 25 as 1 + 24 q^2.
    void setQ(int band, double q);
    // Control thread: the rate in Hz (8000..384000); recomputes on the next block.
    void setSampleRate(double rate);
    // Any thread: the filter memory is zeroed at the start of the next block.
    void reset();

    // Value IDs 20..23 (Q), 24..27 (frequency 30 x 2^(9.4 x) Hz), 28..31
    // (level), 32 (enable); false for any other ID.
    bool applyValue(int32_t id, double x);

    // Audio thread: no allocation, no locks; in place, any frame count.
    // Disabled, the buffers pass unchanged and the filter memory is kept.
    void process(float* left, float* right, int32_t frames);

    double level(int band) const { return levels[band & 3]; }
    double frequency(int band) const { return frequencies[band & 3]; }
    double q(int band) const { return qs[band & 3]; }
    bool isEnabled() const { return enabled; }

private:
    struct Biquad {
        float b0 = 1.0f, b1 = 0.0f, b2 = 0.0f, a1 = 0.0f, a2 = 0.0f;
    };
    struct Memory {
        float x1 = 0.0f, x2 = 0.0f, y1 = 0.0f, y2 = 0.0f;
    };
    void computeCoefficients();
    static void filter(const Biquad& c, Memory& ml, Memory& mr, float* left, float* right,
                       int32_t frames);

    Memory memory[2][kBands];
    Biquad coefficients[kBands];
    std::atomic<bool> dirty{true};
    std::atomic<bool> clearMemory{true};
    bool enabled = false;
    double sampleRate = 44100.0;
    double levels[kBands] = {0.5, 0.5, 0.5, 0.5};
    double frequencies[kBands] = {250.0, 500.0, 1000.0, 2000.0};
    double qs[kBands] = {0.0, 0.0, 0.0, 0.0};
};
