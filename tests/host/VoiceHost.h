// What the voice tests share: an instance playing a program handed over as
// the host's chunk, program building by value IDs, and the measurements
// that turn the rendered output into pitches, levels and times.
#pragma once

#include "host/VstTestHost.h"
#include "patch/CProgram.h"

#include <cstdint>
#include <vector>

constexpr double kRate = 44100.0;
// One control tick of the voices at 44100 Hz, in samples.
constexpr int32_t kTick = 44;
// Envelope time runs this much slower than the clock.
constexpr double kEnvelopeTimeScale = 0.99801;

// ---- programs ----

// A program with effects off and the master gain at exactly 1.0 on both
// sides; no operator sounds yet.
CProgram quietProgram();
// Normalised value of a bipolar amount -1..1.
double bipolar(double amount);
// A sounding operator tuned by ratio to the key (pure sine): mix and pan
// -1..1, amplitude 0..1.
void ratioOperator(CProgram& p, int op, double ratio, double mix = 1.0, double pan = 0.0,
                   double amplitude = 1.0);
// Tuned in semitones from the key, plus an offset in Hz.
void semitoneOperator(CProgram& p, int op, double semitones, double offsetHz = 0.0);
// A fixed frequency (ratio 0 plus the offset), mix and pan -1..1.
void fixedOperator(CProgram& p, int op, double hz, double mix = 1.0, double pan = 0.0,
                   double amplitude = 1.0);
// The program as the host chunk.
std::vector<uint8_t> chunkOf(CProgram& p);

// ---- an instance playing ----

class PlayingInstance {
public:
    // Opens an instance at 44100 Hz, 512-frame blocks, with the host's tempo,
    // hands the program over through effSetChunk and lets the master gain
    // settle; the output starts after that (sample 0 is the first note's).
    explicit PlayingInstance(CProgram& program, double tempo = 120.0);
    bool loaded() const { return ok; }
    VstTestHost& host() { return hostValue; }

    // A MIDI message at the start of the next rendered block.
    void midi(uint8_t status, uint8_t data1, uint8_t data2);
    void noteOn(uint8_t key, uint8_t velocity = 127) { midi(0x90, key, velocity); }
    void noteOff(uint8_t key) { midi(0x80, key, 0); }
    // Hands a program over while playing (no settling).
    bool setProgram(CProgram& program);
    // Renders frames more (processReplacing, blocks of at most 512).
    void render(int32_t frames);
    void renderSeconds(double seconds) { render(int32_t(seconds * kRate)); }
    // Frames rendered so far: the index of the next sample.
    size_t now() const { return left.size(); }

    std::vector<float> left, right;

private:
    VstTestHost hostValue;
    EventList pending;
    bool ok = false;
};

// ---- measurements on [begin, end) of a signal ----

// Mean rate of rising zero crossings (Hz), from the first to the last one.
double crossingFrequency(const std::vector<float>& x, size_t begin, size_t end);
// Amplitude of the component at hz (Hann-windowed DFT; a sine of amplitude A
// gives about A).
double amplitudeAt(const std::vector<float>& x, size_t begin, size_t end, double hz);
// Frequency of the strongest component between lo and hi Hz, refined.
double peakFrequency(const std::vector<float>& x, size_t begin, size_t end, double lo, double hi);
double rms(const std::vector<float>& x, size_t begin, size_t end);
double peak(const std::vector<float>& x, size_t begin, size_t end);
// Least-squares gain of x against the reference: signed level ratio.
double gainAgainst(const std::vector<float>& x, const std::vector<float>& reference, size_t begin,
                   size_t end);
// Per-sample amplitude of a tone of known frequency hz (a whole number of
// samples per period), by demodulation over one period centred on each
// sample; 0 near the edges.
std::vector<double> toneAmplitude(const std::vector<float>& x, double hz);
// First index at or after from where the series crosses level (rising when
// rising is true, else falling), or -1.
long firstCrossing(const std::vector<double>& a, size_t from, double level, bool rising);
double cents(double hz, double reference);
// Equal-tempered frequency of a (fractional) note.
double noteHz(double note);
