#include "voice/CVoice.h"

#include "base/Clamp.h"
#include "base/ToRange.h"
#include "base/ValueIds.h"
#include "voice/CSamplerSlot.h"
#include "voice/IVoiceContext.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace {
constexpr double kReferenceNote = 69.0;
constexpr double kReferenceHz = 440.0;
constexpr double kMaxNote = 127.0;
constexpr double kTickSeconds = 0.001;
// A released voice whose output stays audible this long (seconds) ends anyway
// (audible: CVoice::kAudibleLevel).
constexpr double kLoudLimitSeconds = 1.5;
// Controller smoothing per tick.
constexpr double kControllerSmoothing = 0.05;
constexpr int32_t kPitchBendController = 1;
constexpr double kSemitonesPerGlideUnit = 12.0;
// Rate factors are centred on key 64 and velocity 64.
constexpr double kRateCentre = 64.0;
constexpr double kSecondsPerMinute = 60.0;
// Without an engine: glide at once and the engine's default tempo.
constexpr float kDetachedGlideFactor = 1.0f;
constexpr double kDetachedTempo = 140.0;
constexpr int32_t kPercentSteps = 100;
constexpr double kStep = 0.01;
constexpr double kSwitchThreshold = 0.5;

bool isMustFinishKind(int32_t kind) {
    return kind == kTargetAmplitude || kind == kTargetAmplitudeMult || kind == kTargetMixLevel ||
           kind == kTargetMixLevelMult;
}
} // namespace

CVoice::CVoice() {
    for (int32_t i = 0; i < kOperatorCount; ++i)
        operators[i] = COperator(i);
    for (int32_t i = 0; i < kFilterCount; ++i)
        filters[i] = CVoiceFilter(i);
    std::memset(keyStack, kEmptyKey, sizeof keyStack);
    setSampleRate(kDefaultSampleRate);
}

void CVoice::attach(const IVoiceContext* engine, const CWaveManager* waveTables) {
    context = engine;
    waves = waveTables;
}

void CVoice::setSampleRate(double rate, int32_t oversampling) {
    if (!(rate >= 1.0 / kTickSeconds) || !std::isfinite(rate)) return; // below 1 kHz: no tick
    for (CVoiceFilter& f : filters)
        f.setOversampling(oversampling);
    sampleRate = rate;
    sampleRateReciprocal = 1.0 / rate;
    for (COperator& op : operators)
        op.setSampleRate(rate);
    tickSamples = int32_t(rate * kTickSeconds);
    positionInTick = 0;
    fadeStepSize = float(1.0 / (rate * kEndFadeSeconds));
}

// ---- engine services (defaults for a voice without an engine) ----
// The two the control tick calls are used in this file only; inline lets the
// tick take them without a call.

inline void CVoice::readControllers(double* values) const {
    if (context)
        context->controllerValues(keyValue, values);
    else
        std::fill(values, values + kControllerCount, 0.0);
}

inline double CVoice::tuningFactor(double note) const {
    return context ? context->keyFrequencyFactor(note) : 1.0;
}

double CVoice::pitchBendSemitones() const {
    if (!context) return 0.0;
    const double bend = controllers[kPitchBendController];
    return bend >= 0.0 ? bend * context->bendRangeUp() : bend * context->bendRangeDown();
}

// ---- notes ----

double CVoice::rateFactor(const CEnvelope& e, double n, uint8_t velocity) const {
    double f = 1.0;
    if (e.rateKeyTracking != 0.0) f *= std::pow(kSemitone, (n - kRateCentre) * e.rateKeyTracking);
    if (e.rateVelocitySensitivity != 0.0)
        f *= std::pow(kSemitone, (velocity - kRateCentre) * e.rateVelocitySensitivity);
    return f;
}

void CVoice::start(double note, uint8_t velocity, const CEnvelope* programEnvelopes, int32_t count,
                   double transpose) {
    if (!programEnvelopes || count < 0) count = 0;
    if (count > kMaxEnvelopes) count = kMaxEnvelopes;
    transposeValue = std::isfinite(transpose) ? transpose : 0.0;
    const double heard = clampValue(note, -1.0, kMaxNote + 1.0);
    keyValue = int32_t(heard);
    const double n = clampValue(heard + transposeValue, 0.0, kMaxNote);
    playedKeyValue = int32_t(n);

    if (!active) {
        freshStart(n, velocity, programEnvelopes, count);
    } else {
        std::memmove(keyStack + 1, keyStack, kKeyStackSize - 1);
        if (hardRetrigger || released) {
            if (hardRetrigger) std::memset(keyStack, kEmptyKey, sizeof keyStack);
            for (int32_t i = 0; i < envelopeCountValue; ++i) {
                CEnvelope& e = envelopes[i];
                e.retriggerFromCurrentLevel();
                if (i < count) e.depth = programEnvelopes[i].depth;
                e.rate = rateFactor(e, n, velocity);
            }
            finished = 0;
        }
        released = 0;
        hardRetrigger = 0;
        // A voice taken while it fades out comes back to full level as
        // smoothly as it was going.
        if (fading) fadeStep = fadeStepSize;
    }
    keyStack[0] = uint8_t(keyValue < 0 ? 0 : keyValue);
    active = true;
    loudLimit = int32_t(sampleRate * kLoudLimitSeconds);
    loudAfterRelease = 0;
}

void CVoice::freshStart(double n, uint8_t velocity, const CEnvelope* programEnvelopes,
                        int32_t count) {
    currentNoteValue = targetNoteValue = n;
    glideStep = 0.0;
    std::memset(keyStack, kEmptyKey, sizeof keyStack);
    tickParity = false;
    firstTick = true;
    released = hardRetrigger = 0;
    positionInTick = tickCounter = age = finished = 0;
    sampleLayer.clear();
    fading = false;
    fadeGain = 1.0f;
    fadeStep = 0.0f;
    readControllers(controllers);
    keyScaleNote = std::numeric_limits<double>::quiet_NaN(); // new key tables
    for (CVoiceFilter& f : filters)
        f.resetForNote();
    for (COperator& op : operators)
        op.resetForNote();
    envelopeCountValue = count;
    mustFinish = 0;
    for (int32_t i = 0; i < count; ++i) {
        CEnvelope& e = *new (&envelopes[i]) CEnvelope(programEnvelopes[i]);
        if (!e.freeRunning) e.start(0.0);
        e.rate = rateFactor(e, n, velocity);
        e.finishedCounted = false;
        e.mustFinish = e.keyed && !e.freeRunning && isMustFinishKind(e.targetKind);
        if (e.mustFinish) ++mustFinish;
    }
}

void CVoice::beginEndFade() {
    if (fading && fadeStep < 0.0f) return;
    fading = true;
    fadeStep = -fadeStepSize;
}

void CVoice::requestHardRetrigger() {
    if (active && !hardRetrigger) hardRetrigger = 1;
}

void CVoice::setCurrentNote(double note) {
    currentNoteValue = clampValue(note, 0.0, kMaxNote);
}

void CVoice::setTargetNote(double note) {
    targetNoteValue = clampValue(note, 0.0, kMaxNote);
    const float factor = context ? context->glideFactor() : kDetachedGlideFactor;
    glideStep = tickSamples * kSemitonesPerGlideUnit * factor;
}

void CVoice::noteOff(int32_t key, bool hold) {
    if (!active || released) return;
    if (key < 0) {
        std::memset(keyStack, kEmptyKey, sizeof keyStack);
    } else {
        int32_t at = 0;
        while (at < kKeyStackSize && keyStack[at] != key)
            ++at;
        if (at == kKeyStackSize) return;
        std::memmove(keyStack + at, keyStack + at + 1, kKeyStackSize - 1 - at);
        keyStack[kKeyStackSize - 1] = kEmptyKey;
    }
    if (hold) return;
    if (keyStack[0] == kEmptyKey)
        release();
    else
        setTargetNote(keyStack[0] + transposeValue);
}

void CVoice::holdEnded() {
    if (!active) return;
    if (keyStack[0] == kEmptyKey)
        release();
    else
        setTargetNote(keyStack[0] + transposeValue);
}

void CVoice::release() {
    if (released) return;
    released = 1;
    for (int32_t i = 0; i < envelopeCountValue; ++i)
        envelopes[i].release();
}

// ---- parameters ----

COperator* CVoice::oper(int32_t index) {
    return index >= 0 && index < kOperatorCount ? &operators[index] : nullptr;
}
CVoiceFilter* CVoice::filter(int32_t index) {
    return index >= 0 && index < kFilterCount ? &filters[index] : nullptr;
}
const COperator* CVoice::oper(int32_t index) const {
    return index >= 0 && index < kOperatorCount ? &operators[index] : nullptr;
}
const CVoiceFilter* CVoice::filter(int32_t index) const {
    return index >= 0 && index < kFilterCount ? &filters[index] : nullptr;
}

void CVoice::setSampleAmplitudeBase(double amplitude) {
    sampleLayer.amplitudeBase = clampValue(amplitude, 0.0, 1.0);
}
void CVoice::setSamplePanBase(double pan) {
    sampleLayer.panBase = clampValue(pan, -1.0, 1.0);
}

bool CVoice::applyValue(int32_t id, double x, int32_t selectedOperator) {
    for (CVoiceFilter& f : filters)
        if (f.applyValue(id, x)) return true;
    if (id == kSampleLevelId) {
        setSampleAmplitudeBase(toRange(x, 0, kPercentSteps) * kStep);
        return true;
    }
    if (id == kSamplePanId) {
        setSamplePanBase(toRange(x, -kPercentSteps, kPercentSteps) * kStep);
        return true;
    }
    if (id == kNoInterpolationId) {
        noInterpolation = x > kSwitchThreshold;
        return true;
    }
    bool taken = false;
    for (COperator& op : operators)
        taken = op.applyValue(id, x, selectedOperator) || taken;
    return taken ||
           (id >= kOperatorFirstId && id < kOperatorFirstId + kOperatorCount * kOperatorIdStride) ||
           (id >= kSelectedStartPhaseId && id <= kSelectedTuneModeId);
}

// ---- control tick ----

void CVoice::rebuildRoutingIfNeeded() {
    bool changed = firstTick;
    for (COperator& op : operators) {
        changed = changed || op.rowChanged();
        op.clearRowChanged(); // cleared before the cells are read, so no change is lost
    }
    for (CVoiceFilter& f : filters) {
        changed = changed || f.rowChanged();
        f.clearRowChanged();
    }
    if (!changed) return;
    const double* rows[kMatrixSize];
    for (int32_t k = 0; k < kOperatorCount; ++k)
        rows[k] = operators[k].matrixCellPointer(0);
    for (int32_t f = 0; f < kFilterCount; ++f)
        rows[kOperatorCount + f] = filters[f].matrixCellPointer(0);
    matrix.rebuild(rows);
}

namespace {
// The envelope helpers below add or multiply one envelope value into the sums
// of every destination its kind may use; the kind is resolved once per
// envelope, not per destination.
template <double COperator::Modulation::*Sum>
void addToOperators(COperator* operators, double value, const double* depths) {
    for (int32_t d = 0; d < CVoice::kOperatorCount; ++d)
        operators[d].modulation.*Sum += value * depths[d];
}

// A multiplying envelope leaves the destinations it does not use alone
// (CEnvelope::isDestinationUsed, inline here).
bool used(const double* depths, int32_t d) {
    return std::fabs(depths[d]) > CEnvelope::kUsedDepthThreshold;
}

template <double COperator::Modulation::*Sum>
void multiplyOperators(COperator* operators, double value, const double* depths) {
    for (int32_t d = 0; d < CVoice::kOperatorCount; ++d)
        if (used(depths, d)) operators[d].modulation.*Sum *= value * depths[d];
}

// The destinations each kind drives below.
static_assert(kTargetKindDestinations[kTargetAmplitude] ==
              (kDestinationOperators | kDestinationSample));
static_assert(kTargetKindDestinations[kTargetAmplitudeMult] ==
              (kDestinationOperators | kDestinationSample));
static_assert(kTargetKindDestinations[kTargetMixLevel] ==
              (kDestinationOperators | kDestinationFilters));
static_assert(kTargetKindDestinations[kTargetMixLevelMult] ==
              (kDestinationOperators | kDestinationFilters));
static_assert(kTargetKindDestinations[kTargetPanning] ==
              (kDestinationOperators | kDestinationFilters | kDestinationSample));
static_assert(kTargetKindDestinations[kTargetPitch] ==
              (kDestinationOperators | kDestinationSample));
static_assert(kTargetKindDestinations[kTargetFrequency] == kDestinationOperators);
static_assert(kTargetKindDestinations[kTargetPhase] == kDestinationOperators);
static_assert(kTargetKindDestinations[kTargetCutoff] == kDestinationFilters);
static_assert(kTargetKindDestinations[kTargetResonance] == kDestinationFilters);

template <double CVoiceFilter::Modulation::*Sum>
void addToFilters(CVoiceFilter* filters, double value, const double* depths) {
    for (int32_t f = 0; f < CVoice::kFilterCount; ++f)
        filters[f].modulation.*Sum += value * depths[kEnvelopeFilterDestination + f];
}
} // namespace

void CVoice::applyEnvelope(const CEnvelope& e, double value) {
    const double* depths = e.depths;
    CSampleLayer::Modulation& layer = sampleLayer.modulation;
    switch (e.targetKind) {
    case kTargetAmplitude:
        addToOperators<&COperator::Modulation::amplitude>(operators, value, depths);
        layer.amplitude += value * depths[kEnvelopeSampleDestination];
        break;
    case kTargetAmplitudeMult:
        multiplyOperators<&COperator::Modulation::amplitude>(operators, value, depths);
        if (used(depths, kEnvelopeSampleDestination))
            layer.amplitude *= value * depths[kEnvelopeSampleDestination];
        break;
    case kTargetMixLevel:
        addToOperators<&COperator::Modulation::mixLevel>(operators, value, depths);
        addToFilters<&CVoiceFilter::Modulation::level>(filters, value, depths);
        break;
    case kTargetMixLevelMult:
        multiplyOperators<&COperator::Modulation::mixLevel>(operators, value, depths);
        for (int32_t f = 0; f < kFilterCount; ++f)
            if (used(depths, kEnvelopeFilterDestination + f))
                filters[f].modulation.level *= value * depths[kEnvelopeFilterDestination + f];
        break;
    case kTargetPanning:
        addToOperators<&COperator::Modulation::pan>(operators, value, depths);
        addToFilters<&CVoiceFilter::Modulation::pan>(filters, value, depths);
        layer.pan += value * depths[kEnvelopeSampleDestination];
        break;
    case kTargetPitch:
        addToOperators<&COperator::Modulation::pitch>(operators, value, depths);
        layer.pitch += value * depths[kEnvelopeSampleDestination];
        break;
    case kTargetFrequency:
        for (int32_t d = 0; d < kOperatorCount; ++d)
            operators[d].modulation.frequency += value * depths[d] * kFrequencyDepthHz;
        break;
    case kTargetPhase:
        addToOperators<&COperator::Modulation::phase>(operators, value, depths);
        break;
    case kTargetCutoff:
        addToFilters<&CVoiceFilter::Modulation::cutoff>(filters, value, depths);
        break;
    case kTargetResonance:
        addToFilters<&CVoiceFilter::Modulation::resonance>(filters, value, depths);
        break;
    default: // an unknown kind drives nothing
        break;
    }
}

bool CVoice::applyEnvelopes(int32_t n) {
    const double tempo = context ? context->tempo() : kDetachedTempo;
    // The key tables are fixed for the note: their values move only with the
    // note itself (glide).
    if (!(currentNoteValue == keyScaleNote)) {
        for (int32_t i = 0; i < envelopeCountValue; ++i)
            keyScales[i] = envelopes[i].keyTableLookup(currentNoteValue);
        keyScaleNote = currentNoteValue;
    }
    // The sums depend on nothing but the envelope values and the modules'
    // bases (kinds and depths are fixed for the note), so they are rebuilt
    // only when one of those moved; a held note's envelopes mostly stand still.
    bool moved = firstTick;
    for (int32_t i = 0; i < envelopeCountValue; ++i) {
        CEnvelope& e = envelopes[i];
        if (e.tempoSync) e.rate = tempo / kSecondsPerMinute;
        double value = e.evaluate(n * e.rate * sampleRateReciprocal, true) * keyScales[i] * e.depth;
        if (e.controller >= 0 && e.controller < kControllerCount)
            value *= controllers[e.controller];
        if (e.mustFinish && !e.finishedCounted && e.isFinished()) {
            e.finishedCounted = true;
            ++finished;
        }
        moved = moved || !sameBits(value, envelopeValues[i]);
        envelopeValues[i] = value;
    }
    for (const COperator& op : operators)
        moved = moved || op.basesMoved();
    for (const CVoiceFilter& f : filters)
        moved = moved || f.basesMoved();
    moved = moved || sampleLayer.basesMoved();
    if (!moved) return false;

    for (COperator& op : operators)
        op.beginModulation();
    for (CVoiceFilter& f : filters)
        f.beginModulation();
    sampleLayer.beginModulation();
    for (int32_t i = 0; i < envelopeCountValue; ++i)
        applyEnvelope(envelopes[i], envelopeValues[i]);
    return true;
}

void CVoice::controlTick(int32_t n) {
    const float r = 1.0f / float(n);
    // 1. End detection: the voice fades out, and ends once it is silent; the
    // rest of the tick and block still run.
    if (released && finished >= mustFinish) beginEndFade();
    if (loudAfterRelease > loudLimit) beginEndFade();
    if (fading && fadeStep < 0.0f && fadeGain <= 0.0f) active = false;
    // 2. Controllers, smoothed.
    double now[kControllerCount];
    readControllers(now);
    for (int32_t i = 0; i < kControllerCount; ++i)
        controllers[i] += (now[i] - controllers[i]) * kControllerSmoothing;
    // 3. Pitch.
    const double bend = pitchBendSemitones();
    const double tuning = tuningFactor(currentNoteValue);
    keyFrequencyValue =
        keyRatio.of(bend + currentNoteValue - kReferenceNote) * kReferenceHz * tuning;
    // 4. Envelopes.
    const bool sumsMoved = applyEnvelopes(n);
    sumsMovedSincePitch = sumsMovedSincePitch || sumsMoved;
    // 5. Operators: ramps every tick, pitch and table every second tick.
    runningOperators = 0;
    for (COperator& op : operators) {
        op.updateRamps(r, firstTick, sumsMoved);
        if (!tickParity) {
            op.updateFrequency(keyFrequencyValue, waves, sumsMovedSincePitch);
            op.updateBasePhase();
        }
        runningOperators |= uint32_t(op.isOn()) << op.index();
    }
    if (!tickParity) sumsMovedSincePitch = false;
    tickParity = !tickParity;
    // 6. Filters.
    for (CVoiceFilter& f : filters)
        f.updateTick(bend, currentNoteValue, sampleRateReciprocal, r, firstTick, sumsMoved);
    // 7. Sample layer.
    if (firstTick)
        sampleLayer.begin(context ? context->slotForKey(playedKeyValue) : nullptr,
                          sampleRateReciprocal, tuning, bend + currentNoteValue);
    sampleLayer.updateTick(sampleRateReciprocal, tuning, bend + currentNoteValue, r, firstTick);
    // 8. Glide.
    if (currentNoteValue < targetNoteValue) {
        currentNoteValue += glideStep;
        if (currentNoteValue > targetNoteValue) currentNoteValue = targetNoteValue;
    } else if (currentNoteValue > targetNoteValue) {
        currentNoteValue -= glideStep;
        if (currentNoteValue < targetNoteValue) currentNoteValue = targetNoteValue;
    }
    // 9.
    ++age;
}
