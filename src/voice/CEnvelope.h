// Breakpoint envelope record: modulation envelope, key-scaling curve and velocity curve.
//
// One plain value type serves all three uses. The program keeps 32 of each; a voice copies the
// modulation envelopes whole at note start (plain assignment, no heap, no virtuals) and runs its
// copies at the 1 ms control tick.
//
// Units: levels and curves are 0..1 (curve 0.5 is a straight line); deltas and end times are in
// time units (seconds, or beats with tempo sync); `rate` is time units per second; depths are
// target-kind units (semitones for pitch, 100 Hz for frequency, otherwise linear amounts).
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int kEnvelopeMaxPoints = 64;
inline constexpr int kEnvelopeDestinationCount = 11; // operators 0..7, filter 1, filter 2, sample
inline constexpr int kEnvelopeSampleDestination = 10;
inline constexpr int kEnvelopeFilterDestination = 8; // filter 2 is the next one
inline constexpr int kKeyTableSize = 128;

// Target kinds: what an envelope drives on its destinations.
enum EnvelopeTargetKind : int32_t {
    kTargetAmplitude = 0,
    kTargetAmplitudeMult = 1,
    kTargetMixLevel = 2,
    kTargetMixLevelMult = 3,
    kTargetPanning = 4,
    kTargetPitch = 5,
    kTargetFrequency = 6,
    kTargetPhase = 7,
    kTargetCutoff = 8,
    kTargetResonance = 9,
};
inline constexpr int kTargetKindCount = 10;

// Long names, as the target menu shows them.
inline constexpr const char* kTargetKindNames[kTargetKindCount] = {
    "Amplitude", "Amplitude (MULT)", "Mix Level", "Mix Level (MULT)", "Panning",
    "Pitch",     "Frequency",        "Phase",     "Cutoff",           "Resonance",
};

// Nine-character labels, as the routing list shows them.
inline constexpr const char* kTargetKindLabels[kTargetKindCount] = {
    "Amplitude", "Amp(MULT)", "Mix      ", "Mix(MULT)", "Pan      ",
    "Pitch    ", "Freq x100", "Phase    ", "Cutoff   ", "Resonance",
};

// Destination sets as bit masks over the 11 destinations.
inline constexpr uint32_t kDestinationOperators = 0x0FF;
inline constexpr uint32_t kDestinationFilters = 0x300;
inline constexpr uint32_t kDestinationSample = 0x400;

inline constexpr uint32_t kTargetKindDestinations[kTargetKindCount] = {
    kDestinationOperators | kDestinationSample,                       // Amplitude
    kDestinationOperators | kDestinationSample,                       // Amplitude (MULT)
    kDestinationOperators | kDestinationFilters,                      // Mix Level
    kDestinationOperators | kDestinationFilters,                      // Mix Level (MULT)
    kDestinationOperators | kDestinationFilters | kDestinationSample, // Panning
    kDestinationOperators | kDestinationSample,                       // Pitch
    kDestinationOperators,                                            // Frequency
    kDestinationOperators,                                            // Phase
    kDestinationFilters,                                              // Cutoff
    kDestinationFilters,                                              // Resonance
};

// Depth limits (symmetric, -limit..limit) for destinations 0..9 and for the sample layer.
inline constexpr double kTargetKindDepthLimits[kTargetKindCount] = {1,   1,   1, 1, 1,
                                                                    100, 100, 1, 1, 1};
inline constexpr double kTargetKindSampleDepthLimits[kTargetKindCount] = {10,  10, 10, 10, 1,
                                                                          100, 10, 10, 10, 10};

// Frequency envelopes add depth x this many Hz.
inline constexpr double kFrequencyDepthHz = 100.0;

// Controller sources that scale an envelope; index 11 means none.
inline constexpr int kControllerCount = 11;
inline constexpr int32_t kNoController = 11;
inline constexpr const char* kControllerNames[kControllerCount + 1] = {
    "Modulation Wheel",
    "Pitch Bend",
    "Aftertouch (poly)",
    "Aftertouch (mono)",
    "Breath Ctrl",
    "Foot Ctrl",
    "Expression",
    "CC16",
    "CC17",
    "CC18",
    "CC19",
    "<no ctrl>",
};

// The multiplying kinds scale what earlier envelopes added instead of adding themselves.
constexpr bool isMultiplyingTargetKind(int32_t kind) {
    return kind == kTargetAmplitudeMult || kind == kTargetMixLevelMult;
}

// Whether `destination` (0..10) may be used by target kind `kind`; out-of-range values are
// clamped into their ranges first.
bool isDestinationAllowed(int32_t kind, int destination);

// One segment, ending at this point.
struct EnvelopePoint {
    double level = 0.0;      // 0..1, kept to a resolution of 0.0001
    double startLevel = 0.0; // derived: previous point's level (point 0: the last point's)
    double curve = 0.0;      // 0..1, 0.5 straight
    double delta = 0.0;      // segment duration in time units, grid..100
    double endTime = 0.0;    // derived: sum of the deltas up to and including this point
};

class CEnvelope {
public:
    static constexpr double kDefaultTimeGrid = 0.001;
    static constexpr double kKeyTableTimeGrid = 1.0 / kKeyTableSize;
    static constexpr double kMaxDelta = 100.0;
    static constexpr double kLevelResolution = 10000.0;
    static constexpr double kUsedDepthThreshold = 0.0001;
    // Evaluation runs a hair slow: every time step is scaled by this factor.
    static constexpr double kTimeStepScale = 0.99801;
    static constexpr int32_t kModulationMinimumPoints = 3;
    static constexpr int32_t kCurveMinimumPoints = 2;

    // Fields in record order (the envelope file and the voices rely on this layout).
    int32_t selectedPoint = 0;
    bool keepFollowing = false; // a delta change does not move the points after it
    bool tempoSync = false;     // time axis in beats instead of seconds
    bool bipolar = false;       // output mapped from 0..1 to -1..1
    bool freeRunning = false;   // not restarted at note start
    bool keyed = true;          // a note off releases it
    int32_t targetKind = kTargetAmplitude;
    int32_t controller = kNoController;
    double rateKeyTracking = 0.0;         // semitone-law speed factor per key
    double rateVelocitySensitivity = 0.0; // semitone-law speed factor per velocity
    int32_t loopStart = 1;
    int32_t loopEnd = 1;
    double depths[kEnvelopeDestinationCount] = {};
    int32_t pointCount = 3;
    bool released = false;
    double currentLevel = 0.0; // last unmapped output
    bool looping = false;
    int32_t currentSegment = 0;
    double timeInSegment = 0.0;
    double timeGrid = kDefaultTimeGrid; // every delta is a whole multiple of it
    int32_t minimumPointCount = kModulationMinimumPoints;
    bool loopEnabled = true;
    bool keyTableCurve = false; // the record is a key-scaling or velocity curve
    double rate = 1.0;          // time units per second
    bool finishedCounted = false;
    bool mustFinish = false;
    double depth = 1.0; // overall amount; the velocity curve's value at note on
    double keyTable[kKeyTableSize] = {};
    EnvelopePoint points[kEnvelopeMaxPoints] = {};
    EnvelopePoint loopBack; // derived: loop start's segment, starting from loop end's level

    // Any thread that owns the record: a reset envelope with routing cleared.
    CEnvelope();

    // --- Model operations: editor thread, program loading. No allocation. ---

    // Back to the default three-point envelope (or the flat curve for a key-table curve);
    // `clearRouting` also zeroes the depths and the target kind.
    void reset(bool clearRouting);
    // Turns the record into a flat key-scaling / velocity curve.
    void makeKeyTableDefault();
    // Quantises deltas and levels, derives start levels, end times and the loop-back segment,
    // refills the key table of a key-table curve and restarts at time 0. Call after every edit
    // and after loading.
    void recompute();

    void setLevel(int index, double v);
    void setLastLevel(double v);
    void setCurve(int index, double v);
    void setDelta(int index, double v);
    void setLoopStart(int index);
    void setLoopEnd(int index);
    void insertPoint(int index);
    void deletePoint(int index);
    // Adds a point ending at time `t`; returns its index, or -1 when refused (too close to the
    // next point with keep-following on, or the envelope is full).
    int addPointAtTime(double t);

    // Ignored for destinations the target kind does not use; then all depths are clamped to the
    // kind's limits. Destinations 10 and above address the sample layer.
    void setDepth(int destination, double value);
    // Clamps every depth to the limits of the current target kind (after a kind change).
    void clampDepths();

    // "%.2f" of the depth, "n/a" for an unused destination, "zero" for 0.00.
    void depthText(int destination, char* text, size_t capacity, char decimalSeparator) const;
    // "Lev %.2f  Crv %.2f  Dlt %.2f" of the selected point (level shown -1..1 when bipolar).
    void pointText(char* text, size_t capacity, char decimalSeparator) const;

    double level(int index) const { return points[clampIndex(index)].level; }
    double curve(int index) const { return points[clampIndex(index)].curve; }
    double delta(int index) const { return points[clampIndex(index)].delta; }
    double endTime(int index) const { return points[clampIndex(index)].endTime; }
    double lastLevel() const { return points[clampIndex(pointCount - 1)].level; }
    int32_t selectedPointClamped() const { return clampIndex(selectedPoint); }
    bool isRising(int index) const {
        const EnvelopePoint& p = points[clampIndex(index)];
        return p.level > p.startLevel;
    }

    // --- Engine operations: audio thread (and the program's free-running advance).
    //     No allocation, no locks; one pow() per evaluate. ---

    // Starts at time t0 (time units from the envelope's start).
    void start(double t0);
    // Value at the current time, then advances by dt time units (scaled by kTimeStepScale).
    // Returns 0..1, or -1..1 when bipolar. Sustain on a single point, where a held note's
    // envelopes spend most of their time, is answered here without a call.
    double evaluate(double dt, bool allowLoop) {
        if (!released && looping && currentSegment == loopStart && currentSegment == loopEnd &&
            currentSegment >= 0 && currentSegment < safePointCount()) {
            currentLevel = points[currentSegment].level;
            return bipolar ? 2.0 * currentLevel - 1.0 : currentLevel;
        }
        return evaluateAndAdvance(dt, allowLoop);
    }
    // Note off: jumps to the segment after loop end, starting from the current level.
    void release();
    // Legato restart from wherever the envelope is.
    void retriggerFromCurrentLevel();
    // Where a running envelope is: segment, time in it, level, loop and release state.
    struct Position {
        bool released = false;
        bool looping = false;
        bool finishedCounted = false;
        bool finished = false;
        int32_t currentSegment = 0;
        double timeInSegment = 0.0;
        double currentLevel = 0.0;
    };
    Position position() const;
    // Takes the running position of the same envelope before an edit: a free-running envelope
    // whose record is replaced goes on from where it was instead of starting again. The position
    // is kept inside this record's points, so that deleted or shortened segments never leave it
    // past the end.
    void continueFrom(const Position& running);
    // Key table at a (fractional) MIDI note, interpolated; ends held.
    double keyTableLookup(double note) const;
    // For the multiplying kinds: whether the destination's depth is non-negligible.
    bool isDestinationUsed(int destination) const;
    bool isFinished() const { return currentSegment >= pointCount; }

    // Shape of one segment from a to b at position x (0..1) with curve c.
    static double segmentShape(double a, double b, double c, double x);

private:
    int clampIndex(int index) const;
    // evaluate() beyond the sustain on a single point.
    double evaluateAndAdvance(double dt, bool allowLoop);
    // Moves on through the segments (looping back where allowed) while the time in the current
    // one exceeds its length; the evaluation's rarer half, kept apart to keep the usual one lean.
    void walkSegments(bool allowLoop);
    // Called by every evaluation, hence inline.
    int32_t safePointCount() const {
        if (pointCount < kCurveMinimumPoints) return kCurveMinimumPoints;
        return pointCount > kEnvelopeMaxPoints ? kEnvelopeMaxPoints : pointCount;
    }
};
