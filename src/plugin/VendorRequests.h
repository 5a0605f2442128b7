// Quellor's own request through the host interface's vendor-specific opcode:
// hosts that know Quellor (our quellor-render) can ask it to load a program
// file the way its editor does (sample paths moved into the file's folder,
// bank located). index = kVendorLoadProgramFile, ptr = NUL-terminated path;
// the answer is 1 when the program was loaded.
#pragma once

#include "vst/VstAbi.h"

constexpr VstInt32 kVendorLoadProgramFile = fourCharCode('Q', 'x', 'P', 'f');
