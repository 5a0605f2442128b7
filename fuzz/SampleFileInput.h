// What the WAV and AIFF targets share. The input goes through a file, as the
// readers take a path; any bytes give a sample or false. A sample that was
// read plays at and beyond both ends, and analyses, without reading outside
// its buffers.
#pragma once

#include "waves/CWaveSample.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

inline void readSampleFile(const uint8_t* data, size_t size,
                           bool (CWaveSample::*read)(const char*)) {
    // An in-memory file, refilled for each input: a file on disk would be
    // written back at every close, which costs more than the reading.
    static const int fd = memfd_create("quellor_fuzz_sample", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (fd < 0 || ftruncate(fd, 0) != 0) return;
    for (size_t done = 0; done < size;) {
        const ssize_t n = pwrite(fd, data + done, size - done, off_t(done));
        if (n <= 0) return;
        done += size_t(n);
    }
    CWaveSample sample;
    if (!(sample.*read)(path.c_str())) return;

    // Reads clamp the frame near both ends of the buffer: play the first and
    // the last frames, past both ends and at the extremes.
    const int32_t n = sample.length();
    auto play = [&](int32_t from, int32_t to) {
        for (int32_t i = from; i < to; ++i)
            for (int channel = 0; channel < CWaveSample::kMaxChannels; ++channel)
                if (!std::isfinite(sample.interpolate(i, 0.5f, channel))) std::abort();
    };
    play(-2, std::min(n, 16));
    play(std::max(std::min(n, 16), n - 16), n < INT32_MAX - 12 ? n + 12 : INT32_MAX);
    (void)sample.interpolate(INT32_MIN, 0.0f, 0);
    (void)sample.interpolate(INT32_MAX, 1.0f, 1);

    // Where the analysis reads depends only on the channel count and the
    // length, and it costs the same for any length: once per shape is enough.
    static std::set<std::pair<int32_t, int32_t>> analysed;
    if (analysed.insert({sample.channels(), n}).second) sample.analyse();
}
