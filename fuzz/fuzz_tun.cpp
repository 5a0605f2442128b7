// TUN microtuning reader.
#include "patch/CTuningMap.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CTuningMap map;
    map.parse(reinterpret_cast<const char*>(data), size);
    double ratios[CTuningMap::kNoteCount];
    map.ratios(ratios);
    return 0;
}
