// One sounding note: eight operators and two filters joined by a free 10 x 10
// modulation matrix, a sample layer, and up to 32 modulation envelopes copied
// from the program at note start.
//
// Work is split in two rates. A control tick of one millisecond (tick length =
// sample rate x 0.001 samples) runs the envelopes, pitches, table choice and
// ramp targets; the per-sample loop only reads tables, steps float ramps and
// propagates the compiled matrix. Every matrix path has one sample of delay.
//
// Units: notes in (fractional) MIDI semitones, note 69 = 440 Hz; frequencies in
// Hz; phases in cycles; levels linear; times in samples unless stated.
//
// Threads: start, noteOff, holdEnded, release, render and the other note calls
// come from the renderer on the audio thread: no allocation, no locks. The
// parameter setters (applyValue, the operator and filter setters reached through
// oper() and filter(), the sample-layer bases, setNoInterpolation) come from the
// renderer at the start of a block, on the audio thread too; the voice picks the
// values up at its next control tick (a matrix cell moving between zero and
// non-zero at the next routing check, at most five ticks later).
#pragma once

#include "base/SameBits.h"
#include "base/SemitoneRatio.h"
#include "voice/CEnvelope.h"
#include "voice/CFilterPair.h"
#include "voice/CModulationMatrix.h"
#include "voice/COperator.h"
#include "voice/COperatorBank.h"
#include "voice/CSampleLayer.h"
#include "voice/CVoiceFilter.h"
#include "voice/WideLanes.h"

#include <cstdint>
#include <limits>
#include <type_traits>

class IVoiceContext;
class CWaveManager;
class CWaveSample;

class CVoice {
public:
    static constexpr int32_t kOperatorCount = 8;
    static constexpr int32_t kFilterCount = 2;
    static constexpr int32_t kMaxEnvelopes = 32;
    static constexpr int32_t kKeyStackSize = 24;
    static constexpr uint8_t kEmptyKey = 255;
    static constexpr int32_t kMatrixSize = kOperatorCount + kFilterCount;
    static constexpr int32_t kMaxRoutes = kMatrixSize * kMatrixSize;
    static constexpr int32_t kTicksPerRoutingCheck = 5;
    static constexpr double kDefaultSampleRate = 44100.0;
    // Output at or above this magnitude counts as audible after release.
    static constexpr float kAudibleLevel = 0.00001f;
    // A voice that ends fades its output out over this time (seconds): its
    // filters may still ring or drift when its envelopes have finished, and
    // cutting them off would step the mix.
    static constexpr double kEndFadeSeconds = 0.01;

    CVoice();

    // Main thread, once: the engine it reads at its control ticks (see
    // IVoiceContext, also for a voice without one) and the shared wave tables.
    void attach(const IVoiceContext* context, const CWaveManager* waves);

    // Audio or host thread, while the voice is not rendering. Hz.
    void setSampleRate(double rate, int32_t oversampling = 1);

    // ---- notes (renderer, audio thread) ----
    // Starts a fresh note, or retriggers an active voice legato (Lifecycle).
    // note: MIDI note as received; velocity 0..127; envelopes: the program's
    // modulation envelopes (count of them, at most 32); transpose: semitones
    // added to the note (master pitch plus unison detune).
    void start(double note, uint8_t velocity, const CEnvelope* envelopes, int32_t count,
               double transpose);
    // The next start restarts the envelopes and clears the key stack.
    void requestHardRetrigger();
    // The note the voice glides from (semitones), right after a start.
    void setCurrentNote(double note);
    // The note the voice glides to, at the renderer's glide speed.
    void setTargetNote(double note);
    // Removes key from the key stack (a negative key empties it); unless hold is
    // set, releases when no key remains, else glides back to the newest one.
    void noteOff(int32_t key, bool hold);
    // Sustain pedal released: release, or glide back to the newest held key.
    void holdEnded();
    // Every envelope enters its release (once).
    void release();
    bool isReleased() const { return released != 0; }
    // Whether the voice's output is fading out (or back in) toward its end.
    bool isFading() const { return fading; }
    float fadeLevel() const { return fadeGain; }
    // Controller 1 (pitch bend, -1..1) times the renderer's bend range up or down.
    double pitchBendSemitones() const;

    // Audio thread: adds frames samples of the voice into left and right (the
    // buffers are accumulated, never overwritten). Does nothing when inactive.
    void render(float* left, float* right, int32_t frames);
    // a.render then b.render, the same output bit for bit, with both voices'
    // sample loops run side by side (faster: see CVoiceSampleLoop.cpp).
    static void renderTogether(CVoice& a, CVoice& b, float* left, float* right, int32_t frames);
    // voices[0].render to voices[3].render, the same output bit for bit, with
    // the four voices' sample loops side by side and their filters in one
    // vector (the wide loop only; others run as two pairs).
    static constexpr int32_t kVoicesAcross = CFilterPair::kVoicesAcross;
    static void renderFour(CVoice* const* voices, float* left, float* right, int32_t frames);

    // ---- parameters (renderer, between blocks) ----
    // The renderer's apply step for one value ID with normalised value x: the
    // filter IDs (37..42, 50..71, 321, 322), the sample-layer bases (176, 177),
    // the no-interpolation switch (43) and the operator IDs (72..175, and
    // 324..329 for selectedOperator). Returns whether the ID is a voice value.
    bool applyValue(int32_t id, double x, int32_t selectedOperator);
    // Direct access for setters by index; null outside 0..7 / 0..1.
    COperator* oper(int32_t index);
    CVoiceFilter* filter(int32_t index);
    const COperator* oper(int32_t index) const;
    const CVoiceFilter* filter(int32_t index) const;
    // The 256-bit sample loop is used where the processor has it; off, the
    // plain loop runs (same output bit for bit).
    void setWideLanes(bool on) { wideLanes = on && wideLanesAvailable(); }
    bool usesWideLanes() const { return wideLanes; }
    // When set, operators read each wave segment's constant term only.
    void setNoInterpolation(bool off) { noInterpolation = off; }
    void setSampleAmplitudeBase(double amplitude); // 0..1
    void setSamplePanBase(double pan);             // -1..1
    // The renderer clears a slot: stop playing this sample at once.
    void forgetSample(const CWaveSample* sample) { sampleLayer.forget(sample); }

    // ---- state the renderer reads and writes ----
    bool active = false;
    int32_t startStamp = 0; // written by the renderer at each start

    int32_t key() const { return keyValue; }
    int32_t playedKey() const { return playedKeyValue; }
    double currentNote() const { return currentNoteValue; }
    double targetNote() const { return targetNoteValue; }
    double keyFrequency() const { return keyFrequencyValue; }
    double transpose() const { return transposeValue; }
    uint8_t keyStackEntry(int32_t i) const { return keyStack[i]; }
    int32_t ageInTicks() const { return age; }
    int32_t tickLength() const { return tickSamples; }
    int32_t routeCount() const { return matrix.routeCount(); }
    int32_t envelopeCount() const { return envelopeCountValue; }
    int32_t mustFinishCount() const { return mustFinish; }
    int32_t finishedCount() const { return finished; }
    double controller(int32_t i) const { return controllers[i]; }
    const CEnvelope& envelope(int32_t i) const { return envelopes[i]; }
    const CSampleLayer& samples() const { return sampleLayer; }

private:
    void freshStart(double n, uint8_t velocity, const CEnvelope* programEnvelopes, int32_t count);
    double rateFactor(const CEnvelope& e, double n, uint8_t velocity) const;
    void rebuildRoutingIfNeeded();
    void controlTick(int32_t n);
    // The voice is to end: its output fades to silence over kEndFadeSeconds,
    // and the voice becomes inactive at the first tick after the fade.
    void beginEndFade();
    // Returns whether the modulation sums may have moved since the last tick.
    bool applyEnvelopes(int32_t n);
    void applyEnvelope(const CEnvelope& e, double value);
    // Controllers 0..10 as the renderer gives them now (all 0 without one).
    void readControllers(double* values) const;
    double tuningFactor(double note) const;
    // The sample loop (CVoiceSampleLoop.cpp): chunks of at most one tick,
    // plain or wide, one voice or two. AllRunning: every operator is on.
    struct SampleLoop;
    void beginSamples(SampleLoop& loop, bool filtersToo);
    void endSamples(const SampleLoop& loop, bool filtersToo);
    void outputSample(SampleLoop& loop, CStereoSum& mix, float& left, float& right);
    void finishAfterFilters(SampleLoop& loop, CStereoSum& mix, float& left, float& right);
    void finishSample(SampleLoop& loop, CStereoSum& mix, float& left, float& right);
    struct PairLoop;
    struct PairChunks;
    static void beginPair(CVoice& a, CVoice& b, PairLoop& p);
    static void endPair(CVoice& a, CVoice& b, const PairLoop& p);
    static void finishPair(CVoice& a, CVoice& b, PairLoop& p, CStereoSum& mixA, CStereoSum& mixB,
                           float& left, float& right);
    template <bool Interpolate, bool AllRunning>
    void runSamples(float* left, float* right, int32_t n);
    template <bool Interpolate, bool AllRunning>
    static int32_t runPair(CVoice& a, CVoice& b, float* left, float* right, int32_t frames,
                           PairChunks& chunks);
    template <bool Interpolate, bool AllRunning>
    bool tickInPair(SampleLoop& loop, CFilterPair& filters, int32_t lane, int32_t frames,
                    int32_t& rest, int32_t& run);
    template <bool Interpolate, bool AllRunning>
    static bool ticksInPair(CVoice& a, CVoice& b, PairLoop& p, PairChunks& chunks, int32_t frames);
    struct FourLoop;
    struct FourChunks;
    static void beginFour(CVoice* const* v, FourLoop& q);
    static void endFour(CVoice* const* v, const FourLoop& q);
    template <bool Interpolate, bool AllRunning>
    static bool ticksInFour(CVoice* const* v, FourLoop& q, FourChunks& chunks, int32_t frames);
    static int32_t runChunkFour(CVoice* const* v, float* left, float* right, int32_t frames,
                                FourChunks& chunks);
#if defined(QUELLOR_HAS_WIDE_LANES)
    template <bool Interpolate, bool AllRunning>
    QUELLOR_WIDE_TARGET void runSamplesWide(float* left, float* right, int32_t n);
    template <bool Interpolate, bool AllRunning>
    QUELLOR_WIDE_TARGET static int32_t runPairWide(CVoice& a, CVoice& b, float* left, float* right,
                                                   int32_t frames, PairChunks& chunks);
    template <bool Interpolate, bool AllRunning>
    QUELLOR_WIDE_TARGET static int32_t runFourWide(CVoice* const* v, float* left, float* right,
                                                   int32_t frames, FourChunks& chunks);
#endif
    template <bool Interpolate, bool AllRunning>
    void runLanes(float* left, float* right, int32_t n);
    template <bool Interpolate, bool AllRunning>
    static int32_t runPairLanes(CVoice& a, CVoice& b, float* left, float* right, int32_t frames,
                                PairChunks& chunks);
    bool allRunning() const {
        return (runningOperators & COperatorBank::kAllLanes) == COperatorBank::kAllLanes;
    }
    void runLoaded(float* left, float* right, int32_t n);
    void prepareMatrix();
    void runChunk(float* left, float* right, int32_t n);
    static int32_t runChunkTogether(CVoice& a, CVoice& b, float* left, float* right, int32_t frames,
                                    PairChunks& chunks);
    int32_t beginChunk(int32_t frames);
    void endChunk(int32_t n);
    int32_t nextChunk(int32_t run, int32_t frames);

    const IVoiceContext* context = nullptr;
    const CWaveManager* waves = nullptr;

    // Note state.
    int32_t keyValue = 0;
    int32_t playedKeyValue = 0;
    double transposeValue = 0.0;
    double currentNoteValue = 0.0;
    double targetNoteValue = 0.0;
    double glideStep = 0.0;
    double keyFrequencyValue = 0.0;
    SemitoneRatio keyRatio; // of the key frequency
    uint8_t keyStack[kKeyStackSize];
    int32_t released = 0;
    int32_t hardRetrigger = 0;
    int32_t envelopeCountValue = 0;
    int32_t mustFinish = 0;
    int32_t finished = 0;
    double controllers[kControllerCount] = {};
    // Each envelope's key-table value at keyScaleNote (none yet).
    double keyScales[kMaxEnvelopes] = {};
    double keyScaleNote = std::numeric_limits<double>::quiet_NaN();
    // Each envelope's value as last applied to the modulation sums.
    double envelopeValues[kMaxEnvelopes] = {};

    // Timing.
    double sampleRate = kDefaultSampleRate;
    double sampleRateReciprocal = 1.0 / kDefaultSampleRate;
    int32_t tickSamples = 44;
    int32_t positionInTick = 0;
    int32_t tickCounter = 0;
    bool tickParity = false;
    // Whether the modulation sums moved since the operators' last pitch tick.
    bool sumsMovedSincePitch = true;
    bool firstTick = false;
    int32_t age = 0;
    bool noInterpolation = false;
    bool wideLanes = wideLanesAvailable();

    // Modules.
    COperator operators[kOperatorCount];
    CVoiceFilter filters[kFilterCount];
    // The voice's own copies of the program's envelopes, each made when a note
    // starts with it: until then a slot is never written, so the memory of
    // slots no note has used yet is not touched.
    union EnvelopeSlots {
        EnvelopeSlots() {}
        CEnvelope& operator[](int32_t i) { return slot[i]; }
        const CEnvelope& operator[](int32_t i) const { return slot[i]; }
        CEnvelope slot[kMaxEnvelopes];
    } envelopes;
    static_assert(std::is_trivially_copyable_v<CEnvelope> &&
                      std::is_trivially_destructible_v<CEnvelope>,
                  "envelope slots are copied in whole and never destroyed");

    // Compiled matrix and the operators that run this tick (bit k: operator
    // k). Matrix nodes 0..7 are the operators' phase inputs and outputs, 8..9
    // the filters' input accumulators and outputs; they live in nodeInput and
    // nodeOutput() while a chunk runs.
    CModulationMatrix matrix;
    uint32_t runningOperators = 0;
    // Laid out as the matrix wants them: scratch inputs after the real ones,
    // zero pads around the outputs (nodeOutput() is past the front pad).
    alignas(16) double nodeInput[CModulationMatrix::kPaddedNodes] = {};
    alignas(16) double paddedOutput[CModulationMatrix::kOutputPad + kMatrixSize +
                                    CModulationMatrix::kOutputPad] = {};
    double* nodeOutput() {
        return paddedOutput + CModulationMatrix::kOutputPad;
    }

    CSampleLayer sampleLayer;

    // End detection: consecutive audible samples after release.
    int32_t loudAfterRelease = 0;
    int32_t loudLimit = 0;
    // End fade: the gain on the voice's output and its step per sample
    // (negative fading out, positive fading back in after a new start).
    bool fading = false;
    float fadeGain = 1.0f;
    float fadeStep = 0.0f;
    float fadeStepSize = float(1.0 / (kDefaultSampleRate * kEndFadeSeconds));
};
