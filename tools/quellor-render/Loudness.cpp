#include "quellor-render/Loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>

CLoudness::~CLoudness() {
    if (mState) ebur128_destroy(&mState);
}

bool CLoudness::open(int sampleRate, std::string& error) {
    if (mState) ebur128_destroy(&mState);
    mState = ebur128_init(2, static_cast<unsigned long>(sampleRate),
                          EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    if (!mState) error = "cannot start the loudness measurement";
    return mState != nullptr;
}

void CLoudness::add(const float* left, const float* right, int frames) {
    if (!mState) return;
    constexpr int kChunk = 4096;
    for (int done = 0; done < frames; done += kChunk) {
        const int n = std::min(kChunk, frames - done);
        for (int i = 0; i < n; ++i) {
            mInterleaved[2 * i] = left[done + i];
            mInterleaved[2 * i + 1] = right[done + i];
        }
        ebur128_add_frames_float(mState, mInterleaved, static_cast<size_t>(n));
    }
}

double CLoudness::integratedLufs() const {
    double lufs = -std::numeric_limits<double>::infinity();
    if (mState) ebur128_loudness_global(mState, &lufs);
    return lufs;
}

double CLoudness::truePeakDb() const {
    double peak = 0.0, channel = 0.0;
    for (unsigned c = 0; mState && c < 2; ++c)
        if (ebur128_true_peak(mState, c, &channel) == EBUR128_SUCCESS)
            peak = std::max(peak, channel);
    return peak > 0.0 ? 20.0 * std::log10(peak) : -std::numeric_limits<double>::infinity();
}
