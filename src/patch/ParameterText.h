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

// The same text for value v in place of the stored one (the other values it
// depends on, such as the delay's sync switch, still come from program).
void formatValueDisplay(const CProgram& program, int32_t id, double v, char decimalSeparator,
                        char* text, size_t capacity);

// The reverse for host parameter id (0..42): the stored value 0..1 whose text
// reads as text (a number in the parameter's own units, with either decimal
// mark, or one of its names, any case). Where several values show the same
// text, the middle one. False for another ID or text the parameter never shows.
bool parseHostParameterText(const CProgram& program, int32_t id, const char* text,
                            char decimalSeparator, double& value);

// "%.2f" of v with the given decimal separator.
void formatFixed2(double v, char decimalSeparator, char* text, size_t capacity);
