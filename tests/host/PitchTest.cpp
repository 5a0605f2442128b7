// The pitch a note sounds at, heard at the plug-in's output: operator tunings,
// master pitch, pitch bend ranges, the fine tune carried by the chunk.
#include "base/ValueIds.h"
#include "host/VoiceHost.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Bend wheel value of a 14-bit pitch-bend message, -1..+1.
double bendValue(int lsb, int msb) {
    return (msb * 128 + lsb) / 16383.0 * 2.0 - 1.0;
}

struct PitchCase {
    const char* name;
    std::function<void(CProgram&)> build;
    uint8_t key;
    // A pitch-bend message before the note: lsb, msb (-1: none).
    int bendLsb, bendMsb;
    double expectedHz;
};

} // namespace

TEST(HostPitch, SettledPitchMatchesTheTuningWithinATenthOfACent) {
    const PitchCase cases[] = {
        {"sine at ratio 1", [](CProgram& p) { ratioOperator(p, 0, 1.0); }, 69, -1, -1, 440.0},
        {"ratio 2", [](CProgram& p) { ratioOperator(p, 0, 2.0); }, 69, -1, -1, 880.0},
        {"ratio 0.5 on key 60", [](CProgram& p) { ratioOperator(p, 0, 0.5); }, 60, -1, -1,
         0.5 * noteHz(60)},
        {"ratio 1.5 on key 57", [](CProgram& p) { ratioOperator(p, 0, 1.5); }, 57, -1, -1,
         1.5 * 220.0},
        {"semitones +7", [](CProgram& p) { semitoneOperator(p, 0, 7.0); }, 69, -1, -1, noteHz(76)},
        {"semitones -12 plus 100 Hz", [](CProgram& p) { semitoneOperator(p, 0, -12.0, 100.0); }, 69,
         -1, -1, 320.0},
        {"ratio 0 plays only the offset", [](CProgram& p) { fixedOperator(p, 0, 1000.0); }, 30, -1,
         -1, 1000.0},
        {"ratio 1 plus 25 Hz",
         [](CProgram& p) {
             ratioOperator(p, 0, 1.0);
             p.setValue(kSelectedOffsetHzId, 25.0);
         },
         69, -1, -1, 465.0},
        {"master pitch +7",
         [](CProgram& p) {
             ratioOperator(p, 0, 1.0);
             p.setValue(kMasterPitchId, (7.0 + 24.0) / 48.0);
         },
         69, -1, -1, noteHz(76)},
        {"master pitch -24",
         [](CProgram& p) {
             ratioOperator(p, 0, 1.0);
             p.setValue(kMasterPitchId, 0.0);
         },
         69, -1, -1, 110.0},
        {"bend fully up, range 12",
         [](CProgram& p) {
             ratioOperator(p, 0, 1.0);
             p.setValue(kPitchBendUpId, 12.0 / 48.0);
             p.setValue(kPitchBendDownId, 2.0 / 48.0);
         },
         69, 127, 127, 880.0},
        {"bend fully down, range 5",
         [](CProgram& p) {
             ratioOperator(p, 0, 1.0);
             p.setValue(kPitchBendUpId, 12.0 / 48.0);
             p.setValue(kPitchBendDownId, 5.0 / 48.0);
         },
         69, 0, 0, noteHz(64)},
        {"bend a quarter down, range 48",
         [](CProgram& p) {
             ratioOperator(p, 0, 1.0);
             p.setValue(kPitchBendDownId, 1.0);
         },
         69, 0, 32, noteHz(69 + 48.0 * bendValue(0, 32))},
        {"bend centre message is a hair above centre",
         [](CProgram& p) {
             ratioOperator(p, 0, 1.0);
             p.setValue(kPitchBendUpId, 1.0);
         },
         69, 0, 64, noteHz(69 + 48.0 * bendValue(0, 64))},
        {"bend with no range does nothing",
         [](CProgram& p) {
             ratioOperator(p, 0, 1.0);
             p.setValue(kPitchBendUpId, 0.0);
             p.setValue(kPitchBendDownId, 0.0);
         },
         69, 127, 127, 440.0},
        {"a new program bends 24 semitones both ways",
         [](CProgram& p) { ratioOperator(p, 0, 1.0); }, 69, 0, 0, 110.0},
    };
    for (const PitchCase& c : cases) {
        SCOPED_TRACE(c.name);
        CProgram p = quietProgram();
        c.build(p);
        PlayingInstance synth(p);
        ASSERT_TRUE(synth.loaded());
        if (c.bendLsb >= 0) synth.midi(0xE0, uint8_t(c.bendLsb), uint8_t(c.bendMsb));
        synth.noteOn(c.key);
        synth.renderSeconds(0.6);
        const double hz = crossingFrequency(synth.left, size_t(0.2 * kRate), synth.now());
        EXPECT_NEAR(cents(hz, c.expectedHz), 0.0, 0.1) << hz << " Hz";
    }
}

// A bend arriving while the note sounds glides there through the voice's
// controller smoothing and then sits exactly on the bent pitch.
TEST(HostPitch, BendDuringANoteSettlesOnTheBentPitch) {
    CProgram p = quietProgram();
    ratioOperator(p, 0, 1.0);
    p.setValue(kPitchBendUpId, 2.0 / 48.0);
    PlayingInstance synth(p);
    ASSERT_TRUE(synth.loaded());
    synth.noteOn(69);
    synth.renderSeconds(0.2);
    synth.midi(0xE0, 127, 127);
    synth.renderSeconds(0.5);
    const size_t from = synth.now() - size_t(0.2 * kRate);
    EXPECT_NEAR(cents(crossingFrequency(synth.left, from, synth.now()), noteHz(71)), 0.0, 0.1);
}

// The master tune travels with the host's chunk and retunes every key, the
// top key of the tuning table as well as the middle ones.
TEST(HostPitch, FineTuneFromTheChunkRetunesEveryKey) {
    for (int key : {69, 126, 127}) {
        double fineTune = (50.0 + 99.0) / 198.0; // +50 cents
        CProgram p = quietProgram();
        ratioOperator(p, 0, 1.0);
        p.fineTune = &fineTune;
        PlayingInstance synth(p);
        ASSERT_TRUE(synth.loaded());
        synth.noteOn(key);
        synth.renderSeconds(0.6);
        const double hz = crossingFrequency(synth.left, size_t(0.2 * kRate), synth.now());
        EXPECT_NEAR(cents(hz, noteHz(key)), 50.0, 0.1) << "key " << key;

        // The fine tune is shared by every instance of the process: put it back.
        CProgram plain = quietProgram();
        ASSERT_TRUE(synth.setProgram(plain));
    }
}

// A program carries its per-key tuning: a chunk restored where the tuning
// file is missing plays in the tuning it was saved with.
TEST(HostPitch, TuningRatiosInsideAChunkRetuneTheInstance) {
    CProgram p = quietProgram();
    ratioOperator(p, 0, 1.0);
    p.tuningRatios[69] = std::pow(2.0, 1.0 / 12.0);
    p.tuningRatios[70] = std::pow(2.0, 1.0 / 12.0);
    PlayingInstance synth(p);
    ASSERT_TRUE(synth.loaded());
    synth.noteOn(69);
    synth.renderSeconds(0.6);
    const double hz = crossingFrequency(synth.left, size_t(0.2 * kRate), synth.now());
    EXPECT_NEAR(cents(hz, 440.0), 100.0, 0.1);
}
