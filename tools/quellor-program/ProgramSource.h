// The text sources of the factory library: one program, envelope, pattern or
// wave per file, written as "key = value" lines that name the program's values
// in words and engine units (ratios, semitones, -1..1 amounts), so that a
// reviewer can read a sound and change it without the value-ID table.
//
// A program source:
//   name = Tine Piano
//   voices = 24            bend = 2            master = 0.5
//   op1.ratio = 1          op1.mix = 0.55      op2>op1 = 0.45
//   [envelope]             target = amplitude  op1 = 1
//   points = 0.002 1, 2.5 0.35 0.25, 0.35 0    sustain = 1
// The tools' README section lists every key.
#pragma once

#include <string>

class CProgram;

// Where a source looks up the side files it names (op1.wave = saw,
// seq1.pattern = ..., shape = ...) and the tunings (tuning = ...).
struct SSourceFolders {
    std::string waves;     // wave sources (NAME.txt)
    std::string patterns;  // pattern sources
    std::string envelopes; // envelope sources
    std::string tunings;   // TUN files (NAME.TUN)
};

// Reads a program source into `program` (a fresh CProgram). On failure
// returns false with "FILE:LINE: message" in `error`. Sample files the source
// names are listed in `samples` (one leaf name per line) for the caller.
bool readProgramSource(const std::string& path, const SSourceFolders& folders, CProgram& program,
                       std::string& samples, std::string& error);

// Side files: the source's envelope goes into envelope 0 with its curves, a
// pattern into sequencer 1, a wave into operator 1's spectrum.
bool readEnvelopeSource(const std::string& path, const SSourceFolders& folders, CProgram& program,
                        std::string& error);
bool readPatternSource(const std::string& path, const SSourceFolders& folders, CProgram& program,
                       std::string& error);
bool readWaveSource(const std::string& path, const SSourceFolders& folders, CProgram& program,
                    std::string& error);
