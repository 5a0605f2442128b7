// Tempo map of a MIDI file: where each tempo holds, so that ticks, seconds and
// quarter-note beats convert into one another. Built once before rendering,
// then only read.
#pragma once

#include <cstdint>
#include <vector>

class CTempoMap {
public:
    // Tempo before the first change, and of a file without any: 120 BPM.
    static constexpr double kDefaultBpm = 120.0;

    // ticksPerQuarter: the file's division (pulses per quarter note, > 0).
    explicit CTempoMap(uint16_t ticksPerQuarter = 96, double initialBpm = kDefaultBpm);

    // Adds a tempo that holds from `tick` on (bpm > 0, finite). Changes must come in
    // tick order; a change at the same tick as the previous one replaces it.
    void addChange(uint64_t tick, double bpm);

    double secondsAtTick(uint64_t tick) const;   // seconds from the start
    double beatsAtSeconds(double seconds) const; // quarter notes from the start
    double bpmAtSeconds(double seconds) const;   // tempo in force at that time

    uint16_t ticksPerQuarter() const { return mTicksPerQuarter; }

private:
    struct SSegment {
        uint64_t tick;  // where this tempo starts
        double seconds; // the same point in seconds
        double bpm;
    };
    const SSegment& segmentAtSeconds(double seconds) const;

    uint16_t mTicksPerQuarter;
    std::vector<SSegment> mSegments; // never empty, ordered by tick
};
