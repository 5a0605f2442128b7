#include "host/GoldenRender.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace golden {

namespace {

// The phrase: a note, a second one softer, a three-note chord with three
// velocities, a mod wheel move while the chord sounds, then the release.
// Event times fall inside blocks, not on their edges.
constexpr PhraseEvent kPhrase[] = {
    {0, 0x90, 60, 100},   {2300, 0x90, 64, 60}, {4700, 0x90, 67, 127}, {4700, 0x90, 72, 90},
    {4700, 0x90, 76, 40}, {6200, 0x80, 60, 0},  {6200, 0x80, 64, 0},   {8900, 0xb0, 1, 100},
    {12400, 0x80, 67, 0}, {12400, 0x80, 72, 0}, {12400, 0x80, 76, 64}, {14100, 0xb0, 1, 0},
};
constexpr int32_t kPhraseFrames = 17640; // 0.4 s: the chord's release is heard

// Room for the whole phrase in one block.
constexpr int32_t kMaxEventsPerBlock = int32_t(std::size(kPhrase));
struct EventList {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[kMaxEventsPerBlock];
};

VstIntPtr VSTCALLBACK goldenHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    static VstTimeInfo time = [] {
        VstTimeInfo t = {};
        t.sampleRate = kSampleRate;
        t.tempo = kTempo;
        t.flags = kVstTempoValid;
        return t;
    }();
    switch (opcode) {
    case audioMasterVersion:
        return 2400;
    case audioMasterGetTime:
        return reinterpret_cast<VstIntPtr>(&time);
    case audioMasterWantMidi:
        return 1;
    default:
        return 0;
    }
}

VstIntPtr dispatch(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                   void* ptr = nullptr, float opt = 0.0f) {
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

// Adds the window statistics of [from, to) of one channel.
void measure(const std::vector<float>& x, size_t from, size_t to, double& rms, double& peak) {
    double sum = 0.0, top = 0.0;
    for (size_t i = from; i < to; ++i) {
        const double v = x[i];
        sum += v * v;
        top = std::max(top, std::fabs(v));
    }
    rms = std::sqrt(sum / double(to - from));
    peak = top;
}

const char* const kValueNames[4] = {"left RMS", "right RMS", "left peak", "right peak"};

double valueOf(const Window& w, int k) {
    return k < 2 ? w.rms[k] : w.peak[k - 2];
}

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

} // namespace

const std::vector<PhraseEvent>& phrase() {
    static const std::vector<PhraseEvent> events(std::begin(kPhrase), std::end(kPhrase));
    return events;
}

int32_t phraseFrames() {
    return kPhraseFrames;
}

Fingerprint fingerprintOf(const std::vector<float>& left, const std::vector<float>& right) {
    Fingerprint out;
    for (size_t from = 0; from < left.size(); from += kWindowFrames) {
        const size_t to = std::min(left.size(), from + size_t(kWindowFrames));
        Window w;
        measure(left, from, to, w.rms[0], w.peak[0]);
        measure(right, from, to, w.rms[1], w.peak[1]);
        out.windows.push_back(w);
    }
    return out;
}

AEffect* startInstance(EntryProc entry) {
    AEffect* e = entry ? entry(goldenHost) : nullptr;
    if (!e) return nullptr;
    dispatch(e, effOpen);
    dispatch(e, effSetSampleRate, 0, 0, nullptr, float(kSampleRate));
    dispatch(e, effSetBlockSize, 0, kBlockFrames);
    dispatch(e, effMainsChanged, 0, 1);
    return e;
}

void closeInstance(AEffect* e) {
    if (!e) return;
    dispatch(e, effMainsChanged, 0, 0);
    dispatch(e, effClose);
}

bool renderProgram(AEffect* e, const std::vector<uint8_t>& programBytes, Fingerprint& out,
                   std::string& error) {
    out.windows.clear();
    std::vector<uint8_t> chunk = programBytes; // the plug-in may write into what it is given
    if (chunk.empty() || dispatch(e, effSetChunk, 1, VstIntPtr(chunk.size()), chunk.data()) != 1) {
        error = "the plug-in refused the program";
        return false;
    }

    std::vector<float> left(kPhraseFrames), right(kPhraseFrames);
    VstMidiEvent midi[std::size(kPhrase)] = {};
    size_t next = 0;
    for (int32_t start = 0; start < kPhraseFrames; start += kBlockFrames) {
        const int32_t frames = std::min(kBlockFrames, kPhraseFrames - start);
        EventList list = {0, 0, {}};
        while (next < std::size(kPhrase) && kPhrase[next].frame < start + frames) {
            VstMidiEvent& m = midi[next];
            m.type = kVstMidiType;
            m.byteSize = sizeof(VstMidiEvent);
            m.deltaFrames = kPhrase[next].frame - start;
            m.midiData[0] = char(kPhrase[next].status);
            m.midiData[1] = char(kPhrase[next].data1);
            m.midiData[2] = char(kPhrase[next].data2);
            list.events[list.numEvents++] = reinterpret_cast<VstEvent*>(&m);
            ++next;
        }
        if (list.numEvents > 0) dispatch(e, effProcessEvents, 0, 0, &list);
        float* outputs[2] = {left.data() + start, right.data() + start};
        e->processReplacing(e, nullptr, outputs, frames);
    }

    out = fingerprintOf(left, right);
    return true;
}

bool renderProgram(EntryProc entry, const std::vector<uint8_t>& programBytes, Fingerprint& out,
                   std::string& error) {
    AEffect* e = startInstance(entry);
    if (!e) {
        error = "the plug-in created no instance";
        return false;
    }
    const bool ok = renderProgram(e, programBytes, out, error);
    closeInstance(e);
    return ok;
}

bool readFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    out = bytes.str();
    return true;
}

std::string formatFingerprint(const Fingerprint& fingerprint) {
    std::string text = "# Quellor golden render: 44100 Hz, 512-frame blocks, 10 ms windows\n"
                       "# time_s left_rms right_rms left_peak right_peak\n";
    for (size_t i = 0; i < fingerprint.windows.size(); ++i) {
        const Window& w = fingerprint.windows[i];
        char line[160];
        std::snprintf(line, sizeof line, "%.3f %.9g %.9g %.9g %.9g\n",
                      double(i) * kWindowFrames / kSampleRate, w.rms[0], w.rms[1], w.peak[0],
                      w.peak[1]);
        text += line;
    }
    return text;
}

bool parseFingerprint(const std::string& text, Fingerprint& out, std::string& error) {
    out.windows.clear();
    std::istringstream lines(text);
    std::string line;
    int lineNumber = 0;
    while (std::getline(lines, line)) {
        ++lineNumber;
        if (line.empty() || line[0] == '#') continue;
        double time;
        Window w;
        char rest;
        if (std::sscanf(line.c_str(), "%lf %lf %lf %lf %lf %c", &time, &w.rms[0], &w.rms[1],
                        &w.peak[0], &w.peak[1], &rest) != 5) {
            error = "line " + std::to_string(lineNumber) + " is not a window: \"" + line + "\"";
            return false;
        }
        out.windows.push_back(w);
    }
    if (out.windows.empty()) {
        error = "no windows";
        return false;
    }
    return true;
}

std::string firstDifference(const Fingerprint& expected, const Fingerprint& actual,
                            double tolerance) {
    // Below this a window is silence: denormal-guard noise is not a change.
    constexpr double kFloor = 1e-9;
    const size_t common = std::min(expected.windows.size(), actual.windows.size());
    for (size_t i = 0; i < common; ++i) {
        const Window &e = expected.windows[i], &a = actual.windows[i];
        const double level = std::max(e.peak[0], e.peak[1]);
        for (int k = 0; k < 4; ++k) {
            const double want = valueOf(e, k), got = valueOf(a, k);
            // NaN compares unequal to everything, so it always differs.
            if (!(std::fabs(got - want) <= tolerance * level + kFloor)) {
                char at[32];
                std::snprintf(at, sizeof at, "%.3f", double(i) * kWindowFrames / kSampleRate);
                return std::string("at ") + at + " s: " + kValueNames[k] + " expected " +
                       number(want) + ", got " + number(got);
            }
        }
    }
    if (expected.windows.size() != actual.windows.size())
        return "expected " + std::to_string(expected.windows.size()) + " windows, got " +
               std::to_string(actual.windows.size());
    return std::string();
}

} // namespace golden
