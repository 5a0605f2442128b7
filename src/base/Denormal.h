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
