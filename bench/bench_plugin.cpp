// The whole plug-in through its entry point, as a host runs it: 44.1 kHz,
// 512-frame processReplacing calls, 24 voices holding the typical patch
// (eight operators, ten matrix cells, both filters low-pass with resonance,
// four envelopes), effects off. The real-time factor is audio seconds rendered
// per CPU second on one core; ns_per_voice_frame the CPU time of one voice's
// frame (the master section's share included). The argument is the quality the instance starts
// with: 1 plain, 2 the high-quality mode (voices at twice the rate).
//
// QUELLOR_BENCH_PLUGIN names another build of the plug-in library to measure
// instead of this one (old and new side by side from one benchmark binary).
#include "host/ProgramChunk.h"
#include "vst/VstAbi.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kBlock = 512;
constexpr double kRate = 44100.0;
constexpr int kVoices = 24;

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

struct Plugin {
    void* library = nullptr;
    AEffect* effect = nullptr;
    explicit Plugin(int quality) {
        // Read by the instance when it starts; wins over the user's settings.
        setenv("QUELLOR_QUALITY", quality == 2 ? "2" : "1", 1);
        const char* other = std::getenv("QUELLOR_BENCH_PLUGIN");
        const char* path = other && *other ? other : QUELLOR_PLUGIN_PATH;
        library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            std::fprintf(stderr, "cannot load %s\n", path);
            std::exit(1);
        }
        auto entry =
            reinterpret_cast<AEffect* (*)(audioMasterCallback)>(dlsym(library, "VSTPluginMain"));
        effect = entry(host);
        effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
        effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, float(kRate));
        effect->dispatcher(effect, effSetBlockSize, 0, kBlock, nullptr, 0.0f);
        effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
        std::vector<uint8_t> chunk = typicalPatchChunk();
        effect->dispatcher(effect, effSetChunk, 1, VstIntPtr(chunk.size()), chunk.data(), 0.0f);
    }
    ~Plugin() {
        effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
        effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
        dlclose(library);
    }
};

void BM_PluginTwentyFourVoices(benchmark::State& state) {
    Plugin plugin(int(state.range(0)));
    state.SetLabel(state.range(0) == 2 ? "high quality" : "plain");
    AEffect* e = plugin.effect;
    std::vector<float> left(kBlock), right(kBlock);
    float* outputs[2] = {left.data(), right.data()};

    // 24 held notes, two octaves from C2.
    struct {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[kVoices];
    } list = {kVoices, 0, {}};
    VstMidiEvent notes[kVoices] = {};
    for (int i = 0; i < kVoices; ++i) {
        notes[i].type = kVstMidiType;
        notes[i].byteSize = sizeof(VstMidiEvent);
        notes[i].midiData[0] = char(0x90);
        notes[i].midiData[1] = char(36 + i);
        notes[i].midiData[2] = 100;
        list.events[i] = reinterpret_cast<VstEvent*>(&notes[i]);
    }
    e->dispatcher(e, effProcessEvents, 0, 0, &list, 0.0f);
    e->processReplacing(e, nullptr, outputs, kBlock);

    // Each block's own time as well: its median leaves out the blocks that
    // other work on this shared machine held up, and its fastest tenth shows
    // the speed when nothing else shares the core (every block does the same
    // work once the notes sustain).
    std::vector<double> blockSeconds;
    blockSeconds.reserve(1 << 20);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        e->processReplacing(e, nullptr, outputs, kBlock);
        benchmark::DoNotOptimize(left.data());
        benchmark::ClobberMemory();
        if (blockSeconds.size() < blockSeconds.capacity())
            blockSeconds.push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    const double frames = double(state.iterations()) * kBlock;
    state.SetItemsProcessed(int64_t(frames));
    // Audio seconds per CPU second.
    state.counters["realtime_factor"] =
        benchmark::Counter(frames / kRate, benchmark::Counter::kIsRate);
    // CPU seconds per (voice frames / 1e9): nanoseconds.
    state.counters["ns_per_voice_frame"] = benchmark::Counter(
        frames * kVoices * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    if (!blockSeconds.empty()) {
        auto middle = blockSeconds.begin() + blockSeconds.size() / 2;
        std::nth_element(blockSeconds.begin(), middle, blockSeconds.end());
        state.counters["median_block_realtime_factor"] = kBlock / kRate / *middle;
        state.counters["median_block_ns_per_voice_frame"] = *middle * 1e9 / (kBlock * kVoices);
        auto tenth = blockSeconds.begin() + blockSeconds.size() / 10;
        std::nth_element(blockSeconds.begin(), tenth, middle);
        state.counters["fastest_tenth_block_realtime_factor"] = kBlock / kRate / *tenth;
    }
}

} // namespace

// This machine is shared: other work slows single repetitions by up to a
// third, so the run repeats and reports the spread. In the _max row the
// realtime_factor is the fastest repetition's (the time columns there are the
// slowest repetition's).
BENCHMARK(BM_PluginTwentyFourVoices)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0)
    ->Repetitions(7)
    ->ComputeStatistics("max", [](const std::vector<double>& v) {
        return *std::max_element(v.begin(), v.end());
    });
BENCHMARK_MAIN();
