// The typical patch through the plug-in's entry point for an instruction
// count: 16 held notes with the effects on, 44.1 kHz, 512-frame blocks. Run it
// under callgrind with collection confined to the render loop:
//
//   valgrind --tool=callgrind --collect-atstart=no --toggle-collect=renderLoop
//       build-bench/profile_plugin
//
// and divide the instructions by the frames it prints (and by 16 for the
// instructions per voice-frame). QUELLOR_PROFILE_PLUGIN names another build's
// Quellor.so to count instead, for a side-by-side with an older build. Not a
// benchmark: `make bench` leaves it out.
#include "host/ProgramChunk.h"
#include "vst/VstAbi.h"

#include "base/ValueIds.h"
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kBlock = 512;
constexpr float kRate = 44100.0f;
constexpr int kNotes = 16;
constexpr int kWarmBlocks = 20;    // past the attacks, into the held notes
constexpr int kCountedBlocks = 86; // about one second

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

} // namespace

// Kept out of line under its own name: the count is confined to it.
extern "C" __attribute__((noinline)) void renderLoop(AEffect* e, float** outputs, int blocks) {
    for (int b = 0; b < blocks; ++b)
        e->processReplacing(e, nullptr, outputs, kBlock);
}

int main() {
    setenv("QUELLOR_QUALITY", "1", 1);
    const char* path = std::getenv("QUELLOR_PROFILE_PLUGIN");
    if (!path) path = QUELLOR_PLUGIN_PATH;
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "cannot load %s\n", path);
        return 1;
    }
    auto entry =
        reinterpret_cast<AEffect* (*)(audioMasterCallback)>(dlsym(library, "VSTPluginMain"));
    AEffect* e = entry(host);
    e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, kRate);
    e->dispatcher(e, effSetBlockSize, 0, kBlock, nullptr, 0.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    std::vector<uint8_t> chunk = typicalPatchChunk();
    e->dispatcher(e, effSetChunk, 1, VstIntPtr(chunk.size()), chunk.data(), 0.0f);
    // Every effect on.
    e->setParameter(e, kDelayFirstId + kDelayOnOffset, 1.0f);
    e->setParameter(e, kChorusFirstId + kChorusEnableOffset, 1.0f);
    e->setParameter(e, kEqEnableId, 1.0f);
    e->setParameter(e, kReverbEnableId, 1.0f);

    struct {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[kNotes];
    } list = {kNotes, 0, {}};
    VstMidiEvent notes[kNotes] = {};
    for (int i = 0; i < kNotes; ++i) {
        notes[i].type = kVstMidiType;
        notes[i].byteSize = sizeof(VstMidiEvent);
        notes[i].midiData[0] = char(0x90);
        notes[i].midiData[1] = char(48 + i);
        notes[i].midiData[2] = 100;
        list.events[i] = reinterpret_cast<VstEvent*>(&notes[i]);
    }
    std::vector<float> left(kBlock), right(kBlock);
    float* outputs[2] = {left.data(), right.data()};
    e->dispatcher(e, effProcessEvents, 0, 0, &list, 0.0f);
    renderLoop(e, outputs, 0); // so that the count's function exists before it runs
    for (int b = 0; b < kWarmBlocks; ++b)
        e->processReplacing(e, nullptr, outputs, kBlock);
    renderLoop(e, outputs, kCountedBlocks);
    std::printf("frames %d notes %d\n", kCountedBlocks * kBlock, kNotes);
    e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    dlclose(library);
    return 0;
}
