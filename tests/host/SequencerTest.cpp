// The pattern sequencers heard from outside: a program whose sequencer runs
// is restored through effSetChunk, a key is held, and the rendered output
// shows where each step started a note (a short pluck out of silence) or
// which steps sound at all (a held tone).
#include "base/ValueIds.h"
#include "host/HostRender.h"
#include "host/ProgramChunk.h"
#include "patch/CMemAssembler.h"
#include "patch/CProgram.h"
#include "patch/ParameterText.h"
#include "patch/ProgramFormat.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace {

constexpr double kRate = 44100.0;
constexpr int32_t kBlock = 512;
// One sixteenth at 120 BPM, and the 5 ms grid on which steps are checked.
constexpr double kStep = kRate * 15.0 / 120.0;
constexpr double kTolerance = kRate * 0.005;
constexpr int kRest = -26;
constexpr int kHold = -25;
constexpr uint8_t kKey = 60;

constexpr uint8_t kNoteOn = 0x90, kNoteOff = 0x80, kController = 0xb0;
constexpr uint8_t kSustainPedal = 64, kAllNotesOff = 123;

int64_t at(double steps) {
    return int64_t(steps * kStep);
}

struct SequencerSession {
    VstTestHost host;
    StereoSignal out;

    // Restores the program, then renders `frames` frames with the events.
    void play(CProgram& program, int64_t frames, const std::vector<TimedMidi>& events,
              int32_t block = kBlock, const std::function<void(int64_t, int32_t)>& hook = {}) {
        ASSERT_NE(host.open(), nullptr);
        host.start(float(kRate), block);
        ASSERT_TRUE(setChunk(host, programChunk(program)));
        out = renderThroughHost(host, frames, block, events, hook);
    }

    std::vector<int64_t> noteStarts() const {
        const float loudest = peak(out, 0, int64_t(out.size()));
        EXPECT_GT(loudest, 0.01f) << "the pattern should sound";
        // Quiet for 20 ms: a pluck has died away long before the next step.
        return onsets(out.left, loudest * 0.01f, int64_t(kRate * 0.02));
    }
};

CProgram pluckProgram(const std::vector<int>& steps, double swing = 0.0) {
    CProgram p;
    makeSineVoice(p, 0.0);
    runSequencer(p, 0, steps, 0, swing);
    return p;
}

CProgram toneProgram(const std::vector<int>& steps) {
    CProgram p;
    makeSineVoice(p, 0.6);
    runSequencer(p, 0, steps);
    return p;
}

std::vector<TimedMidi> keyHeld() {
    return {{0, kNoteOn, kKey, 100}};
}

// One onset per expected note start, each note start within 5 ms of its
// expected frame. The first note starts exactly at frame 0 (the key and the
// first step check share it), so its onset shows how long a voice takes from
// note on to audible sound; the others are measured net of that.
void expectNoteStartsAt(const std::vector<int64_t>& found, const std::vector<double>& expected) {
    ASSERT_EQ(found.size(), expected.size());
    ASSERT_EQ(expected[0], 0.0);
    const int64_t latency = found[0];
    EXPECT_LT(latency, int64_t(kRate * 0.002)) << "a voice should sound within 2 ms";
    for (size_t k = 0; k < found.size(); ++k)
        EXPECT_NEAR(double(found[k] - latency), expected[k], kTolerance) << "note " << k;
}

double loudness(const StereoSignal& s, double fromStep, double toStep) {
    return rms(s, at(fromStep), at(toStep));
}

// Level of a pitch between two step positions, in windows of a quarter step:
// each new note starts at its own phase, so longer windows would cancel.
double pitchLevel(const StereoSignal& s, int key, double fromStep, double toStep) {
    const double hz = 440.0 * std::pow(2.0, (key - 69) / 12.0);
    double sum = 0.0;
    int windows = 0;
    for (double w = fromStep; w + 0.25 <= toStep; w += 0.25, ++windows)
        sum += toneLevel(s, hz, kRate, at(w), at(w + 0.25));
    return windows ? sum / windows : 0.0;
}

// Silence, relative to a level that sounded: 40 dB down.
constexpr double kSilence = 0.01;

} // namespace

TEST(HostSequencer, EveryStepStartsOnTheSixteenthGrid) {
    for (int32_t block : {37, 512, 4096}) {
        SCOPED_TRACE(block);
        CProgram p = pluckProgram({0, 2, 4, 5, 7, 9, 11, 12});
        SequencerSession s;
        s.play(p, at(16.5), keyHeld(), block);
        std::vector<double> expected;
        for (int n = 0; n <= 16; ++n)
            expected.push_back(n * kStep);
        expectNoteStartsAt(s.noteStarts(), expected);
    }
}

TEST(HostSequencer, FullSwingAlternatesLongAndShortSixteenthsLongFirst) {
    CProgram p = pluckProgram({0, 0, 0, 0}, 1.0);
    SequencerSession s;
    s.play(p, at(12.5), keyHeld());
    std::vector<double> expected{0.0};
    for (int n = 0; n < 12; ++n)
        expected.push_back(expected.back() + (n % 2 == 0 ? 1.25 : 0.75) * kStep);
    expectNoteStartsAt(s.noteStarts(), expected);
}

// A hold keeps the previous note (no new start), a rest ends it.
TEST(HostSequencer, HoldsSustainThePreviousNoteAndRestsEndIt) {
    const std::vector<int> pattern{0, kHold, kHold, kRest, 4, kRest, kHold, kRest};
    {
        SequencerSession s;
        CProgram p = pluckProgram(pattern);
        s.play(p, at(12.5), keyHeld());
        expectNoteStartsAt(s.noteStarts(), {0.0, 4 * kStep, 8 * kStep, 12 * kStep});
    }
    SequencerSession s;
    CProgram p = toneProgram(pattern);
    s.play(p, at(8.0), keyHeld());
    // Measured from 10 ms into each step (checks run up to 5 ms late) to its end.
    const double sounding = loudness(s.out, 0.1, 1.0);
    ASSERT_GT(sounding, 0.01);
    const bool sounds[] = {true, true, true, false, true, false, false, false};
    for (int n = 0; n < 8; ++n) {
        const double level = loudness(s.out, n + 0.1, n + 1.0);
        if (sounds[n])
            EXPECT_GT(level, sounding * 0.5) << "step " << n;
        else
            EXPECT_LT(level, sounding * kSilence) << "step " << n;
    }
}

TEST(HostSequencer, ReleasingTheKeysStopsAtTheNextStepCheck) {
    SequencerSession s;
    CProgram p = toneProgram({0, 2, 4, 7});
    s.play(p, at(8.0), {{0, kNoteOn, kKey, 100}, {at(3.5), kNoteOff, kKey, 0}});
    const double held = loudness(s.out, 3.0, 3.5);
    EXPECT_GT(held, 0.01);
    // The check within 5 ms releases the voices; their release takes 5 ms more.
    const int64_t quietFrom = at(3.5) + int64_t(kRate * 0.015);
    EXPECT_LT(rms(s.out, quietFrom, at(8.0)), held * kSilence);
}

TEST(HostSequencer, SustainPedalKeepsThePatternUntilItIsLifted) {
    SequencerSession s;
    CProgram p = toneProgram({0, 2, 4, 7});
    s.play(p, at(12.0),
           {{0, kNoteOn, kKey, 100},
            {at(2.5), kController, kSustainPedal, 127},
            {at(3.5), kNoteOff, kKey, 0},
            {at(8.5), kController, kSustainPedal, 0}});
    const double held = loudness(s.out, 0.1, 3.5);
    ASSERT_GT(held, 0.01);
    for (int n = 4; n < 8; ++n)
        EXPECT_GT(loudness(s.out, n + 0.1, n + 1.0), held * 0.5) << "step " << n;
    EXPECT_GT(loudness(s.out, 8.1, 8.5), held * 0.5);
    const int64_t quietFrom = at(8.5) + int64_t(kRate * 0.015);
    EXPECT_LT(rms(s.out, quietFrom, at(12.0)), held * kSilence);
}

// Two sequencers, the second a fifth up: both pitches sound, and an
// all-notes-off silences both although the key stays down.
TEST(HostSequencer, TwoSequencersPlayTogetherAndAllNotesOffStopsBoth) {
    CProgram one = toneProgram({0, kHold});
    CProgram two = toneProgram({0, kHold});
    runSequencer(two, 1, {0, kHold}, 7);

    SequencerSession single;
    single.play(one, at(4.0), keyHeld());
    SequencerSession both;
    both.play(two, at(12.0),
              {{0, kNoteOn, kKey, 100},
               {at(4.5), kController, kAllNotesOff, 0},
               {at(8.0), kNoteOff, kKey, 0},
               {at(9.0), kNoteOn, kKey, 100}});

    const double alone = pitchLevel(single.out, kKey, 0.25, 4.0);
    ASSERT_GT(alone, 0.005);
    EXPECT_LT(pitchLevel(single.out, kKey + 7, 0.25, 4.0), alone * 0.1);
    EXPECT_GT(pitchLevel(both.out, kKey, 0.25, 4.0), alone * 0.7);
    EXPECT_GT(pitchLevel(both.out, kKey + 7, 0.25, 4.0), alone * 0.7);

    const double level = loudness(both.out, 0.25, 4.0);
    const int64_t quietFrom = at(4.5) + int64_t(kRate * 0.015);
    EXPECT_LT(rms(both.out, quietFrom, at(9.0)), level * kSilence);
    // Both still run: the next key starts them again.
    EXPECT_GT(pitchLevel(both.out, kKey, 9.25, 12.0), alone * 0.7);
    EXPECT_GT(pitchLevel(both.out, kKey + 7, 9.25, 12.0), alone * 0.7);
}

// The host's tempo is read every block; a change moves the step clock's rate
// at once and keeps its phase: no step is skipped or played twice.
TEST(HostSequencer, TempoChangeMidPatternChangesTheStepRateAtOnce) {
    struct Case {
        double before, after;
    };
    for (const Case c : {Case{120, 240}, Case{120, 60}, Case{200, 90}}) {
        SCOPED_TRACE(std::to_string(c.before) + " -> " + std::to_string(c.after));
        constexpr int64_t kChange = 48 * kBlock; // between two blocks, inside a step
        const double stepBefore = kRate * 15.0 / c.before, stepAfter = kRate * 15.0 / c.after;
        const int64_t frames = kChange + int64_t(6.5 * stepAfter);
        SequencerSession s;
        CProgram p = pluckProgram({0, 2, 4, 7});
        s.play(p, frames, keyHeld(), kBlock, [&](int64_t first, int32_t) {
            s.host.time.tempo = first < kChange ? c.before : c.after;
        });
        std::vector<double> expected;
        for (int k = 0;; ++k) {
            const double t = k * stepBefore < kChange
                                 ? k * stepBefore
                                 : kChange + (k - kChange / stepBefore) * stepAfter;
            if (t >= double(frames) - kTolerance - 100) break;
            expected.push_back(t);
        }
        expectNoteStartsAt(s.noteStarts(), expected);
    }
}

// Tempos outside 10..300 act exactly as the nearest limit.
TEST(HostSequencer, HostTempoIsClampedTo10To300) {
    struct Case {
        double given, limit;
        int64_t frames;
    };
    for (const Case c :
         {Case{1000.0, 300.0, at(3.0)}, Case{301.0, 300.0, at(3.0)},
          Case{5.0, 10.0, int64_t(kRate * 1.6)}, Case{0.0, 10.0, int64_t(kRate * 1.6)},
          Case{-120.0, 10.0, int64_t(kRate * 1.6)}}) {
        SCOPED_TRACE(c.given);
        auto playAt = [&](double tempo) {
            SequencerSession s;
            CProgram p = pluckProgram({0, 2});
            s.play(p, c.frames, keyHeld(), kBlock,
                   [&](int64_t, int32_t) { s.host.time.tempo = tempo; });
            return s.out;
        };
        const StereoSignal outside = playAt(c.given), limit = playAt(c.limit);
        ASSERT_EQ(outside.left, limit.left);
        ASSERT_EQ(outside.right, limit.right);
        // And the limit itself is what it says: two steps in the rendered time.
        const float loudest = peak(limit, 0, c.frames);
        const std::vector<int64_t> starts = onsets(limit.left, loudest * 0.01f, 400);
        ASSERT_GE(starts.size(), 2u);
        EXPECT_NEAR(double(starts[1] - starts[0]), kRate * 15.0 / c.limit, kTolerance);
    }
}

// NaN (and absurd) values in a restored chunk end inside the sequencer's
// ranges: the program reads back sane display texts and renders finite output.
TEST(HostSequencer, DamagedChunkValuesEndInsideTheirRanges) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (double bad : {nan, inf, -inf, 1e300, -1e300}) {
        SCOPED_TRACE(bad);
        CProgram p;
        makeSineVoice(p, 0.6);
        runSequencer(p, 0, {0, 2});
        runSequencer(p, 1, {0, 2});
        for (SequencerPatch& q : p.sequencers) {
            q.length = bad;
            q.transpose = bad;
            q.swing = bad;
            for (double& step : q.steps)
                step = bad;
        }
        SequencerSession s;
        s.play(p, at(6.0), keyHeld());
        EXPECT_TRUE(allFinite(s.out));

        void* data = nullptr;
        const VstIntPtr n = s.host.dispatch(effGetChunk, 1, 0, &data);
        ASSERT_GT(n, 0);
        CMemAssembler reader;
        uint8_t* buffer = reader.setBuffer(int32_t(n));
        ASSERT_NE(buffer, nullptr);
        std::memcpy(buffer, data, size_t(n));
        CProgram back;
        ASSERT_TRUE(loadProgram(back, reader, false));
        for (int which = 0; which < kSequencerCount; ++which) {
            const int first = kSequencer1FirstId + kSequencerIdStride * which;
            auto text = [&](int id) {
                char t[64] = {};
                formatParameterDisplay(back, id, '.', t, sizeof t);
                return std::string(t);
            };
            const int length = std::stoi(text(first + kSequencerLengthOffset));
            EXPECT_TRUE(length >= 1 && length <= 32) << length;
            const int transpose = std::stoi(text(first + kSequencerTransposeOffset));
            EXPECT_TRUE(transpose >= -24 && transpose <= 24) << transpose;
            for (int k = 0; k < kSequencerStepCount; ++k) {
                const std::string step = text(first + kSequencerStepsOffset + k);
                if (step == "-----" || step == "SUS") continue;
                const int v = std::stoi(step);
                EXPECT_TRUE(v >= -24 && v <= 24) << step;
            }
        }
    }
}

// A host may change the sample rate between blocks without a suspend: the
// sequencer tick in progress must fit the new rate's shorter tick, and very
// low rates still step.
TEST(HostSequencer, SampleRateChangeWhileAPatternPlays) {
    for (float lowRate : {8000.0f, 100.0f}) {
        SCOPED_TRACE(lowRate);
        VstTestHost host;
        ASSERT_NE(host.open(), nullptr);
        host.start(192000.0f, 100);
        CProgram p = pluckProgram({0, 2, 4, 7});
        ASSERT_TRUE(setChunk(host, programChunk(p)));
        // 500 frames: the 960-frame tick at 192 kHz is half done.
        StereoSignal before = renderThroughHost(host, 500, 100, keyHeld());
        EXPECT_GT(peak(before, 0, 500), 0.0f);
        host.dispatch(effSetSampleRate, 0, 0, nullptr, lowRate);
        const int64_t frames = int64_t(lowRate) * 2;
        const StereoSignal after = renderThroughHost(host, frames, 64, {});
        EXPECT_TRUE(allFinite(after));
        const float loudest = peak(after, 0, frames);
        EXPECT_GT(loudest, 0.0f);
        if (lowRate == 8000.0f) {
            // Two seconds at 120 BPM hold 16 steps, the pattern going on.
            const size_t starts = onsets(after.left, loudest * 0.01f, 160).size();
            EXPECT_GE(starts, 15u);
            EXPECT_LE(starts, 17u);
        }
    }
}
