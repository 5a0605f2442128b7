// The plug-in as a Windows host loads it, for the Windows build run under
// Wine (and built for Linux as well, so that the two can be compared).
//
// 24 voices of the benchmarks' typical patch (all eight operators, matrix
// cells, both filters) play for a few hundred blocks in two instances: the first is called
// as usual, the second with the stack 4 bytes off the 16-byte alignment that
// our own code assumes, as a host built by another compiler may call (on
// Windows only). Both must give the same output, finite and audible. Prints
// the output's RMS and peak, which scripts/wine-test.sh compares with the
// Linux build's.
#include "host/ProgramChunk.h"
#include "vst/VstAbi.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kBlock = 512;
constexpr int kBlocks = 300;
constexpr double kRate = 44100.0;
constexpr int kVoices = 24;

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

using Entry = AEffect* (*)(audioMasterCallback);

Entry loadEntry(const char* path) {
#if defined(_WIN32)
    HMODULE library = LoadLibraryA(path);
    return library ? reinterpret_cast<Entry>(
                         reinterpret_cast<void*>(GetProcAddress(library, "VSTPluginMain")))
                   : nullptr;
#else
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    return library ? reinterpret_cast<Entry>(dlsym(library, "VSTPluginMain")) : nullptr;
#endif
}

// processReplacing with the stack pointer 4 bytes off 16-byte alignment at
// the call.
void processMisaligned(AEffect* e, float** outputs, int frames) {
#if defined(_WIN32) && defined(__i386__)
    void* call = reinterpret_cast<void*>(e->processReplacing);
    int n = frames;
    asm volatile("mov %%esp, %%esi\n\t"
                 "and $-16, %%esp\n\t"
                 "sub $4, %%esp\n\t"
                 "push %%ecx\n\t"
                 "push %%edi\n\t"
                 "push $0\n\t"
                 "push %%ebx\n\t"
                 "call *%%eax\n\t"
                 "mov %%esi, %%esp\n\t"
                 : "+a"(call), "+c"(n)
                 : "b"(e), "D"(outputs)
                 : "esi", "edx", "memory", "cc", "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5",
                   "xmm6", "xmm7");
#else
    e->processReplacing(e, nullptr, outputs, frames);
#endif
}

// One instance playing 24 held notes; its output, left then right per block.
std::vector<float> render(Entry entry, const std::vector<uint8_t>& chunk, bool misaligned) {
    AEffect* e = entry(host);
    if (!e) return {};
    e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, float(kRate));
    e->dispatcher(e, effSetBlockSize, 0, kBlock, nullptr, 0.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    std::vector<uint8_t> bytes = chunk;
    e->dispatcher(e, effSetChunk, 1, VstIntPtr(bytes.size()), bytes.data(), 0.0f);
    struct {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[kVoices];
    } list = {kVoices, 0, {}};
    VstMidiEvent notes[kVoices] = {};
    for (int i = 0; i < kVoices; ++i) {
        notes[i].type = kVstMidiType;
        notes[i].byteSize = sizeof(VstMidiEvent);
        notes[i].deltaFrames = i * 7;
        notes[i].midiData[0] = char(0x90);
        notes[i].midiData[1] = char(36 + i);
        notes[i].midiData[2] = 100;
        list.events[i] = reinterpret_cast<VstEvent*>(&notes[i]);
    }
    e->dispatcher(e, effProcessEvents, 0, 0, &list, 0.0f);
    std::vector<float> left(kBlock), right(kBlock), all;
    float* outputs[2] = {left.data(), right.data()};
    for (int b = 0; b < kBlocks; ++b) {
        if (misaligned)
            processMisaligned(e, outputs, kBlock);
        else
            e->processReplacing(e, nullptr, outputs, kBlock);
        all.insert(all.end(), left.begin(), left.end());
        all.insert(all.end(), right.begin(), right.end());
    }
    e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    return all;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: quellor_wine_smoke PLUGIN\n");
        return 2;
    }
    const Entry entry = loadEntry(argv[1]);
    if (!entry) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    const std::vector<uint8_t> chunk = typicalPatchChunk();
    const std::vector<float> aligned = render(entry, chunk, false);
    const std::vector<float> misaligned = render(entry, chunk, true);
    if (aligned.empty() || aligned != misaligned) {
        std::fprintf(stderr, "FAIL: the misaligned calls gave other output\n");
        return 1;
    }
    double sum = 0.0, peak = 0.0;
    for (float x : aligned) {
        if (!std::isfinite(x)) {
            std::fprintf(stderr, "FAIL: non-finite output\n");
            return 1;
        }
        sum += double(x) * x;
        peak = std::fmax(peak, std::fabs(double(x)));
    }
    const double rms = std::sqrt(sum / double(aligned.size()));
    std::printf("rms %.9g peak %.9g\n", rms, peak);
    if (!(rms > 0.01 && peak < 1.0)) {
        std::fprintf(stderr, "FAIL: output not in the expected range\n");
        return 1;
    }
    return 0;
}
