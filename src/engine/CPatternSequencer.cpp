#include "engine/CPatternSequencer.h"

#include "base/ToRange.h"
#include "base/ValueIds.h"

#include <cmath>

namespace {

// A step is one sixteenth note: 15 / tempo seconds.
constexpr double kSecondsPerStepAtOneBpm = 15.0;
// Swing lengthens and shortens alternate steps by up to a quarter step.
constexpr double kSwingDepth = 0.25;
// Steps above this key fold into the octave 108..119.
constexpr int32_t kHighestStepKey = 120;
constexpr int32_t kFoldOctaveBase = 108;
constexpr int32_t kMaxTranspose = 24;

// Degree tables by chord type: the base octave, then the other octaves.
constexpr int8_t kBaseTables[6][12] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},  // single keys
    {0, 1, 2, 3, 3, 5, 6, 7, 8, 8, 10, 10},  // minor
    {0, 1, 2, 4, 4, 5, 6, 7, 9, 9, 11, 11},  // major
    {0, 1, 2, 3, 3, 5, 6, 7, 8, 10, 10, 10}, // minor seventh
    {0, 1, 2, 4, 4, 5, 6, 7, 8, 11, 11, 11}, // major seventh
    {0, 1, 2, 3, 3, 5, 6, 6, 8, 8, 10, 10},  // diminished
};
constexpr int8_t kOtherTables[6][12] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},   {0, 1, 2, 3, 3, 5, 6, 7, 8, 8, 10, 10},
    {0, 1, 2, 4, 4, 5, 6, 7, 9, 9, 11, 11},   {-2, 1, 2, 3, 3, 5, 6, 7, 8, 10, 10, 10},
    {-1, 1, 2, 4, 4, 5, 6, 7, 8, 11, 11, 11}, {0, 1, 2, 3, 3, 5, 6, 6, 8, 8, 10, 10},
};

// Chord recognition passes: the intervals above c that must be held, and the
// type a match gives. Later passes override earlier ones.
struct ChordPass {
    int8_t intervals[3];
    int8_t count;
    int8_t type;
};
constexpr ChordPass kChordPasses[10] = {
    {{0, 0, 0}, 0, 0},  {{3, 0, 0}, 1, 1},  {{4, 0, 0}, 1, 2},  {{3, 7, 0}, 2, 1},
    {{4, 7, 0}, 2, 2},  {{3, 10, 0}, 2, 3}, {{4, 11, 0}, 2, 4}, {{3, 7, 10}, 3, 3},
    {{4, 7, 11}, 3, 4}, {{3, 6, 0}, 2, 5},
};

} // namespace

CPatternSequencer::CPatternSequencer(SequencerOutput* output) : out(output) {
    for (int8_t& s : steps)
        s = kRest;
    for (int i = 0; i < 12; ++i)
        baseOctave[i] = otherOctave[i] = int8_t(i);
    recomputeIncrement();
}

bool CPatternSequencer::applyValue(int32_t id, double x, int32_t firstId) {
    static_assert(kSequencerStepCount == kStepCount, "one step per value ID");
    if (id < firstId || id >= firstId + kValueCount) return false;
    applyOffset(id - firstId, x);
    return true;
}

void CPatternSequencer::publishValues(const double* values) {
    if (!values) return;
    handOver.beginWrite();
    for (int32_t k = 0; k < kValueCount; ++k)
        stagedValues[k] = values[k];
    handOver.publish();
}

bool CPatternSequencer::takePublished() {
    if (!handOver.tryBeginRead()) return false;
    for (int32_t k = 0; k < kValueCount; ++k) {
        const double x = stagedValues[k];
        // Switching it on or off releases the voices; a pattern edited while it
        // plays must not.
        if (k == kSequencerRunningOffset && (x > 0.5) == running) continue;
        applyOffset(k, x);
    }
    handOver.endRead();
    return true;
}

void CPatternSequencer::applyOffset(int32_t k, double x) {
    switch (k) {
    case kSequencerRunningOffset:
        setRunning(x > 0.5);
        if (out) out->sequencerReleaseAllVoices();
        if (running && out) out->sequencerHoldEnded();
        return;
    case kSequencerLengthOffset: {
        const int32_t n = toRange(x, 1, kStepCount);
        if (n != lengthSteps && position >= n) position = 0;
        lengthSteps = n;
        return;
    }
    case kSequencerTransposeOffset:
        transpose = int8_t(toRange(x, -kMaxTranspose, kMaxTranspose));
        return;
    case kSequencerSwingOffset:
        // Held to 0..1: a larger swing would make alternate steps zero or
        // negative in length and the step check would never finish.
        swing = std::isnan(x) ? 0.0 : std::fmin(std::fmax(x, 0.0), 1.0);
        return;
    case kSequencerRandomOffset:
        random = x > 0.5;
        return;
    case kSequencerPingPongOffset: {
        const bool was = pingPong;
        pingPong = x > 0.5;
        if (was && !pingPong && position >= lengthSteps) position -= lengthSteps;
        return;
    }
    default:
        if (k >= kSequencerStepsOffset && k < kValueCount)
            steps[k - kSequencerStepsOffset] = int8_t(toRange(x, kRest, kMaxTranspose));
        return;
    }
}

void CPatternSequencer::setRunning(bool run) {
    running = run;
    if (!run) stop();
}

void CPatternSequencer::stop() {
    velocity = 0;
    for (uint8_t& k : heldKeys)
        k = 0;
    for (uint8_t& m : pitchClassMarks)
        m = 0;
    lastNote = -1;
    allKeysUp = false;
    swingPhase = false;
    if (out) out->sequencerReleaseAllVoices();
}

void CPatternSequencer::setTempo(double bpm) {
    if (bpm == tempo || !(bpm > 0.0)) return;
    tempo = bpm;
    recomputeIncrement();
}

void CPatternSequencer::setSampleRate(double rate) {
    if (!(rate > 0.0)) return;
    sampleRate = rate;
    recomputeIncrement();
}

void CPatternSequencer::recomputeIncrement() {
    stepIncrement = 1.0 / ((kSecondsPerStepAtOneBpm / tempo) * sampleRate);
}

void CPatternSequencer::noteInput(int32_t key, int32_t vel) {
    if (key < 0 || key > 127) return;
    vel &= 0x7f;
    if (heldKeys[key] == vel) return;
    heldKeys[key] = uint8_t(vel);

    int32_t lowest = -1;
    for (int32_t k = 0; k < 128; ++k)
        if (heldKeys[k]) {
            lowest = k;
            break;
        }
    if (lowest < 0) {
        allKeysUp = true;
        return;
    }
    allKeysUp = false;
    if (vel != 0) {
        octave = int8_t(lowest / 12);
        recogniseChord();
    }
    if (velocity == 0) {
        position = 0;
        stepClock = 1.0;
        stepLength = 1.0;
        allKeysUp = false;
        velocity = int8_t(vel);
    }
}

void CPatternSequencer::recogniseChord() {
    for (uint8_t& m : pitchClassMarks)
        m = 0;
    for (int32_t k = 0; k < 128; ++k)
        if (heldKeys[k]) pitchClassMarks[k % 12] = 1;
    type = -1;
    rootClass = 0;
    for (const ChordPass& pass : kChordPasses) {
        for (int32_t c = 0; c < 12; ++c) {
            bool match = pitchClassMarks[c] != 0;
            for (int32_t i = 0; i < pass.count && match; ++i)
                match = pitchClassMarks[(c + pass.intervals[i]) % 12] != 0;
            if (match) {
                rootClass = int8_t(c);
                type = pass.type;
            }
        }
    }
    const int32_t t = type < 0 ? 0 : type;
    for (int32_t i = 0; i < 12; ++i) {
        baseOctave[i] = kBaseTables[t][i];
        otherOctave[i] = kOtherTables[t][i];
    }
}

int32_t CPatternSequencer::keyForStep(int32_t stepValue) const {
    const int32_t d = stepValue + transpose;
    const int32_t e = d >= 0 ? d / 12 : -((11 - d) / 12); // floor(d / 12)
    const int32_t i = d - 12 * e;
    const int32_t s = e == 0 ? baseOctave[i] : otherOctave[i];
    int32_t g = (e + octave) * 12 + s + rootClass;
    while (g < 0)
        g += 12;
    if (g > kHighestStepKey) g = kFoldOctaveBase + g % 12;
    return g;
}

void CPatternSequencer::stepCheck() {
    if (velocity == 0) return;
    if (allKeysUp && !sustain) {
        stop();
        return;
    }
    while (stepClock >= stepLength) {
        stepClock -= stepLength;
        int32_t n = position;
        if (random && out) {
            const double r = out->sequencerRandom() * lengthSteps;
            n = int32_t(r);
        }
        if (position >= lengthSteps) n = 2 * lengthSteps - position - 2;
        if (n < 0) n = 0;
        if (n > lengthSteps - 1) n = lengthSteps - 1;
        currentStepIndex = n;

        const int32_t value = steps[n];
        if (value != kHold && lastNote >= 0) {
            if (out) out->sequencerNoteOff(lastNote);
            lastNote = -1;
        }
        if (value != kHold && value != kRest) {
            const int32_t g = keyForStep(value);
            if (out) out->sequencerNoteOn(g, velocity);
            lastNote = g;
        }
        swingPhase = !swingPhase;
        ++position;
        if (pingPong) {
            if (position >= lengthSteps && 2 * lengthSteps - position - 2 < 1) position = 0;
        } else if (position >= lengthSteps) {
            position = 0;
        }
        stepLength = swingPhase ? 1.0 + swing * kSwingDepth : 1.0 - swing * kSwingDepth;
    }
}

int32_t CPatternSequencer::sequencerOfValue(int32_t id) {
    for (int32_t n = 0; n < kSequencerCount; ++n) {
        const int32_t first = kSequencer1FirstId + n * kSequencerIdStride;
        if (id >= first && id < first + kValueCount) return n;
    }
    return -1;
}
