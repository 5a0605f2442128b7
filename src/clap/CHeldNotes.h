// The host's notes that still sound, so that the host hears when each one has
// really finished (a host that modulates per voice frees its voice then).
// A note is over once the host has let go of it (note-off, choke, all notes
// off) and no voice plays its key any more: its release and the sustain
// pedal are heard out first.
//
// Threads: audio thread only (process, reset): no allocation.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

class CHeldNotes {
public:
    // More notes than a keyboard has keys, for repeated keys on several channels.
    static constexpr int32_t kCapacity = 256;

    struct Note {
        int32_t noteId; // the host's id, or -1
        int16_t port;
        int16_t channel;
        int16_t key;
        bool released;
    };

    // A note-on reached the renderer. When every place is taken the note
    // goes untracked: it sounds, but the host hears no end of it.
    void started(int32_t noteId, int16_t port, int16_t channel, int16_t key);

    // The host let go of the notes matching the address (-1 matches any
    // value); calls release(key) once for each key that was held.
    template <typename Release>
    void release(int32_t noteId, int16_t port, int16_t channel, int16_t key, Release&& onKey) {
        for (int32_t i = 0; i < count; ++i) {
            Note& n = notes[size_t(i)];
            if (n.released || !matches(n, noteId, port, channel, key)) continue;
            n.released = true;
            onKey(n.key);
        }
    }

    // Every note let go (all notes off, reset).
    void releaseAll();

    // After a block: each released note whose key no voice plays any more is
    // handed to ended (false keeps it for the next block) and forgotten.
    template <typename Sounding, typename Ended>
    void collectEnded(Sounding&& keySounds, Ended&& ended) {
        int32_t kept = 0;
        for (int32_t i = 0; i < count; ++i) {
            const Note n = notes[size_t(i)];
            const bool over = n.released && !keySounds(n.key) && ended(n);
            if (!over) notes[size_t(kept++)] = n;
        }
        count = kept;
    }

    int32_t size() const { return count; }

private:
    static bool matches(const Note& n, int32_t noteId, int16_t port, int16_t channel, int16_t key) {
        return (noteId < 0 || n.noteId == noteId) && (port < 0 || n.port == port) &&
               (channel < 0 || n.channel == channel) && (key < 0 || n.key == key);
    }

    std::array<Note, kCapacity> notes{};
    int32_t count = 0;
};

inline void CHeldNotes::started(int32_t noteId, int16_t port, int16_t channel, int16_t key) {
    if (count >= kCapacity) return;
    notes[size_t(count++)] = {noteId, port, channel, key, false};
}

inline void CHeldNotes::releaseAll() {
    for (int32_t i = 0; i < count; ++i)
        notes[size_t(i)].released = true;
}
