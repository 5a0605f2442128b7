#include "patch/ProgramFormat.h"

#include "base/FileSystem.h"
#include "base/SampleGuard.h"
#include "patch/BlockFormat.h"
#include "patch/CMemAssembler.h"
#include "patch/CProgram.h"
#include "patch/EnvelopeBlock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

// Sizes of the text blocks in the program block.
constexpr int32_t kTuningNameBytes = 32;
constexpr int32_t kProgramNameBytes = 128;
constexpr int32_t kSamplePathBytes = 512;
// Version 0 had two doubles where the equaliser shape values are now.
constexpr int32_t kVersion0EqDoubles = 2;

// First version that carries each item.
constexpr int32_t kEqShapeVersion = 1;
constexpr int32_t kDelaySyncVersion = 2;
constexpr int32_t kProgramNameVersion = 5;
constexpr int32_t kFineTuneVersion = 6;
// Last versions that need a conversion.
constexpr int32_t kOldDelayAndEqVersion = 2;
constexpr int32_t kOldGlideVersion = 3;

// Value IDs of the program block's items, in block order.
constexpr int32_t kGlobalItemIds[] = {kMasterLevelId, kMasterPitchId,  kDistortionId,
                                      kUnisonId,      kUnisonSpreadId, kGlideFromHeldId,
                                      kVoiceCountId,  kGlideFactorId,  kNoInterpolationId};
constexpr int32_t kExtraItemIds[] = {kPitchBendUpId, kPitchBendDownId, kFilter1KeyTrackingId,
                                     kFilter2KeyTrackingId};
constexpr int32_t kReverbItemIds[] = {kReverbEnableId, kReverbFeedbackId, kReverbColorId,
                                      kReverbWetId};

// Every stored value is finite and within the program's limits (as setValue keeps it).
double stored(double v) {
    if (std::isnan(v)) return 0.0;
    return std::clamp(v, -kMaxStoredValue, kMaxStoredValue);
}

// The program block's readers: each one checks that enough bytes remain.
struct Reader {
    CMemAssembler& r;
    bool ok = true;

    double real() {
        if (!ok || !r.canReadDouble()) {
            ok = false;
            return 0.0;
        }
        return r.readDouble();
    }
    int32_t int32() {
        if (!ok || !r.canReadInt32()) {
            ok = false;
            return 0;
        }
        return r.readInt32();
    }
    int32_t signedByte() {
        if (!ok || !r.canReadByte()) {
            ok = false;
            return 0;
        }
        return int8_t(r.readByte());
    }
    // A fixed-size text into a char array of at least n bytes, kept terminated.
    void text(char* dst, int32_t n) {
        if (!ok || !r.readBytes(dst, n)) {
            ok = false;
            return;
        }
        dst[n - 1] = '\0';
    }
    void value(CProgram& p, int32_t id) {
        const double v = real();
        if (ok) p.setValue(id, v);
    }
    void member(double& m) {
        const double v = real();
        if (ok) m = stored(v);
    }
    // A length-prefixed sub-block copied into its own reader.
    bool subBlock(CMemAssembler& sub) {
        const int32_t n = int32();
        if (!ok || n < 1 || n > r.remaining()) return ok = false;
        uint8_t* p = sub.setBuffer(n);
        if (!p || !r.readBytes(p, n)) return ok = false;
        return true;
    }
};

bool writeText(CMemAssembler& w, const char* text, int32_t n) {
    // The text and zeros up to the block's size (append zero-fills): whatever
    // memory lies behind the terminator never goes into a file or chunk, and a
    // reader always finds the end of the text.
    uint8_t* p = w.append(n);
    if (!p) return false;
    std::memcpy(p, text, strnlen(text, size_t(n - 1)));
    return true;
}

bool writeSubBlock(CMemAssembler& w, CMemAssembler& sub) {
    uint8_t* bytes = nullptr;
    const int32_t n = sub.assemble(bytes);
    return n > 0 && w.writeInt32(n) && w.writeBytes(bytes, n);
}

bool writeValues(CMemAssembler& w, const CProgram& p, int32_t first, int32_t count) {
    bool ok = true;
    for (int32_t id = first; ok && id < first + count; ++id)
        ok = w.writeDouble(p.getValue(id, false));
    return ok;
}

bool writeIds(CMemAssembler& w, const CProgram& p, const int32_t* ids, size_t count) {
    bool ok = true;
    for (size_t i = 0; ok && i < count; ++i)
        ok = w.writeDouble(p.getValue(ids[i], false));
    return ok;
}

void readValues(Reader& in, CProgram& p, int32_t first, int32_t count) {
    for (int32_t id = first; id < first + count; ++id)
        in.value(p, id);
}

void readIds(Reader& in, CProgram& p, const int32_t* ids, size_t count) {
    for (size_t i = 0; i < count; ++i)
        in.value(p, ids[i]);
}

double* operatorItems(OperatorPatch& o, int32_t& count, double* out[]) {
    count = 0;
    for (double* m : {&o.amplitude, &o.tuneMode, &o.coarseTune, &o.offsetHz, &o.mix, &o.pan,
                      &o.enabled, &o.startPhase, &o.auxSwitch})
        out[count++] = m;
    for (double& d : o.modulationDepths)
        out[count++] = &d;
    for (double& a : o.harmonicAmplitudes)
        out[count++] = &a;
    for (double& h : o.harmonicPhases)
        out[count++] = &h;
    return out[0];
}

// The slot's eight values in block order.
void slotItems(SampleSlotPatch& s, double* out[8]) {
    double* items[8] = {&s.sendFilter1, &s.sendFilter2, &s.lowKey,  &s.loop,
                        &s.level,       &s.pan,         &s.rootKey, &s.keyboardFollow};
    std::copy(items, items + 8, out);
}

constexpr int32_t kOperatorItemCount = 9 + kOperatorModulationCount + 2 * kHarmonicCount;

bool writeFilter(CMemAssembler& w, const CProgram& p, int f) {
    const int32_t ids[] = {kFilterCutoffId[f], kFilterResonanceId[f], kFilterModeId[f]};
    return writeIds(w, p, ids, 3) &&
           writeValues(w, p, kFilterFirstId + f * kFilterIdStride, kFilterIdStride);
}

void readFilter(Reader& in, CProgram& p, int f) {
    const int32_t ids[] = {kFilterCutoffId[f], kFilterResonanceId[f], kFilterModeId[f]};
    readIds(in, p, ids, 3);
    readValues(in, p, kFilterFirstId + f * kFilterIdStride, kFilterIdStride);
}

// Old blocks' values into today's meaning.
void convertOldVersion(CProgram& p, int32_t version) {
    if (version <= kOldDelayAndEqVersion) {
        // The pre-delay's scale changed from linear to square-root.
        const double pre = p.getValue(kDelayFirstId, false);
        p.setValue(kDelayFirstId, std::sqrt(std::max(0.0, pre * 126.0 / 1300.0)));
        for (int b = 0; b < kEqBandCount; ++b) {
            p.setValue(kEqQFirstId + b, p.getValue(kEqQFirstId + b, false) * 0.5);
            const double f = (p.getValue(kEqFrequencyFirstId + b, false) * 6.0 + 3.05) / 9.4;
            p.setValue(kEqFrequencyFirstId + b, std::clamp(f, 0.0, 1.0));
        }
    }
    if (version <= kOldGlideVersion) {
        // Glide was once only active with unison or glide-from-held-note on.
        if (p.getValue(kGlideFromHeldId, false) < 0.5 && p.getValue(kUnisonId, false) < 0.5)
            p.setValue(kGlideFactorId, 0.0);
        p.setValue(kGlideFromHeldId, 0.0);
    }
}

// The sequencer block into `s`; false when it is not a complete version-0 block.
bool parseSequencer(SequencerPatch& s, CMemAssembler& r, bool keepFirstValue) {
    if (!r.canReadInt32() || r.readInt32() != kSequencerMagic) return false;
    if (!r.canReadInt32() || r.readInt32() != kSequencerBlockVersion) return false;
    for (double& step : s.steps) {
        if (!r.canReadDouble()) return false;
        step = stored(r.readDouble());
    }
    double* values[] = {&s.running, &s.length, &s.swing, &s.random, &s.pingPong, &s.transpose};
    for (double* v : values) {
        if (!r.canReadDouble()) return false;
        const double x = stored(r.readDouble());
        if (!(keepFirstValue && v == &s.running)) *v = x;
    }
    return true;
}

// Every value the engine takes from IDs 0..323 means something in 0..1 (a
// switch, a raw amount, or a range that the engine maps it onto), and so do
// the operators' amplitudes and start phases. A stored value outside it
// (a damaged file, a host that broke the rule when the value was set) could
// only make some gain or rate run away, so it is taken at the nearest end.
// Values in engine units (coarse tune, offset in Hz) and the envelopes are
// left as stored.
void clampToMeaningfulRanges(CProgram& p) {
    for (int32_t id = 0; id < kAppliedIdCount; ++id) {
        const double v = p.getValue(id, false);
        if (!(v >= 0.0 && v <= 1.0)) p.setValue(id, clampUnit(v));
    }
    for (OperatorPatch& op : p.operators) {
        op.amplitude = clampUnit(op.amplitude);
        op.startPhase = clampUnit(op.startPhase);
    }
}

bool parseProgram(CProgram& p, CMemAssembler& r, double& fineTune, bool& haveFineTune) {
    Reader in{r};
    if (in.int32() != kProgramMagic || !in.ok) return false;
    const int32_t version = in.int32();
    // Negative versions do not exist; they can only come from damaged data.
    if (!in.ok || version < 0 || version > kProgramBlockVersion) return false;

    char tuningName[kTuningNameBytes];
    in.text(tuningName, kTuningNameBytes);
    if (version >= kProgramNameVersion) in.text(p.name, kProgramNameBytes);

    for (OperatorPatch& o : p.operators) {
        double* items[kOperatorItemCount];
        int32_t count;
        operatorItems(o, count, items);
        for (int32_t i = 0; i < count; ++i)
            in.member(*items[i]);
    }
    readIds(in, p, kGlobalItemIds, std::size(kGlobalItemIds));
    // The program plays in the tuning it was saved with, so that it sounds the
    // same where the tuning file is missing. A table that no tuning can give
    // (a ratio that is no positive number) is damage: the program keeps its own.
    double ratios[kTuningNoteCount];
    bool tuningPlayable = true;
    for (double& ratio : ratios) {
        ratio = in.real();
        tuningPlayable = tuningPlayable && std::isfinite(ratio) && ratio > 0.0;
    }
    if (!in.ok) return false;
    if (tuningPlayable) {
        std::memcpy(p.tuningRatios, ratios, sizeof ratios);
        std::snprintf(p.tuningName, sizeof p.tuningName, "%s", tuningName);
    }

    for (int which = 0; which < kSequencerCount; ++which) {
        CMemAssembler sub;
        if (!in.subBlock(sub)) return false;
        if (!parseSequencer(p.sequencers[which], sub, false)) return false;
    }

    readValues(in, p, kChorusFirstId, kChorusIdCount);
    readValues(in, p, kDelayFirstId, 8);
    if (version >= kDelaySyncVersion) in.value(p, kDelayFirstId + 8);
    in.value(p, kDelayFirstId + 9);
    if (version >= kEqShapeVersion) {
        readValues(in, p, kEqQFirstId, kEqBandCount);
        readValues(in, p, kEqFrequencyFirstId, kEqBandCount);
    } else {
        for (int i = 0; i < kVersion0EqDoubles; ++i)
            in.real();
    }
    readValues(in, p, kEqLevelFirstId, kEqBandCount + 1); // levels and enable
    readIds(in, p, kReverbItemIds, std::size(kReverbItemIds));
    readFilter(in, p, 0);
    readFilter(in, p, 1);
    in.value(p, kSampleLevelId);
    in.value(p, kSamplePanId);
    for (SampleSlotPatch& s : p.sampleSlots) {
        double* items[8];
        slotItems(s, items);
        for (double* m : items)
            in.member(*m);
        in.text(s.samplePath, kSamplePathBytes);
        if (in.ok) pathFromStored(s.samplePath, sizeof s.samplePath);
    }
    readIds(in, p, kExtraItemIds, std::size(kExtraItemIds));
    if (version >= kFineTuneVersion) {
        const double f = in.real();
        fineTune = stored(f);
        haveFineTune = in.ok;
    }
    const int32_t count = in.signedByte();
    if (!in.ok || count < 1 || count > kProgramEnvelopeCount) return false;
    p.envelopeCount = count;
    for (int32_t e = 0; e < count; ++e) {
        CMemAssembler sub;
        if (!in.subBlock(sub)) return false;
        // A malformed envelope block leaves that envelope as far as it was read.
        readEnvelopeBlock(p.envelopes[e], p.velocityCurves[e], p.keyCurves[e], sub, true);
    }

    p.resetSelection();
    p.setValue(kFilter2KeyTrackingId,
               std::clamp(p.getValue(kFilter2KeyTrackingId, false), 0.0, 1.0));
    convertOldVersion(p, version);
    clampToMeaningfulRanges(p);
    return true;
}

int32_t clampedSelection(int32_t index, int32_t count) {
    return std::clamp(index, 0, count - 1);
}

} // namespace

bool saveProgram(CProgram& p, CMemAssembler& w) {
    bool ok = w.writeInt32(kProgramMagic) && w.writeInt32(kProgramBlockVersion);
    ok = ok && writeText(w, p.tuningName, kTuningNameBytes) &&
         writeText(w, p.name, kProgramNameBytes);
    for (int o = 0; ok && o < kOperatorCount; ++o) {
        double* items[kOperatorItemCount];
        int32_t count;
        operatorItems(p.operators[o], count, items);
        for (int32_t i = 0; ok && i < count; ++i)
            ok = w.writeDouble(*items[i]);
    }
    ok = ok && writeIds(w, p, kGlobalItemIds, std::size(kGlobalItemIds));
    for (int32_t n = 0; ok && n < kTuningNoteCount; ++n)
        ok = w.writeDouble(p.tuningRatios[n]);
    for (int which = 0; ok && which < kSequencerCount; ++which) {
        CMemAssembler sub;
        ok = saveSequencer(p, which, sub) && writeSubBlock(w, sub);
    }
    ok = ok && writeValues(w, p, kChorusFirstId, kChorusIdCount) &&
         writeValues(w, p, kDelayFirstId, kDelayIdCount) &&
         writeValues(w, p, kEqQFirstId, kEqBandCount) &&
         writeValues(w, p, kEqFrequencyFirstId, kEqBandCount) &&
         writeValues(w, p, kEqLevelFirstId, kEqBandCount + 1) &&
         writeIds(w, p, kReverbItemIds, std::size(kReverbItemIds)) && writeFilter(w, p, 0) &&
         writeFilter(w, p, 1) && w.writeDouble(p.getValue(kSampleLevelId, false)) &&
         w.writeDouble(p.getValue(kSamplePanId, false));
    for (int s = 0; ok && s < kSampleSlotCount; ++s) {
        double* items[8];
        slotItems(p.sampleSlots[s], items);
        for (double* m : items)
            ok = ok && w.writeDouble(*m);
        ok = ok && writeText(w, p.sampleSlots[s].samplePath, kSamplePathBytes);
    }
    ok = ok && writeIds(w, p, kExtraItemIds, std::size(kExtraItemIds)) &&
         w.writeDouble(p.getValue(kFineTuneId, false));
    const int32_t count = std::clamp(p.envelopeCount, 1, kProgramEnvelopeCount);
    ok = ok && w.writeByte(uint8_t(count));
    for (int32_t e = 0; ok && e < count; ++e) {
        CMemAssembler sub;
        ok = writeEnvelopeBlock(p.envelopes[e], p.velocityCurves[e], p.keyCurves[e], sub) &&
             writeSubBlock(w, sub);
    }
    return ok;
}

namespace {
// The block is parsed into a copy of the program and taken over only when all
// of it is good, so a damaged block leaves the program as it was.
bool parseIntoCopy(CProgram& program, CMemAssembler& reader, bool applyFineTune, CProgram& copy) {
    double fineTune = 0.5;
    bool haveFineTune = false;
    if (!parseProgram(copy, reader, fineTune, haveFineTune)) return false;
    program = copy;
    if (applyFineTune && haveFineTune) program.setValue(kFineTuneId, fineTune);
    return true;
}
} // namespace

bool loadProgram(CProgram& program, CMemAssembler& reader, bool applyFineTune) {
    // Made as a copy at once: a program built only to be overwritten costs as
    // much again.
    std::unique_ptr<CProgram> scratch(new (std::nothrow) CProgram(program));
    return scratch && parseIntoCopy(program, reader, applyFineTune, *scratch);
}

bool loadProgram(CProgram& program, CMemAssembler& reader, bool applyFineTune, CProgram& scratch) {
    scratch = program;
    return parseIntoCopy(program, reader, applyFineTune, scratch);
}

bool saveSequencer(const CProgram& p, int which, CMemAssembler& w) {
    if (which < 0 || which >= kSequencerCount) return false;
    const SequencerPatch& s = p.sequencers[which];
    bool ok = w.writeInt32(kSequencerMagic) && w.writeInt32(kSequencerBlockVersion);
    for (double step : s.steps)
        ok = ok && w.writeDouble(step);
    for (double v : {s.running, s.length, s.swing, s.random, s.pingPong, s.transpose})
        ok = ok && w.writeDouble(v);
    return ok;
}

bool loadSequencer(CProgram& p, int which, CMemAssembler& r, bool keepFirstValue) {
    if (which < 0 || which >= kSequencerCount) return false;
    SequencerPatch copy = p.sequencers[which];
    if (!parseSequencer(copy, r, keepFirstValue)) return false;
    p.sequencers[which] = copy;
    return true;
}

bool saveEnvelope(const CProgram& p, CMemAssembler& w) {
    const int32_t e = clampedSelection(p.selectedEnvelope, kProgramEnvelopeCount);
    return writeEnvelopeBlock(p.envelopes[e], p.velocityCurves[e], p.keyCurves[e], w);
}

bool loadEnvelope(CProgram& p, CMemAssembler& r, bool withRouting) {
    const int32_t e = clampedSelection(p.selectedEnvelope, kProgramEnvelopeCount);
    std::unique_ptr<CEnvelope[]> copy(new (std::nothrow) CEnvelope[3]);
    if (!copy) return false;
    copy[0] = p.envelopes[e];
    copy[1] = p.velocityCurves[e];
    copy[2] = p.keyCurves[e];
    if (!readEnvelopeBlock(copy[0], copy[1], copy[2], r, withRouting)) return false;
    p.envelopes[e] = copy[0];
    p.velocityCurves[e] = copy[1];
    p.keyCurves[e] = copy[2];
    return true;
}

bool saveWave(const CProgram& p, CMemAssembler& w) {
    const OperatorPatch& o = p.operators[clampedSelection(p.selectedOperator, kOperatorCount)];
    bool ok = w.writeInt32(kWaveMagic) && w.writeInt32(kWaveBlockVersion);
    for (double a : o.harmonicAmplitudes)
        ok = ok && w.writeDouble(a);
    for (double h : o.harmonicPhases)
        ok = ok && w.writeDouble(h);
    return ok;
}

bool loadWave(CProgram& p, CMemAssembler& r) {
    if (!r.canReadInt32() || r.readInt32() != kWaveMagic) return false;
    if (!r.canReadInt32() || r.readInt32() != kWaveBlockVersion) return false;
    double spectrum[2 * kHarmonicCount];
    for (double& v : spectrum) {
        if (!r.canReadDouble()) return false;
        v = stored(r.readDouble());
    }
    OperatorPatch& o = p.operators[clampedSelection(p.selectedOperator, kOperatorCount)];
    std::copy(spectrum, spectrum + kHarmonicCount, o.harmonicAmplitudes);
    std::copy(spectrum + kHarmonicCount, spectrum + 2 * kHarmonicCount, o.harmonicPhases);
    return true;
}
