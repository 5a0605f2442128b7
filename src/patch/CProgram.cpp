#include "patch/CProgram.h"

#include "base/RelaxedAtomic.h"
#include "base/ToRange.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

constexpr double kSelectionReadOffset = 0.001; // keeps selection reads off the trunc boundaries
constexpr int kEnvelopeViewCount = 3;

// Members of the sample slot and sequencer blocks in value-ID order.
constexpr double SampleSlotPatch::*kSampleSlotMembers[kSampleSlotIdStride] = {
    &SampleSlotPatch::lowKey, &SampleSlotPatch::rootKey,     &SampleSlotPatch::keyboardFollow,
    &SampleSlotPatch::loop,   &SampleSlotPatch::sendFilter1, &SampleSlotPatch::sendFilter2,
    &SampleSlotPatch::level,  &SampleSlotPatch::pan,
};
constexpr double SequencerPatch::*kSequencerMembers[kSequencerStepsOffset] = {
    &SequencerPatch::running, &SequencerPatch::length, &SequencerPatch::transpose,
    &SequencerPatch::swing,   &SequencerPatch::random, &SequencerPatch::pingPong,
};
// Selected-operator IDs 324..329 in order.
constexpr double OperatorPatch::*kSelectedOperatorMembers[6] = {
    &OperatorPatch::startPhase, &OperatorPatch::auxSwitch, &OperatorPatch::coarseTune,
    &OperatorPatch::offsetHz,   &OperatorPatch::amplitude, &OperatorPatch::tuneMode,
};
// IDs 43..48 into the globals block.
constexpr int kVoiceGlobalIndex[6] = {kGlobalNoInterpolation, kGlobalUnisonSpread,
                                      kGlobalUnison,          kGlobalGlideFromHeld,
                                      kGlobalVoiceCount,      kGlobalGlideFactor};
// IDs 33..36 into the reverb block.
constexpr int kReverbIndexById[4] = {kReverbEnable, kReverbFeedback, kReverbColor, kReverbWet};

void copyName(char* target, size_t size, const char* text) {
    std::strncpy(target, text, size - 1);
    target[size - 1] = '\0';
}

int clampInt(int v, int lo, int hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

// trunc(value x n) clamped to 0..n-1; value is already finite.
int32_t selectionFromValue(double value, int n) {
    const double t = std::trunc(value * n);
    if (t < 0.0) return 0;
    if (t > n - 1) return n - 1;
    return int32_t(t);
}

bool inRange(int32_t id, int32_t first, int32_t count) {
    return id >= first && id < first + count;
}

bool isSampleSlotId(int32_t id) {
    return inRange(id, kSampleSlotFirstId, kSampleSlotCount * kSampleSlotIdStride);
}

int stepCount(const SequencerPatch& s) {
    return toRange(s.length, 1, kSequencerStepCount);
}

} // namespace

int32_t sequencerStepValue(double v) {
    return toRange(v, kSequencerRestStep, kSequencerMaxStep);
}

CProgram::CProgram() {
    // The 98 envelope records are constructed as reset envelopes above.
    copyName(name, sizeof name, "noname");
    copyName(bankName, sizeof bankName, "xxx");
    programFilePath[0] = '\0';
    resetTuning();
    for (OperatorPatch& op : operators)
        op = OperatorPatch{};
    for (SampleSlotPatch& slot : sampleSlots)
        slot = SampleSlotPatch{};
    const double globalDefaults[kGlobalCount] = {0.0, 0.5,  0.3, 0.5, 0.0, 0.0,
                                                 0.0, 0.25, 0.0, 1.0, 0.0};
    std::copy(globalDefaults, globalDefaults + kGlobalCount, globals);
    for (int s = 0; s < kSequencerCount; ++s) {
        clearPattern(s);
        sequencers[s].running = 0.0;
    }
    const double delayDefaults[kDelayIdCount] = {0.0, 0.3, 0.0, 0.3, 1.0, 0.5, 1.0, 0.0, 0.0, 0.0};
    std::copy(delayDefaults, delayDefaults + kDelayIdCount, delay);
    const double chorusDefaults[kChorusIdCount] = {0.2, 0.2, 0.0, 1.0, 0.0, 0.5, 0.0};
    std::copy(chorusDefaults, chorusDefaults + kChorusIdCount, chorus);
    const double reverbDefaults[kReverbCount] = {0.0, 0.5, 0.5, 1.0};
    std::copy(reverbDefaults, reverbDefaults + kReverbCount, reverb);
    const double eqDefaults[kEqCount] = {0.5, 0.5,  0.5, 0.5, 0.0, 0.0, 0.25,
                                         0.5, 0.75, 0.0, 0.0, 0.0, 0.0};
    std::copy(eqDefaults, eqDefaults + kEqCount, eq);
    for (FilterPatch& f : filters)
        f = FilterPatch{};
    const double extraDefaults[kExtraCount] = {0.0, 0.0, 0.5, 0.5};
    std::copy(extraDefaults, extraDefaults + kExtraCount, extras);

    for (int i = 0; i < kProgramEnvelopeCount; ++i) {
        keyCurves[i].makeKeyTableDefault();
        velocityCurves[i].makeKeyTableDefault();
        envelopeIdentities[i] = uint32_t(i);
    }
    nextEnvelopeIdentity = kProgramEnvelopeCount;
    curveClipboard.makeKeyTableDefault();

    std::fill(spectrumClipboard, spectrumClipboard + 2 * kHarmonicCount, 0.0);
    resetSelection();
    envelopeCount = 1;
}

CProgram::~CProgram() = default;

int32_t CProgram::selectedEnvelopeClamped() const {
    return clampInt(selectedEnvelope, 0, kProgramEnvelopeCount - 1);
}

int32_t CProgram::selectedOperatorClamped() const {
    return clampInt(selectedOperator, 0, kOperatorCount - 1);
}

int32_t CProgram::envelopeOfValue(int32_t id) const {
    if (id >= kEnvelopeKeepFollowingId && id <= kEnvelopeBipolarId) return selectedEnvelope;
    int32_t row = -1;
    if (id >= kEnvelopeRowFirstId && id <= kEnvelopeRowLastId)
        row = (id - kEnvelopeRowFirstId) / kEnvelopeRowIdStride;
    else if (id >= kEnvelopeSampleDepthFirstId && id <= kEnvelopeSampleDepthLastId)
        row = id - kEnvelopeSampleDepthFirstId;
    if (row < 0) return -1;
    return row + kEnvelopesPerPage * clampInt(envelopePage, 0, kEnvelopePageCount - 1);
}

int32_t CProgram::pageEnvelope(int32_t row) const {
    const int32_t page = clampInt(envelopePage, 0, kEnvelopePageCount - 1);
    return clampInt(row + kEnvelopesPerPage * page, 0, kProgramEnvelopeCount - 1);
}

const double* CProgram::storedValue(int32_t id) const {
    if (id < 0) return nullptr;
    if (id <= kDistortionId) return &globals[kGlobalMasterLevel + id];
    if (inRange(id, kDelayFirstId, kDelayIdCount)) return &delay[id - kDelayFirstId];
    if (inRange(id, kChorusFirstId, kChorusIdCount)) return &chorus[id - kChorusFirstId];
    if (inRange(id, kEqQFirstId, kEqBandCount)) return &eq[kEqQFirst + id - kEqQFirstId];
    if (inRange(id, kEqFrequencyFirstId, kEqBandCount))
        return &eq[kEqFrequencyFirst + id - kEqFrequencyFirstId];
    if (inRange(id, kEqLevelFirstId, kEqBandCount))
        return &eq[kEqLevelFirst + id - kEqLevelFirstId];
    if (id == kEqEnableId) return &eq[kEqEnable];
    if (id >= kReverbEnableId && id <= kReverbWetId)
        return &reverb[kReverbIndexById[id - kReverbEnableId]];
    if (id >= kFilterCutoffId[0] && id <= kFilterModeId[1]) {
        const FilterPatch& f = filters[(id - kFilterCutoffId[0]) / 3];
        const int k = (id - kFilterCutoffId[0]) % 3;
        return k == 0 ? &f.cutoff : (k == 1 ? &f.resonance : &f.mode);
    }
    if (id >= kNoInterpolationId && id <= kGlideFactorId)
        return &globals[kVoiceGlobalIndex[id - kNoInterpolationId]];
    if (id == kPitchBendUpId) return &extras[kExtraPitchBendUp];
    if (inRange(id, kFilterFirstId, 2 * kFilterIdStride)) {
        const FilterPatch& f = filters[(id - kFilterFirstId) / kFilterIdStride];
        const int k = (id - kFilterFirstId) % kFilterIdStride;
        if (k == kFilterLevelOffset) return &f.level;
        if (k == kFilterPanOffset) return &f.pan;
        return &f.modulationDepths[k - kFilterModulationOffset];
    }
    if (inRange(id, kOperatorFirstId, kOperatorCount * kOperatorIdStride)) {
        const OperatorPatch& op = operators[(id - kOperatorFirstId) / kOperatorIdStride];
        const int k = (id - kOperatorFirstId) % kOperatorIdStride;
        if (k == kOperatorMixOffset) return &op.mix;
        if (k == kOperatorPanOffset) return &op.pan;
        if (k == kOperatorEnabledOffset) return &op.enabled;
        return &op.modulationDepths[k - kOperatorModulationOffset];
    }
    if (id == kSampleLevelId) return &globals[kGlobalSampleLevel];
    if (id == kSamplePanId) return &globals[kGlobalSamplePan];
    if (isSampleSlotId(id)) {
        const int rel = id - kSampleSlotFirstId;
        return &(sampleSlots[rel / kSampleSlotIdStride].*
                 kSampleSlotMembers[rel % kSampleSlotIdStride]);
    }
    for (int s = 0; s < kSequencerCount; ++s) {
        const int32_t first = kSequencer1FirstId + s * kSequencerIdStride;
        if (!inRange(id, first, kSequencerStepsOffset + kSequencerStepCount)) continue;
        const int rel = id - first;
        if (rel >= kSequencerStepsOffset) return &sequencers[s].steps[rel - kSequencerStepsOffset];
        return &(sequencers[s].*kSequencerMembers[rel]);
    }
    if (id >= kFilter1KeyTrackingId && id <= kPitchBendDownId)
        return &extras[kExtraFilter1KeyTracking + id - kFilter1KeyTrackingId];
    if (id >= kSelectedStartPhaseId && id <= kSelectedTuneModeId)
        return &(operators[selectedOperatorClamped()].*
                 kSelectedOperatorMembers[id - kSelectedStartPhaseId]);
    if (id == kEnvelopeRateKeyTrackingId)
        return &envelopes[selectedEnvelopeClamped()].rateKeyTracking;
    if (id == kEnvelopeRateVelocityId)
        return &envelopes[selectedEnvelopeClamped()].rateVelocitySensitivity;
    if (id >= kEnvelopeRowFirstId && id <= kEnvelopeRowLastId) {
        const int rel = id - kEnvelopeRowFirstId;
        const int k = rel % kEnvelopeRowIdStride;
        if (k == 0) return nullptr; // the row's label
        return &envelopes[pageEnvelope(rel / kEnvelopeRowIdStride)].depths[k - 1];
    }
    if (id >= kEnvelopeSampleDepthFirstId && id <= kEnvelopeSampleDepthLastId)
        return &envelopes[pageEnvelope(id - kEnvelopeSampleDepthFirstId)]
                    .depths[kEnvelopeSampleDestination];
    return nullptr;
}

double CProgram::getValue(int32_t id, bool forDisplay) const {
    if (isSampleSlotId(id) && forDisplay &&
        sampleSlots[(id - kSampleSlotFirstId) / kSampleSlotIdStride].samplePath[0] == '\0')
        return 0.0;
    // The selection is the editor's: looked at only for the IDs that name a
    // record of the selected envelope, so that the audio thread, which reads the
    // program's single values, never reads it.
    switch (id) {
    case kEnvelopeKeepFollowingId:
        return envelopes[selectedEnvelopeClamped()].keepFollowing ? 1.0 : 0.0;
    case kEnvelopeTempoSyncId:
        return envelopes[selectedEnvelopeClamped()].tempoSync ? 1.0 : 0.0;
    case kEnvelopeFreeRunningId:
        return envelopes[selectedEnvelopeClamped()].freeRunning ? 1.0 : 0.0;
    case kEnvelopeKeyedId:
        return envelopes[selectedEnvelopeClamped()].keyed ? 1.0 : 0.0;
    case kEnvelopeBipolarId:
        return envelopes[selectedEnvelopeClamped()].bipolar ? 1.0 : 0.0;
    case kEnvelopeViewId:
        return clampInt(envelopeView, 0, kEnvelopeViewCount - 1) / double(kEnvelopeViewCount) +
               kSelectionReadOffset;
    case kEnvelopePageId:
        return clampInt(envelopePage, 0, kEnvelopePageCount - 1) / double(kEnvelopePageCount) +
               kSelectionReadOffset;
    case kSelectedOperatorId:
        return selectedOperatorClamped() / double(kOperatorCount) + kSelectionReadOffset;
    case kFineTuneId:
        return fineTune != nullptr ? relaxedLoad(*fineTune) : 0.5;
    default:
        break;
    }
    const double* stored = storedValue(id);
    return stored != nullptr ? relaxedLoad(*stored) : 0.0;
}

double CProgram::operatorValue(int32_t op, int32_t selectedId) const {
    if (op < 0 || op >= kOperatorCount || selectedId < kSelectedStartPhaseId ||
        selectedId > kSelectedTuneModeId)
        return 0.0;
    return relaxedLoad(operators[op].*kSelectedOperatorMembers[selectedId - kSelectedStartPhaseId]);
}

void CProgram::setValue(int32_t id, double value) {
    // NaN would pass any clamp; a damaged value becomes 0 instead.
    if (std::isnan(value)) value = 0.0;
    value = std::clamp(value, -kMaxStoredValue, kMaxStoredValue);

    if (isSampleSlotId(id) &&
        sampleSlots[(id - kSampleSlotFirstId) / kSampleSlotIdStride].samplePath[0] == '\0')
        return;

    const bool on = value > 0.5;
    if (id >= kEnvelopeKeepFollowingId && id <= kEnvelopeBipolarId) {
        if (selectedEnvelope < 0 || selectedEnvelope >= envelopeCount) return;
        CEnvelope& e = envelopes[selectedEnvelopeClamped()];
        switch (id) {
        case kEnvelopeKeepFollowingId:
            e.keepFollowing = on;
            return;
        case kEnvelopeTempoSyncId:
            e.tempoSync = on;
            return;
        case kEnvelopeFreeRunningId:
            e.freeRunning = on;
            return;
        case kEnvelopeKeyedId:
            e.keyed = on;
            return;
        case kEnvelopeBipolarId:
            e.bipolar = on;
            return;
        case kEnvelopeRateKeyTrackingId:
            e.rateKeyTracking = value;
            return;
        default:
            e.rateVelocitySensitivity = value;
            return;
        }
    }
    if (id >= kEnvelopeRowFirstId && id <= kEnvelopeSampleDepthLastId) {
        int32_t envelope;
        int destination;
        if (id >= kEnvelopeSampleDepthFirstId) {
            envelope = pageEnvelope(id - kEnvelopeSampleDepthFirstId);
            destination = kEnvelopeSampleDestination;
        } else if (id <= kEnvelopeRowLastId) {
            const int rel = id - kEnvelopeRowFirstId;
            envelope = pageEnvelope(rel / kEnvelopeRowIdStride);
            destination = rel % kEnvelopeRowIdStride - 1; // -1: the row's label
        } else {
            return; // 441 names nothing
        }
        if (envelope >= envelopeCount) return;
        if (destination < 0) {
            selectedEnvelope = envelope;
        } else {
            // The record keeps its depths within the target kind's limits.
            envelopes[envelope].setDepth(destination, value);
        }
        return;
    }
    switch (id) {
    case kEnvelopeViewId:
        envelopeView = selectionFromValue(value, kEnvelopeViewCount);
        return;
    case kEnvelopePageId:
        envelopePage = selectionFromValue(value, kEnvelopePageCount);
        return;
    case kSelectedOperatorId:
        selectedOperator = selectionFromValue(value, kOperatorCount);
        return;
    case kFineTuneId:
        if (fineTune != nullptr) relaxedStore(*fineTune, value);
        return;
    default:
        break;
    }
    if (const double* stored = storedValue(id)) relaxedStore(*const_cast<double*>(stored), value);
}

void CProgram::resetSpectrum() {
    OperatorPatch& op = operators[selectedOperatorClamped()];
    std::fill(op.harmonicAmplitudes, op.harmonicAmplitudes + kHarmonicCount, 0.0);
    std::fill(op.harmonicPhases, op.harmonicPhases + kHarmonicCount, 0.0);
    op.harmonicAmplitudes[0] = 1.0;
}

void CProgram::copySpectrum() {
    const OperatorPatch& op = operators[selectedOperatorClamped()];
    std::copy(op.harmonicAmplitudes, op.harmonicAmplitudes + kHarmonicCount, spectrumClipboard);
    std::copy(op.harmonicPhases, op.harmonicPhases + kHarmonicCount,
              spectrumClipboard + kHarmonicCount);
    spectrumClipboardValid = true;
}

void CProgram::pasteSpectrum() {
    if (!spectrumClipboardValid) return;
    setSpectrum(spectrumClipboard, spectrumClipboard + kHarmonicCount);
}

void CProgram::setSpectrum(const double* amplitudes32, const double* phases32) {
    OperatorPatch& op = operators[selectedOperatorClamped()];
    if (amplitudes32 != nullptr)
        std::copy(amplitudes32, amplitudes32 + kHarmonicCount, op.harmonicAmplitudes);
    if (phases32 != nullptr) std::copy(phases32, phases32 + kHarmonicCount, op.harmonicPhases);
}

double* CProgram::selectedSpectrum(bool phases) {
    OperatorPatch& op = operators[selectedOperatorClamped()];
    return phases ? op.harmonicPhases : op.harmonicAmplitudes;
}

const double* CProgram::selectedSpectrum(bool phases) const {
    const OperatorPatch& op = operators[selectedOperatorClamped()];
    return phases ? op.harmonicPhases : op.harmonicAmplitudes;
}

void CProgram::resetTuning() {
    std::fill(tuningRatios, tuningRatios + kTuningNoteCount, 1.0);
    copyName(tuningName, sizeof tuningName, "Standard");
}

const char* CProgram::samplePathLeaf(int slot) const {
    const char* path = sampleSlots[clampInt(slot, 0, kSampleSlotCount - 1)].samplePath;
    const void* end = std::memchr(path, '\0', kProgramPathSize);
    if (end == nullptr) return ""; // not terminated: show nothing rather than overrun
    const size_t length = size_t(static_cast<const char*>(end) - path);
    size_t leaf = 0;
    for (size_t i = 0; i < length; ++i) {
        if (path[i] == '\\' || path[i] == '/') leaf = i + 1;
    }
    return path + leaf;
}

void CProgram::clearPattern(int sequencer) {
    SequencerPatch& s = sequencers[clampInt(sequencer, 0, kSequencerCount - 1)];
    s.length = 0.0;
    s.swing = 0.0;
    s.random = 0.0;
    s.pingPong = 0.0;
    s.transpose = 0.5;
    std::fill(s.steps, s.steps + kSequencerStepCount, 0.0);
}

void CProgram::reverseSteps(int sequencer) {
    SequencerPatch& s = sequencers[clampInt(sequencer, 0, kSequencerCount - 1)];
    std::reverse(s.steps, s.steps + stepCount(s));
}

void CProgram::rotateSteps(int sequencer, int by) {
    SequencerPatch& s = sequencers[clampInt(sequencer, 0, kSequencerCount - 1)];
    const int n = stepCount(s);
    const int shift = ((by % n) + n) % n;
    std::rotate(s.steps, s.steps + shift, s.steps + n);
}

void CProgram::updatePage() {
    envelopePage = selectedEnvelope / kEnvelopesPerPage;
}

void CProgram::addEnvelope() {
    if (envelopeCount < 0 || envelopeCount >= kProgramEnvelopeCount) return;
    const int i = envelopeCount;
    envelopes[i] = CEnvelope();
    keyCurves[i] = CEnvelope();
    keyCurves[i].makeKeyTableDefault();
    velocityCurves[i] = keyCurves[i];
    envelopeIdentities[i] = nextEnvelopeIdentity++;
    selectedEnvelope = i;
    ++envelopeCount;
    updatePage();
}

void CProgram::cloneEnvelope() {
    if (envelopeCount < 1 || envelopeCount >= kProgramEnvelopeCount - 1) return;
    const int selected = clampInt(selectedEnvelope, 0, envelopeCount - 1);
    for (int j = envelopeCount; j > selected; --j) {
        envelopes[j] = envelopes[j - 1];
        keyCurves[j] = keyCurves[j - 1];
        velocityCurves[j] = velocityCurves[j - 1];
        envelopeIdentities[j] = envelopeIdentities[j - 1];
    }
    ++envelopeCount;
    selectedEnvelope = selected + 1;
    updatePage();
}

void CProgram::deleteEnvelope() {
    if (envelopeCount <= 1 || envelopeCount > kProgramEnvelopeCount) return;
    const int selected = clampInt(selectedEnvelope, 0, envelopeCount - 1);
    for (int j = selected; j < envelopeCount - 1; ++j) {
        envelopes[j] = envelopes[j + 1];
        keyCurves[j] = keyCurves[j + 1];
        velocityCurves[j] = velocityCurves[j + 1];
        envelopeIdentities[j] = envelopeIdentities[j + 1];
    }
    --envelopeCount;
    selectedEnvelope = std::min(selected, envelopeCount - 1);
    updatePage();
}

void CProgram::moveEnvelope(int by) {
    const int selected = selectedEnvelopeClamped();
    const int64_t target = int64_t(selected) + by;
    if (target < 0 || target >= envelopeCount || target >= kProgramEnvelopeCount) return;
    const int t = int(target);
    std::swap(envelopes[selected], envelopes[t]);
    std::swap(keyCurves[selected], keyCurves[t]);
    std::swap(velocityCurves[selected], velocityCurves[t]);
    std::swap(envelopeIdentities[selected], envelopeIdentities[t]);
    selectedEnvelope = t;
}

CEnvelope& CProgram::viewedRecord(int32_t view) {
    const int e = selectedEnvelopeClamped();
    switch (view) {
    case kViewKeyCurve:
        return keyCurves[e];
    case kViewVelocityCurve:
        return velocityCurves[e];
    default:
        return envelopes[e];
    }
}

void CProgram::copyCurve() {
    const int32_t view = clampInt(envelopeView, 0, kEnvelopeViewCount - 1);
    if (view == kViewEnvelope) {
        envelopeClipboard = viewedRecord(view);
        envelopeClipboardHeld = true;
    } else {
        curveClipboard = viewedRecord(view);
        curveClipboardHeld = true;
    }
    envelopeClipboardValid = true;
}

void CProgram::pasteCurve() {
    if (!envelopeClipboardValid) return;
    const int32_t view = clampInt(envelopeView, 0, kEnvelopeViewCount - 1);
    if (view != kViewEnvelope) {
        // A copied modulation envelope is no curve: pasting would only bring back the default.
        if (curveClipboardHeld) viewedRecord(view) = curveClipboard;
        return;
    }
    if (!envelopeClipboardHeld) return;
    // The routing stays with the slot: its target kind and operator/filter depths are kept.
    CEnvelope& target = envelopes[selectedEnvelopeClamped()];
    const int32_t kind = target.targetKind;
    double depths[kEnvelopeSampleDestination];
    std::copy(target.depths, target.depths + kEnvelopeSampleDestination, depths);
    target = envelopeClipboard;
    target.targetKind = kind;
    std::copy(depths, depths + kEnvelopeSampleDestination, target.depths);
    target.clampDepths();
}

CEnvelope& CProgram::currentCurve() {
    return viewedRecord(envelopeView);
}

CEnvelope& CProgram::currentEnvelope() {
    return envelopes[selectedEnvelopeClamped()];
}

void CProgram::resetSelection() {
    selectedEnvelope = 0;
    envelopePage = 0;
    envelopeView = 0;
    selectedOperator = 0;
    spectrumClipboardValid = false;
    envelopeClipboardValid = false;
    envelopeClipboardHeld = false;
    curveClipboardHeld = false;
}
