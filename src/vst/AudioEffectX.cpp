#include "vst/AudioEffectX.h"

#include <cstdint>
#include <cstring>

namespace {
constexpr size_t kHostAnswerCapacity = 256;
} // namespace

AudioEffectX::AudioEffectX(audioMasterCallback audioMaster, VstInt32 programs, VstInt32 params)
    : AudioEffect(audioMaster, programs, params) {}

AudioEffectX::~AudioEffectX() = default;

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt) {
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
    case effProcessEvents:
        return ptr ? processEvents(static_cast<const VstEvents*>(ptr)) : 0;
    case effCanBeAutomated:
        return (isParameterIndex(index) && canParameterBeAutomated(index)) ? 1 : 0;
    case effString2Parameter:
        return (text && isParameterIndex(index) && string2parameter(index, text)) ? 1 : 0;
    case effGetProgramNameIndexed:
        if (!text || value < INT32_MIN || value > INT32_MAX) return 0;
        return getProgramNameIndexed(static_cast<VstInt32>(value), index, text) ? 1 : 0;
    case effGetInputProperties:
        return (ptr && getInputProperties(index, static_cast<VstPinProperties*>(ptr))) ? 1 : 0;
    case effGetOutputProperties:
        return (ptr && getOutputProperties(index, static_cast<VstPinProperties*>(ptr))) ? 1 : 0;
    case effGetPlugCategory:
        return getPlugCategory();
    case effSetBypass:
        return setBypass(value != 0) ? 1 : 0;
    case effGetEffectName:
        return (text && getEffectName(text)) ? 1 : 0;
    case effGetVendorString:
        return (text && getVendorString(text)) ? 1 : 0;
    case effGetProductString:
        return (text && getProductString(text)) ? 1 : 0;
    case effGetVendorVersion:
        return getVendorVersion();
    case effVendorSpecific:
        return vendorSpecific(index, value, ptr, opt);
    case effCanDo:
        return canDo(text);
    case effGetTailSize:
        return getGetTailSize();
    case effGetParameterProperties:
        if (!ptr || !isParameterIndex(index)) return 0;
        return getParameterProperties(index, static_cast<VstParameterProperties*>(ptr)) ? 1 : 0;
    case effGetVstVersion:
        return kVstVersion;
    case effBeginSetProgram:
        return beginSetProgram() ? 1 : 0;
    case effEndSetProgram:
        return endSetProgram() ? 1 : 0;
    case effStartProcess:
        return startProcess();
    case effStopProcess:
        return stopProcess();
    default:
        return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}

void AudioEffectX::resume() {
    if (cEffect.flags & effFlagsIsSynth) wantEvents(1);
}

VstInt32 AudioEffectX::processEvents(const VstEvents* events) {
    (void)events;
    return 0;
}

bool AudioEffectX::canParameterBeAutomated(VstInt32 index) {
    (void)index;
    return true;
}

bool AudioEffectX::string2parameter(VstInt32 index, const char* text) {
    (void)index;
    (void)text;
    return false;
}

bool AudioEffectX::getParameterProperties(VstInt32 index, VstParameterProperties* properties) {
    (void)index;
    (void)properties;
    return false;
}

bool AudioEffectX::getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) {
    (void)category;
    (void)index;
    (void)text;
    return false;
}

bool AudioEffectX::getInputProperties(VstInt32 index, VstPinProperties* properties) {
    (void)index;
    (void)properties;
    return false;
}

bool AudioEffectX::getOutputProperties(VstInt32 index, VstPinProperties* properties) {
    (void)index;
    (void)properties;
    return false;
}

VstPlugCategory AudioEffectX::getPlugCategory() {
    return (cEffect.flags & effFlagsIsSynth) ? kPlugCategSynth : kPlugCategUnknown;
}

bool AudioEffectX::setBypass(bool on) {
    (void)on;
    return false;
}

bool AudioEffectX::getEffectName(char* name) {
    (void)name;
    return false;
}

bool AudioEffectX::getVendorString(char* text) {
    (void)text;
    return false;
}

bool AudioEffectX::getProductString(char* text) {
    (void)text;
    return false;
}

VstInt32 AudioEffectX::getVendorVersion() {
    return 0;
}

VstIntPtr AudioEffectX::vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    (void)index;
    (void)value;
    (void)ptr;
    (void)opt;
    return 0;
}

VstInt32 AudioEffectX::canDo(const char* text) {
    (void)text;
    return 0;
}

VstInt32 AudioEffectX::getGetTailSize() {
    return 0;
}

bool AudioEffectX::beginSetProgram() {
    return false;
}

bool AudioEffectX::endSetProgram() {
    return false;
}

VstInt32 AudioEffectX::startProcess() {
    return 0;
}

VstInt32 AudioEffectX::stopProcess() {
    return 0;
}

VstTimeInfo* AudioEffectX::getTimeInfo(VstInt32 filter) {
    return reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter));
}

bool AudioEffectX::wantEvents(VstInt32 filter) {
    return callHost(audioMasterWantMidi, 0, filter) != 0;
}

bool AudioEffectX::beginEdit(VstInt32 index) {
    return callHost(audioMasterBeginEdit, index) != 0;
}

bool AudioEffectX::endEdit(VstInt32 index) {
    return callHost(audioMasterEndEdit, index) != 0;
}

bool AudioEffectX::getHostProductString(char* text) {
    if (!text) return false;
    // The host writes into a roomy local buffer (some hosts ignore the
    // documented 64 bytes), which is then cut to that size, so a host that
    // forgets the closing NUL cannot make us read past its text either.
    char answer[kHostAnswerCapacity] = {};
    bool filled = callHost(audioMasterGetProductString, 0, 0, answer) != 0;
    answer[kVstVendorTextCapacity - 1] = 0;
    copyHostText(text, filled ? answer : "", kVstVendorTextCapacity);
    return filled;
}

bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height) {
    return callHost(audioMasterSizeWindow, width, height) != 0;
}

bool AudioEffectX::updateDisplay() {
    return callHost(audioMasterUpdateDisplay) != 0;
}
