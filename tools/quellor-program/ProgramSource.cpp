#include "quellor-program/ProgramSource.h"

#include "base/ValueIds.h"
#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "patch/PatchFiles.h"
#include "platform/IPlatform.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

// The operating system as the tools see it, with the error boxes turned into
// text for the tool's own message.
class CToolPlatform : public IPlatform {
public:
    std::string last;
    void showError(const char*, const char* text) override { last = text; }
    bool askYesNo(const char*, const char*) override { return false; }
    bool chooseFile(char*, size_t, const char*, const char*, const char*, void*, bool) override {
        return false;
    }
    std::string configuredRootFolder() override { return ""; }
    std::string defaultRootFolder() override { return nativePlatform().defaultRootFolder(); }
    std::vector<FolderEntry> listFolder(const std::string& folder) override {
        return nativePlatform().listFolder(folder);
    }
    char pathSeparator() const override { return nativePlatform().pathSeparator(); }
    char decimalSeparator() override { return '.'; }
};

// Ranges of the values the sources write in engine units; the program stores
// them normalised.
constexpr double kPitchRange = 24.0; // master pitch and sequencer transpose: -24..24
constexpr double kBendRange = 48.0;  // pitch-bend range, 0..48 semitones
constexpr double kMaxVoices = 24.0;  // voice count 1..24
constexpr double kMaxKey = 127.0;    // sample slot keys
constexpr int32_t kStepLow = -26;    // sequencer step values -26..24
constexpr int32_t kStepSpan = 50;
constexpr int32_t kMaxSequencerSteps = 32;

double bipolar(double amount) {
    return 0.5 + 0.5 * amount;
}

std::string trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return "";
    const size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

std::vector<std::string> words(const std::string& s, char separator = 0) {
    std::vector<std::string> out;
    if (separator) {
        std::stringstream in(s);
        std::string part;
        while (std::getline(in, part, separator))
            out.push_back(trim(part));
        return out;
    }
    std::stringstream in(s);
    std::string w;
    while (in >> w)
        out.push_back(w);
    return out;
}

// One source being read: where it is, for the messages.
struct SReader {
    std::string file;
    int line = 0;
    std::string error;
    const SSourceFolders* folders = nullptr;
    std::string* samples = nullptr;

    bool fail(const std::string& message) {
        if (error.empty()) error = file + ":" + std::to_string(line) + ": " + message;
        return false;
    }
    bool number(const std::string& text, double& out) {
        if (text == "on" || text == "yes") {
            out = 1.0;
            return true;
        }
        if (text == "off" || text == "no") {
            out = 0.0;
            return true;
        }
        char* end = nullptr;
        errno = 0;
        out = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(out))
            return fail("\"" + text + "\" is not a number");
        return true;
    }
    bool numbers(const std::string& text, std::vector<double>& out) {
        out.clear();
        for (const std::string& w : words(text)) {
            double v;
            if (!number(w, v)) return false;
            out.push_back(v);
        }
        return true;
    }
};

// An index written after a prefix: "op3" -> 2 for prefix "op" and 8 items.
bool indexAfter(const std::string& word, const char* prefix, int count, int& index) {
    const size_t n = std::strlen(prefix);
    if (word.compare(0, n, prefix) != 0 || word.size() == n) return false;
    for (size_t i = n; i < word.size(); ++i)
        if (word[i] < '0' || word[i] > '9') return false;
    index = std::atoi(word.c_str() + n) - 1;
    return index >= 0 && index < count;
}

// A matrix destination: op1..op8 are 0..7, filter1 and filter2 are 8 and 9.
bool destinationIndex(const std::string& word, int& index) {
    if (indexAfter(word, "op", kOperatorCount, index)) return true;
    if (indexAfter(word, "filter", 2, index)) {
        index += kOperatorCount;
        return true;
    }
    return false;
}

bool applyWaveKey(SReader& r, CProgram& p, int op, const std::string& key,
                  const std::string& value) {
    std::vector<double> v;
    if (key != "harmonics" && key != "phases") return r.fail("unknown wave key \"" + key + "\"");
    if (!r.numbers(value, v)) return false;
    if (v.size() > size_t(kHarmonicCount)) return r.fail("more than 32 harmonics");
    double* target =
        key == "harmonics" ? p.operators[op].harmonicAmplitudes : p.operators[op].harmonicPhases;
    for (int h = 0; h < kHarmonicCount; ++h)
        target[h] = h < int(v.size()) ? v[size_t(h)] : 0.0;
    return true;
}

bool applyPatternKey(SReader& r, CProgram& p, int seq, const std::string& key,
                     const std::string& value) {
    const int32_t first = seq == 0 ? kSequencer1FirstId : kSequencer2FirstId;
    if (key == "steps") {
        const std::vector<std::string> steps = words(value);
        if (steps.empty() || steps.size() > size_t(kMaxSequencerSteps))
            return r.fail("a pattern has 1..32 steps");
        for (size_t k = 0; k < steps.size(); ++k) {
            double n;
            if (steps[k] == "-")
                n = kSequencerRestStep;
            else if (steps[k] == "~")
                n = kSequencerHoldStep;
            else if (!r.number(steps[k], n))
                return false;
            if (n < kSequencerRestStep || n > kSequencerMaxStep || n != std::floor(n))
                return r.fail("step \"" + steps[k] + "\" is not -24..24, - or ~");
            p.setValue(first + kSequencerStepsOffset + int32_t(k), (n - kStepLow) / kStepSpan);
        }
        p.setValue(first + kSequencerLengthOffset,
                   double(steps.size() - 1) / (kMaxSequencerSteps - 1));
        return true;
    }
    double v;
    if (!r.number(value, v)) return false;
    if (key == "transpose")
        p.setValue(first + kSequencerTransposeOffset, (v + kPitchRange) / (2 * kPitchRange));
    else if (key == "swing")
        p.setValue(first + kSequencerSwingOffset, v);
    else if (key == "random")
        p.setValue(first + kSequencerRandomOffset, v);
    else if (key == "pingpong")
        p.setValue(first + kSequencerPingPongOffset, v);
    else
        return r.fail("unknown pattern key \"" + key + "\"");
    return true;
}

const char* const kTargetWords[kTargetKindCount] = {
    "amplitude", "amplitude-mult", "mix",   "mix-mult", "pan",
    "pitch",     "frequency",      "phase", "cutoff",   "resonance"};
const char* const kControllerWords[kControllerCount] = {
    "modwheel",   "pitchbend", "polyaftertouch", "aftertouch", "breath", "foot",
    "expression", "cc16",      "cc17",           "cc18",       "cc19"};

bool readSource(SReader& r, const std::string& path,
                bool (*apply)(SReader&, CProgram&, int, const std::string&, const std::string&),
                CProgram& p, int index);

// A curve of two points read at velocity / 127 or along the keyboard: `from`
// at velocity 0 (the lowest key), `to` at velocity 127 (the highest).
void twoPointCurve(CEnvelope& curve, double from, double to) {
    curve.setLevel(1, from);
    curve.setLevel(0, to);
}

bool applyEnvelopeKey(SReader& r, CProgram& p, int env, const std::string& key,
                      const std::string& value) {
    CEnvelope& e = p.envelopes[env];
    int destination;
    if (key == "target") {
        for (int k = 0; k < kTargetKindCount; ++k)
            if (value == kTargetWords[k]) {
                e.targetKind = k;
                return true;
            }
        return r.fail("unknown target \"" + value + "\"");
    }
    if (key == "controller") {
        for (int k = 0; k < kControllerCount; ++k)
            if (value == kControllerWords[k]) {
                e.controller = k;
                return true;
            }
        return r.fail("unknown controller \"" + value + "\"");
    }
    if (key == "shape") {
        const std::string file = r.folders->envelopes + "/" + value + ".txt";
        SReader inner{file, 0, "", r.folders, r.samples};
        if (!readSource(inner, file, applyEnvelopeKey, p, env)) return r.fail(inner.error);
        return true;
    }
    if (key == "points") {
        const std::vector<std::string> points = words(value, ',');
        if (points.size() < size_t(CEnvelope::kModulationMinimumPoints) ||
            points.size() > size_t(kEnvelopeMaxPoints))
            return r.fail("an envelope has 3..64 points");
        e.pointCount = int32_t(points.size());
        for (size_t i = 0; i < points.size(); ++i) {
            std::vector<double> v;
            if (!r.numbers(points[i], v)) return false;
            if (v.size() < 2 || v.size() > 3)
                return r.fail("a point is \"delta level\" or \"delta level curve\"");
            e.setDelta(int(i), v[0]);
            e.setLevel(int(i), v[1]);
            e.setCurve(int(i), v.size() == 3 ? v[2] : 0.5);
        }
        e.loopStart = e.loopEnd = 1;
        e.recompute();
        return true;
    }
    std::vector<double> v;
    if (!r.numbers(value, v)) return false;
    if (key == "sustain" || key == "loop") {
        if (v.size() != (key == "loop" ? 2u : 1u))
            return r.fail(key == "loop" ? "loop = FIRST LAST" : "sustain = POINT");
        e.setLoopEnd(int(v.back()));
        e.setLoopStart(int(v.front()));
        return true;
    }
    if (key == "velocity" || key == "keys") {
        if (v.size() != 2) return r.fail(key + " = LOW HIGH");
        twoPointCurve(key == "velocity" ? p.velocityCurves[env] : p.keyCurves[env], v[0], v[1]);
        return true;
    }
    if (v.size() != 1) return r.fail("\"" + key + "\" takes one value");
    if (destinationIndex(key, destination) || key == "sample") {
        if (key == "sample") destination = kEnvelopeSampleDestination;
        if (!isDestinationAllowed(e.targetKind, destination))
            return r.fail("this target cannot reach \"" + key + "\"");
        e.setDepth(destination, v[0]);
    } else if (key == "sync")
        e.tempoSync = v[0] > 0.5;
    else if (key == "bipolar")
        e.bipolar = v[0] > 0.5;
    else if (key == "free")
        e.freeRunning = v[0] > 0.5;
    else if (key == "keyed")
        e.keyed = v[0] > 0.5;
    else if (key == "ratekey")
        e.rateKeyTracking = v[0];
    else if (key == "ratevel")
        e.rateVelocitySensitivity = v[0];
    else
        return r.fail("unknown envelope key \"" + key + "\"");
    return true;
}

// Plain values by name: value ID, and how the source's unit maps onto 0..1.
enum class Unit { Raw, Bipolar, Semitones, Bend, Voices };
struct SNamedValue {
    const char* name;
    int32_t id;
    Unit unit;
};
constexpr SNamedValue kNamedValues[] = {
    {"master", kMasterLevelId, Unit::Raw},
    {"pitch", kMasterPitchId, Unit::Semitones},
    {"distortion", kDistortionId, Unit::Raw},
    {"delay.pre", 3, Unit::Raw},
    {"delay.left", 4, Unit::Raw},
    {"delay.panl", 5, Unit::Raw},
    {"delay.right", 6, Unit::Raw},
    {"delay.panr", 7, Unit::Raw},
    {"delay.feedback", 8, Unit::Raw},
    {"delay.balance", 9, Unit::Raw},
    {"delay.wet", 10, Unit::Raw},
    {"delay.sync", 11, Unit::Raw},
    {"delay.on", 12, Unit::Raw},
    {"chorus.time", 13, Unit::Raw},
    {"chorus.speed", 14, Unit::Raw},
    {"chorus.wet", 15, Unit::Raw},
    {"chorus.dry", 16, Unit::Raw},
    {"chorus.invert", 17, Unit::Raw},
    {"chorus.stereo", 18, Unit::Raw},
    {"chorus.on", 19, Unit::Raw},
    {"eq.q1", 20, Unit::Raw},
    {"eq.q2", 21, Unit::Raw},
    {"eq.q3", 22, Unit::Raw},
    {"eq.q4", 23, Unit::Raw},
    {"eq.freq1", 24, Unit::Raw},
    {"eq.freq2", 25, Unit::Raw},
    {"eq.freq3", 26, Unit::Raw},
    {"eq.freq4", 27, Unit::Raw},
    {"eq.level1", 28, Unit::Raw},
    {"eq.level2", 29, Unit::Raw},
    {"eq.level3", 30, Unit::Raw},
    {"eq.level4", 31, Unit::Raw},
    {"eq.on", kEqEnableId, Unit::Raw},
    {"reverb.on", kReverbEnableId, Unit::Raw},
    {"reverb.feedback", kReverbFeedbackId, Unit::Raw},
    {"reverb.color", kReverbColorId, Unit::Raw},
    {"reverb.wet", kReverbWetId, Unit::Raw},
    {"filter1.cutoff", 37, Unit::Raw},
    {"filter1.resonance", 38, Unit::Raw},
    {"filter2.cutoff", 40, Unit::Raw},
    {"filter2.resonance", 41, Unit::Raw},
    {"filter1.level", kFilterFirstId + kFilterLevelOffset, Unit::Bipolar},
    {"filter1.pan", kFilterFirstId + kFilterPanOffset, Unit::Bipolar},
    {"filter2.level", kFilterFirstId + kFilterIdStride + kFilterLevelOffset, Unit::Bipolar},
    {"filter2.pan", kFilterFirstId + kFilterIdStride + kFilterPanOffset, Unit::Bipolar},
    {"filter1.keytrack", kFilter1KeyTrackingId, Unit::Raw},
    {"filter2.keytrack", kFilter2KeyTrackingId, Unit::Raw},
    {"nointerp", kNoInterpolationId, Unit::Raw},
    {"unison", kUnisonId, Unit::Raw},
    {"unison.spread", kUnisonSpreadId, Unit::Raw},
    {"glide.held", kGlideFromHeldId, Unit::Raw},
    {"glide", kGlideFactorId, Unit::Raw},
    {"voices", kVoiceCountId, Unit::Voices},
    {"bend.up", kPitchBendUpId, Unit::Bend},
    {"bend.down", kPitchBendDownId, Unit::Bend},
    {"sample.level", kSampleLevelId, Unit::Raw},
    {"sample.pan", kSamplePanId, Unit::Bipolar},
};

double normalise(Unit unit, double v) {
    switch (unit) {
    case Unit::Bipolar:
        return bipolar(v);
    case Unit::Semitones:
        return (v + kPitchRange) / (2 * kPitchRange);
    case Unit::Bend:
        return v / kBendRange;
    case Unit::Voices:
        return (v - 1.0) / (kMaxVoices - 1.0);
    case Unit::Raw:
        break;
    }
    return v;
}

const char* const kFilterModes[] = {"off", "lowpass", "bandpass", "highpass"};

bool applyOperatorKey(SReader& r, CProgram& p, int op, const std::string& key,
                      const std::string& value) {
    OperatorPatch& o = p.operators[op];
    const int32_t base = kOperatorFirstId + kOperatorIdStride * op;
    if (key == "wave") {
        const std::string file = r.folders->waves + "/" + value + ".txt";
        SReader inner{file, 0, "", r.folders, r.samples};
        if (!readSource(inner, file, applyWaveKey, p, op)) return r.fail(inner.error);
        return true;
    }
    if (key == "harmonics" || key == "phases") return applyWaveKey(r, p, op, key, value);
    double v;
    if (!r.number(value, v)) return false;
    if (key == "on") {
        o.enabled = v;
        return true;
    }
    o.enabled = 1.0; // naming any other value of an operator switches it on
    if (key == "ratio") {
        o.tuneMode = 0.0;
        o.coarseTune = v;
    } else if (key == "semitones") {
        o.tuneMode = 1.0;
        o.coarseTune = v;
    } else if (key == "hz")
        o.offsetHz = v;
    else if (key == "amp")
        o.amplitude = v;
    else if (key == "phase")
        o.startPhase = v;
    else if (key == "free")
        o.auxSwitch = v;
    else if (key == "mix")
        p.setValue(base + kOperatorMixOffset, bipolar(v));
    else if (key == "pan")
        p.setValue(base + kOperatorPanOffset, bipolar(v));
    else
        return r.fail("unknown operator key \"" + key + "\"");
    return true;
}

bool applySampleKey(SReader& r, CProgram& p, int slot, const std::string& key,
                    const std::string& value) {
    SampleSlotPatch& s = p.sampleSlots[slot];
    const int32_t base = kSampleSlotFirstId + kSampleSlotIdStride * slot;
    if (key == "file") {
        // Stored relative: a program load finds the sample in the program's own folder.
        std::snprintf(s.samplePath, sizeof s.samplePath, ".\\%s", value.c_str());
        if (r.samples) *r.samples += value + "\n";
        return true;
    }
    if (s.samplePath[0] == '\0') return r.fail("name the sample's file before its values");
    double v;
    if (!r.number(value, v)) return false;
    struct SKey {
        const char* name;
        int32_t offset;
        Unit unit;
        double scale;
    };
    constexpr SKey keys[] = {
        {"low", kSampleSlotLowKeyOffset, Unit::Raw, 1.0 / kMaxKey},
        {"root", kSampleSlotRootKeyOffset, Unit::Raw, 1.0 / kMaxKey},
        {"follow", kSampleSlotKeyboardFollowOffset, Unit::Raw, 1.0},
        {"loop", kSampleSlotLoopOffset, Unit::Raw, 1.0},
        {"filter1", kSampleSlotSendFilter1Offset, Unit::Bipolar, 1.0},
        {"filter2", kSampleSlotSendFilter2Offset, Unit::Bipolar, 1.0},
        {"level", kSampleSlotLevelOffset, Unit::Bipolar, 1.0},
        {"pan", kSampleSlotPanOffset, Unit::Bipolar, 1.0},
    };
    for (const SKey& k : keys)
        if (key == k.name) {
            p.setValue(base + k.offset, normalise(k.unit, v * k.scale));
            return true;
        }
    return r.fail("unknown sample key \"" + key + "\"");
}

bool applyProgramKey(SReader& r, CProgram& p, int envelope, const std::string& key,
                     const std::string& value) {
    if (envelope >= 0) return applyEnvelopeKey(r, p, envelope, key, value);
    if (key == "name") {
        std::snprintf(p.name, sizeof p.name, "%s", value.c_str());
        return true;
    }
    if (key == "tuning") {
        CToolPlatform errors;
        CPluginFile settings(errors);
        const std::string file = r.folders->tunings + "/" + value + ".TUN";
        if (!loadTuningFile(p, file.c_str(), settings))
            return r.fail("tuning \"" + file + "\": " + errors.last);
        return true;
    }
    int a, b;
    const size_t arrow = key.find('>');
    if (arrow != std::string::npos) {
        const std::string from = key.substr(0, arrow), to = key.substr(arrow + 1);
        double v;
        if (!destinationIndex(to, b)) return r.fail("unknown destination \"" + to + "\"");
        if (!r.number(value, v)) return false;
        if (indexAfter(from, "op", kOperatorCount, a))
            p.setValue(kOperatorFirstId + kOperatorIdStride * a + kOperatorModulationOffset + b,
                       bipolar(v));
        else if (indexAfter(from, "filter", 2, a)) {
            // A filter's row has no entry for its own input.
            if (b == kOperatorCount + a) return r.fail("a filter cannot feed itself here");
            const int column = b < kOperatorCount ? b : kOperatorCount;
            p.setValue(kFilterFirstId + kFilterIdStride * a + kFilterModulationOffset + column,
                       bipolar(v));
        } else
            return r.fail("unknown source \"" + from + "\"");
        return true;
    }
    const size_t dot = key.find('.');
    const std::string head = key.substr(0, dot),
                      tail = dot == std::string::npos ? "" : key.substr(dot + 1);
    if (indexAfter(head, "op", kOperatorCount, a)) return applyOperatorKey(r, p, a, tail, value);
    if (indexAfter(head, "sample", kSampleSlotCount, a))
        return applySampleKey(r, p, a, tail, value);
    if (indexAfter(head, "seq", kSequencerCount, a)) {
        const int32_t first = a == 0 ? kSequencer1FirstId : kSequencer2FirstId;
        if (tail == "running") {
            double v;
            if (!r.number(value, v)) return false;
            p.setValue(first + kSequencerRunningOffset, v);
            return true;
        }
        if (tail == "pattern") {
            const std::string file = r.folders->patterns + "/" + value + ".txt";
            SReader inner{file, 0, "", r.folders, r.samples};
            if (!readSource(inner, file, applyPatternKey, p, a)) return r.fail(inner.error);
            return true;
        }
        return applyPatternKey(r, p, a, tail, value);
    }
    if (indexAfter(head, "filter", 2, a) && tail == "mode") {
        for (int m = 0; m < 4; ++m)
            if (value == kFilterModes[m]) {
                p.setValue(kFilterModeId[a], m / 3.0);
                return true;
            }
        return r.fail("filter mode is off, lowpass, bandpass or highpass");
    }
    double v;
    if (key == "bend") {
        if (!r.number(value, v)) return false;
        p.setValue(kPitchBendUpId, v / kBendRange);
        p.setValue(kPitchBendDownId, v / kBendRange);
        return true;
    }
    for (const SNamedValue& n : kNamedValues)
        if (key == n.name) {
            if (!r.number(value, v)) return false;
            p.setValue(n.id, normalise(n.unit, v));
            return true;
        }
    return r.fail("unknown key \"" + key + "\"");
}

// Reads "key = value" lines; "#" starts a comment. A line "[envelope]" in a
// program source starts the next envelope: index -1 stands for the program's
// own values until the first one.
bool readSource(SReader& r, const std::string& path,
                bool (*apply)(SReader&, CProgram&, int, const std::string&, const std::string&),
                CProgram& p, int index) {
    std::ifstream in(path);
    if (!in) return r.fail("cannot open the file");
    std::string text;
    bool firstEnvelope = true;
    while (std::getline(in, text)) {
        ++r.line;
        const size_t hash = text.find('#');
        const std::string line = trim(hash == std::string::npos ? text : text.substr(0, hash));
        if (line.empty()) continue;
        if (line == "[envelope]") {
            if (apply != applyProgramKey) return r.fail("only a program has several envelopes");
            if (!firstEnvelope) {
                if (p.envelopeCount >= kProgramEnvelopeCount)
                    return r.fail("more than 32 envelopes");
                p.addEnvelope();
            }
            firstEnvelope = false;
            index = p.envelopeCount - 1;
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos) return r.fail("expected \"key = value\"");
        if (!apply(r, p, index, trim(line.substr(0, eq)), trim(line.substr(eq + 1)))) return false;
    }
    return true;
}

// The editor's selection as a fresh program has it, whatever the source did.
void resetSelection(CProgram& p) {
    p.selectedOperator = 0;
    p.selectedEnvelope = 0;
    p.envelopePage = 0;
    p.envelopeView = 0;
}

} // namespace

bool readProgramSource(const std::string& path, const SSourceFolders& folders, CProgram& program,
                       std::string& samples, std::string& error) {
    SReader r{path, 0, "", &folders, &samples};
    const bool ok = readSource(r, path, applyProgramKey, program, -1);
    resetSelection(program);
    error = r.error;
    return ok;
}

bool readEnvelopeSource(const std::string& path, const SSourceFolders& folders, CProgram& program,
                        std::string& error) {
    SReader r{path, 0, "", &folders, nullptr};
    const bool ok = readSource(r, path, applyEnvelopeKey, program, 0);
    resetSelection(program);
    error = r.error;
    return ok;
}

bool readPatternSource(const std::string& path, const SSourceFolders& folders, CProgram& program,
                       std::string& error) {
    SReader r{path, 0, "", &folders, nullptr};
    const bool ok = readSource(r, path, applyPatternKey, program, 0);
    error = r.error;
    return ok;
}

bool readWaveSource(const std::string& path, const SSourceFolders& folders, CProgram& program,
                    std::string& error) {
    SReader r{path, 0, "", &folders, nullptr};
    const bool ok = readSource(r, path, applyWaveKey, program, 0);
    error = r.error;
    return ok;
}
