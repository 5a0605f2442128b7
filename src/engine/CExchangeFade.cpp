#include "engine/CExchangeFade.h"

#include <chrono>

namespace {
// The audio thread counts as rendering when its last block ended within two
// block lengths and this slack; the wait ends after the fade, two block
// lengths and this slack, and never lasts longer than kLongestWait.
constexpr int64_t kSlackNs = 20000000;
constexpr int64_t kLongestWaitNs = 500000000;
constexpr int64_t kNsPerSecond = 1000000000;
constexpr auto kPoll = std::chrono::milliseconds(1);

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace

void CExchangeFade::fadeOutAndWait() {
    const int64_t start = nowNs();
    const int64_t ended = lastBlockEnd.load(std::memory_order_acquire);
    const int64_t block = lastBlockLength.load(std::memory_order_relaxed);
    if (ended == 0 || start - ended > 2 * block + kSlackNs) return; // nobody renders
    if (audioThread.load(std::memory_order_relaxed) == std::this_thread::get_id()) return;
    silent.store(false, std::memory_order_relaxed);
    wanted.store(true, std::memory_order_release);
    int64_t wait = int64_t(kFadeSeconds * kNsPerSecond) + 2 * block + kSlackNs;
    if (wait > kLongestWaitNs) wait = kLongestWaitNs;
    while (!silent.load(std::memory_order_acquire) && nowNs() - start < wait)
        std::this_thread::sleep_for(kPoll);
}

void CExchangeFade::finish() {
    wanted.store(false, std::memory_order_release);
    silent.store(false, std::memory_order_relaxed);
}

void CExchangeFade::setSampleRate(double rate) {
    step = rate > 0.0 ? float(1.0 / (rate * kFadeSeconds)) : 1.0f;
}

void CExchangeFade::apply(float* left, float* right, int32_t n) {
    if (!wanted.load(std::memory_order_acquire)) {
        // The exchange is done (or was never asked for): the new program
        // starts from silence, at full level.
        level = 1.0f;
        return;
    }
    for (int32_t i = 0; i < n; ++i) {
        left[i] *= level;
        right[i] *= level;
        level = level > step ? level - step : 0.0f;
    }
    if (level == 0.0f) silent.store(true, std::memory_order_release);
}

void CExchangeFade::blockRendered(int32_t frames, double rate) {
    audioThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
    lastBlockLength.store(rate > 0.0 ? int64_t(frames / rate * kNsPerSecond) : 0,
                          std::memory_order_relaxed);
    lastBlockEnd.store(nowNs(), std::memory_order_release);
}
