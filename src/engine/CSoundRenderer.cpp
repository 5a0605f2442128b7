#include "engine/CSoundRenderer.h"

#include "base/Denormal.h"
#include "base/RelaxedAtomic.h"
#include "base/SampleGuard.h"
#include "base/ToRange.h"
#include "base/ValueIds.h"
#include "engine/CProgramChangeWorker.h"
#include "engine/CProgramEdit.h"
#include "engine/IRendererHost.h"
#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "patch/ParameterText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace {

constexpr int32_t kMaxBendSemitones = 48;
constexpr int32_t kMasterPitchRange = 24;
// Glide factor 2^((1 - x) * 8) / rate; below 0.01 the glide is immediate.
constexpr double kGlideOctaves = 8.0;
constexpr double kGlideImmediateBelow = 0.01;
constexpr float kGlideImmediate = 1.0f;

// MIDI.
constexpr uint8_t kDataMask = 0x7f;
constexpr int32_t kProgramChangeStatus = 0xc0;
constexpr int32_t kSustainThreshold = 64;
constexpr int32_t kControllerReset = 121;
constexpr int32_t kAllNotesOffFirst = 123;
constexpr int32_t kAllNotesOffLast = 127;

// Pattern sequencers step-check every 5 ms.
constexpr double kSequencerTickSeconds = 0.005;

} // namespace

CSoundRenderer::CSoundRenderer(CPluginFile* settings, IRendererHost* hostShell)
    : settingsObject(settings), host(hostShell), programData(new CProgram()), bankList(settings),
      liveEnvelopes(new CLiveEnvelopes()) {
    if (settingsObject) programData->fineTune = &settingsObject->fineTune;
    voiceAllocator.attach(this, &waveManager);
    setTempo(kDefaultTempo);
    reset();
    setSampleRate(kDefaultSampleRate);
    // The shell reads the latency once the renderer exists.
    if (settingsObject) changeQuality(settingsObject->qualitySetting());
    resetControllers();
    bankList.rescan();
    bankList.selectFolder(0);
    char first[CBankList::kListEntryCapacity];
    if (bankList.fileCount() > 0 && bankList.filePath(0, first, sizeof first) &&
        loader.readProgramFile(first, nullptr, false)) {
        startProgramChanges();
        return;
    }
    applyAllParameters(false);
    startProgramChanges();
}

CSoundRenderer::~CSoundRenderer() {
    // No program change may load into the parts while they go.
    programChangeWorker.reset();
}

void CSoundRenderer::startProgramChanges() {
    programChangesEnabled = !settingsObject || settingsObject->programChangeSetting();
    if (programChangesEnabled)
        programChangeWorker.reset(new (std::nothrow) CProgramChangeWorker(*this));
}

void CSoundRenderer::reset() {
    events.empty();
    resetRunningState();
}

void CSoundRenderer::resetRunningState() {
    voiceAllocator.reset();
    masterSection.reset();
    for (CHalfBandDecimator& d : decimators)
        d.reset();
    sequencerTickPosition = 0;
    delay.reset();
    chorus.reset();
    eq.reset();
    reverb.reset();
    liveEnvelopes->restart();
}

void CSoundRenderer::setTempo(double bpm) {
    if (std::isnan(bpm)) return;
    if (bpm < kMinTempo) bpm = kMinTempo;
    if (bpm > kMaxTempo) bpm = kMaxTempo;
    tempoValue.store(bpm, std::memory_order_relaxed);
    sequencers[0].setTempo(bpm);
    sequencers[1].setTempo(bpm);
    delay.setTempo(bpm);
}

void CSoundRenderer::setSampleRate(double rate) {
    if (rate == sampleRateValue || !(rate > 0.0) || std::isinf(rate)) return;
    // The effects reallocate their buffers: never while a block renders.
    std::lock_guard<std::mutex> lock(structureMutex);
    sampleRateValue = rate;
    masterSection.setSampleRate(rate);
    exchangeFade.setSampleRate(rate);
    sequencers[0].setSampleRate(rate);
    sequencers[1].setSampleRate(rate);
    voiceAllocator.setSampleRate(voiceRate(), quality());
    delay.setSampleRate(rate);
    chorus.setSampleRate(rate);
    eq.setSampleRate(rate);
    reverb.setSampleRate(rate);
    // The glide factor is per sample: follow the new rate.
    applyRendererValue(kGlideFactorId, programData->getValue(kGlideFactorId, false));
}

void CSoundRenderer::setQuality(int32_t requested) {
    if (!changeQuality(requested)) return;
    if (host) host->latencyChanged(latencyFrames());
}

bool CSoundRenderer::changeQuality(int32_t requested) {
    const int32_t factor = requested == kHighQuality ? kHighQuality : kPlainQuality;
    if (factor == quality()) return false;
    // A voice cannot go on at another rate: its phases, ramps and filter
    // states belong to the old one. So the output fades out first, as before
    // a program exchange, and the effects' tails go with the voices, so that
    // nothing comes back at full level after the fade.
    exchangeFade.fadeOutAndWait();
    std::lock_guard<std::mutex> lock(structureMutex);
    oversampling.store(factor, std::memory_order_relaxed);
    silenceVoices(true);
    voiceAllocator.setSampleRate(voiceRate(), quality());
    for (CHalfBandDecimator& d : decimators)
        d.reset();
    masterSection.reset();
    delay.reset();
    chorus.reset();
    eq.reset();
    reverb.reset();
    applyRendererValue(kGlideFactorId, programData->getValue(kGlideFactorId, false));
    exchangeFade.finish();
    return true;
}

// ---------------------------------------------------------------- block loop

void CSoundRenderer::queueMidiEvent(const uint8_t bytes[4], int32_t deltaFrames) {
    // Noted as it arrives, not when its block plays: a block that finds a
    // load in progress drops its events, and the change would be lost.
    if ((bytes[0] & 0xf0) == kProgramChangeStatus && programChangesEnabled)
        programChangeRequest.store(bytes[1] & kDataMask);
    events.queue(bytes, deltaFrames);
}

void CSoundRenderer::processBlock(float** out, int32_t frames, bool replace) {
    if (frames <= 0 || !out || !out[0] || !out[1]) {
        events.empty();
        return;
    }
    double bpm = 0.0;
    if (host && host->hostTempo(bpm)) setTempo(bpm);
    float* hostLeft = out[0];
    float* hostRight = out[1];

    std::unique_lock<std::mutex> lock(structureMutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        // A program or sample is being replaced: this block stays silent, and
        // its notes and controllers take effect at the next block's start
        // (a released key lost here would hang on for good).
        lockedOut.fetch_add(1, std::memory_order_relaxed);
        if (replace) {
            std::memset(hostLeft, 0, sizeof(float) * size_t(frames));
            std::memset(hostRight, 0, sizeof(float) * size_t(frames));
        }
        events.holdOver();
        return;
    }

    takeEdits();
    applyPendingValues();
    if (const int stop = voiceStopRequest.exchange(kNoStop, std::memory_order_acquire))
        silenceVoices(stop == kHardStop);
    CDenormalGuard denormals;
    int32_t done = 0;
    while (done < frames) {
        int32_t gap = events.nextGap([this](const MidiEventEntry& e) { dispatch(e); });
        const int32_t remaining = frames - done;
        // No further event, an event out of order, or one beyond the block:
        // render to the end and discard whatever is still queued.
        const bool last = gap < 0 || gap >= remaining;
        if (last) gap = remaining;
        while (gap > 0) {
            const int32_t n = gap < kMaxPieceFrames ? gap : kMaxPieceFrames;
            float left[kMaxPieceFrames];
            float right[kMaxPieceFrames];
            std::memset(left, 0, sizeof(float) * size_t(n));
            std::memset(right, 0, sizeof(float) * size_t(n));
            renderPiece(left, right, n);
            exchangeFade.apply(left, right, n);
            silenceRemains(left, right, n);
            if (replace) {
                std::memcpy(hostLeft + done, left, sizeof(float) * size_t(n));
                std::memcpy(hostRight + done, right, sizeof(float) * size_t(n));
            } else {
                for (int32_t i = 0; i < n; ++i) {
                    hostLeft[done + i] += left[i];
                    hostRight[done + i] += right[i];
                }
            }
            done += n;
            gap -= n;
        }
        if (last) break;
    }
    events.empty();
    exchangeFade.blockRendered(frames, sampleRateValue);
}

void CSoundRenderer::renderPiece(float* left, float* right, int32_t n) {
    renderVoicesAndMaster(left, right, n);
    chorus.process(left, right, n);
    delay.process(left, right, n);
    reverb.process(left, right, n);
    eq.process(left, right, n);
    // Free-running envelopes advance once per piece, shared by every voice.
    liveEnvelopes->advanceFreeRunning(double(n) / sampleRateValue);
}

void CSoundRenderer::silenceRemains(float* left, float* right, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        left[i] = flushSilence(left[i]);
        right[i] = flushSilence(right[i]);
    }
}

void CSoundRenderer::takeEdits() {
    liveEnvelopes->take();
    waveManager.takePublished();
    for (CPatternSequencer& s : sequencers)
        s.takePublished();
}

void CSoundRenderer::publishEdit(const ProgramTouches& touched) {
    CProgramEdit::handOver(*this, touched);
}

void CSoundRenderer::applyPendingValues() {
    pendingValues.take([this](int32_t id) { applyValue(id, programData->getValue(id, false)); },
                       [this](int32_t op, int32_t id) { applyOperatorValue(op, id); });
}

void CSoundRenderer::renderVoicesAndMaster(float* left, float* right, int32_t n) {
    if (!anySequencerRunning()) {
        renderVoices(left, right, n);
        masterSection.process(left, right, n);
        return;
    }
    // Sequencer ticks every 5 ms: the piece is cut at each tick boundary.
    // At least one sample, or a very low rate would never advance.
    int32_t tick = int32_t(sampleRateValue * kSequencerTickSeconds);
    if (tick < 1) tick = 1;
    // A tick begun at a higher rate (the host changed the rate without a
    // reset) may already be longer than the new one: it ends here.
    if (sequencerTickPosition >= tick) sequencerTickPosition = 0;
    int32_t done = 0;
    while (done < n) {
        int32_t m = n - done;
        if (m > tick) m = tick;
        if (m > tick - sequencerTickPosition) m = tick - sequencerTickPosition;
        if (sequencerTickPosition == 0)
            for (CPatternSequencer& s : sequencers)
                if (s.isRunning()) s.stepCheck();
        for (CPatternSequencer& s : sequencers)
            s.advance(m);
        renderVoices(left + done, right + done, m);
        masterSection.process(left + done, right + done, m);
        sequencerTickPosition += m;
        if (sequencerTickPosition >= tick) sequencerTickPosition = 0;
        done += m;
    }
}

void CSoundRenderer::renderVoices(float* left, float* right, int32_t n) {
    if (quality() == kPlainQuality) {
        voiceAllocator.render(left, right, n);
        return;
    }
    float wideLeft[kHighQuality * kMaxPieceFrames];
    float wideRight[kHighQuality * kMaxPieceFrames];
    const int32_t wide = kHighQuality * n;
    std::memset(wideLeft, 0, sizeof(float) * size_t(wide));
    std::memset(wideRight, 0, sizeof(float) * size_t(wide));
    voiceAllocator.render(wideLeft, wideRight, wide);
    // The pieces start cleared, so the decimated voices take their place.
    decimators[0].process(wideLeft, left, n);
    decimators[1].process(wideRight, right, n);
}

bool CSoundRenderer::anySequencerRunning() const {
    return sequencers[0].isRunning() || sequencers[1].isRunning();
}

// ---------------------------------------------------------------- MIDI

void CSoundRenderer::dispatch(const MidiEventEntry& entry) {
    const int32_t status = entry.bytes[0] & 0xf0;
    const int32_t data1 = entry.bytes[1] & kDataMask;
    const int32_t data2 = entry.bytes[2] & kDataMask;
    if (midiControllers.takeMessage(status, data1, data2)) return;
    switch (status) {
    case 0xb0:
        controlChange(data1, data2);
        break;
    case 0x80:
    case 0x90: {
        const int32_t velocity = status == 0x80 ? 0 : data2;
        if (anySequencerRunning()) {
            for (CPatternSequencer& s : sequencers)
                if (s.isRunning()) s.noteInput(data1, velocity);
            break;
        }
        if (velocity == 0)
            noteOff(data1);
        else
            noteOn(data1, velocity);
        break;
    }
    default:
        // Program changes were taken as they came (queueMidiEvent); system
        // messages are ignored.
        break;
    }
}

void CSoundRenderer::controlChange(int32_t number, int32_t value) {
    if (midiControllers.takeControlChange(number, value)) return;
    switch (number) {
    case 7:
        masterSection.setVolume(float(value / CMidiControllers::kDataMax));
        break;
    case 10:
        masterSection.setPan(float(value / CMidiControllers::kDataMax));
        break;
    case 64:
        sustainOn = value > kSustainThreshold;
        sequencers[0].setSustain(sustainOn);
        sequencers[1].setSustain(sustainOn);
        if (anySequencerRunning() || !sustainOn) voiceAllocator.holdEnded();
        break;
    case kControllerReset:
        resetControllers();
        break;
    default:
        if (number >= kAllNotesOffFirst && number <= kAllNotesOffLast) {
            silenceVoices(false);
            sequencers[0].stop();
            sequencers[1].stop();
        }
        break;
    }
}

void CSoundRenderer::resetControllers() {
    midiControllers.reset();
    masterSection.setVolume(1.0f);
    masterSection.setPan(0.5f);
}

double CSoundRenderer::controllerValue(int32_t index, int32_t key) const {
    return midiControllers.value(index, key);
}

double CSoundRenderer::keyFrequencyFactor(double key) const {
    const double setting = settingsObject ? relaxedLoad(settingsObject->fineTune) : 0.5;
    if (!(setting == fineTuneSetting)) {
        fineTuneSetting = setting;
        const int32_t cents = toRange(setting, -kFineTuneCents, kFineTuneCents);
        fineTuneFactor = std::pow(2.0, cents / 1200.0);
    }
    // The fine tune moves every key, the table's ends included, so that the
    // top key keeps its interval to the one below it.
    const double* t = programData->tuningRatios;
    if (std::isnan(key) || key < 0.0) return t[0] * fineTuneFactor;
    if (key >= 127.0) return t[127] * fineTuneFactor;
    const int32_t i = int32_t(key);
    return (t[i] + (t[i + 1] - t[i]) * (key - i)) * fineTuneFactor;
}

void CSoundRenderer::controllerValues(int32_t key, double* values) const {
    midiControllers.values(key, values);
}

void CSoundRenderer::silenceVoices(bool hard) {
    voiceAllocator.stop(hard);
}

void CSoundRenderer::stopVoices(bool hard) {
    if (hard) {
        voiceStopRequest.store(kHardStop, std::memory_order_release);
    } else {
        int none = kNoStop; // a hard stop already asked for stays hard
        voiceStopRequest.compare_exchange_strong(none, kReleaseStop, std::memory_order_release);
    }
}

void CSoundRenderer::noteOn(int32_t key, int32_t velocity) {
    key &= kDataMask;
    velocity &= kDataMask;
    // Velocity and key curves scale the envelopes the voices copy; the result
    // is the same for every voice of the note, so it is worked out once.
    const CEnvelope* envelopes = liveEnvelopes->forNote(velocity);
    voiceAllocator.noteOn(key, velocity, masterPitchValue, glideFactorValue, envelopes,
                          std::min(liveEnvelopes->count(), CVoice::kMaxEnvelopes));
}

void CSoundRenderer::noteOff(int32_t key) {
    voiceAllocator.noteOff(key, sustainOn && !anySequencerRunning());
}

void CSoundRenderer::sequencerReleaseAllVoices() {
    voiceAllocator.noteOff(-1, false);
}

void CSoundRenderer::sequencerHoldEnded() {
    voiceAllocator.holdEnded();
}

double CSoundRenderer::sequencerRandom() {
    return settingsObject ? settingsObject->random() : 0.0;
}

// ---------------------------------------------------------------- parameters

void CSoundRenderer::setParameter(int32_t id, double value) {
    // A value that is no number would stay in every smoothed state it
    // reaches; host parameters mean 0..1, and a value beyond would make a
    // squared gain explode (and be stored so in the program).
    if (!std::isfinite(value)) return;
    // The host may set its parameters from the audio thread itself: no lock.
    // The value reaches the parts that play it at the start of the next block.
    if (id >= 0 && id < kHostParameterCount) {
        value = clampUnit(value);
        programData->setValue(id, value);
        pendingValues.markValue(id);
        return;
    }
    // Every other value is the window's, never set on the audio thread: under
    // the edit lock, so that no chunk is taken halfway through it and the
    // selection it may read or move stays the window's own.
    // A pattern's or an envelope's value goes to the audio thread with its
    // record whole.
    CProgramEdit edit(*this);
    programData->setValue(id, value);
    const int32_t sequencer = CPatternSequencer::sequencerOfValue(id);
    const int32_t envelope = programData->envelopeOfValue(id);
    if (sequencer >= 0)
        edit.touchPattern(sequencer);
    else if (envelope >= 0)
        edit.touchEnvelope(envelope);
    else if (id >= kSelectedStartPhaseId && id <= kSelectedTuneModeId)
        pendingValues.markOperatorValue(
            std::clamp(programData->selectedOperator, 0, kOperatorCount - 1), id);
    else
        pendingValues.markValue(id);
}

double CSoundRenderer::getParameter(int32_t id) const {
    return programData->getValue(id, true);
}

void CSoundRenderer::announceValue(int32_t id) {
    if (host && id >= 0 && id < kHostParameterCount)
        host->announceValue(id, float(programData->getValue(id, false)));
}

void CSoundRenderer::beginEdit(int32_t id) {
    if (host && id >= 0 && id < kHostParameterCount) host->beginValueEdit(id);
}

void CSoundRenderer::endEdit(int32_t id) {
    if (host && id >= 0 && id < kHostParameterCount) host->endValueEdit(id);
}

void CSoundRenderer::getParameterName(int32_t id, char* text, size_t capacity) const {
    const char* name = hostParameterName(id);
    if (!name || !text || capacity == 0) return;
    std::snprintf(text, capacity, "%s", name);
}

void CSoundRenderer::getParameterDisplay(int32_t id, char* text, size_t capacity) const {
    const char sep = settingsObject ? settingsObject->decimalSeparator() : '.';
    formatParameterDisplay(*programData, id, sep, text, capacity);
}

void CSoundRenderer::getProgramName(char* text, size_t capacity) const {
    if (!text || capacity == 0) return;
    std::snprintf(text, capacity, "%s", programData->name);
}

void CSoundRenderer::setProgramName(const char* name) {
    if (!name) return;
    std::snprintf(programData->name, sizeof programData->name, "%s", name);
}

void CSoundRenderer::applyValue(int32_t id, double x) {
    if (applyRendererValue(id, x)) return;
    // The modules take their IDs in a fixed order: sequencers, effects,
    // filters, voice-global and sampler-slot values, operators. A sequencer
    // takes its values whole (CProgramEdit::touchPattern), never one by one. The selected
    // operator's values go through applyOperatorValue.
    if (CPatternSequencer::sequencerOfValue(id) >= 0) return;
    if (id >= kSelectedStartPhaseId && id <= kSelectedTuneModeId) return;
    if (delay.applyValue(id, x) || chorus.applyValue(id, x) || eq.applyValue(id, x) ||
        reverb.applyValue(id, x))
        return;
    if (voiceAllocator.applyValue(id, x, 0)) return;
    samplerBank.applyValue(id, x);
}

void CSoundRenderer::applyOperatorValue(int32_t op, int32_t selectedId) {
    voiceAllocator.applyValue(selectedId, programData->operatorValue(op, selectedId), op);
}

bool CSoundRenderer::applyRendererValue(int32_t id, double x) {
    switch (id) {
    case kMasterLevelId:
        masterSection.setMasterLevel(x);
        return true;
    case kMasterPitchId:
        masterPitchValue = float(toRange(x, -kMasterPitchRange, kMasterPitchRange));
        return true;
    case kDistortionId:
        masterSection.setDistortion(x);
        return true;
    case kUnisonSpreadId:
        voiceAllocator.setUnisonSpread(float(x));
        return true;
    case kUnisonId:
        voiceAllocator.setUnison(x > 0.5);
        return true;
    case kGlideFromHeldId:
        voiceAllocator.setGlideFromHeld(x > 0.5);
        return true;
    case kVoiceCountId:
        voiceAllocator.setVoiceCount(
            toRange(programData->getValue(kVoiceCountId, false), 1, CVoiceAllocator::kVoiceCount));
        return true;
    case kGlideFactorId:
        glideFactorValue = x < kGlideImmediateBelow || std::isnan(x)
                               ? kGlideImmediate
                               : float(std::pow(2.0, (1.0 - x) * kGlideOctaves) / voiceRate());
        return true;
    case kPitchBendUpId:
        bendUp = float(toRange(x, 0, kMaxBendSemitones));
        return true;
    case kPitchBendDownId:
        bendDown = float(toRange(x, 0, kMaxBendSemitones));
        return true;
    default:
        return false;
    }
}

void CSoundRenderer::applyAllParameters(bool notifyHost) {
    std::vector<std::string> failed;
    {
        std::lock_guard<std::recursive_mutex> edit(editMutex);
        failed = loader.installProgram(*programData, notifyHost);
    }
    loader.showSampleErrors(failed);
}

// ---------------------------------------------------------------- bank folders

bool CSoundRenderer::selectBankProgram(int32_t n) {
    return loader.selectBankProgram(n);
}

void CSoundRenderer::locateProgram() {
    bankList.locate(programData->name, programData->bankName);
}

// ---------------------------------------------------------------- sampler slots

bool CSoundRenderer::slotHasSample(int32_t slot) const {
    return samplerBank.hasSample(slot);
}

const CSamplerSlot* CSoundRenderer::slotForKey(int32_t key) const {
    return samplerBank.slotForKey(key);
}
