// Notes and voices as a host plays them: which voice a note takes or steals,
// unison detune, glide sources, the sustain pedal, legato and the key stack,
// and voices ending after their release.
#include "base/ValueIds.h"
#include "host/VoiceHost.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace {

double voiceCountValue(int count) {
    return (count - 1) / 23.0;
}

// A sine at the key's pitch. releaseSeconds > 0: an amplitude envelope that
// holds 1 while the key is down and falls to 0 in that time after it.
CProgram sineProgram(int voices, double releaseSeconds = 0.0) {
    CProgram p = quietProgram();
    ratioOperator(p, 0, 1.0, 1.0, 0.0, releaseSeconds > 0.0 ? 0.0 : 1.0);
    p.setValue(kVoiceCountId, voiceCountValue(voices));
    if (releaseSeconds > 0.0) {
        CEnvelope& e = p.envelopes[0];
        e.targetKind = kTargetAmplitude;
        e.setDepth(0, 1.0);
        e.setLevel(0, 1.0);
        e.setDelta(0, 0.001);
        e.setLevel(1, 1.0);
        e.setLevel(2, 0.0);
        e.setDelta(2, releaseSeconds);
    }
    return p;
}

bool sounds(const std::vector<float>& x, size_t from, int key) {
    return amplitudeAt(x, from, from + size_t(0.1 * kRate), noteHz(key)) > 0.1;
}
bool silentAt(const std::vector<float>& x, size_t from, int key) {
    return amplitudeAt(x, from, from + size_t(0.1 * kRate), noteHz(key)) < 0.01;
}
// The (fractional) note of the pitch heard in [from, to).
double heardNote(const std::vector<float>& x, size_t from, size_t to) {
    return 69.0 + 12.0 * std::log2(crossingFrequency(x, from, to) / 440.0);
}

struct Step {
    bool on;
    uint8_t key;
};

} // namespace

// Stolen voices: an inactive voice first, else the lowest released key, else
// the lowest key of all, however recently it started.
TEST(HostVoices, AllocationTakesFreeVoicesThenStealsTheLowestKey) {
    const struct {
        const char* name;
        int voices;
        std::vector<Step> steps;
        std::vector<int> sounding, silent;
    } cases[] = {
        {"free voices first", 3, {{true, 60}, {true, 72}, {true, 67}}, {60, 72, 67}, {}},
        {"lowest key stolen", 2, {{true, 60}, {true, 72}, {true, 67}}, {72, 67}, {60}},
        {"lowest key stolen though started last",
         2,
         {{true, 72}, {true, 60}, {true, 67}},
         {72, 67},
         {60}},
        {"released voice stolen before a lower held one",
         2,
         {{true, 60}, {true, 72}, {false, 72}, {true, 67}},
         {60, 67},
         {72}},
        {"lowest of the released voices stolen",
         2,
         {{true, 60}, {true, 72}, {false, 60}, {false, 72}, {true, 67}},
         {72, 67},
         {60}},
        // The retrigger is hard: the old key is forgotten, so releasing the
        // new one does not bring it back.
        {"one voice retriggers", 1, {{true, 60}, {true, 64}, {false, 64}}, {64}, {60}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CProgram p = sineProgram(c.voices, 2.0);
        PlayingInstance synth(p);
        ASSERT_TRUE(synth.loaded());
        for (const Step& s : c.steps) {
            if (s.on)
                synth.noteOn(s.key);
            else
                synth.noteOff(s.key);
            synth.renderSeconds(0.02);
        }
        const size_t from = synth.now() + size_t(0.02 * kRate);
        synth.renderSeconds(0.15);
        for (int key : c.sounding)
            EXPECT_TRUE(sounds(synth.left, from, key)) << "key " << key;
        for (int key : c.silent)
            EXPECT_TRUE(silentAt(synth.left, from, key)) << "key " << key;
    }
}

// Unison with 4 voices and spread 1.0: one note, four voices detuned by 0,
// 0.25, 0.5 and 0.75 semitones.
TEST(HostVoices, UnisonSpreadDetunesEachVoice) {
    CProgram p = sineProgram(4);
    p.setValue(kUnisonId, 1.0);
    p.setValue(kUnisonSpreadId, 1.0);
    PlayingInstance synth(p);
    ASSERT_TRUE(synth.loaded());
    synth.noteOn(93);
    synth.renderSeconds(0.8);
    const size_t from = size_t(0.2 * kRate), to = synth.now();
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(testing::Message() << "voice " << i);
        const double expected = noteHz(93 + 0.25 * i);
        const double hz = peakFrequency(synth.left, from, to, expected - 6.0, expected + 6.0);
        EXPECT_NEAR(cents(hz, expected), 0.0, 0.5) << hz;
        EXPECT_NEAR(amplitudeAt(synth.left, from, to, expected), 0.5, 0.05);
    }
    // No fifth voice a further quarter up.
    EXPECT_LT(amplitudeAt(synth.left, from, to, noteHz(94)), 0.02);
}

// Master pitch +12 on key 120: the transposed key is clamped to 127.
TEST(HostVoices, TransposedKeyIsClampedToTheKeyboard) {
    CProgram p = sineProgram(1);
    p.setValue(kMasterPitchId, (12.0 + 24.0) / 48.0);
    PlayingInstance synth(p);
    ASSERT_TRUE(synth.loaded());
    synth.noteOn(120);
    synth.renderSeconds(0.6);
    const double hz = crossingFrequency(synth.left, size_t(0.1 * kRate), synth.now());
    EXPECT_NEAR(cents(hz, noteHz(127)), 0.0, 0.1) << hz;
}

// Glide factor 0.8 moves about 0.036 semitones per millisecond, so the first
// 15 ms of a note show where it glides from.
TEST(HostVoices, GlideStartsFromTheHeldOrTheLastNote) {
    const struct {
        const char* name;
        bool fromHeld;
        int before;        // key played first (-1: none)
        bool releaseFirst; // released and ended before the measured note
        double startNote;
    } cases[] = {
        {"after a reset the last note is 67", false, -1, false, 67},
        {"from held, nothing held: no glide", true, -1, false, 79},
        {"from held, the earlier note ended: no glide", true, 60, true, 79},
        {"from the last note, though it ended", false, 60, true, 60},
        {"from held, a note held", true, 60, false, 60},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CProgram p = sineProgram(1);
        p.setValue(kGlideFactorId, 0.8);
        p.setValue(kGlideFromHeldId, c.fromHeld ? 1.0 : 0.0);
        PlayingInstance synth(p);
        ASSERT_TRUE(synth.loaded());
        if (c.before >= 0) {
            synth.noteOn(uint8_t(c.before));
            synth.renderSeconds(0.1);
            if (c.releaseFirst) {
                synth.noteOff(uint8_t(c.before));
                synth.renderSeconds(0.1);
            }
        }
        const size_t start = synth.now();
        synth.noteOn(79);
        synth.renderSeconds(0.8);
        EXPECT_NEAR(heardNote(synth.left, start, start + size_t(0.015 * kRate)), c.startNote, 0.8);
        const double settled = heardNote(synth.left, start + size_t(0.6 * kRate), synth.now());
        EXPECT_NEAR(settled, 79.0, 0.001);
    }
}

TEST(HostVoices, SustainPedalHoldsReleasedKeysUntilItIsLifted) {
    CProgram p = sineProgram(4);
    PlayingInstance synth(p);
    ASSERT_TRUE(synth.loaded());
    synth.midi(0xB0, 64, 127);
    synth.noteOn(60);
    synth.renderSeconds(0.05);
    synth.noteOff(60);
    synth.renderSeconds(0.3);
    EXPECT_TRUE(sounds(synth.left, synth.now() - size_t(0.1 * kRate), 60));
    synth.midi(0xB0, 64, 0);
    synth.renderSeconds(0.2);
    EXPECT_LT(peak(synth.left, synth.now() - size_t(0.1 * kRate), synth.now()), 1e-4);
}

// A held voice started again (unison keeps the voice; nothing is stolen)
// plays on legato: with the same key the output is exactly that of one long
// note, phase and envelopes untouched.
TEST(HostVoices, LegatoRestartKeepsThePhase) {
    CProgram p = sineProgram(1);
    p.setValue(kUnisonId, 1.0);
    PlayingInstance once(p), twice(p);
    ASSERT_TRUE(once.loaded() && twice.loaded());
    once.noteOn(69);
    twice.noteOn(69);
    once.render(1001);
    twice.render(1001);
    twice.noteOn(69);
    once.render(4000);
    twice.render(4000);
    ASSERT_GT(peak(twice.left, 0, twice.now()), 0.1);
    EXPECT_EQ(once.left, twice.left);
}

// Held keys stack up; releasing the newest glides back to the one before,
// a key that is not held changes nothing, and the last release ends the note.
TEST(HostVoices, KeyStackGlidesBackToHeldKeys) {
    CProgram p = sineProgram(1);
    p.setValue(kUnisonId, 1.0);
    PlayingInstance synth(p);
    ASSERT_TRUE(synth.loaded());
    const struct {
        bool on;
        uint8_t key;
        int heard; // -1: silence
    } steps[] = {
        {true, 60, 60}, {true, 64, 64},  {true, 67, 67},  {false, 67, 64}, {false, 50, 64},
        {true, 72, 72}, {false, 64, 72}, {false, 72, 60}, {false, 60, -1},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(testing::Message() << (s.on ? "on " : "off ") << int(s.key));
        if (s.on)
            synth.noteOn(s.key);
        else
            synth.noteOff(s.key);
        const size_t from = synth.now() + size_t(0.05 * kRate);
        synth.renderSeconds(0.15);
        if (s.heard < 0)
            EXPECT_TRUE(silentAt(synth.left, from, s.key));
        else
            EXPECT_NEAR(heardNote(synth.left, from, synth.now()), s.heard, 0.01);
    }
}

// After their releases every voice is free again: a note then starts a
// fresh voice, sounding exactly as in a new instance, not a stolen one.
TEST(HostVoices, EndedVoicesAreFreeAgain) {
    CProgram p = sineProgram(24, 0.05);
    // No glide source: an immediate glide still plays its first two ticks
    // at the note it starts from, which would differ between the two.
    p.setValue(kGlideFromHeldId, 1.0);
    PlayingInstance synth(p), fresh(p);
    ASSERT_TRUE(synth.loaded() && fresh.loaded());
    for (uint8_t k = 40; k < 64; ++k)
        synth.noteOn(k);
    synth.renderSeconds(0.2);
    ASSERT_GT(peak(synth.left, 0, synth.now()), 0.5);
    for (uint8_t k = 40; k < 64; ++k)
        synth.noteOff(k);
    synth.renderSeconds(0.5);
    EXPECT_LT(peak(synth.left, synth.now() - size_t(0.2 * kRate), synth.now()), 1e-4);
    const size_t start = synth.now();
    synth.noteOn(81);
    fresh.noteOn(81);
    synth.renderSeconds(0.1);
    fresh.renderSeconds(0.1);
    // Only the low decay of the master high-pass from the earlier notes may
    // differ; the tone itself is the same, in the same phase.
    std::vector<float> difference(fresh.now());
    for (size_t i = 0; i < fresh.now(); ++i)
        difference[i] = synth.left[start + i] - fresh.left[i];
    EXPECT_LT(amplitudeAt(difference, 0, difference.size(), noteHz(81)), 1e-3);
    EXPECT_GT(amplitudeAt(synth.left, start, synth.now(), noteHz(81)), 0.4);
}

// A released voice whose output never falls silent ends after 1.5 s of
// continuous sound.
TEST(HostVoices, ReleaseThatStaysLoudEndsAfterOneAndAHalfSeconds) {
    CProgram p = sineProgram(1, 10.0);
    PlayingInstance synth(p);
    ASSERT_TRUE(synth.loaded());
    // Note 70 never lands a sample exactly on a zero crossing, which would
    // restart the count (note 69 does every 2205 samples from phase 0).
    synth.noteOn(70);
    synth.renderSeconds(0.1);
    const size_t off = synth.now();
    synth.noteOff(70);
    synth.renderSeconds(1.8);
    EXPECT_TRUE(sounds(synth.left, off + size_t(1.35 * kRate), 70));
    EXPECT_LT(peak(synth.left, off + size_t(1.65 * kRate), synth.now()), 1e-3);
}
