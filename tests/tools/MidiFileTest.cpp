// The MIDI file reader: timing through the tempo map, track merging, running
// status, and refusal of malformed files with a message.
#include "quellor-render/MidiFile.h"
#include "MidiBytes.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace midibytes;

namespace {

CMidiFile parsed(const Bytes& bytes) {
    CMidiFile midi;
    std::string error;
    EXPECT_TRUE(midi.parse(bytes.data(), bytes.size(), error)) << error;
    return midi;
}

} // namespace

TEST(MidiFileTest, Type0WithRunningStatusAtDefaultTempo) {
    STrack t;
    t.at(0, {0x90, 60, 100})
        .at(96, {62, 90}) // running status: another note-on
        .at(0, {0xff, 0x01, 0x02, 'h', 'i'})
        .at(0, {0xf0, 0x03, 0x7e, 0x00, 0xf7}) // sysex, skipped
        .at(96, {0x80, 60, 0})
        .at(0, {0xe0, 0x00, 0x40})
        .at(0, {0xc0, 5}) // one data byte
        .at(0, {0xd0, 70})
        .end(48);
    const CMidiFile midi = parsed(file(0, 96, {t}));
    ASSERT_EQ(midi.events().size(), 6u);
    const auto& e = midi.events();
    EXPECT_EQ(e[1].bytes[0], 0x90);
    EXPECT_EQ(e[1].bytes[1], 62);
    EXPECT_EQ(e[1].tick, 96u);
    EXPECT_DOUBLE_EQ(e[1].seconds, 0.5); // 120 BPM without a tempo event
    EXPECT_EQ(e[4].size, 2);
    EXPECT_EQ(e[4].bytes[1], 5);
    EXPECT_EQ(midi.endTick(), 240u);
    EXPECT_DOUBLE_EQ(midi.endSeconds(), 1.25);
}

TEST(MidiFileTest, Type1MergesTracksStablyAndTempoChangesMoveEvents) {
    STrack tempo;
    tempo.tempo(0, 1000000).tempo(192, 500000).end(); // 60 BPM, then 120 from beat 2
    STrack a, b;
    a.at(96, {0x90, 60, 100}).at(192, {0x80, 60, 0}).end();
    b.at(96, {0x91, 48, 100}).at(96, {0x81, 48, 0}).at(96, {0x91, 50, 1}).end();
    const CMidiFile midi = parsed(file(1, 96, {tempo, a, b}));
    const auto& e = midi.events();
    ASSERT_EQ(e.size(), 5u);
    // Equal ticks: the earlier track first.
    EXPECT_EQ(e[0].bytes[0], 0x90);
    EXPECT_EQ(e[1].bytes[0], 0x91);
    EXPECT_DOUBLE_EQ(e[0].seconds, 1.0); // beat 1 at 60 BPM
    EXPECT_DOUBLE_EQ(e[2].seconds, 2.0); // beat 2
    EXPECT_EQ(e[2].track, 2);
    EXPECT_DOUBLE_EQ(e[4].seconds, 2.5); // beat 3: one beat at 120 BPM
    EXPECT_DOUBLE_EQ(midi.tempoMap().bpmAtSeconds(1.9), 60.0);
    EXPECT_DOUBLE_EQ(midi.tempoMap().bpmAtSeconds(2.2), 120.0);
    EXPECT_DOUBLE_EQ(midi.tempoMap().beatsAtSeconds(2.5), 3.0);

    CMidiFile retimed = midi;
    retimed.retime(CTempoMap(96, 240.0));
    EXPECT_DOUBLE_EQ(retimed.events()[4].seconds, 0.75);
}

TEST(MidiFileTest, SkipsForeignChunksAndIgnoresBytesAfterEndOfTrack) {
    STrack t;
    t.at(0, {0x90, 60, 100}).end().at(0, {0x90, 61, 100}); // after the end: ignored
    Bytes bytes = file(0, 96, {});
    bytes[11] = 1; // one track, which comes after a foreign chunk
    const Bytes foreign = chunk("XTRA", {1, 2, 3});
    bytes.insert(bytes.end(), foreign.begin(), foreign.end());
    const Bytes track = chunk("MTrk", t.body);
    bytes.insert(bytes.end(), track.begin(), track.end());
    const CMidiFile midi = parsed(bytes);
    ASSERT_EQ(midi.events().size(), 1u);
    EXPECT_EQ(midi.events()[0].bytes[1], 60);
}

TEST(MidiFileTest, RefusesMalformedFilesWithAMessage) {
    const auto withTrack = [](std::initializer_list<uint8_t> body) {
        STrack t;
        append(t.body, body);
        return file(1, 96, {t});
    };
    Bytes headerTooLong = file(0, 96, {STrack().end()});
    headerTooLong[7] = 200;
    Bytes trackTooLong = file(0, 96, {STrack().at(0, {0x90, 60, 100}).end()});
    trackTooLong[21] += 1; // MTrk length one more than remains
    Bytes wrongMagic = file(0, 96, {STrack().end()});
    wrongMagic[0] = 'X';
    const Bytes noTracks = file(0, 96, {});
    Bytes missingTrack = file(1, 96, {STrack().end()});
    missingTrack[11] = 2;

    const struct {
        const char* name;
        Bytes bytes;
        const char* message; // a part of the expected message
    } cases[] = {
        {"empty", {}, "MThd"},
        {"wrong magic", wrongMagic, "MThd"},
        {"cut header", Bytes(noTracks.begin(), noTracks.begin() + 10), "MThd"},
        {"header length past the end", headerTooLong, "header chunk length"},
        {"SMPTE division", file(1, 0xE728, {STrack().end()}), "SMPTE"},
        {"zero division", file(1, 0, {STrack().end()}), "division"},
        {"format 2", file(2, 96, {STrack().end()}), "format 2"},
        {"format 0 with two tracks", file(0, 96, {STrack().end(), STrack().end()}), "format 0"},
        {"fewer tracks than declared", missingTrack, "1 of 2 tracks"},
        {"track length past the end", trackTooLong, "remain"},
        {"data byte without status", withTrack({0x00, 60, 100}), "without a status"},
        {"cut channel message", withTrack({0x00, 0x90, 60}), "cut short"},
        {"status in a data byte", withTrack({0x00, 0x90, 60, 0x90}), "data byte"},
        {"five-byte delta", withTrack({0x81, 0x81, 0x81, 0x81, 0x01, 0xff, 0x2f, 0}), "delta"},
        {"delta without event", withTrack({0x00}), "delta"},
        {"meta length past the end", withTrack({0x00, 0xff, 0x01, 0x05, 'a'}), "meta"},
        {"sysex length past the end", withTrack({0x00, 0xf0, 0x7f}), "system exclusive"},
        {"tempo of two bytes", withTrack({0x00, 0xff, 0x51, 0x02, 1, 2}), "tempo"},
        {"tempo of zero", withTrack({0x00, 0xff, 0x51, 0x03, 0, 0, 0}), "tempo"},
        {"system common status", withTrack({0x00, 0xf3, 0x01}), "cannot appear"},
    };
    for (const auto& c : cases) {
        CMidiFile midi;
        std::string error;
        EXPECT_FALSE(midi.parse(c.bytes.data(), c.bytes.size(), error)) << c.name;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
        EXPECT_TRUE(midi.events().empty()) << c.name;
    }
}

TEST(MidiFileTest, EveryCutOfAValidFileIsRefused) {
    STrack tempo;
    tempo.tempo(0, 600000).end();
    STrack notes;
    notes.at(0, {0x90, 60, 100}).at(200, {60, 0}).at(0, {0xf0, 0x02, 0x01, 0xf7}).end(10);
    const Bytes whole = file(1, 480, {tempo, notes});
    for (size_t n = 0; n < whole.size(); ++n) {
        CMidiFile midi;
        std::string error;
        EXPECT_FALSE(midi.parse(whole.data(), n, error)) << "cut at " << n;
        EXPECT_FALSE(error.empty());
    }
}

TEST(MidiFileTest, LoadsTheDemoPhrase) {
    const auto path =
        std::filesystem::path(__FILE__).parent_path() / ".." / ".." / "examples" / "demo.mid";
    CMidiFile midi;
    std::string error;
    ASSERT_TRUE(midi.load(path.string(), error)) << error;
    EXPECT_EQ(midi.format(), 1);
    EXPECT_GE(midi.endSeconds(), 8.0);
    EXPECT_LE(midi.endSeconds(), 12.0);
    bool pedalDown = false, pedalUp = false, bend = false;
    for (const auto& e : midi.events()) {
        const int kind = e.bytes[0] & 0xf0;
        pedalDown |= kind == 0xb0 && e.bytes[1] == 64 && e.bytes[2] >= 64;
        pedalUp |= kind == 0xb0 && e.bytes[1] == 64 && e.bytes[2] < 64;
        bend |= kind == 0xe0 && e.bytes[2] != 0x40;
    }
    EXPECT_TRUE(pedalDown && pedalUp && bend);
    for (double s = 0.0; s < midi.endSeconds(); s += 0.5) {
        EXPECT_GE(midi.tempoMap().bpmAtSeconds(s), 100.0);
        EXPECT_LE(midi.tempoMap().bpmAtSeconds(s), 120.0);
    }
}

TEST(MidiFileTest, MissingFileIsReported) {
    CMidiFile midi;
    std::string error;
    EXPECT_FALSE(midi.load("/nonexistent/x.mid", error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
}
