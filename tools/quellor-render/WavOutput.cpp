#include "quellor-render/WavOutput.h"

#include <cmath>
#include <cstdio>
#include <sndfile.h>

CWavOutput::~CWavOutput() {
    if (mFile != nullptr) sf_close(mFile);
}

bool CWavOutput::open(const std::string& path, int sampleRate, std::string& error) {
    SF_INFO info = {};
    info.samplerate = sampleRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    mFile = sf_open(path.c_str(), SFM_WRITE, &info);
    if (mFile == nullptr) {
        error = "cannot write \"" + path + "\": " + sf_strerror(nullptr);
        return false;
    }
    mPath = path;
    mFrames = 0;
    mPeak = 0.0f;
    mSumSquares = 0.0;
    mNonFinite = 0;
    return true;
}

bool CWavOutput::write(const float* left, const float* right, int frames, std::string& error) {
    constexpr int kChunkFrames = int(sizeof(mInterleaved) / sizeof(mInterleaved[0]) / 2);
    for (int done = 0; done < frames;) {
        const int n = frames - done < kChunkFrames ? frames - done : kChunkFrames;
        for (int i = 0; i < n; ++i) {
            for (int c = 0; c < 2; ++c) {
                const float v = (c == 0 ? left : right)[done + i];
                mInterleaved[2 * i + c] = v;
                if (!std::isfinite(v)) {
                    ++mNonFinite;
                    continue;
                }
                mPeak = std::fmax(mPeak, std::fabs(v));
                mSumSquares += double(v) * v;
            }
        }
        if (sf_writef_float(mFile, mInterleaved, n) != n) {
            error = "cannot write \"" + mPath + "\": " + sf_strerror(mFile);
            return false;
        }
        done += n;
        mFrames += n;
    }
    return true;
}

bool CWavOutput::close(std::string& error) {
    if (mFile == nullptr) return true;
    sf_write_sync(mFile);
    const int result = sf_close(mFile);
    mFile = nullptr;
    if (result != 0) {
        error = "cannot finish \"" + mPath + "\": " + sf_error_number(result);
        return false;
    }
    return true;
}

void CWavOutput::discard() {
    if (mFile != nullptr) {
        sf_close(mFile);
        mFile = nullptr;
    }
    if (!mPath.empty()) std::remove(mPath.c_str());
}

double CWavOutput::rms() const {
    return mFrames > 0 ? std::sqrt(mSumSquares / (2.0 * double(mFrames))) : 0.0;
}
