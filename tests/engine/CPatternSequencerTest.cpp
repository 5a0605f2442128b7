// The pattern sequencer driven directly, with its note calls recorded.
#include "engine/CPatternSequencer.h"
#include "base/ValueIds.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace {

struct NoteCall {
    bool on;
    int32_t key;
    int64_t sample; // when it happened
};

struct Recorder : SequencerOutput {
    std::vector<NoteCall> calls;
    int releaseAll = 0, holdEnded = 0;
    std::vector<double> randoms;
    size_t nextRandom = 0;
    int64_t now = 0;
    void sequencerNoteOn(int32_t key, int32_t) override { calls.push_back({true, key, now}); }
    void sequencerNoteOff(int32_t key) override { calls.push_back({false, key, now}); }
    void sequencerReleaseAllVoices() override { ++releaseAll; }
    void sequencerHoldEnded() override { ++holdEnded; }
    double sequencerRandom() override {
        return nextRandom < randoms.size() ? randoms[nextRandom++] : 0.0;
    }
    std::vector<int32_t> onKeys() const {
        std::vector<int32_t> keys;
        for (const NoteCall& c : calls)
            if (c.on) keys.push_back(c.key);
        return keys;
    }
};

constexpr int32_t kFirst = kSequencer1FirstId;

double stepValue(int32_t n) {
    return (n + 26) / 50.0;
} // inverse of toRange(x, -26, 24)
double lengthValue(int32_t n) {
    return (n - 1) / 31.0;
}

struct SequencerFixture : ::testing::Test {
    Recorder rec;
    CPatternSequencer seq{&rec};
    static constexpr int32_t kTick = 220; // 5 ms at 44100 Hz

    void SetUp() override {
        seq.setSampleRate(44100.0);
        seq.setTempo(120.0);
        seq.applyValue(kFirst, 1.0, kFirst);
    }
    void setSteps(std::initializer_list<int32_t> values) {
        int32_t k = 0;
        for (int32_t v : values)
            seq.applyValue(249 + k++, stepValue(v), kFirst);
        seq.applyValue(244, lengthValue(k), kFirst);
    }
    // Runs ticks the way the renderer does: step check at each tick start.
    void run(int64_t samples) {
        for (int64_t done = 0; done < samples; done += kTick) {
            seq.stepCheck();
            seq.advance(kTick);
            rec.now += kTick;
        }
    }
};

} // namespace

TEST(ChordRecognition, RootAndTypeForHeldChords) {
    struct Case {
        std::vector<int32_t> keys;
        int32_t root, type;
    } cases[] = {
        {{60}, 0, 0},             // single key
        {{62}, 2, 0},             //
        {{60, 63, 67}, 0, 1},     // C minor
        {{60, 64, 67}, 0, 2},     // C major
        {{64, 67, 72}, 0, 2},     // first inversion
        {{67, 72, 76}, 0, 2},     // second inversion
        {{60, 63, 67, 70}, 0, 3}, // C minor seventh
        {{60, 64, 67, 71}, 0, 4}, // C major seventh
        {{60, 63, 66}, 0, 5},     // C diminished
        {{57, 60, 64, 69}, 9, 1}, // A minor with doubled octave
        {{48, 60, 64, 72}, 0, 2}, // octave doublings of C with E
    };
    for (const Case& c : cases) {
        Recorder rec;
        CPatternSequencer seq(&rec);
        seq.setRunning(true);
        for (int32_t k : c.keys)
            seq.noteInput(k, 100);
        EXPECT_EQ(seq.root(), c.root) << c.keys[0];
        EXPECT_EQ(seq.chordType(), c.type) << c.keys[0];
    }
}

TEST(ChordRecognition, StepsFollowTheChord) {
    Recorder rec;
    CPatternSequencer seq(&rec);
    seq.setRunning(true);
    for (int32_t k : {60, 64, 67})
        seq.noteInput(k, 100);
    EXPECT_EQ(seq.keyForStep(3), 64);
    EXPECT_EQ(seq.keyForStep(4), 64);
    EXPECT_EQ(seq.keyForStep(7), 67);
    EXPECT_EQ(seq.keyForStep(12), 72);
    EXPECT_EQ(seq.keyForStep(-12), 48);

    CPatternSequencer minor(&rec);
    minor.setRunning(true);
    for (int32_t k : {60, 63, 67})
        minor.noteInput(k, 100);
    EXPECT_EQ(minor.keyForStep(4), 63);

    CPatternSequencer high(&rec);
    high.setRunning(true);
    high.noteInput(120, 100);                         // octave 10
    EXPECT_EQ(high.keyForStep(24), 108 + (144 % 12)); // 144 folds into 108..119
    EXPECT_EQ(high.keyForStep(2), 108 + (122 % 12));
}

TEST_F(SequencerFixture, StepsAtTheTempoWithin5Ms) {
    setSteps({0, 0, 0, 0});
    seq.noteInput(60, 100);
    run(44100 * 2); // 120 BPM: a sixteenth is 5512.5 samples
    std::vector<int64_t> onTimes;
    for (const NoteCall& c : rec.calls)
        if (c.on) onTimes.push_back(c.sample);
    ASSERT_GE(onTimes.size(), 15u);
    for (size_t n = 0; n < onTimes.size(); ++n)
        EXPECT_NEAR(double(onTimes[n]), n * 5512.5, 220.5) << n;
}

TEST_F(SequencerFixture, SwingAlternatesLongAndShortStartingLong) {
    setSteps({0, 0, 0, 0});
    seq.applyValue(246, 1.0, kFirst);
    seq.noteInput(60, 100);
    run(44100 * 2);
    std::vector<int64_t> t;
    for (const NoteCall& c : rec.calls)
        if (c.on) t.push_back(c.sample);
    ASSERT_GE(t.size(), 8u);
    for (size_t n = 1; n + 1 < t.size(); ++n) {
        const double expected = (n % 2 == 1) ? 1.25 * 5512.5 : 0.75 * 5512.5;
        EXPECT_NEAR(double(t[n] - t[n - 1]), expected, 221.0) << n;
    }
}

TEST_F(SequencerFixture, PingPongOrder) {
    setSteps({0, 2, 4, 5});
    seq.applyValue(248, 1.0, kFirst);
    seq.noteInput(60, 100);
    run(5513 * 12);
    std::vector<int32_t> expected = {60, 62, 64, 65, 64, 62, 60, 62, 64, 65, 64, 62};
    std::vector<int32_t> keys = rec.onKeys();
    keys.resize(expected.size());
    EXPECT_EQ(keys, expected);
}

TEST_F(SequencerFixture, PingPongWithLengthOneRepeatsStepZero) {
    setSteps({7});
    seq.applyValue(248, 1.0, kFirst);
    seq.noteInput(60, 100);
    run(5513 * 5);
    for (int32_t k : rec.onKeys())
        EXPECT_EQ(k, 67);
    EXPECT_GE(rec.onKeys().size(), 4u);
}

TEST_F(SequencerFixture, RandomOrderDrawsFromTheGenerator) {
    setSteps({0, 2, 4, 5});
    seq.applyValue(247, 1.0, kFirst);
    rec.randoms = {0.9, 0.1, 0.6, 0.3};
    seq.noteInput(60, 100);
    run(5513 * 4);
    std::vector<int32_t> keys = rec.onKeys();
    keys.resize(4);
    EXPECT_EQ(keys, (std::vector<int32_t>{65, 60, 64, 62}));
}

TEST_F(SequencerFixture, HoldKeepsAndRestEndsThePreviousNote) {
    setSteps({0, CPatternSequencer::kHold, CPatternSequencer::kRest, 4});
    seq.noteInput(60, 100);
    run(5513 * 4);
    // step 0 on, hold: nothing, rest: off 60, step 3: on 64
    ASSERT_GE(rec.calls.size(), 3u);
    EXPECT_TRUE(rec.calls[0].on);
    EXPECT_EQ(rec.calls[0].key, 60);
    EXPECT_FALSE(rec.calls[1].on);
    EXPECT_EQ(rec.calls[1].key, 60);
    EXPECT_NEAR(double(rec.calls[1].sample), 2 * 5512.5, 221);
    EXPECT_TRUE(rec.calls[2].on);
    EXPECT_EQ(rec.calls[2].key, 64);
}

TEST_F(SequencerFixture, ReleasingAllKeysStopsUnlessSustained) {
    setSteps({0});
    seq.noteInput(60, 100);
    run(6000);
    seq.setSustain(true);
    seq.noteInput(60, 0);
    const int before = rec.releaseAll;
    run(20000);
    EXPECT_TRUE(seq.isPlaying());
    seq.setSustain(false);
    run(kTick);
    EXPECT_FALSE(seq.isPlaying());
    EXPECT_EQ(rec.releaseAll, before + 1);
}

TEST_F(SequencerFixture, TempoChangeTakesEffectAtOnceWithoutSkippingAStep) {
    setSteps({0});
    seq.noteInput(60, 100);
    run(5513 * 2); // two steps at 120 BPM
    seq.setTempo(240.0);
    const size_t before = rec.onKeys().size();
    run(2757 * 6);
    std::vector<int64_t> t;
    for (const NoteCall& c : rec.calls)
        if (c.on) t.push_back(c.sample);
    ASSERT_GE(t.size(), before + 5);
    for (size_t n = before + 1; n < t.size(); ++n)
        EXPECT_NEAR(double(t[n] - t[n - 1]), 2756.25, 221.0) << n;
    // The step running when the tempo changed is neither skipped nor doubled.
    EXPECT_GT(t[before] - t[before - 1], 2756 - 221);
    EXPECT_LT(t[before] - t[before - 1], 5513 + 221);
}

TEST_F(SequencerFixture, AnyValueEndsInsideTheRanges) {
    const double bad[] = {std::nan(""), 9999.99, -9999.99, 1e300};
    for (double x : bad) {
        for (int32_t id = kFirst + 1; id < kFirst + 38; ++id)
            seq.applyValue(id, x, kFirst);
        EXPECT_GE(seq.length(), 1);
        EXPECT_LE(seq.length(), 32);
        for (int32_t k = 0; k < 32; ++k) {
            EXPECT_GE(seq.step(k), -26);
            EXPECT_LE(seq.step(k), 24);
        }
    }
    seq.noteInput(60, 100);
    run(44100); // a swing outside 0..1 must not stall the step check
}
