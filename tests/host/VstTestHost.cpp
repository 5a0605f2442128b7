#include "host/VstTestHost.h"

#include "host/ProgramChunk.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

typedef AEffect* (*EntryProc)(audioMasterCallback);

// The host whose callback is running. Set before every call into the plug-in,
// since the version query during the entry comes without an AEffect.
VstTestHost* activeHost = nullptr;

void* library() {
    static void* handle = [] {
        // Instances must not pick up the user's own data folder.
        static std::string root = testing::TempDir() + "quellor-host-root";
        setenv("QUELLOR_ROOT", root.c_str(), 1);
        void* h = dlopen(QUELLOR_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!h) throw std::runtime_error(dlerror());
        return h;
    }();
    return handle;
}

} // namespace

VstTestHost::VstTestHost() {
    time.tempo = 120.0;
    time.sampleRate = 44100.0;
    time.flags = kVstTempoValid;
}

VstTestHost::~VstTestHost() {
    close();
    if (activeHost == this) activeHost = nullptr;
}

void* VstTestHost::symbol(const char* name) {
    return dlsym(library(), name);
}

AEffect* VstTestHost::open() {
    EntryProc entry = reinterpret_cast<EntryProc>(symbol("VSTPluginMain"));
    if (!entry) return nullptr;
    activeHost = this;
    instance = entry(callback);
    return instance;
}

void VstTestHost::close() {
    if (!instance) return;
    dispatch(effClose);
    instance = nullptr;
}

VstIntPtr VstTestHost::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt) {
    activeHost = this;
    return instance->dispatcher(instance, opcode, index, value, ptr, opt);
}

void VstTestHost::start(float sampleRate, VstInt32 blockSize) {
    dispatch(effOpen);
    dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
    dispatch(effSetBlockSize, 0, blockSize);
    dispatch(effMainsChanged, 0, 1);
}

bool VstTestHost::loadSoundingProgram() {
    static const std::vector<uint8_t> chunk = soundingProgramChunk();
    std::vector<uint8_t> copy = chunk;
    return !copy.empty() && dispatch(effSetChunk, 1, VstIntPtr(copy.size()), copy.data()) == 1;
}

std::string VstTestHost::parameterName(VstInt32 index) {
    char text[256] = {};
    dispatch(effGetParamName, index, 0, text);
    return text;
}

std::string VstTestHost::parameterDisplay(VstInt32 index) {
    char text[256] = {};
    dispatch(effGetParamDisplay, index, 0, text);
    return text;
}

void VstTestHost::setParameter(VstInt32 index, float value) {
    activeHost = this;
    instance->setParameter(instance, index, value);
}

VstIntPtr VSTCALLBACK VstTestHost::callback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                            VstIntPtr value, void* ptr, float opt) {
    (void)effect;
    return activeHost ? activeHost->answer(opcode, index, value, ptr, opt) : 0;
}

VstIntPtr VstTestHost::answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                              float opt) {
    (void)value;
    switch (opcode) {
    case audioMasterVersion:
        return version;
    case audioMasterAutomate:
        ++counters.automate;
        counters.lastAutomateIndex = index;
        counters.lastAutomateValue = opt;
        return 1;
    case audioMasterBeginEdit:
        ++counters.beginEdit;
        return 1;
    case audioMasterEndEdit:
        ++counters.endEdit;
        return 1;
    case audioMasterWantMidi:
        ++counters.wantMidi;
        return 1;
    case audioMasterGetTime:
        ++counters.getTime;
        return giveTime ? reinterpret_cast<VstIntPtr>(&time) : 0;
    case audioMasterGetProductString:
        if (!ptr || product.empty()) return 0;
        std::snprintf(static_cast<char*>(ptr), kVstVendorTextCapacity, "%s", product.c_str());
        return 1;
    default:
        return 0;
    }
}

void EventList::addMidi(uint8_t status, uint8_t data1, uint8_t data2, VstInt32 deltaFrames) {
    VstMidiEvent e = {};
    e.type = kVstMidiType;
    e.byteSize = sizeof(VstMidiEvent);
    e.deltaFrames = deltaFrames;
    e.midiData[0] = char(status);
    e.midiData[1] = char(data1);
    e.midiData[2] = char(data2);
    midi.push_back(e);
    order.emplace_back(false, midi.size() - 1);
}

void EventList::addSysex(VstInt32 deltaFrames) {
    VstMidiSysexEvent e = {};
    e.type = kVstSysExType;
    e.byteSize = sizeof(VstMidiSysexEvent);
    e.deltaFrames = deltaFrames;
    // A huge length and no dump: reading it would crash.
    e.dumpBytes = 0x7fffffff;
    e.sysexDump = nullptr;
    sysex.push_back(e);
    order.emplace_back(true, sysex.size() - 1);
}

VstEvents* EventList::record() {
    const size_t slots = order.size() < 2 ? 2 : order.size();
    storage.assign(sizeof(VstEvents) + slots * sizeof(VstEvent*), 0);
    VstEvents* events = reinterpret_cast<VstEvents*>(storage.data());
    events->numEvents = VstInt32(order.size());
    VstEvent** list = events->events;
    for (size_t i = 0; i < order.size(); ++i)
        list[i] = order[i].first ? reinterpret_cast<VstEvent*>(&sysex[order[i].second])
                                 : reinterpret_cast<VstEvent*>(&midi[order[i].second]);
    return events;
}
