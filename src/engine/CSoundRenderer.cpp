#include "engine/CSoundRenderer.h"

#include "base/Denormal.h"
#include "base/ToRange.h"
#include "base/ValueIds.h"
#include "engine/IRendererHost.h"
#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "patch/ParameterText.h"
#include "patch/PatchFiles.h"
#include "patch/ProgramFormat.h"
#include "waves/CWaveSample.h"

#include <cmath>
#include <cstdio>
#include <cstring>
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
constexpr double kMidiMax = 127.0;
constexpr double kPitchBendMax = 16383.0;
constexpr int32_t kSustainThreshold = 64;
constexpr int32_t kControllerReset = 121;
constexpr int32_t kAllNotesOffFirst = 123;
constexpr int32_t kAllNotesOffLast = 127;

// Controller source index by MIDI controller number (-1: not a table entry).
int32_t controllerIndex(int32_t number) {
    switch (number) {
    case 1:
        return 0; // Modulation Wheel
    case 2:
        return 4; // Breath Ctrl
    case 4:
        return 5; // Foot Ctrl
    case 11:
        return 6; // Expression
    case 16:
        return 7;
    case 17:
        return 8;
    case 18:
        return 9;
    case 19:
        return 10;
    default:
        return -1;
    }
}

constexpr int32_t kPitchBendIndex = 1;
constexpr int32_t kPolyAftertouchIndex = 2;
constexpr int32_t kChannelPressureIndex = 3;

// Pattern sequencers step-check every 5 ms.
constexpr double kSequencerTickSeconds = 0.005;

} // namespace

CSoundRenderer::CSoundRenderer(CPluginFile* settings, IRendererHost* hostShell)
    : settingsObject(settings), host(hostShell), programData(new CProgram()), bankList(settings) {
    if (settingsObject) programData->fineTune = &settingsObject->fineTune;
    voiceAllocator.attach(this, &waveManager);
    setTempo(kDefaultTempo);
    reset();
    setSampleRate(kDefaultSampleRate);
    resetControllers();
    bankList.rescan();
    bankList.selectFolder(0);
    char first[CBankList::kListEntryCapacity];
    if (bankList.fileCount() > 0 && bankList.filePath(0, first, sizeof first)) {
        std::vector<std::string> failed;
        bool loaded = false;
        {
            std::lock_guard<std::mutex> lock(structureMutex);
            loaded = ::loadProgramFile(*programData, first, nullptr, *settingsObject);
            if (loaded) applyAllParametersLocked(false);
            failed.swap(failedSamples);
        }
        tellFailedSamples(failed);
        if (loaded) return;
    }
    applyAllParameters(false);
}

CSoundRenderer::~CSoundRenderer() = default;

void CSoundRenderer::reset() {
    voiceAllocator.reset();
    masterSection.reset();
    sequencerTickPosition = 0;
    events.empty();
    delay.reset();
    chorus.reset();
    eq.reset();
    reverb.reset();
    for (CEnvelope& e : programData->envelopes)
        e.start(0.0);
}

void CSoundRenderer::setTempo(double bpm) {
    if (std::isnan(bpm)) return;
    if (bpm < kMinTempo) bpm = kMinTempo;
    if (bpm > kMaxTempo) bpm = kMaxTempo;
    tempoValue = bpm;
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
    sequencers[0].setSampleRate(rate);
    sequencers[1].setSampleRate(rate);
    voiceAllocator.setSampleRate(rate);
    delay.setSampleRate(rate);
    chorus.setSampleRate(rate);
    eq.setSampleRate(rate);
    reverb.setSampleRate(rate);
    // The glide factor is per sample: follow the new rate.
    applyRendererValue(kGlideFactorId, programData->getValue(kGlideFactorId, false));
}

// ---------------------------------------------------------------- block loop

void CSoundRenderer::queueMidiEvent(const uint8_t bytes[4], int32_t deltaFrames) {
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
        // A program or sample is being replaced: this block stays silent.
        if (replace) {
            std::memset(hostLeft, 0, sizeof(float) * size_t(frames));
            std::memset(hostRight, 0, sizeof(float) * size_t(frames));
        }
        events.empty();
        return;
    }

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
}

void CSoundRenderer::renderPiece(float* left, float* right, int32_t n) {
    renderVoicesAndMaster(left, right, n);
    chorus.process(left, right, n);
    delay.process(left, right, n);
    reverb.process(left, right, n);
    eq.process(left, right, n);
    // Free-running envelopes advance once per piece, shared by every voice.
    const double seconds = double(n) / sampleRateValue;
    for (int32_t i = 0; i < programData->envelopeCount && i < 32; ++i) {
        CEnvelope& e = programData->envelopes[i];
        if (e.freeRunning) e.evaluate(seconds, true);
    }
}

void CSoundRenderer::renderVoicesAndMaster(float* left, float* right, int32_t n) {
    if (!anySequencerRunning()) {
        voiceAllocator.render(left, right, n);
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
        voiceAllocator.render(left + done, right + done, m);
        masterSection.process(left + done, right + done, m);
        sequencerTickPosition += m;
        if (sequencerTickPosition >= tick) sequencerTickPosition = 0;
        done += m;
    }
}

bool CSoundRenderer::anySequencerRunning() const {
    return sequencers[0].isRunning() || sequencers[1].isRunning();
}

// ---------------------------------------------------------------- MIDI

void CSoundRenderer::dispatch(const MidiEventEntry& entry) {
    const int32_t status = entry.bytes[0] & 0xf0;
    const int32_t data1 = entry.bytes[1] & kDataMask;
    const int32_t data2 = entry.bytes[2] & kDataMask;
    switch (status) {
    case 0xa0:
        polyAftertouch[data1] = data2 / kMidiMax;
        break;
    case 0xb0:
        controlChange(data1, data2);
        break;
    case 0xd0:
        controllers[kChannelPressureIndex] = data1 / kMidiMax;
        break;
    case 0xe0:
        controllers[kPitchBendIndex] = ((data2 * 128 + data1) / kPitchBendMax) * 2.0 - 1.0;
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
        // Program change and system messages are ignored.
        break;
    }
}

void CSoundRenderer::controlChange(int32_t number, int32_t value) {
    const int32_t index = controllerIndex(number);
    if (index >= 0) {
        controllers[index] = value / kMidiMax;
        return;
    }
    switch (number) {
    case 7:
        masterSection.setVolume(float(value / kMidiMax));
        break;
    case 10:
        masterSection.setPan(float(value / kMidiMax));
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
            stopVoices(false);
            sequencers[0].stop();
            sequencers[1].stop();
        }
        break;
    }
}

void CSoundRenderer::resetControllers() {
    for (double& c : controllers)
        c = 0.0;
    masterSection.setVolume(1.0f);
    masterSection.setPan(0.5f);
}

double CSoundRenderer::controllerValue(int32_t index, int32_t key) const {
    if (index == kPolyAftertouchIndex) return polyAftertouchOf(key);
    if (index >= 0 && index < kControllerCount) return controllers[index];
    return 1.0;
}

double CSoundRenderer::keyFrequencyFactor(double key) const {
    const double setting = settingsObject ? settingsObject->fineTune : 0.5;
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
    std::memcpy(values, controllers, sizeof controllers);
    values[kPolyAftertouchIndex] = polyAftertouchOf(key);
}

void CSoundRenderer::stopVoices(bool hard) {
    voiceAllocator.stop(hard);
}

void CSoundRenderer::noteOn(int32_t key, int32_t velocity) {
    key &= kDataMask;
    velocity &= kDataMask;
    // Velocity and key curves scale the envelopes the voices copy; the result
    // is the same for every voice of the note, so it is worked out once.
    for (int32_t j = 0; j < programData->envelopeCount && j < CVoice::kMaxEnvelopes; ++j) {
        CEnvelope& velocityCurve = programData->velocityCurves[j];
        velocityCurve.start(velocity / kMidiMax);
        programData->envelopes[j].depth = velocityCurve.evaluate(0.0, false);
        std::memcpy(programData->envelopes[j].keyTable, programData->keyCurves[j].keyTable,
                    sizeof programData->envelopes[j].keyTable);
    }
    voiceAllocator.noteOn(key, velocity, masterPitchValue, glideFactorValue, programData->envelopes,
                          programData->envelopeCount);
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
    programData->setValue(id, value);
    applyValue(id, value);
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
    // filters, voice-global and sampler-slot values, operators.
    if (sequencers[0].applyValue(id, x, kSequencer1FirstId)) return;
    if (sequencers[1].applyValue(id, x, kSequencer2FirstId)) return;
    if (delay.applyValue(id, x) || chorus.applyValue(id, x) || eq.applyValue(id, x) ||
        reverb.applyValue(id, x))
        return;
    // The selected operator's values are read back from the program.
    if (id >= kSelectedStartPhaseId && id <= kSelectedTuneModeId)
        x = programData->getValue(id, false);
    if (voiceAllocator.applyValue(id, x, programData->selectedOperator)) return;
    samplerBank.applyValue(id, x);
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
                               : float(std::pow(2.0, (1.0 - x) * kGlideOctaves) / sampleRateValue);
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
        std::lock_guard<std::mutex> lock(structureMutex);
        applyAllParametersLocked(notifyHost);
        failed.swap(failedSamples);
    }
    tellFailedSamples(failed);
}

void CSoundRenderer::applyAllParametersLocked(bool notifyHost) {
    stopVoices(true);
    reset();
    for (int32_t id = 0; id < kAppliedIdCount; ++id) {
        const double v = programData->getValue(id, false);
        applyValue(id, v);
        if (notifyHost && host && id < kHostParameterCount) host->announceValue(id, float(v));
    }
    for (int32_t s = 0; s < kSampleSlotCount; ++s) {
        char path[sizeof programData->sampleSlots[0].samplePath];
        std::snprintf(path, sizeof path, "%s", programData->sampleSlots[s].samplePath);
        clearSlotLocked(s);
        loadSampleLocked(s, path);
    }
    // Each operator's own values through the selected-operator IDs, then its wave. The tune
    // mode comes first: it decides whether the coarse value is a ratio or semitones.
    static constexpr int32_t kSelectedOperatorIds[] = {kSelectedTuneModeId,   kSelectedStartPhaseId,
                                                       kSelectedAmplitudeId,  kSelectedOffsetHzId,
                                                       kSelectedCoarseTuneId, kSelectedAuxSwitchId};
    for (int32_t i = 0; i < kOperatorCount; ++i) {
        programData->selectedOperator = i;
        for (int32_t id : kSelectedOperatorIds)
            setParameter(id, programData->getValue(id, false));
        rebuildOperatorWave(i);
    }
    programData->selectedOperator = 0;
    programData->selectedEnvelope = 0;
    programData->envelopePage = 0;
    programData->envelopeView = 0;
}

void CSoundRenderer::rebuildOperatorWave(int32_t index) {
    if (index < 0) index = programData->selectedOperator;
    if (index > kOperatorCount - 1) index = kOperatorCount - 1;
    const OperatorPatch& op = programData->operators[index];
    waveManager.buildWave(index, op.harmonicAmplitudes, op.harmonicPhases, 0.0);
}

void CSoundRenderer::envelopeEdited(int32_t) {
    // The voices read the program's records at note-on; nothing is copied yet.
}

void CSoundRenderer::envelopesRestructured() {}

void CSoundRenderer::patternEdited(int32_t sequencer) {
    if (sequencer < 0 || sequencer >= kSequencerCount) return;
    const int32_t first = kSequencer1FirstId + sequencer * kSequencerIdStride;
    for (int32_t id = first; id < first + kSequencerStepsOffset + kSequencerStepCount; ++id)
        applyValue(id, programData->getValue(id, false));
}

// ---------------------------------------------------------------- chunks and files

int32_t CSoundRenderer::getChunk(void** data) {
    if (!data) return 0;
    *data = nullptr;
    std::lock_guard<std::mutex> lock(structureMutex);
    chunkStream.clear();
    if (!saveProgram(*programData, chunkStream)) return 0;
    uint8_t* bytes = nullptr;
    const int32_t length = chunkStream.assemble(bytes);
    if (length <= 0) return 0;
    *data = bytes;
    return length;
}

int32_t CSoundRenderer::setChunk(const void* data, int32_t length) {
    std::vector<std::string> failed;
    bool ok = false;
    {
        std::lock_guard<std::mutex> lock(structureMutex);
        stopVoices(false);
        if (length <= 0 || !data) return 0;
        CMemAssembler reader;
        uint8_t* buffer = reader.setBuffer(length);
        if (!buffer) return 0;
        std::memcpy(buffer, data, size_t(length));
        ok = loadProgram(*programData, reader, true);
        applyAllParametersLocked(true);
        locateProgram();
        failed.swap(failedSamples);
    }
    tellFailedSamples(failed);
    return ok ? 1 : 0;
}

bool CSoundRenderer::loadProgramFile(const char* path, const char* bankName) {
    if (!path || !settingsObject) return false;
    std::vector<std::string> failed;
    {
        std::lock_guard<std::mutex> lock(structureMutex);
        if (!::loadProgramFile(*programData, path, bankName, *settingsObject)) return false;
        applyAllParametersLocked(true);
        locateProgram();
        failed.swap(failedSamples);
    }
    tellFailedSamples(failed);
    return true;
}

// ---------------------------------------------------------------- bank folders

void CSoundRenderer::locateProgram() {
    bankList.locate(programData->name, programData->bankName);
}

// ---------------------------------------------------------------- sampler slots

void CSoundRenderer::loadSample(int32_t slot, const char* path) {
    if (slot < 0 || slot >= kSampleSlotCount || !path || !path[0]) return;
    // The file is read before the lock is taken and a failure is told after
    // it is released: the audio thread waits for nothing but the exchange,
    // never for the disk or for a message box the user has not closed.
    CWaveSample* sample = readSampleFile(path);
    if (!sample) {
        reportSampleFailure(path);
        return;
    }
    std::lock_guard<std::mutex> lock(structureMutex);
    installSampleLocked(slot, sample, path);
}

void CSoundRenderer::loadSampleLocked(int32_t slot, const char* path) {
    if (slot < 0 || slot >= kSampleSlotCount || !path || !path[0]) return;
    CWaveSample* sample = readSampleFile(path);
    if (!sample) {
        // Told by the caller once the lock is released.
        failedSamples.emplace_back(path);
        return;
    }
    installSampleLocked(slot, sample, path);
}

CWaveSample* CSoundRenderer::readSampleFile(const char* path) {
    CWaveSample* sample = new (std::nothrow) CWaveSample();
    if (sample && (sample->readWav(path) || sample->readAiff(path))) return sample;
    delete sample;
    return nullptr;
}

void CSoundRenderer::tellFailedSamples(const std::vector<std::string>& paths) {
    for (const std::string& path : paths)
        reportSampleFailure(path.c_str());
}

void CSoundRenderer::reportSampleFailure(const char* path) {
    if (!settingsObject) return;
    std::string message = std::string("Failed to load the sample\n") + path;
    settingsObject->showError(message.c_str());
}

void CSoundRenderer::installSampleLocked(int32_t slot, CWaveSample* sample, const char* path) {
    char stored[sizeof programData->sampleSlots[0].samplePath];
    std::snprintf(stored, sizeof stored, "%s", path);
    clearSlotLocked(slot);
    samplerBank.exchange(slot, sample);
    std::memcpy(programData->sampleSlots[slot].samplePath, stored, sizeof stored);
}

void CSoundRenderer::clearSlot(int32_t slot) {
    std::lock_guard<std::mutex> lock(structureMutex);
    clearSlotLocked(slot);
}

void CSoundRenderer::clearSlotLocked(int32_t slot) {
    if (slot < 0 || slot >= kSampleSlotCount) return;
    programData->sampleSlots[slot].samplePath[0] = 0;
    CWaveSample* sample = samplerBank.exchange(slot, nullptr);
    if (!sample) return;
    voiceAllocator.forgetSample(sample);
    delete sample;
}

bool CSoundRenderer::slotHasSample(int32_t slot) const {
    return samplerBank.hasSample(slot);
}

const CSamplerSlot* CSoundRenderer::slotForKey(int32_t key) const {
    return samplerBank.slotForKey(key);
}
