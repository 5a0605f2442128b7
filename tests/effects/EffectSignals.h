// Signals and measurements shared by the effect tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace effects_test {

// The rates every effect must handle without touching memory outside its buffers.
constexpr double kRates[] = {8000.0, 44100.0, 96000.0, 192000.0};
// Block lengths the renderer may pass: one frame, an odd count, the largest piece.
constexpr int32_t kBlocks[] = {1, 7, 512};

// Deterministic white noise in -1..1.
inline std::vector<float> noise(size_t frames, uint32_t seed) {
    std::vector<float> out(frames);
    for (float& x : out) {
        seed = seed * 1664525u + 1013904223u;
        x = float(int32_t(seed >> 8) - (1 << 23)) / float(1 << 23);
    }
    return out;
}

inline std::vector<float> sine(size_t frames, double hz, double rate, float amplitude = 0.5f) {
    std::vector<float> out(frames);
    for (size_t i = 0; i < frames; ++i)
        out[i] = amplitude * float(std::sin(6.283185307179586 * hz * double(i) / rate));
    return out;
}

// Runs `process(left, right, n)` over both channels in pieces of `block` frames.
template <class Process>
void inBlocks(std::vector<float>& left, std::vector<float>& right, int32_t block,
              Process&& process) {
    const int32_t total = int32_t(left.size());
    for (int32_t done = 0; done < total; done += block) {
        const int32_t n = total - done < block ? total - done : block;
        process(left.data() + done, right.data() + done, n);
    }
}

inline double rms(const std::vector<float>& x, size_t from, size_t to) {
    double sum = 0.0;
    for (size_t i = from; i < to; ++i)
        sum += double(x[i]) * double(x[i]);
    return std::sqrt(sum / double(to - from));
}

inline bool allFinite(const std::vector<float>& x, size_t from = 0) {
    for (size_t i = from; i < x.size(); ++i)
        if (!std::isfinite(x[i])) return false;
    return true;
}

} // namespace effects_test
