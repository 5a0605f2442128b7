// Whole-voice behaviour on a voice without a renderer (controllers at 0,
// standard tuning, glide at once, no sample layer).
#include "voice/CVoice.h"
#include "base/ValueIds.h"
#include "engine/CSoundRenderer.h"
#include "patch/CPluginFile.h"
#include "support/ScriptedPlatform.h"
#include "support/SndfileWriter.h"
#include "waves/CWaveManager.h"

#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {
constexpr int kTick = 44; // at 44100 Hz
constexpr int kEndFadeFrames = int(44100 * CVoice::kEndFadeSeconds) + 1;

struct VoiceFixture : ::testing::Test {
    CWaveManager waves;
    std::unique_ptr<CVoice> voice = std::make_unique<CVoice>();
    CEnvelope envelopes[4];
    int envelopeCount = 0;
    std::vector<float> left, right;

    VoiceFixture() {
        double amplitudes[32] = {1.0};
        double phases[32] = {};
        for (int op = 0; op < 8; ++op)
            waves.buildWave(op, amplitudes, phases, 0.0);
        voice->attach(nullptr, &waves);
        for (CEnvelope& e : envelopes) // flat key curves, as the renderer copies them in
            for (double& k : e.keyTable)
                k = 1.0;
    }
    // Operator op sounding at full mix level, its amplitude from the base.
    void sound(CVoice& v, int op, double amplitude) {
        v.oper(op)->setOn(1.0);
        v.oper(op)->setMixLevel(1.0);
        v.oper(op)->setAmplitude(amplitude);
    }
    // The default envelope (1 ms attack, hold, 1 ms release) on operator 0's amplitude.
    CEnvelope& amplitudeEnvelope() {
        CEnvelope& e = envelopes[envelopeCount++];
        e.targetKind = kTargetAmplitude;
        e.setDepth(0, 1.0);
        return e;
    }
    void start(CVoice& v, double note) { v.start(note, 100, envelopes, envelopeCount, 0.0); }
    // Renders frames into fresh buffers; returns the peak.
    float render(CVoice& v, int frames, int block = 512) {
        left.assign(frames, 0.0f);
        right.assign(frames, 0.0f);
        for (int at = 0; at < frames; at += block)
            v.render(&left[at], &right[at], std::min(block, frames - at));
        float peak = 0.0f;
        for (int i = 0; i < frames; ++i)
            peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
        return peak;
    }
};
} // namespace

TEST_F(VoiceFixture, EnvelopeAttackHoldAndReleaseThroughTheVoice) {
    amplitudeEnvelope();
    sound(*voice, 0, 0.0);
    start(*voice, 69.0);
    render(*voice, kTick); // tick 1 reads the envelope at time 0
    EXPECT_FLOAT_EQ(voice->oper(0)->amplitudeRamp().target, 0.0f);
    render(*voice, 2 * kTick);
    EXPECT_FLOAT_EQ(voice->oper(0)->amplitudeRamp().target, 1.0f); // up within 1 ms
    EXPECT_GT(render(*voice, 4410), 0.45f);                        // held by the loop
    EXPECT_FLOAT_EQ(voice->oper(0)->amplitudeRamp().target, 1.0f);
    EXPECT_NEAR(voice->keyFrequency(), 440.0, 1e-9);

    voice->noteOff(69, false);
    EXPECT_TRUE(voice->isReleased());
    // The 1 ms release segment is read at the next two ticks (from 1.0, then
    // near 0); the one after reads the finished envelope's last level.
    render(*voice, 2 * kTick);
    EXPECT_GT(voice->oper(0)->amplitudeRamp().target, 0.0f);
    EXPECT_LT(voice->oper(0)->amplitudeRamp().target, 0.01f);
    EXPECT_TRUE(voice->active);
    render(*voice, kTick);
    EXPECT_FLOAT_EQ(voice->oper(0)->amplitudeRamp().target, 0.0f);
    render(*voice, kTick);
    // Must-finish envelope done: the voice fades out, then ends.
    EXPECT_TRUE(voice->isFading());
    EXPECT_TRUE(voice->active);
    EXPECT_EQ(voice->finishedCount(), 1);
    render(*voice, kEndFadeFrames + kTick);
    EXPECT_FALSE(voice->active);
}

TEST_F(VoiceFixture, BlockSizeDoesNotChangeTheOutput) {
    amplitudeEnvelope();
    sound(*voice, 0, 0.5);
    sound(*voice, 1, 0.5);
    voice->oper(1)->setMatrixCell(0, 0.7);
    voice->oper(0)->setCoarse(3.0, 0.0);
    auto other = std::make_unique<CVoice>();
    other->attach(nullptr, &waves);
    sound(*other, 0, 0.5);
    sound(*other, 1, 0.5);
    other->oper(1)->setMatrixCell(0, 0.7);
    other->oper(0)->setCoarse(3.0, 0.0);
    start(*voice, 60.0);
    start(*other, 60.0);
    render(*voice, 3000, 512);
    const std::vector<float> whole = left;
    render(*other, 3000, 7); // blocks shorter than a tick continue the tick
    EXPECT_EQ(whole, left);
}

// The 256-bit sample loop (where the processor has it) and the plain one
// give the same output bit for bit, for every form the matrix routes take
// and with operators off.
TEST_F(VoiceFixture, WideAndPlainLoopsGiveTheSameOutput) {
    if (!wideLanesAvailable()) GTEST_SKIP() << "no 256-bit loop on this processor";
    struct Case {
        const char* name;
        int operatorsOn;
        int cells; // 0: operator stacks and feedback; 1: every cell
        bool interpolate;
        uint8_t filterMode;
    };
    const Case cases[] = {{"stacks", 8, 0, true, CVoiceFilter::kLowPass},
                          {"three off", 5, 0, true, CVoiceFilter::kBandPass},
                          {"every cell", 8, 1, true, CVoiceFilter::kLowPass},
                          {"stepped", 6, 1, false, CVoiceFilter::kOff}};
    for (const Case& c : cases) {
        std::vector<float> outputs[2];
        for (int wide = 0; wide < 2; ++wide) {
            auto v = std::make_unique<CVoice>();
            v->attach(nullptr, &waves);
            v->setWideLanes(wide != 0);
            ASSERT_EQ(v->usesWideLanes(), wide != 0);
            v->setNoInterpolation(!c.interpolate);
            for (int op = 0; op < 8; ++op) {
                sound(*v, op, 0.3 + 0.05 * op);
                v->oper(op)->setOn(op < c.operatorsOn ? 1.0 : 0.0);
                v->oper(op)->setPan(op % 2 ? -0.4 : 0.6);
                v->oper(op)->setCoarse(1.0 + op, 0.0);
                for (int d = 0; d < 10; ++d)
                    if (c.cells == 1 || d == op - 4 || d == op || (op < 4 && d == 8 + op / 2))
                        v->oper(op)->setMatrixCell(d, 0.15 + 0.02 * d - 0.03 * op);
            }
            for (int f = 0; f < 2; ++f) {
                v->filter(f)->setMode(c.filterMode);
                v->filter(f)->setCutoff(0.5);
                v->filter(f)->setResonance(0.8f);
                v->filter(f)->setLevel(0.7);
                if (c.cells == 1) {
                    v->filter(f)->setMatrixCell(1 - f, 0.3);
                    v->filter(f)->setMatrixCell(9 - f, 0.2);
                }
            }
            start(*v, 57.0);
            render(*v, 2000, 300);
            v->oper(2)->setOn(1.0); // a running set that changes mid-note
            ASSERT_GT(render(*v, 1000, 300), 0.01f) << c.name;
            outputs[wide] = left;
            outputs[wide].insert(outputs[wide].end(), right.begin(), right.end());
        }
        EXPECT_EQ(outputs[0], outputs[1]) << c.name;
    }
}

// The sample layer adds into the filters' inputs in the middle of a sample;
// both loops, alone and side by side, hear the same. The layer's own level is
// 0, so it is heard only through the filters.
TEST_F(VoiceFixture, SampleLayerIntoTheFiltersSoundsTheSameThroughEveryLoop) {
    if (!wideLanesAvailable()) GTEST_SKIP() << "no 256-bit loop on this processor";
    const std::string path = testing::TempDir() + "quellor-voice-layer-saw.wav";
    std::vector<float> frames(2 * 4410);
    for (size_t i = 0; i < frames.size(); i += 2) {
        frames[i] = 0.8f * float((i / 2) % 100) / 100.0f - 0.4f;
        frames[i + 1] = -0.5f * frames[i];
    }
    ASSERT_TRUE(writeSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, frames));
    ScriptedPlatform platform;
    CPluginFile settings{platform};
    CSoundRenderer renderer{&settings, nullptr};
    renderer.loadSample(0, path.c_str());
    ASSERT_TRUE(renderer.slotHasSample(0));
    const int32_t slot = kSampleSlotFirstId;
    renderer.setParameter(slot + kSampleSlotLowKeyOffset, 0.0);
    renderer.setParameter(slot + kSampleSlotLoopOffset, 1.0);
    renderer.setParameter(slot + kSampleSlotSendFilter1Offset, 0.9);  // +0.8
    renderer.setParameter(slot + kSampleSlotSendFilter2Offset, 0.25); // -0.5
    renderer.setParameter(slot + kSampleSlotLevelOffset, 0.5);        // 0: not heard directly
    renderer.setParameter(kSampleLevelId, 1.0);

    auto make = [&](double note, bool wide) {
        auto v = std::make_unique<CVoice>();
        v->attach(&renderer, &waves);
        v->setWideLanes(wide);
        v->oper(0)->setOn(1.0); // a quiet modulator of filter 0, not in the mix
        v->oper(0)->setAmplitude(0.2);
        v->oper(0)->setMatrixCell(8, 0.3);
        for (int f = 0; f < 2; ++f) {
            v->filter(f)->setMode(f == 0 ? CVoiceFilter::kLowPass : CVoiceFilter::kBandPass);
            v->filter(f)->setCutoff(0.6);
            v->filter(f)->setResonance(0.5f);
            v->filter(f)->setLevel(0.8);
        }
        v->filter(1)->setMatrixCell(2, 0.4); // back into an operator
        start(*v, note);
        return v;
    };
    std::vector<float> outputs[3];
    for (int run = 0; run < 3; ++run) { // plain alone, wide alone, wide side by side
        auto a = make(60.0, run > 0);
        auto b = make(67.0, run > 0);
        std::vector<float> l(6000, 0.0f), r(6000, 0.0f);
        for (int at = 0; at < 6000; at += 256) {
            const int n = std::min(256, 6000 - at);
            if (run == 2) {
                CVoice::renderTogether(*a, *b, &l[at], &r[at], n);
            } else {
                a->render(&l[at], &r[at], n);
                b->render(&l[at], &r[at], n);
            }
        }
        outputs[run] = l;
        outputs[run].insert(outputs[run].end(), r.begin(), r.end());
    }
    float peak = 0.0f;
    for (float x : outputs[0])
        peak = std::max(peak, std::fabs(x));
    EXPECT_GT(peak, 0.01f);
    EXPECT_EQ(outputs[0], outputs[1]) << "wide alone";
    EXPECT_EQ(outputs[0], outputs[2]) << "wide side by side";
}

// Two voices rendered side by side give what they give one after the other,
// bit for bit: voices whose ticks fall at different samples, whose running
// sets differ or change at a tick in the middle of a call, one of them
// released and ending, and one not active at all.
TEST_F(VoiceFixture, TwoVoicesTogetherSoundAsOneAfterTheOther) {
    amplitudeEnvelope();
    auto make = [&](double note, int operatorsOn, bool wide) {
        auto v = std::make_unique<CVoice>();
        v->attach(nullptr, &waves);
        v->setWideLanes(wide);
        for (int op = 0; op < 8; ++op) {
            sound(*v, op, 0.4);
            v->oper(op)->setOn(op < operatorsOn ? 1.0 : 0.0);
            v->oper(op)->setCoarse(1.0 + op, 0.0);
            if (op >= 4) v->oper(op)->setMatrixCell(op - 4, 0.3);
            if (op < 2) v->oper(op)->setMatrixCell(8 + op, 0.5);
        }
        v->filter(0)->setMode(CVoiceFilter::kLowPass);
        v->filter(0)->setLevel(0.5);
        start(*v, note);
        return v;
    };
    struct Case {
        const char* name;
        int operatorsA, operatorsB;
        bool wideA, wideB;
        int offsetB; // samples rendered by b alone first: its ticks fall elsewhere
        bool releaseA;
        int switchAt = -1; // a's operator 7 goes off here, heard from a's next tick
    };
    const Case cases[] = {{"in step", 8, 8, true, true, 0, false},
                          {"ticks apart", 8, 8, true, true, 17, false},
                          {"running sets differ", 8, 5, true, true, 30, false},
                          {"plain loops", 6, 6, false, false, 5, false},
                          {"loops differ", 8, 8, true, false, 0, false},
                          {"one ends", 8, 8, true, true, 9, true},
                          {"running set changes", 8, 8, true, true, 23, false, 1500},
                          {"running set changes, plain", 8, 8, false, false, 23, false, 1500}};
    for (const Case& c : cases) {
        std::vector<float> outputs[2];
        for (int together = 0; together < 2; ++together) {
            auto a = make(60.0, c.operatorsA, c.wideA);
            auto b = make(64.5, c.operatorsB, c.wideB);
            render(*b, c.offsetB + 1, 512);
            if (c.releaseA) a->release();
            std::vector<float> l(5000, 0.0f), r(5000, 0.0f);
            for (int at = 0; at < 5000; at += 300) {
                const int n = std::min(300, 5000 - at);
                if (at == c.switchAt) a->oper(7)->setOn(0.0);
                if (together) {
                    CVoice::renderTogether(*a, *b, &l[at], &r[at], n);
                } else {
                    a->render(&l[at], &r[at], n);
                    b->render(&l[at], &r[at], n);
                }
            }
            if (c.releaseA) {
                EXPECT_FALSE(a->active) << c.name;
            }
            outputs[together] = l;
            outputs[together].insert(outputs[together].end(), r.begin(), r.end());
        }
        EXPECT_EQ(outputs[0], outputs[1]) << c.name;
    }
    // An inactive partner: the other voice renders alone.
    auto a = make(60.0, 8, true);
    CVoice idle;
    std::vector<float> l(500, 0.0f), r(500, 0.0f), alone(500, 0.0f), aloneRight(500, 0.0f);
    auto twin = make(60.0, 8, true);
    CVoice::renderTogether(idle, *a, l.data(), r.data(), 500);
    twin->render(alone.data(), aloneRight.data(), 500);
    EXPECT_EQ(l, alone);
}

// Four voices rendered side by side, and two pairs, give what the voices give
// one after the other, bit for bit: ticks at different samples, running sets
// that differ or change mid-call, a voice released to its end, a voice whose
// filter is off beside voices whose filters run (its lanes must go on passing
// through the others' ticks), a voice without interpolation, a voice on the
// plain loop and an inactive one (the four then run as pairs), in blocks of
// 1, 7 and 300 frames.
TEST_F(VoiceFixture, FourVoicesTogetherSoundAsOneAfterTheOther) {
    amplitudeEnvelope();
    struct Voice {
        int operatorsOn = 8;
        int offset = 0; // samples rendered alone first: its ticks fall elsewhere
        bool release = false;
        uint8_t filterMode = CVoiceFilter::kLowPass;
        bool noInterpolation = false;
        bool plain = false;
        bool inactive = false;
    };
    struct Case {
        const char* name;
        Voice v[4];
        int block = 300;
        int switchAt = -1; // voice 0's operator 7 goes off here
    };
    const Case cases[] = {
        {"in step", {{}, {}, {}, {}}},
        {"ticks apart", {{8, 0}, {8, 17}, {8, 30}, {8, 43}}},
        {"running sets differ", {{8, 0}, {5, 9}, {8, 21}, {3, 2}}},
        {"one ends", {{8, 0}, {8, 9, true}, {8, 5}, {8, 13}}},
        {"a filter off", {{8, 3}, {8, 0, false, CVoiceFilter::kOff}, {8, 11}, {8, 29}}},
        {"no interpolation", {{8, 0}, {8, 4}, {8, 8, false, CVoiceFilter::kLowPass, true}, {}}},
        {"running set changes", {{8, 23}, {8, 5}, {8, 0}, {8, 31}}, 300, 1500},
        {"one-frame blocks", {{8, 0}, {8, 17}, {6, 30}, {8, 43}}, 1},
        {"seven-frame blocks", {{8, 0}, {8, 17}, {8, 30, true}, {8, 43}}, 7},
        {"one plain", {{}, {}, {8, 0, false, CVoiceFilter::kLowPass, false, true}, {}}},
        {"one inactive",
         {{}, {8, 3}, {}, {8, 0, false, CVoiceFilter::kLowPass, false, false, true}}},
    };
    auto make = [&](double note, const Voice& c) {
        auto v = std::make_unique<CVoice>();
        v->attach(nullptr, &waves);
        v->setWideLanes(!c.plain);
        v->setNoInterpolation(c.noInterpolation);
        for (int op = 0; op < 8; ++op) {
            sound(*v, op, 0.4);
            v->oper(op)->setOn(op < c.operatorsOn ? 1.0 : 0.0);
            v->oper(op)->setCoarse(1.0 + op, 0.0);
            if (op >= 4) v->oper(op)->setMatrixCell(op - 4, 0.3);
            if (op < 2) v->oper(op)->setMatrixCell(8 + op, 0.5);
        }
        for (int f = 0; f < 2; ++f) {
            v->filter(f)->setMode(f == 0 ? c.filterMode : uint8_t(CVoiceFilter::kBandPass));
            v->filter(f)->setResonance(0.7f);
            v->filter(f)->setLevel(0.5);
        }
        v->filter(1)->setMatrixCell(3, 0.2); // a filter back into an operator
        start(*v, note);
        if (c.inactive) v->active = false;
        return v;
    };
    constexpr int kFrames = 4000;
    for (const Case& c : cases) {
        // Voices one after the other, as two pairs, as a four.
        std::vector<float> outputs[3];
        for (int form = 0; form < 3; ++form) {
            std::unique_ptr<CVoice> v[4];
            for (int j = 0; j < 4; ++j) {
                v[j] = make(55.0 + 3.5 * j, c.v[j]);
                if (c.v[j].offset) render(*v[j], c.v[j].offset);
                if (c.v[j].release) v[j]->release();
            }
            CVoice* group[4] = {v[0].get(), v[1].get(), v[2].get(), v[3].get()};
            std::vector<float> l(kFrames, 0.0f), r(kFrames, 0.0f);
            for (int at = 0; at < kFrames; at += c.block) {
                const int n = std::min(c.block, kFrames - at);
                if (at <= c.switchAt && c.switchAt < at + n) v[0]->oper(7)->setOn(0.0);
                if (form == 2) {
                    CVoice::renderFour(group, &l[at], &r[at], n);
                } else if (form == 1) {
                    CVoice::renderTogether(*v[0], *v[1], &l[at], &r[at], n);
                    CVoice::renderTogether(*v[2], *v[3], &l[at], &r[at], n);
                } else {
                    for (CVoice* x : group)
                        x->render(&l[at], &r[at], n);
                }
            }
            for (int j = 0; j < 4; ++j) {
                if (c.v[j].release) {
                    EXPECT_FALSE(v[j]->active) << c.name;
                }
            }
            outputs[form] = l;
            outputs[form].insert(outputs[form].end(), r.begin(), r.end());
        }
        float peak = 0.0f;
        for (float x : outputs[0])
            peak = std::max(peak, std::fabs(x));
        EXPECT_GT(peak, 0.01f) << c.name;
        EXPECT_EQ(outputs[0], outputs[1]) << c.name << ", as pairs";
        EXPECT_EQ(outputs[0], outputs[2]) << c.name << ", as a four";
    }
}

TEST_F(VoiceFixture, KeyStackGlidesBackAndReleasesWhenEmpty) {
    sound(*voice, 0, 1.0);
    start(*voice, 60.0);
    for (int key : {64, 67}) { // legato: the renderer sets the new target
        start(*voice, key);
        voice->setTargetNote(key);
    }
    render(*voice, kTick);
    EXPECT_EQ(voice->currentNote(), 67.0);
    voice->noteOff(50, false); // not held: nothing changes
    EXPECT_EQ(voice->targetNote(), 67.0);
    voice->noteOff(67, false);
    EXPECT_EQ(voice->targetNote(), 64.0);
    render(*voice, kTick);
    EXPECT_EQ(voice->currentNote(), 64.0);
    voice->noteOff(60, false); // a lower key leaves the top alone
    EXPECT_EQ(voice->targetNote(), 64.0);
    EXPECT_FALSE(voice->isReleased());
    voice->noteOff(64, true); // held by the pedal
    EXPECT_FALSE(voice->isReleased());
    voice->holdEnded();
    EXPECT_TRUE(voice->isReleased());
}

TEST_F(VoiceFixture, LegatoKeepsPhaseAndRestartsEnvelopesOnlyAfterRelease) {
    amplitudeEnvelope().setDelta(1, 5.0); // a long held segment, looping at point 1
    sound(*voice, 0, 0.0);
    voice->filter(0)->setMode(CVoiceFilter::kLowPass);
    voice->oper(0)->setMatrixCell(8, 1.0);
    start(*voice, 60.0);
    render(*voice, 1000);
    const uint32_t phase = voice->oper(0)->phaseAccumulator();
    const float stage = voice->filter(0)->stage(3);
    const int segment = voice->envelope(0).currentSegment;
    start(*voice, 62.0); // held legato: nothing restarts
    EXPECT_EQ(voice->oper(0)->phaseAccumulator(), phase);
    EXPECT_EQ(voice->filter(0)->stage(3), stage);
    EXPECT_EQ(voice->envelope(0).currentSegment, segment);
    EXPECT_EQ(voice->keyStackEntry(0), 62);
    EXPECT_EQ(voice->keyStackEntry(1), 60);
    voice->release();
    render(*voice, 10);
    ASSERT_TRUE(voice->active);
    start(*voice, 64.0); // released: the envelopes restart from their level
    EXPECT_FALSE(voice->isReleased());
    EXPECT_EQ(voice->envelope(0).currentSegment, 0);
    EXPECT_FALSE(voice->envelope(0).released);
    EXPECT_NE(voice->oper(0)->phaseAccumulator(), 0u);
    voice->requestHardRetrigger();
    start(*voice, 65.0); // a hard retrigger also forgets the held keys
    EXPECT_EQ(voice->keyStackEntry(0), 65);
    EXPECT_EQ(voice->keyStackEntry(1), CVoice::kEmptyKey);
}

TEST_F(VoiceFixture, EndDetection) {
    // Without must-finish envelopes a released voice ends at the next tick.
    sound(*voice, 0, 1.0);
    start(*voice, 60.0);
    render(*voice, 100);
    voice->release();
    render(*voice, kTick);
    EXPECT_TRUE(voice->isFading());
    render(*voice, kEndFadeFrames + kTick);
    EXPECT_FALSE(voice->active);

    // A must-finish envelope with a 100 s release: an audible voice ends 1.5 s
    // after release, a silent one keeps running.
    CEnvelope& e = envelopes[envelopeCount++];
    e.targetKind = kTargetAmplitude; // no depths: it only has to finish
    e.setDelta(2, 100.0);
    auto quiet = std::make_unique<CVoice>();
    quiet->attach(nullptr, &waves);
    sound(*quiet, 0, 1.0);
    // A steady level (0 Hz at a quarter cycle), so the output never dips
    // below the audible threshold.
    voice->oper(0)->setCoarse(0.0, 0.0);
    voice->oper(0)->setPhase(0.25);
    for (CVoice* v : {voice.get(), quiet.get()}) {
        start(*v, 60.0);
        render(*v, 100);
        v->release();
    }
    EXPECT_EQ(voice->mustFinishCount(), 1);
    render(*voice, 66150 - 2 * kTick);
    EXPECT_FALSE(voice->isFading());
    render(*voice, 3 * kTick);
    EXPECT_TRUE(voice->isFading());
    render(*voice, kEndFadeFrames + kTick);
    EXPECT_FALSE(voice->active);
    quiet->oper(0)->setAmplitude(0.0);
    render(*quiet, 88200);
    EXPECT_TRUE(quiet->active);
}

TEST_F(VoiceFixture, AnEndingVoiceFadesOutInsteadOfStepping) {
    // Full level to the end (no envelope), and a fading voice taken for a new
    // note comes back up as smoothly.
    for (bool retake : {false, true}) {
        SCOPED_TRACE(retake ? "taken again while fading" : "ending");
        auto v = std::make_unique<CVoice>();
        v->attach(nullptr, &waves);
        sound(*v, 0, 1.0);
        start(*v, 69.0);
        render(*v, 4410);
        float ownStep = 0.0f;
        for (int i = 1; i < 4410; ++i)
            ownStep = std::max(ownStep, std::fabs(left[i] - left[i - 1]));
        v->release();
        render(*v, 3 * kTick);
        std::vector<float> heard = left;
        if (retake) start(*v, 69.0);
        render(*v, kEndFadeFrames + 4 * kTick);
        heard.insert(heard.end(), left.begin(), left.end());
        float largest = 0.0f;
        for (size_t i = 1; i < heard.size(); ++i)
            largest = std::max(largest, std::fabs(heard[i] - heard[i - 1]));
        EXPECT_LT(largest, ownStep * 1.1f);
        EXPECT_EQ(v->active, retake);
        EXPECT_EQ(std::fabs(heard.back()) > 0.0f, retake);
    }
}

TEST_F(VoiceFixture, MatrixCellsTakeEffectAtTheRoutingCheckOrAtOnce) {
    auto twin = std::make_unique<CVoice>();
    twin->attach(nullptr, &waves);
    for (CVoice* v : {voice.get(), twin.get()}) {
        sound(*v, 0, 1.0);
        sound(*v, 1, 1.0);
        v->oper(0)->setMixLevel(0.0);
        start(*v, 60.0);
        render(*v, 3 * kTick + 5); // mid-tick, mid routing cycle
    }
    EXPECT_EQ(voice->routeCount(), 0);
    voice->oper(0)->setMatrixCell(1, 0.5); // zero -> non-zero
    int firstDifference = -1;
    for (int i = 0; i < 6 * kTick && firstDifference < 0; ++i) {
        render(*voice, 1);
        const float a = left[0];
        render(*twin, 1);
        if (a != left[0]) firstDifference = i;
    }
    ASSERT_GE(firstDifference, 0);
    EXPECT_LE(firstDifference, 5 * kTick + 1);
    EXPECT_EQ(voice->routeCount(), 1);

    twin->oper(0)->setMatrixCell(1, 0.5);
    render(*voice, 5 * kTick); // both routed now, and in step
    render(*twin, 5 * kTick);
    voice->oper(0)->setMatrixCell(1, 0.9); // non-zero -> non-zero: at once
    render(*voice, 2);
    const std::vector<float> changed = left;
    render(*twin, 2);
    EXPECT_EQ(changed[0], left[0]); // one sample of delay on every path
    EXPECT_NE(changed[1], left[1]);
}

TEST_F(VoiceFixture, ExtremeSettingsNeverProduceNanOrInfinity) {
    for (uint8_t mode : {CVoiceFilter::kOff, CVoiceFilter::kLowPass, CVoiceFilter::kBandPass}) {
        auto v = std::make_unique<CVoice>();
        v->attach(nullptr, &waves);
        for (int op = 0; op < 8; ++op) {
            sound(*v, op, 1.0);
            v->oper(op)->setCoarse(op % 2 ? 96.0 : -96.0, op < 4 ? 1.0 : 0.0);
            v->oper(op)->setFrequencyOffset(op % 3 ? 9999.99 : -9999.99);
            for (int d = 0; d < 10; ++d)
                v->oper(op)->setMatrixCell(d, (op + d) % 2 ? 1.0 : -1.0);
        }
        for (int f = 0; f < 2; ++f) {
            v->filter(f)->setMode(mode);
            v->filter(f)->setResonance(1.0f);
            v->filter(f)->setCutoff(1.0);
            v->filter(f)->setLevel(1.0);
            for (int d = 0; d < 10; ++d)
                v->filter(f)->setMatrixCell(d, 1.0);
        }
        start(*v, 127.0);
        render(*v, 44100);
        EXPECT_EQ(v->routeCount(), 100);
        bool finite = true;
        for (size_t i = 0; i < left.size(); ++i)
            finite = finite && std::isfinite(left[i]) && std::isfinite(right[i]);
        EXPECT_TRUE(finite) << int(mode);
        EXPECT_LT(std::fabs(left.back()), 1e4f);
    }
}

TEST_F(VoiceFixture, AppliesValueIdsToItsModules) {
    EXPECT_TRUE(voice->applyValue(39, 1.0, 0)); // filter 1 mode
    EXPECT_EQ(voice->filter(0)->mode(), CVoiceFilter::kHighPass);
    EXPECT_TRUE(voice->applyValue(74 + 13 * 7, 1.0, 0)); // operator 8 on
    EXPECT_TRUE(voice->oper(7)->isOn());
    EXPECT_TRUE(voice->applyValue(327, 5.0, 3)); // selected operator's offset
    EXPECT_TRUE(voice->applyValue(176, 0.5, 0));
    EXPECT_TRUE(voice->applyValue(43, 1.0, 0));
    EXPECT_FALSE(voice->applyValue(178, 0.5, 0)); // sampler slots are the renderer's
    EXPECT_FALSE(voice->applyValue(2, 0.5, 0));
    EXPECT_EQ(voice->oper(8), nullptr);
    EXPECT_EQ(voice->filter(2), nullptr);
}
