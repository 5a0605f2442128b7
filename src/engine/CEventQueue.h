// The per-block MIDI event queue: filled by processEvents, consumed by the
// block loop, emptied at the end of every block and by every reset; a block
// that renders nothing of it hands its events on to the next.
// Audio thread only: no allocation, no locks.
#pragma once

#include <cstdint>

struct MidiEventEntry {
    uint8_t bytes[4]; // the first three MIDI bytes plus a fourth, as received
    int32_t deltaFrames;
};

class CEventQueue {
public:
    static constexpr int32_t kCapacity = 1024;

    // Appends an event; events beyond the capacity are dropped.
    void queue(const uint8_t bytes[4], int32_t deltaFrames);
    // Gap to the next event in frames, or -1 when there is none. The entry it
    // fetches becomes pending; the next call hands it to dispatch first.
    template <typename Dispatch> int32_t nextGap(Dispatch&& dispatch) {
        if (pending >= 0) {
            int32_t index = pending;
            pending = -1;
            dispatch(entries[index]);
        }
        if (readIndex >= count) return -1;
        int32_t gap = entries[readIndex].deltaFrames - lastDelta;
        lastDelta = entries[readIndex].deltaFrames;
        pending = readIndex;
        ++readIndex;
        return gap;
    }
    void empty();
    // Keeps the queued events for the next block, in their order, all due at
    // its first frame (the block they belonged to rendered none of them).
    void holdOver();

    int32_t size() const { return count; }
    const MidiEventEntry& entry(int32_t i) const { return entries[i]; }

private:
    MidiEventEntry entries[kCapacity] = {};
    int32_t count = 0;
    int32_t readIndex = 0;
    int32_t lastDelta = 0;
    int32_t pending = -1;
};
