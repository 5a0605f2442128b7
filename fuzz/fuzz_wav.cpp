// RIFF WAVE reader.
#include "SampleFileInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    readSampleFile(data, size, &CWaveSample::readWav);
    return 0;
}
