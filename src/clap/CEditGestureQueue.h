// The window's edits on their way to the host. A CLAP host hears of a value
// the user changed only through the output events of a process or flush
// call, so the window's thread queues each gesture begin, value and gesture
// end here, and the next process or flush hands them on in the order made.
//
// Threads: push on the main thread (the one producer), drain in process
// (audio thread) or flush (never at the same time as process): the one
// consumer. Lock-free, nothing allocated after construction.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

class CEditGestureQueue {
public:
    enum class Kind : uint8_t { Begin, Value, End };
    struct Edit {
        Kind kind;
        int32_t id;
        double value;
    };
    static constexpr uint32_t kCapacity = 1024;

    // Main thread. False when the queue is full: the host has not called
    // process or flush for a thousand edits, and this one is not recorded
    // (the sound has it all the same).
    bool push(const Edit& edit) {
        const uint32_t w = writeIndex.load(std::memory_order_relaxed);
        if (w - readIndex.load(std::memory_order_acquire) >= kCapacity) return false;
        edits[w % kCapacity] = edit;
        writeIndex.store(w + 1, std::memory_order_release);
        return true;
    }

    // Consumer: hands each waiting edit to send, oldest first, until send
    // answers false (the host's list is full); that edit waits for the next call.
    template <typename Send> void drain(Send&& send) {
        uint32_t r = readIndex.load(std::memory_order_relaxed);
        const uint32_t w = writeIndex.load(std::memory_order_acquire);
        for (; r != w; ++r)
            if (!send(edits[r % kCapacity])) break;
        readIndex.store(r, std::memory_order_release);
    }

    bool empty() const {
        return readIndex.load(std::memory_order_acquire) ==
               writeIndex.load(std::memory_order_acquire);
    }

private:
    std::array<Edit, kCapacity> edits{};
    std::atomic<uint32_t> writeIndex{0};
    std::atomic<uint32_t> readIndex{0};
};
