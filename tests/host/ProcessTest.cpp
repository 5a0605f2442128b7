// Block calls and MIDI events through the record: replacing against
// accumulating output, odd frame counts, the host's tempo, foreign events.
#include "host/VstTestHost.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr VstInt32 kBlock = 512;

// A stereo pair of host buffers.
struct Buffers {
    explicit Buffers(size_t frames, float fill = 0.0f) : left(frames, fill), right(frames, fill) {}
    float** pointers() {
        out[0] = left.data();
        out[1] = right.data();
        return out;
    }
    std::vector<float> left, right;
    float* out[2];
};

bool silent(const Buffers& b) {
    for (size_t i = 0; i < b.left.size(); ++i)
        if (b.left[i] != 0.0f || b.right[i] != 0.0f) return false;
    return true;
}

// A fresh instance that has heard events and rendered blocks blocks
// (replacing), all output appended to result.
void renderWith(VstTestHost& host, EventList& events, int blocks, Buffers& result) {
    ASSERT_NE(host.open(), nullptr);
    host.start(44100.0f, kBlock);
    ASSERT_TRUE(host.loadSoundingProgram());
    host.dispatch(effProcessEvents, 0, 0, events.record());
    for (int b = 0; b < blocks; ++b) {
        Buffers block(kBlock);
        host.effect()->processReplacing(host.effect(), nullptr, block.pointers(), kBlock);
        result.left.insert(result.left.end(), block.left.begin(), block.left.end());
        result.right.insert(result.right.end(), block.right.begin(), block.right.end());
    }
    host.close();
}

EventList noteOn(uint8_t key) {
    EventList events;
    events.addMidi(0x90, key, 100, 0);
    return events;
}

} // namespace

TEST(HostProcess, ReplacingOverwritesAndAccumulatingAdds) {
    EventList events = noteOn(60);
    VstTestHost replacing, accumulating;
    ASSERT_NE(replacing.open(), nullptr);
    ASSERT_NE(accumulating.open(), nullptr);
    replacing.start();
    accumulating.start();
    ASSERT_TRUE(replacing.loadSoundingProgram());
    ASSERT_TRUE(accumulating.loadSoundingProgram());
    replacing.dispatch(effProcessEvents, 0, 0, events.record());
    accumulating.dispatch(effProcessEvents, 0, 0, events.record());
    constexpr float kPrevious = 0.5f;
    bool sounded = false;
    for (int block = 0; block < 8; ++block) {
        Buffers replaced(kBlock, 1000.0f), added(kBlock, kPrevious);
        replacing.effect()->processReplacing(replacing.effect(), nullptr, replaced.pointers(),
                                             kBlock);
        accumulating.effect()->process(accumulating.effect(), nullptr, added.pointers(), kBlock);
        for (VstInt32 i = 0; i < kBlock; ++i) {
            ASSERT_EQ(added.left[i], kPrevious + replaced.left[i]) << block << ":" << i;
            ASSERT_EQ(added.right[i], kPrevious + replaced.right[i]) << block << ":" << i;
        }
        sounded = sounded || !silent(replaced);
    }
    EXPECT_TRUE(sounded) << "a held note should make the comparison meaningful";
}

TEST(HostProcess, EmptyAndNegativeBlocksRenderNothing) {
    VstTestHost host;
    ASSERT_NE(host.open(), nullptr);
    host.start();
    for (VstInt32 frames : {0, -1, -kBlock, INT32_MIN}) {
        Buffers b(kBlock, 7.0f);
        host.effect()->processReplacing(host.effect(), nullptr, b.pointers(), frames);
        host.effect()->process(host.effect(), nullptr, b.pointers(), frames);
        for (VstInt32 i = 0; i < kBlock; ++i)
            ASSERT_TRUE(b.left[i] == 7.0f && b.right[i] == 7.0f) << frames;
    }
    // A host without output buffers gets nothing either.
    host.effect()->processReplacing(host.effect(), nullptr, nullptr, kBlock);
    float* missing[2] = {nullptr, nullptr};
    host.effect()->processReplacing(host.effect(), nullptr, missing, kBlock);
}

// A block of 0 frames renders nothing but still takes the events queued for
// it: a note sent before such a call must not sound in the next block. A
// negative count is no block at all and leaves the queue alone.
TEST(HostProcess, EmptyBlockDropsTheEventsQueuedForIt) {
    struct Case {
        const char* call;
        VstInt32 frames;
        bool replacing;
        bool sounds;
    };
    for (const Case& c :
         {Case{"processReplacing", 0, true, false}, Case{"process", 0, false, false},
          Case{"processReplacing", -1, true, true}}) {
        VstTestHost host;
        ASSERT_NE(host.open(), nullptr);
        host.start(44100.0f, kBlock);
        ASSERT_TRUE(host.loadSoundingProgram());
        EventList events = noteOn(60);
        host.dispatch(effProcessEvents, 0, 0, events.record());
        Buffers none(kBlock);
        if (c.replacing)
            host.effect()->processReplacing(host.effect(), nullptr, none.pointers(), c.frames);
        else
            host.effect()->process(host.effect(), nullptr, none.pointers(), c.frames);
        Buffers next(kBlock);
        host.effect()->processReplacing(host.effect(), nullptr, next.pointers(), kBlock);
        EXPECT_EQ(!silent(next), c.sounds) << c.call << " with " << c.frames << " frames";
        host.close();
    }
}

TEST(HostProcess, BlocksLargerThanAnnouncedAreRenderedWhole) {
    VstTestHost host;
    ASSERT_NE(host.open(), nullptr);
    host.start(44100.0f, 256);
    ASSERT_TRUE(host.loadSoundingProgram());
    EventList events = noteOn(64);
    host.dispatch(effProcessEvents, 0, 0, events.record());
    constexpr VstInt32 kFrames = 100000;
    Buffers b(kFrames, std::nanf(""));
    host.effect()->processReplacing(host.effect(), nullptr, b.pointers(), kFrames);
    for (VstInt32 i = 0; i < kFrames; ++i)
        ASSERT_TRUE(std::isfinite(b.left[i]) && std::isfinite(b.right[i])) << i;
}

TEST(HostProcess, TempoIsAskedForEveryBlock) {
    VstTestHost host;
    ASSERT_NE(host.open(), nullptr);
    host.start();
    Buffers b(kBlock);
    for (int i = 0; i < 3; ++i)
        host.effect()->processReplacing(host.effect(), nullptr, b.pointers(), kBlock);
    host.effect()->process(host.effect(), nullptr, b.pointers(), kBlock);
    EXPECT_EQ(host.counters.getTime, 4);
}

// The tempo reaches the sound only through tempo-synced parts; the delay in
// sync mode is one. A host without time information must sound like a host
// at 140 BPM, and unlike one at 70.
TEST(HostProcess, HostWithoutTempoRunsAt140) {
    auto render = [](bool giveTime, double tempo, VstInt32 tempoFlags) {
        VstTestHost host;
        host.giveTime = giveTime;
        host.time.tempo = tempo;
        host.time.flags = tempoFlags;
        EventList events = noteOn(60);
        events.addMidi(0x80, 60, 0, 200);
        Buffers out(0);
        EXPECT_NE(host.open(), nullptr);
        host.start(44100.0f, kBlock);
        EXPECT_TRUE(host.loadSoundingProgram());
        const struct {
            VstInt32 id;
            float value;
        } delay[] = {{12, 1.0f}, {11, 1.0f}, {10, 1.0f}, {8, 0.5f},
                     {3, 0.0f},  {4, 0.3f},  {6, 0.3f}};
        for (const auto& p : delay)
            host.setParameter(p.id, p.value);
        host.dispatch(effProcessEvents, 0, 0, events.record());
        for (int b = 0; b < 80; ++b) {
            Buffers block(kBlock);
            host.effect()->processReplacing(host.effect(), nullptr, block.pointers(), kBlock);
            out.left.insert(out.left.end(), block.left.begin(), block.left.end());
        }
        return out.left;
    };
    const std::vector<float> without = render(false, 0.0, 0);
    const std::vector<float> invalid = render(true, 70.0, 0); // tempo flag missing
    const std::vector<float> at140 = render(true, 140.0, kVstTempoValid);
    const std::vector<float> at70 = render(true, 70.0, kVstTempoValid);
    EXPECT_EQ(without, at140);
    EXPECT_EQ(invalid, at140);
    EXPECT_NE(at70, at140);
}

TEST(HostProcess, SysexBetweenNotesChangesNothing) {
    EventList plain, withSysex, firstOnly;
    plain.addMidi(0x90, 60, 100, 0);
    plain.addMidi(0x90, 67, 90, 100);
    withSysex.addSysex(0);
    withSysex.addMidi(0x90, 60, 100, 0);
    withSysex.addSysex(50);
    withSysex.addSysex(50);
    withSysex.addMidi(0x90, 67, 90, 100);
    withSysex.addSysex(300);
    firstOnly.addMidi(0x90, 60, 100, 0);
    Buffers a(0), b(0), c(0);
    VstTestHost h1, h2, h3;
    renderWith(h1, plain, 4, a);
    renderWith(h2, withSysex, 4, b);
    renderWith(h3, firstOnly, 4, c);
    EXPECT_FALSE(silent(a));
    EXPECT_EQ(a.left, b.left);
    EXPECT_EQ(a.right, b.right);
    EXPECT_NE(a.left, c.left) << "the note after the sysex events must still play";
}

TEST(HostProcess, MalformedEventListsAreSurvived) {
    VstTestHost host;
    ASSERT_NE(host.open(), nullptr);
    host.start();
    EventList events = noteOn(60);
    VstEvents* record = events.record();
    record->numEvents = -5;
    EXPECT_EQ(host.dispatch(effProcessEvents, 0, 0, record), 1);
    // A null slot between events is skipped.
    EventList two;
    two.addMidi(0x90, 60, 100, 0);
    two.addMidi(0x90, 64, 100, 0);
    VstEvents* withHole = two.record();
    VstEvent** slots = withHole->events;
    slots[0] = nullptr;
    EXPECT_EQ(host.dispatch(effProcessEvents, 0, 0, withHole), 1);
    // Events before the block start or far past its end.
    EventList odd;
    odd.addMidi(0x90, 60, 100, -100);
    odd.addMidi(0x80, 60, 0, 1000000);
    EXPECT_EQ(host.dispatch(effProcessEvents, 0, 0, odd.record()), 1);
    Buffers b(kBlock);
    host.effect()->processReplacing(host.effect(), nullptr, b.pointers(), kBlock);
    for (VstInt32 i = 0; i < kBlock; ++i)
        ASSERT_TRUE(std::isfinite(b.left[i]) && std::isfinite(b.right[i]));
}
