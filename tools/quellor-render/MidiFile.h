// Standard MIDI File reader (format 0 and 1, division in pulses per quarter note).
// All tracks are merged into one list of channel messages ordered by time; tempo
// changes build the file's tempo map. Input is untrusted: every length and count
// is checked against the bytes that remain, and a malformed file is refused with
// a message, never read past its end.
#pragma once

#include "quellor-render/TempoMap.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CMidiFile {
public:
    // One channel message (note, controller, pitch bend, ...).
    struct SEvent {
        uint64_t tick = 0;     // absolute, in the file's division
        double seconds = 0.0;  // through the tempo map in force (see retime)
        uint8_t bytes[3] = {}; // status, then 0-2 data bytes
        uint8_t size = 0;      // 2 or 3
        uint16_t track = 0;    // index of the track it came from
    };

    // Largest file read from disk, in bytes. A MIDI phrase is kilobytes; this only
    // keeps a wrong path (a disk image, say) from being read into memory.
    static constexpr size_t kMaxFileBytes = 64u << 20;

    // Parses a whole file held in memory. On failure returns false, fills `error`
    // with one line saying what is wrong and where, and leaves this object empty.
    bool parse(const uint8_t* data, size_t size, std::string& error);

    // Reads and parses a file from disk; errors as parse.
    bool load(const std::string& path, std::string& error);

    // Re-times every event through another tempo map (a tempo given by the user).
    void retime(const CTempoMap& map);

    int format() const { return mFormat; }
    uint16_t ticksPerQuarter() const { return mTicksPerQuarter; }
    const std::vector<SEvent>& events() const { return mEvents; }
    const CTempoMap& tempoMap() const { return mTempoMap; }
    // Where the file ends: the latest end of track (or last event), in ticks and seconds.
    uint64_t endTick() const { return mEndTick; }
    double endSeconds() const { return mEndSeconds; }

private:
    struct STempoChange {
        uint64_t tick;
        uint32_t microsPerQuarter;
    };
    bool parseTrack(const uint8_t* data, size_t size, uint16_t track,
                    std::vector<STempoChange>& tempos, std::string& error);
    void clear();

    int mFormat = 0;
    uint16_t mTicksPerQuarter = 96;
    std::vector<SEvent> mEvents;
    CTempoMap mTempoMap;
    uint64_t mEndTick = 0;
    double mEndSeconds = 0.0;
};
