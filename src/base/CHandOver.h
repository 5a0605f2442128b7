// Handing data that an editing thread changes over to the audio thread, which
// must neither wait for the editor nor read its data half-changed.
//
// The owner keeps a staging copy beside the audio thread's own copy. The
// editing thread takes the staging copy (beginWrite), changes it and marks it
// ready (publish); the audio thread, at the start of a block, takes a ready
// staging copy (tryBeginRead), copies what changed into its own copy and gives
// it back (endRead). While the editor writes, the audio thread simply goes on
// with what it has; the editor waits only for the few microseconds of such a
// copy. A staging copy that is still unread when the editor writes again is
// taken back and added to, so the audio thread always gets the latest whole
// state and nothing in between is lost.
//
// One writer at a time (the owner serialises its editing threads), one reader.
// No allocation, no system calls on the reader's side.
#pragma once

#include <atomic>
#include <thread>

class CHandOver {
public:
    // Writer: the staging copy is the caller's until publish().
    void beginWrite() {
        for (;;) {
            int expected = kIdle;
            if (state.compare_exchange_weak(expected, kWriting, std::memory_order_acquire)) return;
            expected = kReady; // not yet read: taken back and written on
            if (state.compare_exchange_weak(expected, kWriting, std::memory_order_acquire)) return;
            std::this_thread::yield(); // the reader is copying
        }
    }
    // Writer: the staging copy goes to the reader as it stands.
    void publish() { state.store(kReady, std::memory_order_release); }
    // Writer: nothing to hand over after all (only when nothing taken back by
    // beginWrite is left unread).
    void withdraw() { state.store(kIdle, std::memory_order_release); }

    // Reader: true when a published staging copy is there; it is then the
    // caller's to read until endRead(). Never waits.
    bool tryBeginRead() {
        int expected = kReady;
        return state.compare_exchange_strong(expected, kReading, std::memory_order_acquire);
    }
    void endRead() { state.store(kIdle, std::memory_order_release); }

private:
    enum : int { kIdle, kWriting, kReady, kReading };
    std::atomic<int> state{kIdle};
};
