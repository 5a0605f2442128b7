// Denormal guards. Every stored float state, gain or ramp whose exponent bits
// are all zero is replaced by 0, so denormal numbers never reach the arithmetic.
#pragma once

#include <cstdint>
#include <cstring>

inline float flushDenormal(float x) {
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return (bits & 0x7f800000u) == 0 ? 0.0f : x;
}

// Below this magnitude (-200 dBFS, far below any converter's last bit) a
// sample or a decaying state is silence. Tails that decay in feedback loops
// and filters are made exact 0 here, so that a finished sound ends in true
// digital silence instead of creeping toward the smallest float for a
// minute, and nothing downstream scales such remains into denormals.
constexpr float kSilenceLevel = 1e-10f;

// x, or 0 when its magnitude is below kSilenceLevel (denormals included).
inline float flushSilence(float x) {
    return (x < kSilenceLevel && x > -kSilenceLevel) ? 0.0f : x;
}

inline double flushDenormal(double x) {
    uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return (bits & 0x7ff0000000000000ull) == 0 ? 0.0 : x;
}

// Sets flush-to-zero and denormals-are-zero for the calling thread where the
// processor offers them, and restores the previous mode on destruction.
// Audio thread: the block call wraps itself in one of these.
class CDenormalGuard {
public:
    CDenormalGuard();
    ~CDenormalGuard();
    CDenormalGuard(const CDenormalGuard&) = delete;
    CDenormalGuard& operator=(const CDenormalGuard&) = delete;

private:
    unsigned int savedMode = 0;
};
