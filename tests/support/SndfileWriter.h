// Test fixtures written by libsndfile: a file nobody here wrote, for our
// readers to read back.
#pragma once

#include <sndfile.h>

#include <string>
#include <vector>

// Writes interleaved float frames in format (SF_FORMAT_WAV | SF_FORMAT_PCM_16
// and the like) at rate; false when libsndfile cannot open the file.
inline bool writeSndfile(const std::string& path, int format, int channels, int rate,
                         const std::vector<float>& interleaved) {
    SF_INFO info = {};
    info.channels = channels;
    info.samplerate = rate;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return false;
    sf_writef_float(f, interleaved.data(), sf_count_t(interleaved.size() / size_t(channels)));
    sf_close(f);
    return true;
}
