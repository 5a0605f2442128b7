// Standard MIDI File reader of quellor-render: any bytes give a parsed file
// or an error text, never a crash or a read outside the input.
#include "quellor-render/MidiFile.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CMidiFile file;
    std::string error;
    file.parse(data, size, error);
    return 0;
}
