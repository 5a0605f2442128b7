// The sound engine of one plug-in instance. The plug-in object creates exactly
// one and forwards every block, MIDI event, parameter, program-name and chunk
// request to it; the editor reaches it through IEditorEngine.
//
// It owns the parts and runs the block loop: the voices and their allocator,
// the master section, the effect chain, the pattern sequencers, the sampler
// slots (CSamplerBank) and the bank lists. Here live the MIDI dispatch and the
// value-ID dispatch (each value stored in the program, then applied to the part
// that takes it); the program's chunks and files and the samples are loaded by
// CProgramLoader beside it.
//
// Threads: the block call and queueMidiEvent run on the host's audio thread;
// parameter changes come from the host's threads or the editor's; program and
// chunk loading, sample loading and the editor's edits come from the
// user-interface or host thread. A single value is stored in the program (a
// relaxed atomic store) and marked in CPendingValues; the audio thread applies
// the marked values at the start of its next block, so that the voices, the
// master section and the effects are written by the audio thread alone.
//
// Records that the editor changes in place while the synth plays (envelopes,
// patterns, spectra) are never read by the audio thread from the program: the
// editing thread hands each change over whole (CProgramEdit), and the audio
// thread takes it at the start of its next block without waiting, into its own
// copies (CLiveEnvelopes, the sequencers, the wave manager's tables). Editing
// therefore never silences a block.
//
// Replacing what the voices hold (a program, a chunk, a sample) takes the
// structure lock, only for the exchange: files are read and parsed, samples
// loaded and waves built beforehand, and messages shown afterwards. The block
// call only try-locks it and renders silence for a block it cannot lock (its
// MIDI events wait for the next block), so the audio thread never waits, and such a change costs at
// most the one block in which it lands. Lock order: the edit lock, then the structure lock.
#pragma once

#include "base/ValueIds.h"
#include "effects/CChorus.h"
#include "effects/CEq.h"
#include "effects/CReverb.h"
#include "effects/CStereoDelay.h"
#include "engine/CEventQueue.h"
#include "engine/CExchangeFade.h"
#include "engine/CHalfBandDecimator.h"
#include "engine/CLiveEnvelopes.h"
#include "engine/CMasterSection.h"
#include "engine/CMidiControllers.h"
#include "engine/CPatternSequencer.h"
#include "engine/CPendingValues.h"
#include "engine/CProgramLoader.h"
#include "engine/CVoiceAllocator.h"
#include "engine/IEditorEngine.h"
#include "patch/CBankList.h"
#include "patch/CPluginFile.h"
#include "voice/CSamplerBank.h"
#include "voice/IVoiceContext.h"
#include "waves/CWaveManager.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CProgram;
class CProgramChangeWorker;
class IRendererHost;

class CSoundRenderer final : public IVoiceContext, public IEditorEngine, private SequencerOutput {
public:
    static constexpr int32_t kMaxPieceFrames = 512;
    static constexpr double kDefaultTempo = 140.0;
    static constexpr double kMinTempo = 10.0;
    static constexpr double kMaxTempo = 300.0;
    static constexpr double kDefaultSampleRate = 44100.0;
    static constexpr int32_t kPlainQuality = CPluginFile::kPlainQuality;
    static constexpr int32_t kHighQuality = CPluginFile::kHighQuality;

    // Main thread. settings is the process-wide settings object, host the
    // plug-in shell (may be null); neither is owned.
    CSoundRenderer(CPluginFile* settings, IRendererHost* host);
    virtual ~CSoundRenderer();
    CSoundRenderer(const CSoundRenderer&) = delete;
    CSoundRenderer& operator=(const CSoundRenderer&) = delete;

    // ---- lifecycle ----
    // Host threads (suspend/resume) or after a load: clears every running state.
    void reset();
    // Host thread. A rate equal to the stored one recomputes nothing.
    void setSampleRate(double rate);
    // Audio thread (from the host's time info) or host thread. Clamped to 10..300 BPM.
    void setTempo(double bpm);
    // Host or UI thread, under the structure lock. kHighQuality runs the voices
    // at twice the host rate and filters them back down (CHalfBandDecimator),
    // so that high notes fold no partials back below the host's Nyquist
    // frequency; the master section and the effects stay at the host rate.
    // Anything else is the plain mode, bit for bit as the voices sound at the
    // host rate. A change fades the output out (while a block renders) and
    // then silences every voice and the effects' tails (the voices' rate
    // changes); the shell hears of the new latency.
    void setQuality(int32_t quality) override;
    int32_t quality() const override { return oversampling.load(std::memory_order_relaxed); }
    // How many host frames the output lags the events that make it: the
    // decimator's delay in the high-quality mode, none in the plain mode.
    int32_t latencyFrames() const {
        return quality() == kHighQuality ? CHalfBandDecimator::kLatencyFrames : 0;
    }

    // ---- audio thread: no allocation, no waiting lock ----
    // out[0] left, out[1] right. replace overwrites the host buffers, otherwise
    // the output is added to them. Takes the host's tempo first, when it gives one.
    void processBlock(float** out, int32_t frames, bool replace);
    // One MIDI event of the coming block at its delta frame. A program change
    // is only noted (takeProgramChange): loading is for another thread.
    void queueMidiEvent(const uint8_t bytes[4], int32_t deltaFrames);

    // ---- MIDI program change ----
    // Any thread: the program number the last MIDI program change asked for
    // since the previous call, or -1. Only the latest of several counts.
    int32_t takeProgramChange() override { return programChangeRequest.exchange(-1); }
    // Whether program changes switch programs (the settings' switch, read
    // when the renderer is made).
    bool programChangesOn() const { return programChangesEnabled; }
    // UI thread: an open window carries out program changes itself, from its
    // idle calls; while none is open the renderer's own worker does.
    void setWindowTakesProgramChanges(bool takes) override { windowTakesChanges.store(takes); }
    bool windowTakesProgramChanges() const { return windowTakesChanges.load(); }
    // Host or UI thread, never the audio thread: loads program n of the
    // current bank as the program menu does; n outside the bank changes
    // nothing. False when nothing was loaded.
    bool selectBankProgram(int32_t n) override;

    // ---- values (any thread unless stated) ----
    // Stores the value in the program; the engine takes it at the start of the
    // next block. Host parameters (0..42) from any thread, the audio thread
    // included; every other ID from the window's thread (it takes the edit lock).
    void setParameter(int32_t id, double value) override;
    double getParameter(int32_t id) const override;
    // UI thread: the editor's drag of a host parameter's control begins or
    // ends (told to the host; other IDs are not the host's business).
    void beginEdit(int32_t id) override;
    void endEdit(int32_t id) override;
    // UI thread: tells the host that host parameter id now has its stored
    // value (the editor changed it); other IDs are not the host's business.
    void announceValue(int32_t id) override;
    // Name of host parameters 0..42; any other ID leaves text untouched.
    void getParameterName(int32_t id, char* text, size_t capacity) const;
    // Display text of any value ID, from the stored value.
    void getParameterDisplay(int32_t id, char* text, size_t capacity) const override;
    void getProgramName(char* text, size_t capacity) const override;
    void setProgramName(const char* name);
    // Host or UI thread. Re-derives every engine value from the program
    // (IDs 0..323 in ascending order); notify tells the host about IDs 0..42.
    void applyAllParameters(bool notifyHost);
    // Any thread. hard silences every voice at once; every voice is then
    // released. Done by the audio thread at the start of its next block, so the
    // voices are never touched from outside it.
    void stopVoices(bool hard) override;

    // ---- edits of the program's records while the synth plays ----
    // Through CProgramEdit only, which takes the edit lock and hands over what
    // it touched.

    // ---- program chunks and files (host or UI thread; CProgramLoader) ----
    int32_t getChunk(void** data) { return loader.getChunk(data); }
    int32_t setChunk(const void* data, int32_t length) { return loader.setChunk(data, length); }
    bool loadProgramFile(const char* path, const char* bankName) override {
        return loader.loadProgramFile(path, bankName);
    }
    bool loadTuningFile(const char* path) override { return loader.loadTuningFile(path); }

    // ---- bank folders (UI thread) ----
    CBankList& banks() override { return bankList; }
    const CBankList& banks() const { return bankList; }
    // Selects the bank folder that holds the current program (CBankList::locate).
    void locateProgram();

    // ---- sampler slots (UI or host thread; CProgramLoader) ----
    void loadSample(int32_t slot, const char* path) override { loader.loadSample(slot, path); }
    void clearSlot(int32_t slot) override { loader.clearSlot(slot); }
    void restoreProgram(const CProgram& target) override { loader.restoreProgram(target); }
    uint32_t programLoads() const override { return loader.programLoads(); }
    bool slotHasSample(int32_t slot) const override;
    const CSamplerSlot& samplerSlot(int32_t slot) const { return samplerBank.slot(slot); }

    // ---- IVoiceContext: what the voices read at their control ticks (audio thread) ----
    // The slot that plays a key (CSamplerBank::slotForKey).
    const CSamplerSlot* slotForKey(int32_t key) const override;
    void controllerValues(int32_t key, double* values) const override;
    // Tuning factor of a fractional key from the program's per-key ratios and
    // the process-wide fine tune.
    double keyFrequencyFactor(double key) const override;
    float glideFactor() const override { return glideFactorValue; }
    float bendRangeUp() const override { return bendUp; }
    float bendRangeDown() const override { return bendDown; }
    double tempo() const override { return tempoValue.load(std::memory_order_relaxed); }
    // Controller source 0..10 (2 is poly aftertouch of the given key); 1.0 otherwise.
    double controllerValue(int32_t index, int32_t key) const;
    double sampleRate() const { return sampleRateValue; }

    // ---- state read by tests and the editor ----
    CProgram& program() { return *programData; }
    const CProgram& program() const override { return *programData; }
    CPluginFile* settings() const override { return settingsObject; }
    std::mutex& structureLock() { return structureMutex; }
    // Held by the renderer while it changes the program (loads, hand-overs) and
    // while it takes a chunk; an editor may hold it around an edit of its own so
    // that no chunk is taken halfway through (it may call the seams meanwhile).
    // Never taken by the audio thread.
    std::recursive_mutex& editLock() override { return editMutex; }
    // Blocks rendered silent because the structure lock was held (any thread).
    uint32_t lockedOutBlocks() const { return lockedOut.load(std::memory_order_relaxed); }
    // The audio thread's copy of the envelopes (tests; the audio thread's own).
    const CLiveEnvelopes& playingEnvelopes() const { return *liveEnvelopes; }
    const CMasterSection& master() const { return masterSection; }
    const CVoiceAllocator& voices() const { return voiceAllocator; }
    float masterPitch() const { return masterPitchValue; }
    bool sustain() const { return sustainOn; }
    int32_t queuedEvents() const { return events.size(); }
    const CPatternSequencer& sequencer(int32_t i) const { return sequencers[i & 1]; }
    const CWaveManager& waves() const override { return waveManager; }
    const CStereoDelay& stereoDelay() const { return delay; }
    const CChorus& chorusUnit() const { return chorus; }
    const CEq& equaliser() const { return eq; }
    const CReverb& reverbUnit() const { return reverb; }

private:
    // Apply one value to the engine without storing it (the fixed dispatch order).
    void applyValue(int32_t id, double x);
    // Operator op's own value named by a selected-operator ID, from the program.
    void applyOperatorValue(int32_t op, int32_t selectedId);
    // Audio thread at the start of a block: the values set since the last one.
    void applyPendingValues();
    bool applyRendererValue(int32_t id, double x);
    // One piece of at most 512 frames: voices, master section, effect chain.
    void renderPiece(float* left, float* right, int32_t n);
    void renderVoicesAndMaster(float* left, float* right, int32_t n);
    // The active voices mixed into left and right (n frames at the host rate),
    // at the quality's rate.
    void renderVoices(float* left, float* right, int32_t n);
    // The rate the voices run at: the host rate times the quality.
    double voiceRate() const { return sampleRateValue * quality(); }
    // The piece's samples below the silence level become exact 0, so that a
    // finished sound ends in digital silence.
    static void silenceRemains(float* left, float* right, int32_t n);
    // MIDI side.
    void dispatch(const MidiEventEntry& entry);
    void controlChange(int32_t number, int32_t value);
    void resetControllers();
    bool anySequencerRunning() const;
    // A note played into the voices, with master pitch, glide source and
    // voice choice (from the MIDI dispatch and the sequencers).
    void noteOn(int32_t key, int32_t velocity);
    void noteOff(int32_t key);
    // The settings' program-change switch, and the worker when it is on.
    void startProgramChanges();
    // reset() without emptying the event queue.
    void resetRunningState();
    // Audio thread, or under the structure lock: hard silences every voice at
    // once; every voice is then released.
    void silenceVoices(bool hard);
    // Audio thread at the start of a block, or under the structure lock: what
    // the editing threads handed over.
    void takeEdits();

    // What the pattern sequencers play into.
    void sequencerNoteOn(int32_t key, int32_t velocity) override { noteOn(key, velocity); }
    void sequencerNoteOff(int32_t key) override { noteOff(key); }
    void sequencerReleaseAllVoices() override;
    void sequencerHoldEnded() override;
    double sequencerRandom() override;

    CPluginFile* settingsObject;
    IRendererHost* host;
    std::unique_ptr<CProgram> programData;

    float masterPitchValue = 0.0f;
    float glideFactorValue = 0.25f;
    bool sustainOn = false;
    float bendUp = 0.0f;
    float bendDown = 0.0f;
    double sampleRateValue = -1.0; // so that the first setting is applied
    // Set on the audio thread from the host's time info, read by the window.
    std::atomic<double> tempoValue{kDefaultTempo};
    int32_t sequencerTickPosition = 0;
    CMidiControllers midiControllers;
    // The fine-tune setting keyFrequencyFactor last worked its factor out for
    // (none yet), and that factor: the setting seldom moves, so the voices'
    // tuning needs no power per tick. Audio thread only, like its reader.
    mutable double fineTuneSetting = std::numeric_limits<double>::quiet_NaN();
    mutable double fineTuneFactor = 1.0;
    CEventQueue events;
    CPendingValues pendingValues;

    CSamplerBank samplerBank;
    CBankList bankList;
    // Program files, chunks and samples: reaches the parts above as a friend.
    friend class CProgramLoader;
    // The one way to change the program's records: reaches the hand-overs.
    friend class CProgramEdit;
    CProgram& programForEdit() override { return *programData; }
    void publishEdit(const ProgramTouches& touched) override;
    CProgramLoader loader{*this};

    // Owned for the renderer's whole life, in construction order.
    CWaveManager waveManager;
    CVoiceAllocator voiceAllocator;
    CMasterSection masterSection;
    // Written under the structure lock; read by the block loop under it, and
    // by the glide factor's setting from any thread.
    // setQuality without telling the shell; false when the quality stays.
    bool changeQuality(int32_t quality);
    std::atomic<int32_t> oversampling{kPlainQuality};
    CHalfBandDecimator decimators[2]; // left, right
    CPatternSequencer sequencers[2] = {CPatternSequencer(this), CPatternSequencer(this)};
    CStereoDelay delay;
    CChorus chorus;
    CEq eq;
    CReverb reverb;

    // The audio thread's copy of the program's envelopes (large: on the heap).
    std::unique_ptr<CLiveEnvelopes> liveEnvelopes;
    // Program loads fade the output out before the exchange.
    CExchangeFade exchangeFade;
    std::atomic<uint32_t> lockedOut{0};
    // A stopVoices for the audio thread to carry out: none, release or hard.
    enum : int { kNoStop, kReleaseStop, kHardStop };
    std::atomic<int> voiceStopRequest{kNoStop};
    std::recursive_mutex editMutex;
    std::mutex structureMutex;

    std::atomic<int32_t> programChangeRequest{-1};
    std::atomic<bool> windowTakesChanges{false};
    bool programChangesEnabled = true;
    // Made last and stopped first: it loads programs through everything above.
    std::unique_ptr<CProgramChangeWorker> programChangeWorker;
};

static_assert(CHalfBandDecimator::kMaxOutputFrames >= CSoundRenderer::kMaxPieceFrames,
              "the decimator takes a whole piece");
