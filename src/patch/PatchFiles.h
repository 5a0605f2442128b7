// Program, envelope, pattern, wave and tuning files: reading and writing them
// whole, and the messages the user sees when that fails. The editor's
// commands choose the path (a file dialog) and call these; the renderer applies
// the program afterwards.
//
// Thread: the editor's (user interface) thread, never the audio thread, and
// never under the renderer's structure lock: reading a file and showing its
// message take as long as they take. A program file is read into a copy of the
// program that the renderer then installs; the side files change the program's
// records in place, and the caller then hands them to the audio thread
// (CProgramEdit). Every load changes the program only when the whole file was
// understood.
#pragma once

#include <cstddef>

class CPluginFile;
class CProgram;

inline constexpr const char* kOutOfMemoryMessage =
    "Not enough of free memory to finish the operation";
inline constexpr const char* kUnknownFormatMessage =
    "The format of the file is unknown or file is corrupted";
// Caption of the box that shows a tuning file's error.
inline constexpr const char* kTuningErrorCaption = "File Error";

// Writes the program block; afterwards the program takes the file's name.
bool saveProgramFile(CProgram& program, const char* path, CPluginFile& settings);
// Reads a program file (the fine tune in it is not applied). On success:
// programFilePath, sample paths moved into the file's folder, name from the
// file name, bankName when one is given. The path is remembered in the
// settings either way. The caller then applies the program to the engine.
bool loadProgramFile(CProgram& program, const char* path, const char* bankName,
                     CPluginFile& settings);

// The selected envelope with its curves; a load keeps the envelope's routing.
bool saveEnvelopeFile(const CProgram& program, const char* path, CPluginFile& settings);
bool loadEnvelopeFile(CProgram& program, const char* path, CPluginFile& settings);
// Pattern of sequencer `which` (0 or 1); a load keeps its running switch.
bool savePatternFile(const CProgram& program, int which, const char* path, CPluginFile& settings);
bool loadPatternFile(CProgram& program, int which, const char* path, CPluginFile& settings);
// The selected operator's spectrum as a wave file.
bool exportWaveFile(const CProgram& program, const char* path, CPluginFile& settings);
// A WAV or AIFF file holding one cycle is analysed into the selected
// operator's spectrum; any other file is read as a wave file. The caller
// rebuilds the operator's wave table after a true result.
bool importWaveFile(CProgram& program, const char* path, CPluginFile& settings);

// Reads a TUN file, or a Scala scale (.scl, with the .kbm keyboard mapping of
// the same name beside it) or mapping (.kbm, laid on the .scl of its name
// beside it, else on the last scale read) into the program's tuning ratios,
// and takes the file name (without folder and extension) as the tuning name.
// A failure shows the reader's message in a box captioned "File Error" and
// changes nothing.
bool loadTuningFile(CProgram& program, const char* path, CPluginFile& settings);
// The same into ratios (one per MIDI note, kTuningNoteCount) and name (of
// nameCapacity bytes) instead of a program, for a caller that hands them to the
// voices itself.
bool readTuningFile(const char* path, double* ratios, char* name, size_t nameCapacity,
                    CPluginFile& settings);

// The file name of `path` without folder and extension (both separators are
// accepted), bounded to `capacity`.
void fileLeafName(const char* path, char* out, size_t capacity);
