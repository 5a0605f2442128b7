// The audio path never touches the heap: after a warm-up, block calls, MIDI
// events and parameter changes must make no allocation at all.
//
// Under AddressSanitizer (the test build) every malloc in the process, the
// plug-in library's included, is seen through the sanitizer's allocation
// hooks. Without it the test replaces the global operator new of this
// program, which sees only what reaches that operator.
#include "host/VstTestHost.h"

#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <new>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) && !defined(__SANITIZE_ADDRESS__)
#define __SANITIZE_ADDRESS__ 1
#endif
#endif

#if defined(__SANITIZE_ADDRESS__)
#if __has_include(<sanitizer/allocator_interface.h>)
#include <sanitizer/allocator_interface.h>
#else
// GCC ships the sanitizer runtime without this header; the runtime exports
// the function all the same.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*,
                                                                            size_t),
                                                         void (*freeHook)(const volatile void*));
#endif
#endif

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

TEST(HostAllocation, AudioPathAllocatesNothing) {
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
