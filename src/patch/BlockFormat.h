// Shared facts of the plug-in's block format: four-character codes and the
// reading helpers every block parser uses.
#pragma once

#include <cstdint>

// A four-character code stored as an int32 with the first character in the
// most significant byte (so the bytes in a little-endian file are reversed).
constexpr int32_t fourCC(const char (&code)[5]) {
    return int32_t(uint32_t(uint8_t(code[0])) << 24 | uint32_t(uint8_t(code[1])) << 16 |
                   uint32_t(uint8_t(code[2])) << 8 | uint32_t(uint8_t(code[3])));
}

inline constexpr int32_t kProgramMagic = fourCC("QXLV");
inline constexpr int32_t kSequencerMagic = fourCC("QXLS");
inline constexpr int32_t kEnvelopeMagic = fourCC("QXLE");
inline constexpr int32_t kWaveMagic = fourCC("QXLW");
