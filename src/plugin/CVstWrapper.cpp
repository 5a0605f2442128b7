#include "plugin/CVstWrapper.h"

#include "base/Denormal.h"
#include "base/SampleGuard.h"
#include "base/ValueIds.h"
#include "engine/CSoundRenderer.h"
#include "plugin/EditorFactory.h"
#include "plugin/VendorRequests.h"
#include "vst/AEffEditor.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr const char* kEffectName = "Tavrino Quellor";
constexpr const char* kVendorName = "Tavrino";
constexpr const char* kProductName = "Quellor";
constexpr const char* kOutputLabelFormat = "Quellor %1d";

// Kore lists the files of the current bank folder as its programs and
// switches between them with setProgram; every other host sees one program.
constexpr const char* kKoreProductPrefix = "Kore";
constexpr size_t kKoreProductPrefixLength = 4;

// What the plug-in answers yes to; every other capability is a no.
constexpr const char* kCapabilities[] = {"receiveVstEvents", "receiveVstMidiEvent",
                                         "receiveVstTimeInfo"};

} // namespace

CVstWrapper::CVstWrapper(audioMasterCallback audioMaster, CPluginFile* settings)
    : AudioEffectX(audioMaster, kProgramCount, kParameterCount) {
    static_assert(kParameterCount == kHostParameterCount,
                  "the host sees exactly the renderer's host parameters");
    setNumOutputs(kOutputCount);
    setNumInputs(kInputCount);
    canProcessReplacing(true);
    isSynth(true);
    programsAreChunks(true);
    setUniqueID(kUniqueId);

    hostProduct[0] = 0;
    getHostProductString(hostProduct);

    renderer.reset(new (std::nothrow) CSoundRenderer(settings, this));
    if (renderer) {
        // The host reads the delay from the effect record as it opens us.
        setInitialDelay(renderer->latencyFrames());
        setEditor(createPluginEditor(this, renderer.get()));
    }
}

CVstWrapper::~CVstWrapper() {
    // The editor goes first, while the renderer it draws from still exists.
    setEditor(nullptr);
    renderer.reset();
}

void CVstWrapper::announceValue(int32_t id, float value) {
    if (!isHostParameter(id)) return;
    callHost(audioMasterAutomate, id, 0, nullptr, value);
}

bool CVstWrapper::hostTempo(double& bpm) {
    const VstTimeInfo* time = getTimeInfo(kVstTempoValid);
    if (!time || !(time->flags & kVstTempoValid) || !std::isfinite(time->tempo)) return false;
    bpm = time->tempo;
    return true;
}

void CVstWrapper::latencyChanged(int32_t frames) {
    setInitialDelay(frames);
    callHost(audioMasterIOChanged);
}

void CVstWrapper::suspend() {
    if (renderer) renderer->reset();
}

void CVstWrapper::resume() {
    AudioEffectX::resume();
    if (renderer) renderer->reset();
}

void CVstWrapper::setSampleRate(float rate) {
    AudioEffectX::setSampleRate(rate);
    if (renderer) renderer->setSampleRate(rate);
}

void CVstWrapper::processReplacing(float** inputs, float** outputs, VstInt32 frames) {
    (void)inputs;
    renderBlock(outputs, frames, true);
}

void CVstWrapper::process(float** inputs, float** outputs, VstInt32 frames) {
    (void)inputs;
    renderBlock(outputs, frames, false);
}

void CVstWrapper::renderBlock(float** outputs, VstInt32 frames, bool replace) {
    if (!renderer || frames < 0) return;
    // A block of no frames renders nothing, but the events queued for it are
    // used up as for any block, so they do not sound late in the next one.
    if (frames == 0) {
        renderer->processBlock(outputs, 0, replace);
        return;
    }
    if (!outputs || !outputs[0] || !outputs[1]) return;
    CDenormalGuard flushToZero;
    renderer->processBlock(outputs, frames, replace);
}

VstInt32 CVstWrapper::processEvents(const VstEvents* events) {
    if (!renderer || !events) return 1;
    // The record declares two slots; hosts allocate numEvents of them.
    VstEvent* const* list = events->events;
    for (VstInt32 i = 0; i < events->numEvents; ++i) {
        const VstEvent* event = list[i];
        if (!event || event->type != kVstMidiType) continue;
        const VstMidiEvent* midi = reinterpret_cast<const VstMidiEvent*>(event);
        uint8_t bytes[4];
        std::memcpy(bytes, midi->midiData, sizeof bytes);
        // An event before the block's start plays at its start.
        renderer->queueMidiEvent(bytes, midi->deltaFrames > 0 ? midi->deltaFrames : 0);
    }
    return 1;
}

void CVstWrapper::setParameter(VstInt32 index, float value) {
    if (!renderer || !isHostParameter(index)) return;
    // Hosts and scripts may break the 0..1 rule: what is no number is
    // ignored, the rest taken at the nearest end, and the window shows
    // what the sound has.
    if (!std::isfinite(value)) return;
    value = float(clampUnit(value));
    renderer->setParameter(index, value);
    if (editor) editor->setParameter(index, value);
}

float CVstWrapper::getParameter(VstInt32 index) {
    if (!renderer || !isHostParameter(index)) return 0.0f;
    return static_cast<float>(renderer->getParameter(index));
}

void CVstWrapper::getParameterName(VstInt32 index, char* text) {
    if (!renderer || !text || !isHostParameter(index)) return;
    renderer->getParameterName(index, text, kVstParamTextCapacity);
}

void CVstWrapper::getParameterDisplay(VstInt32 index, char* text) {
    if (!renderer || !text || !isHostParameter(index)) return;
    renderer->getParameterDisplay(index, text, kVstParamTextCapacity);
}

void CVstWrapper::getParameterLabel(VstInt32 index, char* text) {
    // The parameters carry no unit labels.
    (void)index;
    (void)text;
}

bool CVstWrapper::getParameterProperties(VstInt32 index, VstParameterProperties* properties) {
    if (!properties) return false;
    for (VstInt32 id : kHostSwitchIds) {
        if (id != index) continue;
        properties->flags = kVstParameterIsSwitch;
        getParameterLabel(index, properties->label);
        return true;
    }
    return false;
}

bool CVstWrapper::beginEdit(VstInt32 index) {
    return isHostParameter(index) && AudioEffectX::beginEdit(index);
}

bool CVstWrapper::endEdit(VstInt32 index) {
    return isHostParameter(index) && AudioEffectX::endEdit(index);
}

void CVstWrapper::setProgram(VstInt32 program) {
    if (std::strncmp(hostProduct, kKoreProductPrefix, kKoreProductPrefixLength) != 0) return;
    // Under Kore, program is the index of a program file in the current bank folder.
    if (renderer) renderer->selectBankProgram(program);
}

void CVstWrapper::setProgramName(const char* name) {
    if (!renderer || !name) return;
    // Read no more of the host's text than its documented buffer holds.
    char bounded[kVstProgramNameCapacity];
    copyHostText(bounded, name, sizeof bounded);
    renderer->setProgramName(bounded);
}

void CVstWrapper::getProgramName(char* name) {
    if (!name) return;
    if (!renderer) {
        copyHostText(name, "", kVstProgramNameCapacity);
        return;
    }
    renderer->getProgramName(name, kVstProgramNameCapacity);
}

bool CVstWrapper::getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) {
    // One program: every index names the current one.
    (void)category;
    (void)index;
    getProgramName(text);
    return true;
}

VstInt32 CVstWrapper::getChunk(void** data, bool isPreset) {
    // Bank and program chunks are the same: the one program.
    (void)isPreset;
    if (!renderer) {
        *data = nullptr;
        return 0;
    }
    return renderer->getChunk(data);
}

VstInt32 CVstWrapper::setChunk(const void* data, VstInt32 byteSize, bool isPreset) {
    (void)isPreset;
    return renderer ? renderer->setChunk(data, byteSize) : 0;
}

VstIntPtr CVstWrapper::vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    (void)value;
    (void)opt;
    if (index != kVendorLoadProgramFile || !renderer || !ptr) return 0;
    return renderer->loadProgramFile(static_cast<const char*>(ptr), nullptr) ? 1 : 0;
}

bool CVstWrapper::getOutputProperties(VstInt32 index, VstPinProperties* properties) {
    if (!properties || index < 0 || index >= kOutputCount) return false;
    std::snprintf(properties->label, kVstPinLabelCapacity, kOutputLabelFormat, int(index + 1));
    properties->flags = kVstPinIsActive | kVstPinIsStereo;
    return true;
}

bool CVstWrapper::getEffectName(char* name) {
    copyHostText(name, kEffectName, kVstEffectNameCapacity);
    return true;
}

bool CVstWrapper::getVendorString(char* text) {
    copyHostText(text, kVendorName, kVstVendorTextCapacity);
    return true;
}

bool CVstWrapper::getProductString(char* text) {
    copyHostText(text, kProductName, kVstVendorTextCapacity);
    return true;
}

VstInt32 CVstWrapper::getVendorVersion() {
    return kVendorVersion;
}

VstPlugCategory CVstWrapper::getPlugCategory() {
    return kPlugCategSynth;
}

VstInt32 CVstWrapper::canDo(const char* text) {
    if (!text) return -1;
    for (const char* capability : kCapabilities)
        if (std::strcmp(text, capability) == 0) return 1;
    return -1;
}
