#include "patch/ParameterText.h"

#include "base/ToRange.h"
#include "base/ValueIds.h"
#include "patch/CProgram.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char* kHostParameterNames[kHostParameterCount] = {
    "Master Level",   "Master Pitch",    "Distortion",     "Delay: TimePre",  "Delay: TimeL",
    "Delay: PanL",    "Delay: TimeR",    "Delay: PanR",    "Delay: Fdbk",     "Delay: Balance",
    "Delay: Wet",     "Delay: Sync",     "Delay: On",      "Chorus: Time",    "Chorus: Speed",
    "Chorus: Wet",    "Chorus: Dry",     "Chorus: Invert", "Chorus: Stereo",  "Chorus: Enable",
    "EQ: Band 1 Q",   "EQ: Band 2 Q",    "EQ: Band 3 Q",   "EQ: Band 4 Q",    "EQ: Band 1 Frq",
    "EQ: Band 2 Frq", "EQ: Band 3 Frq",  "EQ: Band 4 Frq", "EQ: Band 1 Lev",  "EQ: Band 2 Lev",
    "EQ: Band 3 Lev", "EQ: Band 4 Lev",  "EQ: Enable",     "Reverb: Enable",  "Reverb: Feedback",
    "Reverb: Color",  "Reverb: Wet",     "Flt1: Cutoff",   "Flt1: Resonance", "Flt1: Mode",
    "Flt2: Cutoff",   "Flt2: Resonance", "Flt2: Mode",
};

constexpr const char* kFilterModeNames[4] = {"Off", "LowPass", "BandPass", "HighPass"};
constexpr const char* kNoteNames[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                        "F#", "G",  "G#", "A",  "A#", "B"};
constexpr const char* kNoText = "-----";

// Delay times: without sync in milliseconds, with sync in beats.
constexpr int32_t kPreDelayMaxMs = 1300;
constexpr int32_t kDelayMaxMs = 1300;
constexpr double kPreDelayMaxBeats = 8.0;
constexpr double kDelayBeatsRange = 7.0;
// EQ band frequency: 30 Hz * 2^(9.4 * v).
constexpr double kEqLowestHz = 30.0;
constexpr double kEqOctaves = 9.4;

void copyText(const char* source, char* text, size_t capacity) {
    if (!text || capacity == 0) return;
    std::snprintf(text, capacity, "%s", source);
}

void formatInt(int32_t v, char* text, size_t capacity) {
    if (!text || capacity == 0) return;
    std::snprintf(text, capacity, "%d", v);
}

bool isSampleSlotId(int32_t id) {
    return id >= kSampleSlotFirstId &&
           id < kSampleSlotFirstId + kSampleSlotCount * kSampleSlotIdStride;
}

bool isSequencerStepId(int32_t id) {
    for (int32_t s = 0; s < kSequencerCount; ++s) {
        const int32_t steps = kSequencer1FirstId + s * kSequencerIdStride + kSequencerStepsOffset;
        if (id >= steps && id < steps + kSequencerStepCount) return true;
    }
    return false;
}

} // namespace

const char* hostParameterName(int32_t id) {
    if (id < 0 || id >= kHostParameterCount) return nullptr;
    return kHostParameterNames[id];
}

void formatFixed2(double v, char decimalSeparator, char* text, size_t capacity) {
    if (!text || capacity == 0) return;
    std::snprintf(text, capacity, "%.2f", v);
    if (decimalSeparator != '.')
        for (char* p = text; *p; ++p)
            if (*p == '.') *p = decimalSeparator;
}

void formatParameterDisplay(const CProgram& program, int32_t id, char sep, char* text,
                            size_t capacity) {
    formatValueDisplay(program, id, program.getValue(id, true), sep, text, capacity);
}

void formatValueDisplay(const CProgram& program, int32_t id, double v, char sep, char* text,
                        size_t capacity) {
    if (!text || capacity == 0) return;
    const bool delaySync = program.getValue(kDelayFirstId + kDelaySyncOffset, false) > 0.5;

    switch (id) {
    case kMasterPitchId:
        return formatInt(toRange(v, -24, 24), text, capacity);
    case kDelayFirstId + kDelayPreTimeOffset:
        if (delaySync) return formatFixed2(v * kPreDelayMaxBeats, sep, text, capacity);
        return formatInt(toRange(v * v, 0, kPreDelayMaxMs), text, capacity);
    case kDelayFirstId + kDelayLeftTimeOffset:
    case kDelayFirstId + kDelayRightTimeOffset:
        if (delaySync) return formatFixed2(v * kDelayBeatsRange + 1.0, sep, text, capacity);
        return formatInt(toRange(v * v, 1, kDelayMaxMs), text, capacity);
    case kEqFrequencyFirstId:
    case kEqFrequencyFirstId + 1:
    case kEqFrequencyFirstId + 2:
    case kEqFrequencyFirstId + 3: {
        double hz = kEqLowestHz * std::pow(2.0, kEqOctaves * v);
        if (std::isnan(hz) || hz > 2147483647.0) hz = 0.0;
        return formatInt(int32_t(hz), text, capacity);
    }
    case kFilterModeId[0]:
    case kFilterModeId[1]:
        return copyText(kFilterModeNames[toRange(v, 0, 3)], text, capacity);
    case kVoiceCountId:
        return formatInt(toRange(v, 1, 24), text, capacity);
    case kPitchBendUpId:
    case kPitchBendDownId:
        return formatInt(toRange(v, 0, 48), text, capacity);
    case kSampleLevelId:
        return formatFixed2(toRange(v, 0, 100) * 0.01, sep, text, capacity);
    case kSamplePanId:
        return formatFixed2(toRange(v, -100, 100) * 0.01, sep, text, capacity);
    case kSequencer1FirstId + kSequencerLengthOffset:
    case kSequencer2FirstId + kSequencerLengthOffset:
        return formatInt(toRange(v, 1, 32), text, capacity);
    case kSequencer1FirstId + kSequencerTransposeOffset:
    case kSequencer2FirstId + kSequencerTransposeOffset:
        return formatInt(toRange(v, -24, 24), text, capacity);
    case kPointTextId: {
        const int32_t e = program.selectedEnvelope & 31;
        const CEnvelope& curve = program.envelopeView == kViewKeyCurve ? program.keyCurves[e]
                                 : program.envelopeView == kViewVelocityCurve
                                     ? program.velocityCurves[e]
                                     : program.envelopes[e];
        return curve.pointText(text, capacity, sep);
    }
    case kFineTuneId: // the fine tune in cents, as the voices apply it
        return formatInt(toRange(v, -kFineTuneCents, kFineTuneCents), text, capacity);
    case kTuningNameId:
        return copyText(program.tuningName, text, capacity);
    default:
        break;
    }

    if (id >= 0 && id < kHostParameterCount) return formatFixed2(v, sep, text, capacity);
    if (isSampleSlotId(id)) {
        const int32_t slot = (id - kSampleSlotFirstId) / kSampleSlotIdStride;
        const int32_t k = (id - kSampleSlotFirstId) % kSampleSlotIdStride;
        if (program.sampleSlots[slot].samplePath[0] == 0) return copyText(kNoText, text, capacity);
        if (k == kSampleSlotLowKeyOffset || k == kSampleSlotRootKeyOffset) {
            const int32_t n = toRange(v, 0, 127);
            std::snprintf(text, capacity, "%s%d", kNoteNames[n % 12], n / 12);
            return;
        }
        if (k >= kSampleSlotSendFilter1Offset)
            return formatFixed2(toRange(v, -100, 100) * 0.01, sep, text, capacity);
        return formatFixed2(v, sep, text, capacity);
    }
    if (isSequencerStepId(id)) {
        const int32_t n = sequencerStepValue(v);
        if (n == kSequencerRestStep) return copyText(kNoText, text, capacity);
        if (n == kSequencerHoldStep) return copyText("SUS", text, capacity);
        return formatInt(n, text, capacity);
    }
    if (id >= kSamplePathLeafFirstId && id < kSamplePathLeafFirstId + kSampleSlotCount)
        return copyText(program.samplePathLeaf(id - kSamplePathLeafFirstId), text, capacity);
    // The routing list's rows show the envelopes of the current page; rows
    // past the program's last envelope show nothing to edit. (The ID after
    // the last row belongs to no cell.)
    if (id >= kEnvelopeRowFirstId && id <= kEnvelopeSampleDepthLastId &&
        id != kEnvelopeRowLastId + 1) {
        const int32_t row = id >= kEnvelopeSampleDepthFirstId
                                ? id - kEnvelopeSampleDepthFirstId
                                : (id - kEnvelopeRowFirstId) / kEnvelopeRowIdStride;
        const bool nameCell = id < kEnvelopeSampleDepthFirstId &&
                              (id - kEnvelopeRowFirstId) % kEnvelopeRowIdStride == 0;
        const int32_t e = (program.envelopePage & 3) * kEnvelopesPerPage + row;
        if (e >= program.envelopeCount) return copyText(nameCell ? "" : "n/a", text, capacity);
        if (nameCell) {
            // The record keeps the kind as an index, not as a normalised value.
            const int32_t kind =
                std::clamp<int32_t>(program.envelopes[e].targetKind, 0, kTargetKindCount - 1);
            std::snprintf(text, capacity, "%d. %s", int(e + 1), kTargetKindLabels[kind]);
            return;
        }
        // A depth: "n/a" where the envelope's target kind does not reach that destination.
        const int destination = id >= kEnvelopeSampleDepthFirstId
                                    ? kEnvelopeSampleDestination
                                    : (id - kEnvelopeRowFirstId) % kEnvelopeRowIdStride - 1;
        return program.envelopes[e].depthText(destination, text, capacity, sep);
    }
    if (id >= kFilterFirstId && id < kOperatorFirstId + kOperatorCount * kOperatorIdStride)
        return formatFixed2(toRange(v, -100, 100) * 0.01, sep, text, capacity);
    if (id == kUnisonSpreadId || id == kGlideFactorId) return formatFixed2(v, sep, text, capacity);
    formatFixed2(v, sep, text, capacity);
}

namespace {

// Steps of the scan for a parameter's names, and of the search for a number.
constexpr int32_t kNameScanSteps = 1000;
constexpr int32_t kSearchSteps = 48;

std::string trimmed(const char* text) {
    std::string t(text);
    const size_t first = t.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    return t.substr(first, t.find_last_not_of(" \t") - first + 1);
}

// The number a whole text reads as, with '.' or the decimal separator.
bool readNumber(std::string t, char sep, double& out) {
    for (char& c : t)
        if (c == sep || c == ',') c = '.';
    if (t.empty()) return false;
    char* end = nullptr;
    out = std::strtod(t.c_str(), &end);
    return end && *end == 0 && std::isfinite(out);
}

bool sameText(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower((unsigned char)a[i]) != std::tolower((unsigned char)b[i])) return false;
    return i == a.size() && b[i] == 0;
}

} // namespace

bool parseHostParameterText(const CProgram& program, int32_t id, const char* text, char sep,
                            double& value) {
    if (id < 0 || id >= kHostParameterCount || !text) return false;
    const std::string wanted = trimmed(text);
    if (wanted.empty()) return false;
    char shown[64];
    auto shownNumber = [&](double v, double& number) {
        formatValueDisplay(program, id, v, sep, shown, sizeof shown);
        return readNumber(shown, sep, number);
    };

    double target = 0.0;
    double atZero = 0.0, atOne = 0.0;
    if (!readNumber(wanted, sep, target) || !shownNumber(0.0, atZero) || !shownNumber(1.0, atOne)) {
        // A name: the middle of the values that show it.
        int32_t first = -1, last = -1;
        for (int32_t i = 0; i <= kNameScanSteps; ++i) {
            formatValueDisplay(program, id, double(i) / kNameScanSteps, sep, shown, sizeof shown);
            if (!sameText(wanted, shown)) continue;
            if (first < 0) first = i;
            last = i;
        }
        if (first < 0) return false;
        value = (first + last) * 0.5 / kNameScanSteps;
        return true;
    }

    // Every numeric text rises with the value: the lowest value showing at
    // least (or more than) the number, by halving.
    auto lowest = [&](bool beyond) {
        double lo = 0.0, hi = 1.0, n = 0.0;
        for (int32_t i = 0; i < kSearchSteps; ++i) {
            const double mid = 0.5 * (lo + hi);
            const bool reached = shownNumber(mid, n) && (beyond ? n > target : n >= target);
            (reached ? hi : lo) = mid;
        }
        return hi;
    };
    if (target <= atZero) {
        value = 0.0;
    } else if (target >= atOne) {
        value = 1.0;
    } else {
        const double from = lowest(false);
        double n = 0.0;
        value = shownNumber(from, n) && n == target ? 0.5 * (from + lowest(true)) : from;
    }
    return true;
}
