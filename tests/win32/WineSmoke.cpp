// The plug-in as a Windows host loads it, for the Windows builds run under
// Wine (and built for Linux as well, so that the two can be compared).
//
// 24 voices of the benchmarks' typical patch (all eight operators, matrix
// cells, both filters) play for a few hundred blocks in two instances: the
// first is called as usual, the second through an unusual stack. On 32-bit
// Windows that stack is 4 bytes off the 16-byte alignment our own code
// assumes, as a host built by another compiler may call; on 64-bit Windows,
// whose callers keep 16-byte alignment but not 32, it is 16 bytes off a
// 32-byte boundary, where the 256-bit loop's spilled vectors land. Both
// instances must give the same output, finite and audible. Prints the
// output's RMS and peak, which scripts/wine-test.sh compares with the Linux
// build's. Where the build has the 256-bit voice loop and the processor runs
// it, one voice also renders through both loops, which must agree bit for
// bit.
#include "host/ProgramChunk.h"
#include "voice/CVoice.h"
#include "vst/VstAbi.h"
#include "waves/CWaveManager.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
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

// processReplacing through the unusual stack of the build's system.
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
#elif defined(_WIN32) && defined(__x86_64__)
    // Arguments in rcx, rdx, r8, r9 and 32 bytes of shadow space; the stack
    // 16 bytes past a 32-byte boundary at the call.
    register AEffect* effect asm("rcx") = e;
    register float** in asm("rdx") = nullptr;
    register float** out asm("r8") = outputs;
    register VstInt32 n asm("r9") = frames;
    void* call = reinterpret_cast<void*>(e->processReplacing);
    asm volatile("mov %%rsp, %%rbx\n\t"
                 "and $-32, %%rsp\n\t"
                 "sub $48, %%rsp\n\t"
                 "call *%%rax\n\t"
                 "mov %%rbx, %%rsp\n\t"
                 : "+a"(call), "+r"(effect), "+r"(in), "+r"(out), "+r"(n)
                 :
                 : "rbx", "r10", "r11", "memory", "cc", "xmm0", "xmm1", "xmm2", "xmm3", "xmm4",
                   "xmm5");
#else
    e->processReplacing(e, nullptr, outputs, frames);
#endif
}

// One voice of eight operators in stacks, feedback and filter feeds, through
// the 256-bit loop and through the plain one. Returns 1 when both agree bit
// for bit, 0 when the processor or build has no 256-bit loop, -1 when they
// differ.
int wideLoopAgrees() {
    if (!wideLanesAvailable()) return 0;
    CWaveManager waves;
    double amplitudes[32] = {1.0, 0.5, 0.3, 0.2, 0.1};
    double phases[32] = {};
    for (int op = 0; op < 8; ++op)
        waves.buildWave(op, amplitudes, phases, 0.0);
    CEnvelope envelope;
    envelope.targetKind = kTargetAmplitude;
    envelope.setDepth(0, 1.0);
    for (double& k : envelope.keyTable)
        k = 1.0;
    std::vector<float> outputs[2];
    for (int wide = 0; wide < 2; ++wide) {
        auto voice = std::make_unique<CVoice>();
        voice->attach(nullptr, &waves);
        voice->setWideLanes(wide != 0);
        if (voice->usesWideLanes() != (wide != 0)) return -1;
        for (int op = 0; op < 8; ++op) {
            COperator& o = *voice->oper(op);
            o.setOn(1.0);
            o.setAmplitude(0.4);
            o.setMixLevel(op < 4 ? 0.6 : 0.0);
            o.setPan(op % 2 ? -0.3 : 0.3);
            o.setCoarse(1.0 + op, 0.0);
            o.setMatrixCell(op < 4 ? 8 + op / 2 : op - 4, 0.4);
            o.setMatrixCell(op, 0.1);
        }
        for (int f = 0; f < 2; ++f) {
            CVoiceFilter& filter = *voice->filter(f);
            filter.setMode(CVoiceFilter::kLowPass);
            filter.setCutoff(0.6);
            filter.setResonance(0.7f);
            filter.setLevel(0.8);
        }
        voice->start(57.0, 100, &envelope, 1, 0.0);
        std::vector<float> left(kBlock), right(kBlock);
        for (int b = 0; b < 20; ++b) {
            std::fill(left.begin(), left.end(), 0.0f);
            std::fill(right.begin(), right.end(), 0.0f);
            voice->render(left.data(), right.data(), kBlock);
            outputs[wide].insert(outputs[wide].end(), left.begin(), left.end());
            outputs[wide].insert(outputs[wide].end(), right.begin(), right.end());
        }
    }
    return outputs[0] == outputs[1] ? 1 : -1;
}

// An instance opened as a host opens it, holding the typical patch, with 24
// notes from C2 upward started `stagger` frames apart.
AEffect* openPlaying(Entry entry, const std::vector<uint8_t>& chunk, int stagger) {
    AEffect* e = entry(host);
    if (!e) return nullptr;
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
        notes[i].deltaFrames = i * stagger;
        notes[i].midiData[0] = char(0x90);
        notes[i].midiData[1] = char(36 + i);
        notes[i].midiData[2] = 100;
        list.events[i] = reinterpret_cast<VstEvent*>(&notes[i]);
    }
    e->dispatcher(e, effProcessEvents, 0, 0, &list, 0.0f);
    return e;
}

void close(AEffect* e) {
    e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
}

// One instance playing 24 held notes (voices paired out of step, as notes
// started apart are); its output, left then right per block.
std::vector<float> render(Entry entry, const std::vector<uint8_t>& chunk, bool misaligned) {
    AEffect* e = openPlaying(entry, chunk, 7);
    if (!e) return {};
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
    close(e);
    return all;
}

// The speed of the whole plug-in as the Linux plug-in benchmark measures it
// (24 held notes started together, 512-frame blocks), for the builds that the
// Google Benchmark library does not reach. Seven repetitions of about a
// second each; for each, the real-time factor (audio seconds per second of
// wall time on one core), the median block's and the fastest tenth's.
int bench(Entry entry, const std::vector<uint8_t>& chunk) {
    using Clock = std::chrono::steady_clock;
    constexpr int kRepetitions = 7;
    constexpr int kBlocksPerRepetition = 2000; // about 23 s of audio
    AEffect* e = openPlaying(entry, chunk, 0);
    if (!e) return 1;
    std::vector<float> left(kBlock), right(kBlock);
    float* outputs[2] = {left.data(), right.data()};
    e->processReplacing(e, nullptr, outputs, kBlock);
    const double blockAudio = kBlock / kRate;
    std::vector<double> factors, seconds(kBlocksPerRepetition);
    for (int r = 0; r < kRepetitions; ++r) {
        const Clock::time_point begin = Clock::now();
        for (double& s : seconds) {
            const Clock::time_point start = Clock::now();
            e->processReplacing(e, nullptr, outputs, kBlock);
            s = std::chrono::duration<double>(Clock::now() - start).count();
        }
        const double all = std::chrono::duration<double>(Clock::now() - begin).count();
        std::sort(seconds.begin(), seconds.end());
        factors.push_back(kBlocksPerRepetition * blockAudio / all);
        std::printf("repetition %d: realtime_factor %.1f median_block %.1f fastest_tenth %.1f\n",
                    r + 1, factors.back(), blockAudio / seconds[seconds.size() / 2],
                    blockAudio / seconds[seconds.size() / 10]);
    }
    std::sort(factors.begin(), factors.end());
    std::printf("realtime_factor median %.1f best %.1f\n", factors[kRepetitions / 2],
                factors.back());
    close(e);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const bool benchmark = argc == 3 && std::string(argv[2]) == "--bench";
    if (argc < 2 || (argc > 2 && !benchmark)) {
        std::fprintf(stderr, "usage: quellor_wine_smoke PLUGIN [--bench]\n");
        return 2;
    }
    const Entry entry = loadEntry(argv[1]);
    if (!entry) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    if (benchmark) return bench(entry, typicalPatchChunk());
    const int wide = wideLoopAgrees();
    if (wide < 0) {
        std::fprintf(stderr, "FAIL: the 256-bit voice loop and the plain one differ\n");
        return 1;
    }
    std::printf("%s\n", wide ? "256-bit voice loop: the same as the plain loop"
                             : "256-bit voice loop: not in this build or on this processor");
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
