// The program block: the whole CProgram as one binary block, which is both the
// host's chunk and the content of a program file (.qxlprg), with its
// length-prefixed sequencer and envelope sub-blocks; and the sequencer and
// wave blocks, which are also the content of pattern (.qxlseq) and wave
// (.qxlwav) files. The writer produces version 6; the reader takes versions
// 0..6 and converts older data.
//
// Every loader parses into a copy and commits only when the whole block was
// read, so a failed load leaves the program (or the sequencer, envelope or
// spectrum) exactly as it was. Inside a program block a malformed envelope
// sub-block is tolerated: that envelope keeps what could be read and the load
// goes on.
//
// Thread: editor thread or the host's chunk calls, under the renderer's
// structure lock; never the audio thread (they allocate).
#pragma once

#include <cstdint>

class CMemAssembler;
class CProgram;

inline constexpr int32_t kProgramBlockVersion = 6;
inline constexpr int32_t kSequencerBlockVersion = 0;
inline constexpr int32_t kWaveBlockVersion = 0;

// Appends the program block; false when an allocation fails.
bool saveProgram(CProgram& program, CMemAssembler& writer);
// Parses a program block. `applyFineTune`: store the block's fine tune into
// the process-wide value (program.fineTune) - true for the host chunk, false
// for program files. The block's tuning name and ratios become the program's
// (a table damaged beyond any tuning is left out). On success the selection
// is reset to the start.
bool loadProgram(CProgram& program, CMemAssembler& reader, bool applyFineTune);
// The same, parsing into `scratch` (any program; overwritten) instead of a
// copy made for the load: a program is large, and a caller that loads often
// keeps one scratch program rather than allocating one each time.
bool loadProgram(CProgram& program, CMemAssembler& reader, bool applyFineTune, CProgram& scratch);

// Sequencer block of sequencer `which` (0 or 1). With keepFirstValue (pattern
// files) the block's `running` is read but the sequencer keeps its own.
bool saveSequencer(const CProgram& program, int which, CMemAssembler& writer);
bool loadSequencer(CProgram& program, int which, CMemAssembler& reader, bool keepFirstValue);

// Envelope block of `selectedEnvelope` with its velocity and key curves.
// Without `withRouting` (envelope files) the envelope keeps its target kind
// and destination depths.
bool saveEnvelope(const CProgram& program, CMemAssembler& writer);
bool loadEnvelope(CProgram& program, CMemAssembler& reader, bool withRouting);

// Wave block: the 32 harmonic amplitudes and 32 phases of `selectedOperator`.
bool saveWave(const CProgram& program, CMemAssembler& writer);
bool loadWave(CProgram& program, CMemAssembler& reader);
