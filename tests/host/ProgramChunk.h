// Programs as the host chunk a host would restore. Tests build them with the
// program model and hand them over through effSetChunk.
#pragma once

#include <cstdint>
#include <vector>

class CProgram;

// A program that sounds on every note.
std::vector<uint8_t> soundingProgramChunk();

// One sine operator at the key's pitch under an amplitude envelope: attack in
// 1 ms to full level, decay in `decaySeconds` to `sustainLevel`, held there
// while the key is down, release in 5 ms. Sustain 0 makes a short pluck, so
// every note start stands out of silence.
void makeSineVoice(CProgram& program, double sustainLevel, double decaySeconds = 0.03);

// Sequencer `which` (0 or 1) running with `steps` (-26 rest, -25 hold,
// -24..24 degrees) as its pattern, the pattern length being steps' size.
void runSequencer(CProgram& program, int which, const std::vector<int>& steps, int transpose = 0,
                  double swing = 0.0);

// Normalised value of a step: n <-> (n + 26) / 50 on -26..24.
double stepValue(int n);

// The benchmarks' typical patch: eight operators (0..3 in the mix, 4..7
// modulating them), ten matrix cells, both filters low-pass with resonance,
// four envelopes (amplitude, pitch, cutoff, pan), 24 voices.
void makeTypicalPatch(CProgram& program);
std::vector<uint8_t> typicalPatchChunk();

// The program as chunk bytes (empty if writing failed).
std::vector<uint8_t> programChunk(CProgram& program);
