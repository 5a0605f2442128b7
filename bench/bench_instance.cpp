// What one instance costs a host: the entry point, effOpen, the sample rate
// (48 kHz), the block size (512) and resume, as a host does when it adds the
// plug-in to a track. Time per instance, and resident memory per instance
// with 16 instances alive in one process. The argument is the data root: 1
// the factory data folder, 0 an empty folder (no banks, so no first program
// to load).
//
// QUELLOR_BENCH_PLUGIN names another build of the plug-in library to measure
// instead of this one (old and new side by side from one benchmark binary).
// Under valgrind --tool=callgrind --toggle-collect='*quellorBenchOpen*' the
// counts cover instance creation alone.
#include "vst/VstAbi.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <malloc.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr float kRate = 48000.0f;
constexpr VstIntPtr kBlock = 512;
constexpr int kInstances = 16;
constexpr double kMegabyte = 1024.0 * 1024.0;

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

using Entry = AEffect* (*)(audioMasterCallback);

const char* pluginPath() {
    const char* other = std::getenv("QUELLOR_BENCH_PLUGIN");
    return other && *other ? other : QUELLOR_PLUGIN_PATH;
}

// An empty folder for the runs without factory data, made once.
const std::string& emptyRoot() {
    static const std::string folder = [] {
        char name[] = "/tmp/quellor-bench-rootXXXXXX";
        const char* made = mkdtemp(name);
        return std::string(made ? made : "/nonexistent-quellor-root");
    }();
    return folder;
}

// The library loaded afresh for one benchmark: the data root is read once per
// process by the library's first instance, so each root needs its own load.
struct Library {
    void* handle = nullptr;
    Entry entry = nullptr;
    explicit Library(bool factoryData) {
        setenv("QUELLOR_ROOT", factoryData ? QUELLOR_DATA_ROOT : emptyRoot().c_str(), 1);
        setenv("QUELLOR_QUALITY", "1", 1);
        handle = dlopen(pluginPath(), RTLD_NOW | RTLD_LOCAL);
        if (handle) entry = reinterpret_cast<Entry>(dlsym(handle, "VSTPluginMain"));
    }
    ~Library() {
        if (handle) dlclose(handle);
    }
};

// Kept out of line so that callgrind can count it alone.
__attribute__((noinline)) AEffect* quellorBenchOpen(Entry entry) {
    AEffect* e = entry(host);
    if (!e) return nullptr;
    e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, kRate);
    e->dispatcher(e, effSetBlockSize, 0, kBlock, nullptr, 0.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    return e;
}

void closeInstance(AEffect* e) {
    e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
}

double residentBytes() {
    long pages = 0, resident = 0;
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return 0.0;
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
    return double(resident) * double(sysconf(_SC_PAGESIZE));
}

// Pages the process has touched for the first time so far (minor faults):
// on a fresh heap, much of an instance's time goes into them.
double pageFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_minflt);
}

bool ready(benchmark::State& state, const Library& library) {
    if (library.entry) return true;
    state.SkipWithError((std::string("cannot load ") + pluginPath()).c_str());
    return false;
}

void BM_InstanceOpen(benchmark::State& state) {
    Library library(state.range(0) != 0);
    if (!ready(state, library)) return;
    state.SetLabel(state.range(0) ? "factory data" : "empty root");
    for (auto _ : state) {
        AEffect* e = quellorBenchOpen(library.entry);
        state.PauseTiming();
        if (!e) {
            state.SkipWithError("the entry point returned no instance");
            break;
        }
        closeInstance(e);
        state.ResumeTiming();
    }
}

// 16 instances alive at once. The memory counter is the rise in resident
// memory while they are created, per instance; freed memory goes back to the
// system between rounds, so each round starts from the same footing, and the
// largest round counts.
void BM_SixteenInstances(benchmark::State& state) {
    Library library(state.range(0) != 0);
    if (!ready(state, library)) return;
    state.SetLabel(state.range(0) ? "factory data" : "empty root");
    std::array<AEffect*, kInstances> instances{};
    double mostPerInstance = 0.0, faults = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        malloc_trim(0);
        const double before = residentBytes();
        const double faultsBefore = pageFaults();
        state.ResumeTiming();
        for (AEffect*& e : instances)
            e = quellorBenchOpen(library.entry);
        state.PauseTiming();
        faults += pageFaults() - faultsBefore;
        const double perInstance = (residentBytes() - before) / kInstances;
        mostPerInstance = std::max(mostPerInstance, perInstance);
        bool missing = false;
        for (AEffect*& e : instances) {
            if (e)
                closeInstance(e);
            else
                missing = true;
            e = nullptr;
        }
        state.ResumeTiming();
        if (missing) {
            state.SkipWithError("the entry point returned no instance");
            break;
        }
    }
    state.counters["resident_MB_per_instance"] = mostPerInstance / kMegabyte;
    state.counters["page_faults_per_instance"] =
        faults / kInstances / double(std::max<benchmark::IterationCount>(state.iterations(), 1));
}

} // namespace

BENCHMARK(BM_InstanceOpen)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_SixteenInstances)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK_MAIN();
