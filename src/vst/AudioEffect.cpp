#include "vst/AudioEffect.h"

#include "vst/AEffEditor.h"

#include <cmath>
#include <cstdint>
#include <cstring>

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 programs, VstInt32 params)
    : audioMaster(audioMaster), numPrograms(programs) {
    std::memset(&cEffect, 0, sizeof cEffect);
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = dispatchEffect;
    cEffect.process = processEffect;
    cEffect.setParameter = setParameterEffect;
    cEffect.getParameter = getParameterEffect;
    cEffect.numPrograms = programs;
    cEffect.numParams = params;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.version = 1;
    cEffect.processReplacing = processReplacingEffect;
    cEffect.processDoubleReplacing = nullptr;
}

AudioEffect::~AudioEffect() {
    delete editor;
}

AudioEffect* AudioEffect::objectOf(AEffect* e) {
    return e ? static_cast<AudioEffect*>(e->object) : nullptr;
}

VstIntPtr VSTCALLBACK AudioEffect::dispatchEffect(AEffect* e, VstInt32 opcode, VstInt32 index,
                                                  VstIntPtr value, void* ptr, float opt) {
    AudioEffect* self = objectOf(e);
    return self ? self->dispatcher(opcode, index, value, ptr, opt) : 0;
}

void VSTCALLBACK AudioEffect::processEffect(AEffect* e, float** inputs, float** outputs,
                                            VstInt32 frames) {
    AudioEffect* self = objectOf(e);
    // A block of 0 frames still goes to the plug-in, which uses up the events
    // queued for it; a negative count is no block at all.
    if (self && frames >= 0) self->process(inputs, outputs, frames);
}

void VSTCALLBACK AudioEffect::processReplacingEffect(AEffect* e, float** inputs, float** outputs,
                                                     VstInt32 frames) {
    AudioEffect* self = objectOf(e);
    if (self && frames >= 0) self->processReplacing(inputs, outputs, frames);
}

// A host can only address the parameters it was told about, and a NaN would
// poison every value derived from it.
void VSTCALLBACK AudioEffect::setParameterEffect(AEffect* e, VstInt32 index, float value) {
    AudioEffect* self = objectOf(e);
    if (self && self->isParameterIndex(index) && !std::isnan(value))
        self->setParameter(index, value);
}

float VSTCALLBACK AudioEffect::getParameterEffect(AEffect* e, VstInt32 index) {
    AudioEffect* self = objectOf(e);
    return (self && self->isParameterIndex(index)) ? self->getParameter(index) : 0.0f;
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt) {
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
    case effOpen:
        open();
        return 0;
    case effClose:
        close();
        delete this;
        return 1;
    case effSetProgram:
        if (value < INT32_MIN || value > INT32_MAX) return 0;
        setProgram(static_cast<VstInt32>(value));
        return 0;
    case effGetProgram:
        return getProgram();
    case effSetProgramName:
        if (text) setProgramName(text);
        return 0;
    case effGetProgramName:
        if (text) getProgramName(text);
        return 0;
    case effGetParamLabel:
        if (text && isParameterIndex(index)) getParameterLabel(index, text);
        return 0;
    case effGetParamDisplay:
        if (text && isParameterIndex(index)) getParameterDisplay(index, text);
        return 0;
    case effGetParamName:
        if (text && isParameterIndex(index)) getParameterName(index, text);
        return 0;
    case effSetSampleRate:
        if (!std::isfinite(opt) || opt <= 0.0f) return 0;
        setSampleRate(opt);
        return 0;
    case effSetBlockSize:
        if (value <= 0 || value > INT32_MAX) return 0;
        setBlockSize(static_cast<VstInt32>(value));
        return 0;
    case effMainsChanged:
        if (value == 0)
            suspend();
        else
            resume();
        return 0;
    case effEditGetRect: {
        if (!editor || !ptr) return 0;
        return editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
    }
    case effEditOpen:
        return (editor && editor->open(ptr)) ? 1 : 0;
    case effEditClose:
        if (editor) editor->close();
        return 0;
    case effEditIdle:
        if (editor) editor->idle();
        return 0;
    case effGetChunk:
        if (!ptr) return 0;
        return getChunk(static_cast<void**>(ptr), index != 0);
    case effSetChunk:
        if (!ptr || value <= 0 || value > INT32_MAX) return 0;
        return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
    default:
        return 0;
    }
}

void AudioEffect::process(float** inputs, float** outputs, VstInt32 frames) {
    (void)inputs;
    (void)outputs;
    (void)frames;
}

void AudioEffect::processReplacing(float** inputs, float** outputs, VstInt32 frames) {
    (void)inputs;
    (void)outputs;
    (void)frames;
}

void AudioEffect::setParameter(VstInt32 index, float value) {
    (void)index;
    (void)value;
}

float AudioEffect::getParameter(VstInt32 index) {
    (void)index;
    return 0.0f;
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

void AudioEffect::getParameterLabel(VstInt32 index, char* text) {
    (void)index;
    (void)text;
}

void AudioEffect::getParameterDisplay(VstInt32 index, char* text) {
    (void)index;
    (void)text;
}

void AudioEffect::getParameterName(VstInt32 index, char* text) {
    (void)index;
    (void)text;
}

void AudioEffect::setProgram(VstInt32 program) {
    if (program >= 0 && program < numPrograms) curProgram = program;
}

void AudioEffect::setProgramName(const char* name) {
    (void)name;
}

void AudioEffect::getProgramName(char* name) {
    copyHostText(name, "", kVstProgramNameCapacity);
}

VstInt32 AudioEffect::getChunk(void** data, bool isPreset) {
    (void)data;
    (void)isPreset;
    return 0;
}

VstInt32 AudioEffect::setChunk(const void* data, VstInt32 byteSize, bool isPreset) {
    (void)data;
    (void)byteSize;
    (void)isPreset;
    return 0;
}

void AudioEffect::setEditor(AEffEditor* newEditor) {
    if (newEditor == editor) return;
    delete editor;
    editor = newEditor;
    setFlag(effFlagsHasEditor, editor != nullptr);
}

VstInt32 AudioEffect::getMasterVersion() {
    VstIntPtr version = callHost(audioMasterVersion);
    if (version < INT32_MIN || version > INT32_MAX) return 0;
    return static_cast<VstInt32>(version);
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt) {
    return audioMaster ? audioMaster(&cEffect, opcode, index, value, ptr, opt) : 0;
}

void AudioEffect::copyHostText(char* dest, const char* text, size_t capacity) {
    if (!dest || capacity == 0) return;
    size_t n = 0;
    if (text)
        while (n + 1 < capacity && text[n] != 0)
            ++n;
    if (n) std::memcpy(dest, text, n);
    dest[n] = 0;
}

void AudioEffect::setFlag(VstInt32 flag, bool state) {
    if (state)
        cEffect.flags |= flag;
    else
        cEffect.flags &= ~flag;
}
