// Scala scale and keyboard mapping reader: the input's first byte chooses
// where the rest goes (scale, mapping, or both halves split at the middle).
#include "patch/CScalaTuning.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const char* text = reinterpret_cast<const char*>(data + 1);
    const size_t length = size - 1;
    CScalaTuning tuning;
    switch (data[0] % 3) {
    case 0:
        tuning.parseScale(text, length);
        break;
    case 1:
        tuning.parseScale("12-TET\n1\n2/1\n", 13);
        tuning.parseMapping(text, length);
        break;
    default:
        tuning.parseScale(text, length / 2);
        tuning.parseMapping(text + length / 2, length - length / 2);
        break;
    }
    double ratios[CScalaTuning::kKeyCount];
    tuning.ratios(ratios);
    return 0;
}
