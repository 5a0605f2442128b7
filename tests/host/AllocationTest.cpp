// The audio path never touches the heap: after a warm-up, block calls, MIDI
// events and parameter changes must make no allocation at all.
//
// Under AddressSanitizer (the test build) every malloc in the process, the
// plug-in library's included, is seen through the sanitizer's allocation
// hooks. Without it the test replaces the global operator new of this
// program, which sees only what reaches that operator.
#include "base/ValueIds.h"
#include "host/VoiceHost.h"
#include "host/VstTestHost.h"
#include "support/SanitizerAllocationHooks.h"
#include "support/ScopedEnv.h"
#include "support/SndfileWriter.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <new>
#include <string>
#include <vector>

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void noteAllocation() {
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
}

#if defined(__SANITIZE_ADDRESS__)
void mallocHook(const volatile void*, size_t) {
    noteAllocation();
}
void freeHook(const volatile void*) {}

void installCounter() {
    static const bool installed = __sanitizer_install_malloc_and_free_hooks(mallocHook, freeHook);
    (void)installed;
}
#else
void installCounter() {}
#endif

// Counts allocations made while it lives.
class AllocationCount {
public:
    AllocationCount() {
        installCounter();
        allocations = 0;
        counting = true;
    }
    ~AllocationCount() { counting = false; }
    long made() const { return allocations.load(); }
};

} // namespace

#if !defined(__SANITIZE_ADDRESS__)
void* operator new(size_t size) {
    noteAllocation();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
#endif

// In the plain mode and with the voices at twice the rate (QUELLOR_QUALITY=2).
void checkAudioPathAllocatesNothing(const char* quality) {
    SCOPED_TRACE(std::string("quality ") + quality);
    ScopedEnv setting("QUELLOR_QUALITY", quality);
    constexpr VstInt32 kBlock = 512;
    VstTestHost host;
    ASSERT_NE(host.open(), nullptr);
    host.start(44100.0f, kBlock);
    ASSERT_TRUE(host.loadSoundingProgram());

    // Everything the loop below hands over is made beforehand.
    EventList notes;
    notes.addMidi(0x90, 60, 100, 0);
    notes.addMidi(0x90, 64, 100, 17);
    notes.addSysex(20);
    notes.addMidi(0xB0, 1, 64, 30); // modulation wheel
    notes.addMidi(0xE0, 0, 80, 40); // pitch bend
    notes.addMidi(0x80, 60, 0, 300);
    notes.addMidi(0x80, 64, 0, 400);
    VstEvents* record = notes.record();
    std::vector<float> left(kBlock), right(kBlock);
    float* outputs[2] = {left.data(), right.data()};
    AEffect* e = host.effect();

    // Every effect runs through the counted blocks: the four switches stay on
    // while all other host parameters move.
    auto isEffectSwitch = [](VstInt32 id) { return id == 12 || id == 19 || id == 32 || id == 33; };
    auto round = [&](int i) {
        e->dispatcher(e, effProcessEvents, 0, 0, record, 0.0f);
        for (VstInt32 id = 0; id < 43; ++id)
            e->setParameter(e, id, isEffectSwitch(id) ? 1.0f : float((id + i) % 11) / 10.0f);
        e->processReplacing(e, nullptr, outputs, kBlock);
        e->process(e, nullptr, outputs, kBlock);
    };
    for (int i = 0; i < 4; ++i)
        round(i);
    for (VstInt32 id : {12, 19, 32, 33})
        ASSERT_EQ(e->getParameter(e, id), 1.0f);

    long made = 0;
    {
        AllocationCount count;
        for (int i = 0; i < 40; ++i)
            round(i);
        made = count.made();
    }
    EXPECT_EQ(made, 0);
}

TEST(HostAllocation, AudioPathAllocatesNothing) {
    checkAudioPathAllocatesNothing("1");
    checkAudioPathAllocatesNothing("2");
}

namespace {

// A short looping WAV file for the sample layer.
std::string writeLoopWav() {
    const std::string path = testing::TempDir() + "quellor-host-allocation.wav";
    std::vector<float> frames(2 * 4410);
    for (size_t i = 0; i < frames.size(); ++i)
        frames[i] = 0.3f * float(std::sin(0.05 * double(i / 2)));
    if (!writeSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, frames))
        return std::string();
    return path;
}

// Everything a note can set going at once: operators through both filters,
// envelopes of several kinds (one tempo-synced, one free-running, one
// looping), velocity and key curves, and a sampler slot with a sample.
CProgram busyProgram(const std::string& samplePath) {
    CProgram p = quietProgram();
    for (int op = 0; op < 4; ++op)
        ratioOperator(p, op, 1.0 + op, op < 2 ? 0.6 : 0.0, 0.2 * op - 0.3, 0.0);
    p.setValue(kOperatorFirstId + kOperatorIdStride * 2 + kOperatorModulationOffset + 0, 0.8);
    p.setValue(kOperatorFirstId + kOperatorIdStride * 3 + kOperatorModulationOffset + 8, 0.9);
    p.setValue(kFilterFirstId + kFilterLevelOffset, 0.8);
    p.setValue(kFilterCutoffId[0], 0.6);
    p.setValue(kFilterResonanceId[0], 0.4);
    p.setValue(kFilterModeId[0], 1.0 / 3.0);
    while (p.envelopeCount < 5)
        p.addEnvelope();
    const int kinds[] = {kTargetAmplitude, kTargetPitch, kTargetCutoff, kTargetMixLevelMult,
                         kTargetPanning};
    for (int i = 0; i < 5; ++i) {
        CEnvelope& e = p.envelopes[i];
        e.targetKind = kinds[i];
        for (int d = 0; d <= kEnvelopeSampleDestination; ++d)
            e.setDepth(d, 0.5);
        e.setDelta(1, 0.05 + 0.02 * i);
        p.velocityCurves[i].setLevel(1, 0.3);
        p.keyCurves[i].setLevel(0, 0.5);
    }
    p.envelopes[1].tempoSync = true;
    p.envelopes[2].freeRunning = true;
    p.envelopes[3].insertPoint(1);
    p.envelopes[3].setLoopEnd(2);
    p.envelopes[4].controller = 0; // modulation wheel
    std::snprintf(p.sampleSlots[0].samplePath, sizeof p.sampleSlots[0].samplePath, "%s",
                  samplePath.c_str());
    p.setValue(kSampleSlotFirstId + kSampleSlotLevelOffset, 0.9);
    p.setValue(kSampleSlotFirstId + kSampleSlotSendFilter1Offset, 0.8);
    p.setValue(kSampleLevelId, 0.8);
    p.setValue(kGlideFactorId, 0.5);
    p.setValue(kVoiceCountId, 5.0 / 23.0); // 6 voices: the notes below steal
    return p;
}

} // namespace

// Notes starting fresh voices, stealing and retriggering them, releases,
// voices ending, the sample layer starting, the pedal and controllers: all
// inside the counted section.
TEST(HostAllocation, NotesEnvelopesAndSamplesAllocateNothing) {
    constexpr VstInt32 kBlock = 256;
    const std::string path = writeLoopWav();
    ASSERT_FALSE(path.empty());
    CProgram program = busyProgram(path);
    std::vector<uint8_t> chunk = chunkOf(program);
    VstTestHost host;
    ASSERT_NE(host.open(), nullptr);
    host.start(44100.0f, kBlock);
    ASSERT_EQ(host.dispatch(effSetChunk, 1, VstIntPtr(chunk.size()), chunk.data()), 1);

    // Eight event lists made beforehand, played in turn.
    std::vector<EventList> lists(8);
    for (int i = 0; i < 8; ++i) {
        EventList& l = lists[size_t(i)];
        for (int n = 0; n < 4; ++n)
            l.addMidi(0x90, uint8_t(36 + 7 * i + 5 * n), uint8_t(30 + 20 * n), 10 * n);
        l.addMidi(0xB0, 64, i % 3 == 0 ? 127 : 0, 50);
        l.addMidi(0xB0, 1, uint8_t(16 * i), 60);
        l.addMidi(0xE0, 0, uint8_t(8 * i), 70);
        for (int n = 0; n < 4; n += 2)
            l.addMidi(0x80, uint8_t(36 + 7 * ((i + 7) % 8) + 5 * n), 0, 100 + n);
        if (i == 5) l.addMidi(0xB0, 123, 0, 200);
    }
    std::vector<VstEvents*> records;
    for (EventList& l : lists)
        records.push_back(l.record());
    std::vector<float> left(kBlock), right(kBlock);
    float* outputs[2] = {left.data(), right.data()};
    AEffect* e = host.effect();
    auto round = [&](int i) {
        e->dispatcher(e, effProcessEvents, 0, 0, records[size_t(i % 8)], 0.0f);
        for (int b = 0; b < 6; ++b)
            e->processReplacing(e, nullptr, outputs, kBlock);
    };
    for (int i = 0; i < 8; ++i)
        round(i);

    long made = 0;
    float loudest = 0.0f;
    {
        AllocationCount count;
        for (int i = 0; i < 48; ++i) {
            round(i);
            for (float v : left)
                loudest = std::max(loudest, std::fabs(v));
        }
        made = count.made();
    }
    EXPECT_EQ(made, 0);
    EXPECT_GT(loudest, 0.01f) << "the counted section must have sounded";
}

// The counter must see the plug-in's own allocations, or the test above
// would pass for the wrong reason: creating an instance allocates.
TEST(HostAllocation, CounterSeesThePluginsAllocations) {
    VstTestHost host;
    long made = 0;
    {
        AllocationCount count;
        host.open();
        made = count.made();
    }
    ASSERT_NE(host.effect(), nullptr);
    EXPECT_GT(made, 0);
}
