// RIFF WAVE reader: the input goes through a file, as the reader takes a
// path; any bytes give a sample or false, and a sample plays and analyses
// without reading outside its buffers.
#include "waves/CWaveSample.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/quellor_fuzz_wav" + std::to_string(getpid());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    CWaveSample sample;
    if (sample.readWav(path.c_str())) {
        for (int32_t i = -2; i < sample.length() + 12 && i < 4096; ++i)
            (void)sample.interpolate(i, 0.5f, i & 1);
        if (sample.length() < 4096) sample.analyse();
    }
    return 0;
}
