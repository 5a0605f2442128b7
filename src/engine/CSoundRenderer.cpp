#include "engine/CSoundRenderer.h"

#include "engine/IRendererHost.h"

#include "base/Denormal.h"
#include "base/ToRange.h"
#include "base/ValueIds.h"
#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "patch/ParameterText.h"
#include "patch/PatchFiles.h"
#include "patch/ProgramFormat.h"
#include "platform/IPlatform.h"
#include "waves/CWaveSample.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Output high-pass: second order at 15 Hz; 6.28 is the single-precision
// constant the coefficients have always been computed with.
constexpr float kHighPassHz = 15.0f;
constexpr float kTwoPiApprox = 6.28f;

// Master section smoothing per sample.
constexpr float kDistortionSmoothing = 0.005f;
constexpr float kGainSmoothing = 0.001f;
// Below this amount the distortion shaper is bypassed.
constexpr float kDistortionBypass = 0.001f;
constexpr float kDistortionRange = 16.0f;
constexpr float kShaperFloor = 0.3f;
constexpr float kShaperSpan = 0.7f;
constexpr float kLn10 = 2.302585093f;

constexpr int32_t kMaxBendSemitones = 48;
constexpr int32_t kMaxVoices = 24;
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

// A voice glides tick length x 12 x glide factor semitones per tick; no two
// keys lie further apart than this.
constexpr double kTicksToSemitones = 12.0;
constexpr double kKeySpan = 127.0;

int32_t clampKey(int32_t key) {
    return key < 0 ? 0 : (key > 127 ? 127 : key);
}

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

// Fine tune: -99..99 cents.
constexpr int32_t kFineTuneCents = 99;

} // namespace

CSoundRenderer::CSoundRenderer(CPluginFile* settings, IRendererHost* hostShell)
    : settingsObject(settings), host(hostShell), programData(new CProgram()) {
    if (settingsObject) programData->fineTune = &settingsObject->fineTune;
    for (CVoice& v : voices)
        v.attach(this, &waveManager);
    setTempo(kDefaultTempo);
    reset();
    setSampleRate(kDefaultSampleRate);
    const size_t listBytes = size_t(kMaxListEntries) * kListEntryCapacity;
    folderList.reset(new char[listBytes]());
    fileList.reset(new char[listBytes]());
    resetControllers();
    rescanBankFolders();
    selectBankFolder(0);
    char first[kListEntryCapacity];
    if (fileCount > 0 && programFilePath(0, first, sizeof first)) {
        std::lock_guard<std::mutex> lock(structureMutex);
        if (::loadProgramFile(*programData, first, nullptr, *settingsObject)) {
            applyAllParametersLocked(false);
            return;
        }
    }
    applyAllParameters(false);
}

CSoundRenderer::~CSoundRenderer() = default;

void CSoundRenderer::reset() {
    startCounter = 0;
    leftGainValue = rightGainValue = masterLevelValue;
    distortionAmount = distortionTargetValue;
    lastNote = 67;
    sequencerTickPosition = 0;
    for (float& s : highPassState)
        s = 0.0f;
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
    const float w = float(kHighPassHz / rate * kTwoPiApprox);
    const float s = std::sin(w), c = std::cos(w);
    highPassK[0] = flushDenormal((1.0f + c) / (2.0f + s));
    highPassK[1] = flushDenormal(-2.0f * c / (1.0f + s));
    highPassK[2] = flushDenormal((1.0f - s) / (1.0f + s));
    sequencers[0].setSampleRate(rate);
    sequencers[1].setSampleRate(rate);
    for (CVoice& v : voices)
        v.setSampleRate(rate);
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
        renderVoices(left, right, n);
        masterSection(left, right, n);
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
        masterSection(left + done, right + done, m);
        sequencerTickPosition += m;
        if (sequencerTickPosition >= tick) sequencerTickPosition = 0;
        done += m;
    }
}

void CSoundRenderer::renderVoices(float* left, float* right, int32_t n) {
    // Active voices in pairs, in voice order (two voices run faster side by
    // side than one after the other, with the same output).
    CVoice* waiting = nullptr;
    for (CVoice& v : voices) {
        if (!v.active) continue;
        if (!waiting) {
            waiting = &v;
            continue;
        }
        CVoice::renderTogether(*waiting, v, left, right, n);
        waiting = nullptr;
    }
    if (waiting) waiting->render(left, right, n);
}

bool CSoundRenderer::anySequencerRunning() const {
    return sequencers[0].isRunning() || sequencers[1].isRunning();
}

float CSoundRenderer::distortionShaper(float x, float d) {
    if (d < kDistortionBypass) return x;
    x = flushDenormal(x);
    float k = 1.0f - d / kDistortionRange;
    k *= k; // ^2
    k *= k; // ^4
    k *= k; // ^8
    const float g = k * kShaperSpan + kShaperFloor;
    if (x >= 0.0f) return g * (1.0f - std::exp(-d * x * kLn10) * (1.0f - x));
    return -g * (1.0f - std::exp(d * x * kLn10) * (1.0f + x));
}

void CSoundRenderer::masterSection(float* left, float* right, int32_t n) {
    const float k0 = highPassK[0], k1 = highPassK[1], k2 = highPassK[2];
    float* hl = highPassState;     // left: x2, x1, y2, y1
    float* hr = highPassState + 4; // right
    for (int32_t i = 0; i < n; ++i) {
        float x = flushDenormal(left[i]);
        float y = flushDenormal(k0 * (x - 2.0f * hl[1] + hl[0]) - k1 * hl[3] - k2 * hl[2]);
        hl[0] = hl[1];
        hl[1] = x;
        hl[2] = hl[3];
        hl[3] = y;
        float l = y;

        x = flushDenormal(right[i]);
        y = flushDenormal(k0 * (x - 2.0f * hr[1] + hr[0]) - k1 * hr[3] - k2 * hr[2]);
        hr[0] = hr[1];
        hr[1] = x;
        hr[2] = hr[3];
        hr[3] = y;
        float r = y;

        distortionAmount = flushDenormal(
            distortionAmount + (distortionTargetValue - distortionAmount) * kDistortionSmoothing);
        left[i] = distortionShaper(l, distortionAmount) * leftGainValue;
        right[i] = distortionShaper(r, distortionAmount) * rightGainValue;

        const float level = masterLevelValue * volumeValue;
        const float leftTarget = level * (2.0f - 2.0f * panValue);
        const float rightTarget = level * 2.0f * panValue;
        leftGainValue =
            flushDenormal(leftGainValue + (leftTarget - leftGainValue) * kGainSmoothing);
        rightGainValue =
            flushDenormal(rightGainValue + (rightTarget - rightGainValue) * kGainSmoothing);
    }
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
        volumeValue = float(value / kMidiMax);
        break;
    case 10:
        panValue = float(value / kMidiMax);
        break;
    case 64:
        sustainOn = value > kSustainThreshold;
        sequencers[0].setSustain(sustainOn);
        sequencers[1].setSustain(sustainOn);
        if (anySequencerRunning() || !sustainOn) voicesHoldEnded();
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
    volumeValue = 1.0f;
    panValue = 0.5f;
}

double CSoundRenderer::controllerValue(int32_t index, int32_t key) const {
    if (index == kPolyAftertouchIndex) return polyAftertouchOf(key);
    if (index >= 0 && index < kControllerCount) return controllers[index];
    return 1.0;
}

double CSoundRenderer::keyFrequencyFactor(double key) const {
    const double* t = programData->tuningRatios;
    if (std::isnan(key) || key < 0.0) return t[0];
    if (key >= 127.0) return t[127];
    const int32_t i = int32_t(key);
    const double setting = settingsObject ? settingsObject->fineTune : 0.5;
    if (!(setting == fineTuneSetting)) {
        fineTuneSetting = setting;
        const int32_t cents = toRange(setting, -kFineTuneCents, kFineTuneCents);
        fineTuneFactor = std::pow(2.0, cents / 1200.0);
    }
    return (t[i] + (t[i + 1] - t[i]) * (key - i)) * fineTuneFactor;
}

void CSoundRenderer::controllerValues(int32_t key, double* values) const {
    std::memcpy(values, controllers, sizeof controllers);
    values[kPolyAftertouchIndex] = polyAftertouchOf(key);
}

void CSoundRenderer::stopVoices(bool hard) {
    if (hard)
        for (CVoice& v : voices)
            v.active = false;
    for (CVoice& v : voices)
        v.release();
}

void CSoundRenderer::noteOn(int32_t key, int32_t velocity) {
    key &= kDataMask;
    velocity &= kDataMask;
    const int32_t transposed = clampKey(int32_t(key + masterPitchValue));

    // Glide source: the highest held key, or the last note played.
    int32_t glideFrom;
    if (glideFromHeld) {
        glideFrom = -1;
        for (int32_t i = 0; i < voiceCountValue; ++i) {
            const CVoice& v = voices[i];
            if (v.active && !v.isReleased()) {
                const int32_t k = int32_t(v.key() + masterPitchValue);
                if (k > glideFrom) glideFrom = k;
            }
        }
        if (glideFrom < 0) glideFrom = transposed;
    } else {
        glideFrom = lastNote;
    }
    glideFrom = clampKey(glideFrom);

    // Velocity and key curves scale the envelopes the voices copy; the result
    // is the same for every voice of the note, so it is worked out once.
    for (int32_t j = 0; j < programData->envelopeCount && j < CVoice::kMaxEnvelopes; ++j) {
        CEnvelope& velocityCurve = programData->velocityCurves[j];
        velocityCurve.start(velocity / kMidiMax);
        programData->envelopes[j].depth = velocityCurve.evaluate(0.0, false);
        std::memcpy(programData->envelopes[j].keyTable, programData->keyCurves[j].keyTable,
                    sizeof programData->envelopes[j].keyTable);
    }

    for (int32_t i = 0; i < voiceCountValue; ++i) {
        CVoice& r = unisonOn ? voices[i] : voices[chooseVoice()];
        if (unisonOn) {
            if (glideFromHeld && r.active && r.isReleased()) glideFrom = transposed;
            if (r.active && !r.isReleased()) glideFrom = -1;
        }
        const double detune = double(i) * unisonSpreadValue / voiceCountValue;
        r.start(double(key), uint8_t(velocity), programData->envelopes, programData->envelopeCount,
                masterPitchValue + detune);
        // A glide that covers any key distance within its first tick is no
        // glide: starting from the source would sound the old pitch for the
        // two ticks before the operators take the new one.
        const bool glides = r.tickLength() * kTicksToSemitones * glideFactorValue < kKeySpan;
        if (glideFrom >= 0 && glides) r.setCurrentNote(glideFrom);
        r.setTargetNote(transposed + detune);
        r.startStamp = startCounter++;
        if (!unisonOn) break;
    }
    lastNote = transposed;
}

int32_t CSoundRenderer::chooseVoice() {
    for (int32_t i = 0; i < voiceCountValue; ++i)
        if (!voices[i].active) return i;
    // Steal the lowest key, released voices first; a stolen voice retriggers hard.
    int32_t best = -1;
    for (int32_t i = 0; i < voiceCountValue; ++i)
        if (voices[i].isReleased() && (best < 0 || voices[i].key() < voices[best].key())) best = i;
    if (best < 0) {
        best = 0;
        for (int32_t i = 1; i < voiceCountValue; ++i)
            if (voices[i].key() < voices[best].key()) best = i;
    }
    voices[best].requestHardRetrigger();
    return best;
}

void CSoundRenderer::noteOff(int32_t key) {
    const bool hold = sustainOn && !anySequencerRunning();
    for (CVoice& v : voices)
        v.noteOff(key, hold);
}

void CSoundRenderer::voicesHoldEnded() {
    for (CVoice& v : voices)
        v.holdEnded();
}

void CSoundRenderer::sequencerReleaseAllVoices() {
    for (CVoice& v : voices)
        v.noteOff(-1, false);
}

void CSoundRenderer::sequencerHoldEnded() {
    voicesHoldEnded();
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
    bool voiceValue = false;
    for (CVoice& v : voices)
        voiceValue = v.applyValue(id, x, programData->selectedOperator);
    if (voiceValue) return;
    if (id >= kSampleSlotFirstId &&
        id < kSampleSlotFirstId + kSampleSlotCount * kSampleSlotIdStride) {
        const int32_t slot = (id - kSampleSlotFirstId) / kSampleSlotIdStride;
        samplerSlots[slot].applyValue((id - kSampleSlotFirstId) % kSampleSlotIdStride, x);
        return;
    }
}

bool CSoundRenderer::applyRendererValue(int32_t id, double x) {
    switch (id) {
    case kMasterLevelId:
        masterLevelValue = float(x * x * 2.0);
        return true;
    case kMasterPitchId:
        masterPitchValue = float(toRange(x, -kMasterPitchRange, kMasterPitchRange));
        return true;
    case kDistortionId:
        distortionTargetValue = float(x * x * kDistortionRange);
        return true;
    case kUnisonSpreadId:
        unisonSpreadValue = float(x);
        return true;
    case kUnisonId:
        unisonOn = x > 0.5;
        return true;
    case kGlideFromHeldId:
        glideFromHeld = x > 0.5;
        return true;
    case kVoiceCountId:
        voiceCountValue = toRange(programData->getValue(kVoiceCountId, false), 1, kMaxVoices);
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
    std::lock_guard<std::mutex> lock(structureMutex);
    applyAllParametersLocked(notifyHost);
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

// ---------------------------------------------------------------- chunks and files

int32_t CSoundRenderer::getChunk(void** data) {
    if (!data) return 0;
    *data = nullptr;
    chunkStream.clear();
    if (!saveProgram(*programData, chunkStream)) return 0;
    uint8_t* bytes = nullptr;
    const int32_t length = chunkStream.assemble(bytes);
    if (length <= 0) return 0;
    *data = bytes;
    return length;
}

int32_t CSoundRenderer::setChunk(const void* data, int32_t length) {
    std::lock_guard<std::mutex> lock(structureMutex);
    stopVoices(false);
    if (length <= 0 || !data) return 0;
    CMemAssembler reader;
    uint8_t* buffer = reader.setBuffer(length);
    if (!buffer) return 0;
    std::memcpy(buffer, data, size_t(length));
    const bool ok = loadProgram(*programData, reader, true);
    applyAllParametersLocked(true);
    locateProgram();
    return ok ? 1 : 0;
}

bool CSoundRenderer::loadProgramFile(const char* path, const char* bankName) {
    if (!path || !settingsObject) return false;
    std::lock_guard<std::mutex> lock(structureMutex);
    if (!::loadProgramFile(*programData, path, bankName, *settingsObject)) return false;
    applyAllParametersLocked(true);
    locateProgram();
    return true;
}

// ---------------------------------------------------------------- bank folders

namespace {

const char* leafOf(const char* path) {
    const char* leaf = nullptr;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\') leaf = p + 1;
    return leaf;
}

bool hasProgramExtension(const std::string& name) {
    static const char kExtension[] = "qxlprg";
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.size() - dot - 1 != sizeof kExtension - 1) return false;
    for (size_t i = 0; i < sizeof kExtension - 1; ++i)
        if (std::tolower((unsigned char)name[dot + 1 + i]) != kExtension[i]) return false;
    return true;
}

std::vector<FolderEntry> sortedListing(IPlatform& platform, const std::string& folder) {
    std::vector<FolderEntry> entries = platform.listFolder(folder);
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return entries;
}

} // namespace

void CSoundRenderer::rescanBankFolders() {
    const size_t listBytes = size_t(kMaxListEntries) * kListEntryCapacity;
    std::memset(folderList.get(), 0, listBytes);
    std::memset(fileList.get(), 0, listBytes);
    folderCount = fileCount = currentFolder = currentFile = 0;
    if (!settingsObject || settingsObject->banksFolder[0] == 0) return;
    const std::string root = settingsObject->banksFolder;
    for (const FolderEntry& e : sortedListing(settingsObject->platform(), root)) {
        if (folderCount >= kMaxListEntries) break;
        if (!e.isDirectory || e.name == "." || e.name == "..") continue;
        std::snprintf(folderEntry(folderCount++), kListEntryCapacity, "%s%s", root.c_str(),
                      e.name.c_str());
    }
}

void CSoundRenderer::selectBankFolder(int32_t index) {
    if (index < 0 || index >= folderCount) return;
    currentFolder = index;
    fileCount = currentFile = 0;
    std::memset(fileList.get(), 0, size_t(kMaxListEntries) * kListEntryCapacity);
    for (const FolderEntry& e : sortedListing(settingsObject->platform(), folderEntry(index))) {
        if (fileCount >= kMaxListEntries) break;
        if (e.isDirectory || !hasProgramExtension(e.name)) continue;
        std::snprintf(fileEntry(fileCount++), kListEntryCapacity, "%s", e.name.c_str());
    }
}

const char* CSoundRenderer::bankFolderName(int32_t index) const {
    if (index <= 0 && folderCount == 0) return "unknown";
    if (index < 0 || index >= folderCount) return nullptr;
    return leafOf(folderEntry(index));
}

const char* CSoundRenderer::programFileName(int32_t index, char* text, size_t capacity) const {
    if (!text || capacity == 0) return nullptr;
    if (index <= 0 && fileCount == 0) {
        std::snprintf(text, capacity, "unknown");
        return text;
    }
    if (index < 0 || index >= fileCount) return nullptr;
    std::snprintf(text, capacity, "%s", fileEntry(index));
    if (char* dot = std::strrchr(text, '.')) *dot = 0;
    return text;
}

bool CSoundRenderer::programFilePath(int32_t index, char* text, size_t capacity) const {
    if (!text || capacity == 0 || index < 0 || index >= fileCount) return false;
    const char separator = settingsObject ? settingsObject->pathSeparator() : '/';
    const int n = std::snprintf(text, capacity, "%s%c%s", folderEntry(currentFolder), separator,
                                fileEntry(index));
    return n > 0 && size_t(n) < capacity;
}

void CSoundRenderer::locateProgram() {
    rescanBankFolders();
    int32_t bothMatch = -1, nameMatch = -1;
    for (int32_t folder = 0; folder < folderCount && bothMatch < 0; ++folder) {
        selectBankFolder(folder);
        for (int32_t i = 0; i < fileCount; ++i) {
            char name[kListEntryCapacity];
            if (!programFileName(i, name, sizeof name) || std::strcmp(name, programData->name))
                continue;
            nameMatch = folder;
            const char* bank = bankFolderName(folder);
            if (bank && std::strcmp(bank, programData->bankName) == 0) bothMatch = folder;
            break;
        }
    }
    // The folder holding both names; else the last folder holding the
    // program's name; else the first folder.
    const int32_t chosen = bothMatch >= 0 ? bothMatch : (nameMatch >= 0 ? nameMatch : 0);
    selectBankFolder(chosen);
    currentFile = 0;
}

// ---------------------------------------------------------------- sampler slots

void CSoundRenderer::loadSample(int32_t slot, const char* path) {
    std::lock_guard<std::mutex> lock(structureMutex);
    loadSampleLocked(slot, path);
}

void CSoundRenderer::loadSampleLocked(int32_t slot, const char* path) {
    if (slot < 0 || slot >= kSampleSlotCount || !path || !path[0]) return;
    CWaveSample* sample = new (std::nothrow) CWaveSample();
    if (!sample || !(sample->readWav(path) || sample->readAiff(path))) {
        delete sample;
        if (settingsObject) {
            std::string message = std::string("Failed to load the sample\n") + path;
            settingsObject->showError(message.c_str());
        }
        return;
    }
    char stored[sizeof programData->sampleSlots[0].samplePath];
    std::snprintf(stored, sizeof stored, "%s", path);
    clearSlotLocked(slot);
    samplerSlots[slot].sample = sample;
    std::memcpy(programData->sampleSlots[slot].samplePath, stored, sizeof stored);
}

void CSoundRenderer::clearSlot(int32_t slot) {
    std::lock_guard<std::mutex> lock(structureMutex);
    clearSlotLocked(slot);
}

void CSoundRenderer::clearSlotLocked(int32_t slot) {
    if (slot < 0 || slot >= kSampleSlotCount) return;
    programData->sampleSlots[slot].samplePath[0] = 0;
    CWaveSample* sample = samplerSlots[slot].sample;
    if (!sample) return;
    for (CVoice& v : voices)
        v.forgetSample(sample);
    samplerSlots[slot].sample = nullptr;
    delete sample;
}

bool CSoundRenderer::slotHasSample(int32_t slot) const {
    return slot >= 0 && slot < kSampleSlotCount && samplerSlots[slot].sample != nullptr;
}

const CSamplerSlot* CSoundRenderer::slotForKey(int32_t key) const {
    const CSamplerSlot* best = nullptr;
    for (const CSamplerSlot& s : samplerSlots)
        if (s.sample && s.lowKey <= key && (!best || s.lowKey > best->lowKey)) best = &s;
    return best;
}
