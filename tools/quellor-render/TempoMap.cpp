#include "quellor-render/TempoMap.h"

#include <algorithm>

CTempoMap::CTempoMap(uint16_t ticksPerQuarter, double initialBpm)
    : mTicksPerQuarter(ticksPerQuarter == 0 ? 1 : ticksPerQuarter) {
    mSegments.push_back({0, 0.0, initialBpm});
}

void CTempoMap::addChange(uint64_t tick, double bpm) {
    SSegment& last = mSegments.back();
    if (tick <= last.tick) {
        // Same point (or out of order, which the reader never hands us): the newer wins.
        last.bpm = bpm;
        return;
    }
    const double seconds = secondsAtTick(tick);
    mSegments.push_back({tick, seconds, bpm});
}

double CTempoMap::secondsAtTick(uint64_t tick) const {
    // The last segment that starts at or before `tick` (the first starts at 0).
    const auto next = std::upper_bound(mSegments.begin(), mSegments.end(), tick,
                                       [](uint64_t t, const SSegment& s) { return t < s.tick; });
    const SSegment& s = *(next - 1);
    const double beats = double(tick - s.tick) / mTicksPerQuarter;
    return s.seconds + beats * 60.0 / s.bpm;
}

const CTempoMap::SSegment& CTempoMap::segmentAtSeconds(double seconds) const {
    const auto next = std::upper_bound(mSegments.begin() + 1, mSegments.end(), seconds,
                                       [](double t, const SSegment& s) { return t < s.seconds; });
    return *(next - 1);
}

double CTempoMap::beatsAtSeconds(double seconds) const {
    const SSegment& s = segmentAtSeconds(seconds);
    return double(s.tick) / mTicksPerQuarter + (seconds - s.seconds) * s.bpm / 60.0;
}

double CTempoMap::bpmAtSeconds(double seconds) const {
    return segmentAtSeconds(seconds).bpm;
}
