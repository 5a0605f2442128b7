// The control tick leaves out the work whose inputs have not moved since it
// last ran (operator pitch and ramps, filter targets, the modulation sums).
// Those checks list their inputs by hand, and an input left off the list
// would freeze its value in every settled voice. So: for every value that
// reaches a voice, a voice is played until everything in it stands still,
// the value is changed, and the output must move within the tick after the
// change (within the second for what operators take every second tick:
// pitch and start phase). A twin voice left alone is what "moved" is
// measured against.
//
// The program's values go to the voice through its own apply step, as the
// renderer passes them on; the values from outside the program (controllers,
// tuning) through a whole renderer, as a host plays it.
#include "base/ValueIds.h"
#include "engine/CProgramEdit.h"
#include "engine/CSoundRenderer.h"
#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "support/ScriptedPlatform.h"
#include "support/SndfileWriter.h"
#include "voice/CVoice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {
constexpr int kRate = 44100;
constexpr int kTick = 44;                // at 44100 Hz
constexpr int kSettle = 20 * kTick + 17; // the change falls in the middle of a tick
constexpr int kAfter = 4 * kTick;
constexpr int kBlock = 100;
constexpr int kKey = 67; // away from the key tracking's centre, 60
constexpr int kVelocity = 100;

double bipolar(double v) {
    return 0.5 + 0.5 * v;
}

// Patches that make each value heard through the path its check guards:
// everything sounding; operators at fixed frequencies (pitch then reaches
// only the filters' key tracking); the sample layer alone; everything
// sounding with the pitch bend held up or down from before the note.
enum class Patch { kFull, kFixedPitch, kSampleOnly, kBentUp, kBentDown };

// One program value as the renderer hands it to the voices: normalised, but
// the selected operator's (op >= 0) as stored.
struct Setting {
    int32_t id;
    double x;
    int op = -1;
};

std::vector<Setting> patchSettings(Patch patch) {
    std::vector<Setting> s;
    for (int op = 0; op < kOperatorCount; ++op) {
        const int base = kOperatorFirstId + kOperatorIdStride * op;
        s.push_back({base + kOperatorEnabledOffset, patch == Patch::kSampleOnly ? 0.0 : 1.0});
        s.push_back({base + kOperatorMixOffset, bipolar((op % 2 ? -0.6 : 0.6) + 0.04 * op)});
        s.push_back({base + kOperatorPanOffset, bipolar(0.2 * op - 0.7)});
        // Every cell routed, so a cell's new value is heard at once.
        for (int d = 0; d < kOperatorModulationCount; ++d)
            s.push_back({base + kOperatorModulationOffset + d, bipolar(0.12 + 0.01 * (op - d))});
        s.push_back({kSelectedTuneModeId, 0.0, op}); // ratio
        s.push_back({kSelectedCoarseTuneId, patch == Patch::kFixedPitch ? 0.0 : 1.0 + op, op});
        s.push_back(
            {kSelectedOffsetHzId, patch == Patch::kFixedPitch ? 150.0 + 37.0 * op : 0.0, op});
        s.push_back({kSelectedAmplitudeId, 0.3 + 0.05 * op, op});
        s.push_back({kSelectedStartPhaseId, 0.1 * op, op});
    }
    for (int f = 0; f < 2; ++f) {
        const int base = kFilterFirstId + kFilterIdStride * f;
        s.push_back({kFilterModeId[f], 0.34}); // low-pass
        s.push_back({kFilterCutoffId[f], 0.5});
        s.push_back({kFilterResonanceId[f], 0.5});
        s.push_back({kFilter1KeyTrackingId + f, 0.5});
        s.push_back({base + kFilterLevelOffset, bipolar(patch == Patch::kSampleOnly ? 0.0 : 0.6)});
        s.push_back({base + kFilterPanOffset, bipolar(f ? 0.3 : -0.3)});
        for (int d = 0; d < kFilterModulationCount; ++d)
            s.push_back({base + kFilterModulationOffset + d, bipolar(0.1)});
    }
    s.push_back({kNoInterpolationId, 0.0});
    s.push_back({kSampleLevelId, 0.7});
    s.push_back({kSamplePanId, bipolar(0.2)});
    return s;
}

// Envelopes that have settled by the change, so that their sums stand still:
// held at level 1 after a 2.5 ms attack. Two scale by the modulation wheel
// (at 0 until a change moves it). The attack ends at the note's fourth tick
// (a tick is 44 samples, just under 1 ms), one at which operators take no
// pitch: they must take the last pitch envelope's end at the fifth. Returns
// how many.
constexpr double kAttackSeconds = 0.0025;
int patchEnvelopes(Patch patch, CEnvelope* envelopes) {
    struct Shape {
        int32_t kind;
        int first, last;
        double depth;
        int32_t controller;
    };
    const int filters = kEnvelopeFilterDestination;
    const Shape shapes[] = {
        {kTargetAmplitude, 0, kEnvelopeSampleDestination, 0.2, kNoController},
        {kTargetMixLevelMult, 0, filters + 1, 0.9, kNoController},
        {kTargetCutoff, filters, filters + 1, 0.3, 0},
        {kTargetPitch, 0, kOperatorCount - 1, 0.3, 0}, // not with fixed pitches
        {kTargetPitch, 0, kOperatorCount - 1, 0.2, kNoController},
    };
    const int count = patch == Patch::kFixedPitch ? 3 : 5;
    for (int i = 0; i < count; ++i) {
        CEnvelope& e = envelopes[i];
        e = CEnvelope();
        for (double& k : e.keyTable) // flat key curve, as the renderer copies it in
            k = 1.0;
        e.targetKind = shapes[i].kind;
        e.controller = shapes[i].controller;
        e.setLevel(0, 1.0);
        e.setDelta(0, kAttackSeconds);
        e.setLevel(1, 1.0);
        e.setDelta(1, 0.001);
        e.setLevel(2, 0.0);
        e.setDelta(2, 0.005);
        e.setLoopStart(1);
        e.setLoopEnd(1);
        for (int d = shapes[i].first; d <= shapes[i].last; ++d)
            e.setDepth(d, shapes[i].depth);
        e.recompute();
    }
    return count;
}

// A renderer's own values for the patches: one voice, bend ranges, and
// sampler slot 0 looping a saw under keyboard control (heard only through
// the filters in the full patch, directly in the sample-only one).
void configureRenderer(CSoundRenderer& r, Patch patch, const std::string& samplePath) {
    r.setParameter(kVoiceCountId, 0.0);
    r.setParameter(kPitchBendUpId, 0.25);
    r.setParameter(kPitchBendDownId, 0.25);
    r.setParameter(kMasterLevelId, 0.5);
    if (patch == Patch::kFixedPitch) return;
    r.loadSample(0, samplePath.c_str());
    const int slot = kSampleSlotFirstId;
    r.setParameter(slot + kSampleSlotLowKeyOffset, 0.0);
    r.setParameter(slot + kSampleSlotKeyboardFollowOffset, 1.0);
    r.setParameter(slot + kSampleSlotLoopOffset, 1.0);
    const bool direct = patch == Patch::kSampleOnly;
    r.setParameter(slot + kSampleSlotSendFilter1Offset, direct ? 0.5 : 0.9); // 0.5: no send
    r.setParameter(slot + kSampleSlotSendFilter2Offset, direct ? 0.5 : 0.25);
    r.setParameter(slot + kSampleSlotLevelOffset, direct ? 0.8 : 0.5); // 0.5: not heard directly
}

std::string writeSaw() {
    const std::string path = testing::TempDir() + "quellor-tick-cache-saw.wav";
    std::vector<float> frames(2 * 4410);
    for (size_t i = 0; i < frames.size(); i += 2) {
        frames[i] = 0.8f * float((i / 2) % 100) / 100.0f - 0.4f;
        frames[i + 1] = -0.5f * frames[i];
    }
    return writeSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, kRate, frames) ? path : "";
}

// What a rig played: a voice of its own, or a whole renderer.
struct Output {
    std::vector<float> left, right;
    void append(const float* l, const float* r, int n) {
        left.insert(left.end(), l, l + n);
        right.insert(right.end(), r, r + n);
    }
};

// The first sample from `from` on where two outputs differ; -1 if none.
int firstDifference(const Output& a, const Output& b, int from) {
    for (size_t i = size_t(from); i < a.left.size() && i < b.left.size(); ++i)
        if (a.left[i] != b.left[i] || a.right[i] != b.right[i]) return int(i);
    return -1;
}

// Whether everything a tick may leave alone stands still in the voice.
bool settled(const CVoice& v) {
    bool still = v.active;
    for (int op = 0; op < kOperatorCount; ++op) {
        const COperator& o = *v.oper(op);
        still = still && o.amplitudeRamp().standsStill() && o.leftGainRamp().standsStill() &&
                o.rightGainRamp().standsStill();
    }
    for (int f = 0; f < 2; ++f) {
        const CVoiceFilter& x = *v.filter(f);
        still = still && x.coefficientRamp().standsStill() && x.leftGainRamp().standsStill() &&
                x.rightGainRamp().standsStill();
    }
    return still;
}

// Whether every operator of the full patch (ratio coarse 1 + index, no
// offset) plays at the frequency its modulation sums give now, worked out
// as the operator does, so exactly.
bool pitchFollowsTheSums(const CVoice& v) {
    constexpr double kSemitone = 1.059463094359295;
    bool follows = true;
    for (int op = 0; op < kOperatorCount; ++op) {
        const COperator& o = *v.oper(op);
        const double expected =
            std::pow(kSemitone, o.modulation.pitch) * (v.keyFrequency() * (1.0 + op) + 0.0) +
            o.modulation.frequency;
        follows = follows && o.frequency() == expected;
    }
    return follows;
}

// A voice of the full patch, attached to a renderer that supplies its
// sampler slot (controllers at 0, standard tuning).
struct VoiceRig {
    std::unique_ptr<CVoice> voice = std::make_unique<CVoice>();
    CEnvelope envelopes[5];
    Output out;

    // over: settings applied over the full patch's.
    VoiceRig(CSoundRenderer& host, const std::vector<Setting>& over) {
        voice->attach(&host, &host.waves());
        for (const Setting& s : patchSettings(Patch::kFull))
            voice->applyValue(s.id, s.x, s.op);
        for (const Setting& s : over)
            voice->applyValue(s.id, s.x, s.op);
        voice->start(kKey, kVelocity, envelopes, patchEnvelopes(Patch::kFull, envelopes), 0.0);
    }
    void render(int frames) {
        for (int done = 0; done < frames; done += kBlock) {
            const int n = std::min(kBlock, frames - done);
            std::vector<float> l(static_cast<size_t>(n)), r(static_cast<size_t>(n));
            voice->render(l.data(), r.data(), n);
            out.append(l.data(), r.data(), n);
        }
    }
};

// A renderer playing one note of a patch.
struct RendererRig {
    ScriptedPlatform platform;
    CPluginFile settings{platform};
    CSoundRenderer renderer{&settings, nullptr};
    Output out;

    RendererRig(Patch patch, const std::string& samplePath) {
        configureRenderer(renderer, patch, samplePath);
        for (const Setting& s : patchSettings(patch)) {
            if (s.op >= 0)
                renderer.setParameter(kSelectedOperatorId, (s.op + 0.5) / kOperatorCount);
            renderer.setParameter(s.id, s.x);
        }
        CProgram& p = renderer.program();
        CEnvelope shapes[5];
        const int count = patchEnvelopes(patch, shapes);
        for (int i = 0; i < count; ++i) {
            p.addEnvelope();
            p.envelopes[i] = shapes[i];
        }
        CProgramEdit(renderer).restructure();
        if (patch == Patch::kBentUp || patch == Patch::kBentDown) {
            midi(0xe0, 0, patch == Patch::kBentUp ? 100 : 20);
            midi(0x90, kKey, kVelocity); // starts with the bend in place
        } else {
            midi(0x90, kKey, kVelocity);
        }
    }
    void midi(uint8_t status, uint8_t d1, uint8_t d2) {
        const uint8_t bytes[4] = {status, d1, d2, 0};
        renderer.queueMidiEvent(bytes, 0);
    }
    void render(int frames) {
        for (int done = 0; done < frames; done += kBlock) {
            const int n = std::min(kBlock, frames - done);
            std::vector<float> l(static_cast<size_t>(n)), r(static_cast<size_t>(n));
            float* buffers[2] = {l.data(), r.data()};
            renderer.processBlock(buffers, n, true);
            out.append(l.data(), r.data(), n);
        }
    }
    const CVoice& voice() const {
        for (int i = 0; i < CVoiceAllocator::kVoiceCount; ++i)
            if (renderer.voices().voice(i).active) return renderer.voices().voice(i);
        return renderer.voices().voice(0);
    }
};

// The latest sample at which a change made at kSettle must be heard: within
// the tick after it, or the second for values operators take every second
// tick. (Within, not at its start: the ramps move from its second sample, a
// phase input takes a change a sample later still, and a change inside the
// filters' ladder grows from far below a float's resolution.)
int latestSample(int ticks) {
    const int nextTick = (kSettle + kTick - 1) / kTick * kTick;
    return nextTick + ticks * kTick - 1;
}
// The full patch with `over` applied, played untouched and then once with
// each of `changes` made at kSettle: each must be heard in time.
void expectEveryChangeHeard(CSoundRenderer& host, const std::vector<Setting>& over,
                            const std::vector<Setting>& changes) {
    VoiceRig untouched(host, over);
    untouched.render(kSettle);
    ASSERT_TRUE(settled(*untouched.voice));
    ASSERT_TRUE(pitchFollowsTheSums(*untouched.voice));
    ASSERT_TRUE(untouched.voice->samples().playing());
    untouched.render(kAfter);
    VoiceRig again(host, over); // a difference below is the change's alone
    again.render(kSettle + kAfter);
    ASSERT_EQ(firstDifference(untouched.out, again.out, 0), -1);

    for (const Setting& s : changes) {
        VoiceRig rig(host, over);
        rig.render(kSettle);
        ASSERT_TRUE(rig.voice->applyValue(s.id, s.x, s.op));
        rig.render(kAfter);
        const int at = firstDifference(rig.out, untouched.out, kSettle);
        const std::string what =
            "value " + std::to_string(s.id) +
            (s.op >= 0 ? " of operator " + std::to_string(s.op) : std::string()) + " to " +
            std::to_string(s.x);
        // Operators take pitch and start phase every second tick.
        const bool pitch = s.id == kSelectedCoarseTuneId || s.id == kSelectedOffsetHzId ||
                           s.id == kSelectedTuneModeId || s.id == kSelectedStartPhaseId;
        EXPECT_GE(at, 0) << what << ": never heard";
        EXPECT_LE(at, latestSample(pitch ? 2 : 1)) << what << ": heard only at sample " << at;
    }
}
} // namespace

TEST(VoiceTickCache, EveryProgramValueReachesASettledVoiceAtTheNextTick) {
    const std::string samplePath = writeSaw();
    ASSERT_FALSE(samplePath.empty());
    ScriptedPlatform platform;
    CPluginFile settings{platform};
    auto host = std::make_unique<CSoundRenderer>(&settings, nullptr);
    configureRenderer(*host, Patch::kFull, samplePath);
    { // the values reach what the voices read with the renderer's next block
        float l = 0.0f, r = 0.0f;
        float* out[2] = {&l, &r};
        host->processBlock(out, 1, true);
    }

    // Every value of the full patch, moved by about half its range (switches
    // flip). The free-running switch acts at a note's start, not at a tick,
    // and is left to the operator's tests.
    std::vector<Setting> moved = patchSettings(Patch::kFull);
    for (Setting& s : moved)
        s.x = s.x >= 0.5 ? s.x - 0.51 : s.x + 0.51;
    expectEveryChangeHeard(*host, {}, moved);

    // And back from rest: operators, a filter and interpolation switched off,
    // levels and an amplitude at 0, each one turned back to the full patch.
    const int firstOperator = kOperatorFirstId;
    const int lastOperator = kOperatorFirstId + kOperatorIdStride * (kOperatorCount - 1);
    const int secondFilter = kFilterFirstId + kFilterIdStride;
    const std::vector<Setting> rest = {
        {firstOperator + kOperatorEnabledOffset, 0.0},
        {lastOperator + kOperatorEnabledOffset, 0.0},
        {firstOperator + kOperatorIdStride + kOperatorMixOffset, bipolar(0.0)},
        {kSelectedAmplitudeId, 0.0, 3},
        {kFilterModeId[0], 0.0},
        {secondFilter + kFilterLevelOffset, bipolar(0.0)},
        {kNoInterpolationId, 1.0},
        {kSampleLevelId, 0.0}};
    std::vector<Setting> back;
    for (const Setting& r : rest)
        for (const Setting& s : patchSettings(Patch::kFull))
            if (s.id == r.id && s.op == r.op) back.push_back(s);
    ASSERT_EQ(back.size(), rest.size());
    expectEveryChangeHeard(*host, rest, back);
}

TEST(VoiceTickCache, ControllersAndTuningReachASettledVoiceAtTheNextTick) {
    const std::string samplePath = writeSaw();
    ASSERT_FALSE(samplePath.empty());
    struct Change {
        const char* name;
        Patch patch;
        std::function<void(RendererRig&)> apply;
        int ticks;
    };
    const auto bend = [](RendererRig& rig) { rig.midi(0xe0, 0, 100); };
    const auto wheel = [](RendererRig& rig) { rig.midi(0xb0, 1, 90); };
    const auto fineTune = [](RendererRig& rig) { rig.settings.fineTune = 0.9; };
    const Change changes[] = {
        {"pitch bend into the operators", Patch::kFull, bend, 2},
        {"pitch bend into the filters' key tracking", Patch::kFixedPitch, bend, 1},
        {"pitch bend into the sample layer", Patch::kSampleOnly, bend, 1},
        {"modulation wheel into a pitch envelope", Patch::kFull, wheel, 2},
        {"modulation wheel into a cutoff envelope", Patch::kFixedPitch, wheel, 1},
        {"fine tune into the operators", Patch::kFull, fineTune, 2},
        {"fine tune into the sample layer", Patch::kSampleOnly, fineTune, 1},
        {"bend range up, bent up", Patch::kBentUp,
         [](RendererRig& rig) { rig.renderer.setParameter(kPitchBendUpId, 0.5); }, 2},
        {"bend range down, bent down", Patch::kBentDown,
         [](RendererRig& rig) { rig.renderer.setParameter(kPitchBendDownId, 0.5); }, 2},
    };
    std::map<Patch, std::unique_ptr<RendererRig>> untouched;
    for (Patch patch :
         {Patch::kFull, Patch::kFixedPitch, Patch::kSampleOnly, Patch::kBentUp, Patch::kBentDown}) {
        auto rig = std::make_unique<RendererRig>(patch, samplePath); // too large for the stack
        rig->render(kSettle);
        ASSERT_TRUE(settled(rig->voice())) << "patch " << int(patch);
        rig->render(kAfter);
        auto again = std::make_unique<RendererRig>(patch, samplePath);
        again->render(kSettle + kAfter);
        ASSERT_EQ(firstDifference(rig->out, again->out, 0), -1) << "patch " << int(patch);
        untouched[patch] = std::move(rig);
    }
    for (const Change& c : changes) {
        auto rig = std::make_unique<RendererRig>(c.patch, samplePath);
        rig->render(kSettle);
        c.apply(*rig);
        rig->render(kAfter);
        const int at = firstDifference(rig->out, untouched[c.patch]->out, kSettle);
        EXPECT_GE(at, 0) << c.name << ": never heard";
        EXPECT_LE(at, latestSample(c.ticks)) << c.name << ": heard only at sample " << at;
    }
}
