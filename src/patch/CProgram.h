// The patch: every sound-defining value of one plug-in instance.
//
// One flat object without heap members, owned by the sound renderer for the instance's whole
// life and overwritten (never replaced) by program loads. Almost every value is a double
// normalised to 0..1 (0.5 the centre of bipolar ranges, switches on above 0.5); the consumers map
// it to engine units. Values are read and written through their value IDs (ValueIds.h).
//
// Threads: written by the editor thread and the host's parameter and chunk calls, read by the
// audio thread through getValue. Each value is one aligned double written and read whole by
// getValue and setValue as a relaxed atomic (RelaxedAtomic.h); no locks here.
// Structural edits (envelope add/clone/delete/move, loads) are serialised by the owner.
#pragma once

#include "base/ValueIds.h"
#include "voice/CEnvelope.h"

#include <cstddef>
#include <cstdint>

inline constexpr int kHarmonicCount = 32;
inline constexpr int kProgramEnvelopeCount = 32;
inline constexpr int kTuningNoteCount = 128;
inline constexpr size_t kProgramNameSize = 128;
inline constexpr size_t kProgramPathSize = 512;
// Every stored value is clamped to this magnitude.
inline constexpr double kMaxStoredValue = 9999.99;

// Sequencer step values map onto -26..24: a rest, a held note, or a semitone offset.
inline constexpr int32_t kSequencerRestStep = -26;
inline constexpr int32_t kSequencerHoldStep = -25;
inline constexpr int32_t kSequencerMaxStep = 24;
// Any thread: the step number of a normalised step value (NaN gives a rest).
int32_t sequencerStepValue(double v);

struct OperatorPatch {
    double amplitude = 0.0;  // 0..1
    double tuneMode = 0.0;   // below 0.5 coarseTune is a ratio, from 0.5 up semitones
    double coarseTune = 1.0; // engine units: ratio or semitones
    double offsetHz = 0.0;   // Hz
    double mix = 0.5;        // -1..1
    double pan = 0.5;        // -1..1
    double enabled = 0.0;    // switch
    double startPhase = 0.0; // cycles 0..1
    double auxSwitch = 1.0;  // free-running phase switch
    double modulationDepths[kOperatorModulationCount] = {0.5, 0.5, 0.5, 0.5, 0.5,
                                                         0.5, 0.5, 0.5, 0.5, 0.5};
    double harmonicAmplitudes[kHarmonicCount] = {1.0}; // harmonic 1..32; default a pure sine
    double harmonicPhases[kHarmonicCount] = {};        // cycles 0..1
};

struct SampleSlotPatch {
    double lowKey = 0.5;  // 0..127
    double rootKey = 0.5; // 0..127
    double keyboardFollow = 1.0;
    double loop = 1.0;
    double sendFilter1 = 0.5;               // -1..1
    double sendFilter2 = 0.5;               // -1..1
    double level = 0.5;                     // -1..1
    double pan = 0.5;                       // -1..1
    char samplePath[kProgramPathSize] = {}; // empty: the slot is empty
};

struct SequencerPatch {
    double running = 0.0;
    double length = 0.0; // 1..32 steps
    double swing = 0.0;  // unmapped 0..1
    double random = 0.0;
    double pingPong = 0.0;
    double transpose = 0.5; // -24..24 semitones
    double steps[kSequencerStepCount] = {};
};

struct FilterPatch {
    double cutoff = 0.0;
    double resonance = 0.0;
    double mode = 0.0;  // 0..3: Off, LowPass, BandPass, HighPass
    double level = 0.5; // -1..1
    double pan = 0.5;   // -1..1
    double modulationDepths[kFilterModulationCount] = {0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5};
};

// Positions inside the flat value blocks.
enum GlobalIndex {
    kGlobalSampleLevel,
    kGlobalSamplePan,
    kGlobalMasterLevel,
    kGlobalMasterPitch,
    kGlobalDistortion,
    kGlobalNoInterpolation,
    kGlobalUnison,
    kGlobalUnisonSpread,
    kGlobalGlideFromHeld,
    kGlobalVoiceCount,
    kGlobalGlideFactor,
    kGlobalCount
};
enum ReverbIndex { kReverbEnable, kReverbFeedback, kReverbWet, kReverbColor, kReverbCount };
enum EqIndex {
    kEqLevelFirst = 0,
    kEqEnable = 4,
    kEqFrequencyFirst = 5,
    kEqQFirst = 9,
    kEqCount = 13
};
enum ExtraIndex {
    kExtraFilter1KeyTracking,
    kExtraFilter2KeyTracking,
    kExtraPitchBendDown,
    kExtraPitchBendUp,
    kExtraCount
};

// Which record of the selected envelope the editor shows.
enum EnvelopeView { kViewEnvelope = 0, kViewKeyCurve = 1, kViewVelocityCurve = 2 };

class CProgram {
public:
    char name[kProgramNameSize];
    char bankName[kProgramNameSize];
    char tuningName[kProgramNameSize];
    char programFilePath[kProgramPathSize];
    double tuningRatios[kTuningNoteCount]; // tuned / equal-tempered frequency per MIDI note
    OperatorPatch operators[kOperatorCount];
    SampleSlotPatch sampleSlots[kSampleSlotCount];
    double globals[kGlobalCount];
    SequencerPatch sequencers[kSequencerCount];
    double delay[kDelayIdCount];
    double chorus[kChorusIdCount];
    double reverb[kReverbCount];
    double eq[kEqCount];
    FilterPatch filters[2];
    double extras[kExtraCount];
    CEnvelope envelopes[kProgramEnvelopeCount];
    CEnvelope keyCurves[kProgramEnvelopeCount];      // key-scaling curves
    CEnvelope velocityCurves[kProgramEnvelopeCount]; // velocity curves
    // Which envelope each slot holds, for the sound: the number moves with its
    // envelope when envelopes are deleted, moved or cloned (a clone shares it),
    // and an added envelope gets a new one, so that a free-running envelope runs
    // on from where it was in whatever slot it lands. Never saved.
    uint32_t envelopeIdentities[kProgramEnvelopeCount];
    uint32_t nextEnvelopeIdentity;
    CEnvelope envelopeClipboard;
    CEnvelope curveClipboard;
    double spectrumClipboard[2 * kHarmonicCount]; // amplitudes, then phases
    int32_t selectedEnvelope;                     // 0..envelopeCount-1
    int32_t envelopePage;                         // 0..3
    int32_t envelopeView;                         // EnvelopeView
    int32_t selectedOperator;                     // 0..7
    int32_t envelopeCount;                        // 1..32
    bool spectrumClipboardValid;
    bool envelopeClipboardValid; // one of the envelope clipboards holds a copy
    // Which clipboard holds the copy, so that a paste never brings back a default record.
    bool envelopeClipboardHeld;
    bool curveClipboardHeld;

    // The process-wide fine tune (value ID 459), set by the owner; null: reads 0.5, writes ignored.
    double* fineTune = nullptr;

    // Any thread, before sharing: every default.
    CProgram();
    virtual ~CProgram();

    // Any thread; the audio thread only reads. Any int32 id is safe: IDs that name nothing read
    // 0. With forDisplay, values of an empty sample slot read 0.
    double getValue(int32_t id, bool forDisplay) const;
    // Any thread: operator op's own value that selected-operator ID selectedId
    // (324..329) names, whichever operator is selected; 0 for other arguments.
    double operatorValue(int32_t op, int32_t selectedId) const;
    // Editor thread or host parameter calls. Clamps to +-kMaxStoredValue (NaN stores 0); writes to
    // empty sample slots and to envelopes at or beyond envelopeCount are ignored.
    void setValue(int32_t id, double value);

    // --- Editing operations: editor thread. ---
    void resetSpectrum();
    void copySpectrum();
    void pasteSpectrum();
    // 32 amplitudes and 32 phases into the selected operator (null arrays are ignored).
    void setSpectrum(const double* amplitudes32, const double* phases32);
    // The selected operator's 32 amplitudes, or its 32 phases.
    double* selectedSpectrum(bool phases);
    const double* selectedSpectrum(bool phases) const;
    void resetTuning();
    // The slot's file name: the part of samplePath after the last '\\' or '/'.
    const char* samplePathLeaf(int slot) const;
    void clearPattern(int sequencer);
    void reverseSteps(int sequencer);
    void rotateSteps(int sequencer, int by);
    void addEnvelope();
    void cloneEnvelope();
    void deleteEnvelope();
    void moveEnvelope(int by);
    void copyCurve();
    void pasteCurve();
    CEnvelope& currentCurve();
    CEnvelope& currentEnvelope();
    // The envelope whose record a value ID of the envelope section edits: the
    // selected one, or a routing row's on the current page; -1 for other IDs.
    int32_t envelopeOfValue(int32_t id) const;
    // After a program load: selection back to the start, clipboards forgotten.
    void resetSelection();

private:
    const double* storedValue(int32_t id) const;
    // Envelope index named by a routing ID on the current page.
    int32_t pageEnvelope(int32_t row) const;
    int32_t selectedEnvelopeClamped() const;
    int32_t selectedOperatorClamped() const;
    CEnvelope& viewedRecord(int32_t view);
    void updatePage();
};
