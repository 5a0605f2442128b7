// The samples of the factory programs, synthesised here rather than recorded,
// so that every sound of the library is made from the repository alone. A
// program source names one by its file name (sample1.file = Vowel Ah.wav) and
// the build writes it next to the program.
#pragma once

#include <string>

// Writes the sample named `leaf` to `path` (a 16-bit mono WAV file). False with
// a message when no recipe has that name or the file cannot be written.
bool writeSampleRecipe(const std::string& leaf, const std::string& path, std::string& error);
