// A chord-following 32-step pattern sequencer. While it runs it takes over the
// incoming notes: it keeps the held keys, recognises their chord, and plays
// its pattern on that chord, one step per sixteenth note at the host tempo,
// through the renderer's ordinary note on and note off.
//
// Everything runs on the audio thread inside the block loop and the MIDI
// dispatch (no allocation, no locks). The renderer's editing threads hand the
// sequencer's values over whole (publishValues, CHandOver), so that a pattern
// cleared, shifted or loaded in the editor plays either as it was or as it
// became, never half of each; the audio thread takes them at the start of a
// block.
#pragma once

#include "base/CHandOver.h"
#include "base/ValueIds.h"

#include <cstdint>

// What a sequencer plays into: the renderer's note handling and its voices.
class SequencerOutput {
public:
    virtual ~SequencerOutput() = default;
    virtual void sequencerNoteOn(int32_t key, int32_t velocity) = 0;
    virtual void sequencerNoteOff(int32_t key) = 0;
    // Every voice gets note off for key -1 without hold: its key stack is
    // emptied and it is released.
    virtual void sequencerReleaseAllVoices() = 0;
    // Every voice gets the hold-ended call.
    virtual void sequencerHoldEnded() = 0;
    // The process-wide random generator, 0..1.
    virtual double sequencerRandom() = 0;
};

class CPatternSequencer {
public:
    static constexpr int32_t kStepCount = 32;
    static constexpr int32_t kRest = -26;
    static constexpr int32_t kHold = -25;
    // A sequencer's values in the order of its value IDs: running, length,
    // transpose, swing, random, ping-pong, then the 32 steps.
    static constexpr int32_t kValueCount = kSequencerStepsOffset + kSequencerStepCount;
    // The sequencer (0 or 1) whose value a value ID is, or -1.
    static int32_t sequencerOfValue(int32_t id);
    explicit CPatternSequencer(SequencerOutput* output);
    CPatternSequencer(const CPatternSequencer&) = delete;
    CPatternSequencer& operator=(const CPatternSequencer&) = delete;

    // Applies value ID id of this sequencer's ID block, which starts at firstId
    // (kSequencer1FirstId or kSequencer2FirstId); false when the ID is not one
    // of this sequencer's. On the thread that runs the sequencer.
    bool applyValue(int32_t id, double x, int32_t firstId);

    // Editing threads, one at a time: all kValueCount values, handed over together.
    void publishValues(const double* values);
    // Audio thread, or a thread that holds the renderer's structure lock:
    // applies values published since the last call, in the order of their IDs.
    // A running switch that did not change leaves the playing pattern alone.
    bool takePublished();

    void setRunning(bool run);
    bool isRunning() const { return running; }
    bool isPlaying() const { return velocity != 0; }
    void noteInput(int32_t key, int32_t velocity);
    void setSustain(bool on) { sustain = on; }
    void stop();
    void setTempo(double bpm);
    void setSampleRate(double rate);
    // Once per sequencer tick (every 5 ms of samples).
    void stepCheck();
    // Advances the step clock by m samples while playing.
    void advance(int32_t m) {
        if (velocity != 0) stepClock += m * stepIncrement;
    }

    // State read by tests and the editor.
    int32_t root() const { return rootClass; }
    int32_t chordType() const { return type; }
    int32_t currentStep() const { return currentStepIndex; }
    int32_t length() const { return lengthSteps; }
    int32_t step(int32_t k) const { return steps[k & (kStepCount - 1)]; }
    double stepIncrementPerSample() const { return stepIncrement; }
    // The key a step value plays on the recognised chord (before master pitch).
    int32_t keyForStep(int32_t stepValue) const;

private:
    // Value kValueCount-relative offset k.
    void applyOffset(int32_t k, double x);
    void recogniseChord();
    void recomputeIncrement();

    SequencerOutput* out;
    bool running = false;
    double swing = 0.0;
    bool pingPong = false;
    bool random = false;
    int8_t steps[kStepCount];
    int8_t transpose = 0;
    bool sustain = false;
    bool allKeysUp = false;
    double tempo = 120.0;
    uint8_t heldKeys[128] = {};
    uint8_t pitchClassMarks[12] = {};
    int8_t baseOctave[12];
    int8_t otherOctave[12];
    int8_t rootClass = 0;
    int8_t octave = 4;
    int8_t velocity = 0;
    int32_t position = 0;
    int32_t currentStepIndex = 0;
    int32_t lengthSteps = 16;
    double stepClock = 0.0;
    double stepIncrement = 0.0;
    bool swingPhase = false;
    double sampleRate = 44100.0;
    int32_t lastNote = -1;
    double stepLength = 1.0;
    int32_t type = 0;

    double stagedValues[kValueCount] = {};
    CHandOver handOver;
};
