// Names and display texts of the patch values: the 43 host parameters by name,
// every value ID by its display rule. Texts come from the stored value, never
// from the engine's derived value.
#pragma once

#include <cstddef>
#include <cstdint>

class CProgram;

// Name of host parameter id (0..42); nullptr for any other ID.
const char* hostParameterName(int32_t id);

// Writes the display text of value ID id into text (bounded by capacity).
// decimalSeparator replaces the '.' of every "%.2f" text.
void formatParameterDisplay(const CProgram& program, int32_t id, char decimalSeparator, char* text,
                            size_t capacity);

// "%.2f" of v with the given decimal separator.
void formatFixed2(double v, char decimalSeparator, char* text, size_t capacity);
