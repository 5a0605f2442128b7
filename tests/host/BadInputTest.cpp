// What a careless host or a wild program can hand the voices: MIDI data bytes
// with the high bit set, the keys at the ends of the byte range, a program
// with every amount at its limit, and the modulation matrix's feedback paths.
#include "base/ValueIds.h"
#include "host/VoiceHost.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace {

struct Message {
    uint8_t status, data1, data2;
};

// Plays the messages (each followed by 20 ms) and returns the left output.
std::vector<float> playMessages(CProgram& p, const std::vector<Message>& messages) {
    PlayingInstance synth(p);
    EXPECT_TRUE(synth.loaded());
    for (const Message& m : messages) {
        synth.midi(m.status, m.data1, m.data2);
        synth.renderSeconds(0.02);
    }
    synth.renderSeconds(0.1);
    return synth.left;
}

CProgram sine() {
    CProgram p = quietProgram();
    ratioOperator(p, 0, 1.0);
    p.setValue(kPitchBendUpId, 2.0 / 48.0);
    return p;
}

bool allFinite(const std::vector<float>& x) {
    for (float v : x)
        if (!std::isfinite(v)) return false;
    return true;
}

} // namespace

// Data bytes are 7-bit: a set high bit is dropped, so each message plays as
// its masked twin.
TEST(HostBadInput, DataBytesWithTheHighBitSetAreMasked) {
    const struct {
        const char* name;
        std::vector<Message> wild, masked;
    } cases[] = {
        {"note on key", {{0x90, 0x80 | 69, 100}}, {{0x90, 69, 100}}},
        {"note on velocity", {{0x90, 69, 0x80 | 100}}, {{0x90, 69, 100}}},
        {"velocity 0x80 is a note off",
         {{0x90, 69, 100}, {0x90, 69, 0x80}},
         {{0x90, 69, 100}, {0x80, 69, 0}}},
        {"note off key", {{0x90, 69, 100}, {0x80, 0x80 | 69, 0}}, {{0x90, 69, 100}, {0x80, 69, 0}}},
        {"controller value (volume)",
         {{0xB0, 7, 0x80 | 40}, {0x90, 69, 100}},
         {{0xB0, 7, 40}, {0x90, 69, 100}}},
        {"controller number (pan)",
         {{0xB0, 0x80 | 10, 0}, {0x90, 69, 100}},
         {{0xB0, 10, 0}, {0x90, 69, 100}}},
        {"pitch bend", {{0xE0, 0xFF, 0xFF}, {0x90, 69, 100}}, {{0xE0, 127, 127}, {0x90, 69, 100}}},
        {"sustain value",
         {{0xB0, 64, 0xFF}, {0x90, 69, 100}, {0x80, 69, 0}},
         {{0xB0, 64, 127}, {0x90, 69, 100}, {0x80, 69, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CProgram p = sine();
        const std::vector<float> wild = playMessages(p, c.wild);
        const std::vector<float> masked = playMessages(p, c.masked);
        EXPECT_GT(peak(masked, 0, masked.size()), 0.1);
        EXPECT_EQ(wild, masked);
    }
}

// Key byte 255 is key 127: it plays, takes poly aftertouch and is released
// by its own note off, never touching anything outside the per-key tables.
TEST(HostBadInput, KeysAtTheEndsOfTheByteRangeStayOnTheKeyboard) {
    CProgram p = sine();
    for (int pitch : {-24, 0, 24}) {
        SCOPED_TRACE(testing::Message() << "master pitch " << pitch);
        p.setValue(kMasterPitchId, (pitch + 24.0) / 48.0);
        const std::vector<float> wild =
            playMessages(p, {{0x90, 0xFF, 0xFF}, {0xA0, 0xFF, 0xFF}, {0x90, 0x00, 0x7F}});
        const std::vector<float> plain =
            playMessages(p, {{0x90, 127, 127}, {0xA0, 127, 127}, {0x90, 0, 127}});
        EXPECT_TRUE(allFinite(wild));
        EXPECT_EQ(wild, plain);
    }
    p.setValue(kMasterPitchId, 0.5);
    PlayingInstance synth(p);
    ASSERT_TRUE(synth.loaded());
    synth.noteOn(0xFF);
    synth.renderSeconds(0.1);
    synth.noteOff(0xFF);
    const size_t from = synth.now() + size_t(0.05 * kRate);
    synth.renderSeconds(0.2);
    EXPECT_LT(amplitudeAt(synth.left, from, synth.now(), noteHz(127)), 1e-3);
}

namespace {

// Every operator and both filters at their limits, every matrix cell full.
CProgram extremeProgram(double sign) {
    CProgram p = quietProgram();
    for (int op = 0; op < kOperatorCount; ++op) {
        semitoneOperator(p, op, sign * 96.0 * (op % 2 ? 1.0 : -1.0), sign * 9999.0);
        const int32_t base = kOperatorFirstId + kOperatorIdStride * op;
        for (int d = 0; d < kOperatorModulationCount; ++d)
            p.setValue(base + kOperatorModulationOffset + d, (op + d) % 3 ? 1.0 : 0.0);
    }
    for (int f = 0; f < 2; ++f) {
        const int32_t base = kFilterFirstId + kFilterIdStride * f;
        p.setValue(base + kFilterLevelOffset, 1.0);
        for (int d = 0; d < kFilterModulationCount; ++d)
            p.setValue(base + kFilterModulationOffset + d, d % 2 ? 1.0 : 0.0);
        p.setValue(kFilterCutoffId[f], f == 0 ? 1.0 : 0.0);
        p.setValue(kFilterResonanceId[f], 1.0);
        p.setValue(kFilterModeId[f], f == 0 ? 1.0 / 3.0 : 2.0 / 3.0);
        p.setValue(kFilter1KeyTrackingId + f, 1.0);
    }
    // A pitch envelope at its full depth on every operator.
    while (p.envelopeCount < 2)
        p.addEnvelope();
    p.envelopes[1].targetKind = kTargetPitch;
    for (int d = 0; d < kOperatorCount; ++d)
        p.envelopes[1].setDepth(d, 100.0 * sign);
    p.setValue(kPitchBendUpId, 1.0);
    p.setValue(kPitchBendDownId, 1.0);
    p.setValue(kMasterPitchId, sign > 0 ? 1.0 : 0.0);
    return p;
}

} // namespace

// Nothing but finite numbers reaches the host, and the feedback paths stay
// bounded: operators are bounded by their amplitude, filters by their clipper.
TEST(HostBadInput, ExtremeProgramRendersFiniteBoundedOutput) {
    for (double sign : {1.0, -1.0}) {
        SCOPED_TRACE(sign > 0 ? "upper limits" : "lower limits");
        CProgram p = extremeProgram(sign);
        PlayingInstance synth(p);
        ASSERT_TRUE(synth.loaded());
        const uint8_t keys[] = {0, 1, 60, 126, 127};
        for (uint8_t k : keys)
            synth.noteOn(k);
        synth.midi(0xE0, 0, sign > 0 ? 127 : 0);
        synth.renderSeconds(0.5);
        synth.midi(0xB0, 123, 0);
        synth.renderSeconds(0.2);
        ASSERT_TRUE(allFinite(synth.left) && allFinite(synth.right));
        EXPECT_LT(peak(synth.left, 0, synth.now()), 100.0);
        EXPECT_LT(peak(synth.right, 0, synth.now()), 100.0);
        EXPECT_GT(peak(synth.left, 0, synth.now()), 0.0) << "it must actually play";
    }
}

// A phase-modulation path from the program is in the note from its start:
// operator 1 at twice the key modulating operator 0 adds the sum tone.
TEST(HostBadInput, ModulationPathsOfTheProgramPlayAndFullFeedbackStaysBounded) {
    const struct {
        const char* name;
        double toCarrier, selfFeedback;
        int sideband; // 1: the sum tone sounds, 0: it does not, -1: not measured
    } cases[] = {
        {"no modulation", 0.0, 0.0, 0},
        {"modulator into carrier", 0.7, 0.0, 1},
        {"modulator into carrier, full self-feedback", 1.0, 1.0, -1},
        {"negative full feedback", -1.0, -1.0, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CProgram p = quietProgram();
        ratioOperator(p, 0, 1.0, 1.0);
        ratioOperator(p, 1, 2.0, 0.0);
        const int32_t cell0 = kOperatorFirstId + kOperatorModulationOffset;
        const int32_t cell1 = kOperatorFirstId + kOperatorIdStride + kOperatorModulationOffset;
        p.setValue(cell1 + 0, bipolar(c.toCarrier));
        p.setValue(cell0 + 0, bipolar(c.selfFeedback));
        p.setValue(cell1 + 1, bipolar(c.selfFeedback));
        PlayingInstance synth(p);
        ASSERT_TRUE(synth.loaded());
        synth.noteOn(69);
        synth.renderSeconds(0.4);
        const double sum = amplitudeAt(synth.left, 2000, synth.now(), 1320.0);
        ASSERT_TRUE(allFinite(synth.left));
        // Half of the carrier's amplitude, and a little overshoot of the
        // master high-pass at the onset.
        EXPECT_LE(peak(synth.left, 0, synth.now()), 0.6);
        if (c.sideband < 0) continue;
        EXPECT_EQ(sum > 0.02, c.sideband == 1) << sum;
        // The path is there from the first milliseconds on.
        EXPECT_EQ(amplitudeAt(synth.left, 0, 441, 1320.0) > 0.01, c.sideband == 1);
    }
}
