// Golden renders: a program played through the plug-in's entry point with a
// fixed phrase, reduced to a compact fingerprint (per 10 ms window the RMS
// and the peak of each channel) that is kept as text beside the tests. Any
// change to the sound moves some window's numbers, and the comparison names
// the first window that moved.
//
// Free of the test framework, so that a plain main() (the Windows build's
// smoke host) computes the same fingerprints as the Linux tests.
//
// The plug-in keeps process-wide state that a program can hear (the pattern
// sequencers' random generator), so each render belongs in a process that
// has not played anything before it.
#pragma once

#include "vst/VstAbi.h"

#include <cstdint>
#include <string>
#include <vector>

namespace golden {

typedef AEffect* (*EntryProc)(audioMasterCallback);

constexpr double kSampleRate = 44100.0;
constexpr VstInt32 kBlockFrames = 512;
// The host's tempo for every render (tempo-synced delays, envelopes and
// sequencers depend on it).
constexpr double kTempo = 120.0;
// 10 ms windows.
constexpr int32_t kWindowFrames = 441;

struct Window {
    double rms[2];  // left, right
    double peak[2]; // largest magnitude, left, right
};

struct Fingerprint {
    std::vector<Window> windows;
};

// The phrase every golden render plays: MIDI events at frames from the start.
struct PhraseEvent {
    int32_t frame;
    uint8_t status, data1, data2;
};
const std::vector<PhraseEvent>& phrase();
// The phrase's length in frames: its last release is heard.
int32_t phraseFrames();
// The fingerprint of a rendered phrase.
Fingerprint fingerprintOf(const std::vector<float>& left, const std::vector<float>& right);

// Creates an instance through `entry` with a host of our own (which reports
// kTempo) and starts it at kSampleRate with kBlockFrames blocks; null when
// the plug-in refuses. Close it with closeInstance.
AEffect* startInstance(EntryProc entry);
void closeInstance(AEffect* effect);

// Hands `programBytes` to a started instance as its chunk and plays the
// phrase; false with `error` set when the plug-in refuses the chunk.
bool renderProgram(AEffect* effect, const std::vector<uint8_t>& programBytes, Fingerprint& out,
                   std::string& error);
// The same in an instance of its own, closed afterwards.
bool renderProgram(EntryProc entry, const std::vector<uint8_t>& programBytes, Fingerprint& out,
                   std::string& error);

// A whole file's bytes (a program, a stored fingerprint); false when it
// cannot be read.
bool readFile(const std::string& path, std::string& out);

// The fingerprint as text: a header comment, then one line per window.
std::string formatFingerprint(const Fingerprint& fingerprint);
// Reads what formatFingerprint wrote; false with `error` on malformed text.
bool parseFingerprint(const std::string& text, Fingerprint& out, std::string& error);

// Relative tolerance for renders of the same build family: far below any
// audible or intended change, above the last-bit noise of summing squares.
constexpr double kTolerance = 1e-6;
// Empty when every value agrees within `tolerance` of its window's level (plus
// a tiny absolute floor for silence); otherwise "at 0.230 s: left RMS
// expected ..., got ..." for the first window that differs.
std::string firstDifference(const Fingerprint& expected, const Fingerprint& actual,
                            double tolerance = kTolerance);

} // namespace golden
