// Quellor.clap's audio thread never touches the heap: after a warm-up, process
// calls carrying notes, MIDI, the host's values and the notes' ends make no
// allocation on that thread. Seen through AddressSanitizer's allocation
// hooks, which the test build has; a build without them skips.
#include "clap/ClapTestHost.h"
#include "host/ProgramChunk.h"
#include "support/SanitizerAllocationHooks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
std::atomic<std::thread::id> countedThread{};

#if defined(__SANITIZE_ADDRESS__)
void mallocHook(const volatile void*, size_t) {
    if (counting.load(std::memory_order_relaxed) &&
        std::this_thread::get_id() == countedThread.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
}
void freeHook(const volatile void*) {}
#endif

} // namespace

TEST(ClapAudioThread, AllocatesNothing) {
#if !defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "no sanitizer allocation hooks in this build; the test build has them";
#else
    static const bool installed = __sanitizer_install_malloc_and_free_hooks(mallocHook, freeHook);
    (void)installed;
    ClapTestHost host;
    ASSERT_NE(host.open(), nullptr) << ClapTestHost::error();
    ASSERT_TRUE(host.start());
    ASSERT_TRUE(host.loadState(soundingProgramChunk()));
    host.onAudioThread([] { countedThread = std::this_thread::get_id(); });

    constexpr uint32_t kBlock = ClapTestHost::kBlockFrames;
    std::vector<float> left(kBlock), right(kBlock);
    // Everything the rounds hand over is made beforehand; the output list has
    // room for every note end.
    EventBuffer in, out;
    in.add(noteEvent(clap::kEventNoteOn, 0, 60, 0.8, 7));
    in.add(midiEvent(17, 0x90, 64, 100));
    in.add(paramEvent(100, 0, 0.6));
    in.add(midiEvent(150, 0xB0, 1, 64));
    in.add(paramEvent(200, 37, 0.4));
    in.add(noteEvent(clap::kEventNoteOff, 300, 60, 0.0, 7));
    in.add(midiEvent(400, 0x80, 64, 0));
    EventBuffer none;
    auto round = [&] {
        host.process(left.data(), right.data(), kBlock, in, out);
        for (int i = 0; i < 30; ++i)
            host.process(left.data(), right.data(), kBlock, none, out);
        out.clear();
    };
    for (int i = 0; i < 3; ++i)
        round();

    allocations = 0;
    counting = true;
    for (int i = 0; i < 10; ++i)
        round();
    counting = false;
    EXPECT_EQ(allocations.load(), 0);
    EXPECT_EQ(host.violations(), std::vector<std::string>());
#endif
}
