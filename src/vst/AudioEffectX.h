// The VST 2.x operations on top of AudioEffect: MIDI events, pin and
// parameter properties, names, capabilities, and the host calls a 2.4
// plug-in makes (time information, MIDI request, edit gestures).
//
// Threads as in AudioEffect: processEvents comes on the host's audio thread
// (no allocation, no locks), the rest on its main or user-interface thread.
// Text buffers handed to the overrides hold the capacities of VstAbi.h.
#pragma once

#include "vst/AudioEffect.h"

class AudioEffectX : public AudioEffect {
public:
    static constexpr VstIntPtr kVstVersion = 2400;

    AudioEffectX(audioMasterCallback audioMaster, VstInt32 programs, VstInt32 params);
    ~AudioEffectX() override;

    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                         float opt) override;

    // A synth asks the host for MIDI whenever audio starts.
    void resume() override;

    // ---- audio thread: no allocation, no locks ----
    // events is never null. Answers 1 when the events were taken.
    virtual VstInt32 processEvents(const VstEvents* events);

    // ---- host thread ----
    // index is a parameter number 0..numParams-1 and properties never null.
    virtual bool canParameterBeAutomated(VstInt32 index);
    virtual bool string2parameter(VstInt32 index, const char* text);
    virtual bool getParameterProperties(VstInt32 index, VstParameterProperties* properties);
    // text holds kVstProgramNameCapacity bytes.
    virtual bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text);
    // index as the host gave it, properties never null.
    virtual bool getInputProperties(VstInt32 index, VstPinProperties* properties);
    virtual bool getOutputProperties(VstInt32 index, VstPinProperties* properties);
    virtual VstPlugCategory getPlugCategory();
    virtual bool setBypass(bool on);
    // kVstEffectNameCapacity / kVstVendorTextCapacity bytes.
    virtual bool getEffectName(char* name);
    virtual bool getVendorString(char* text);
    virtual bool getProductString(char* text);
    virtual VstInt32 getVendorVersion();
    virtual VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt);
    // text may be null or empty. 1 yes, -1 no, 0 don't know.
    virtual VstInt32 canDo(const char* text);
    virtual VstInt32 getGetTailSize();
    virtual bool beginSetProgram();
    virtual bool endSetProgram();
    virtual VstInt32 startProcess();
    virtual VstInt32 stopProcess();

    // ---- set-up ----
    void isSynth(bool state) { setFlag(effFlagsIsSynth, state); }
    void noTail(bool state) { setFlag(effFlagsNoSoundInStop, state); }

    // ---- calls to the host ----
    // Audio thread. The host's transport record, or null; filter names the
    // fields wanted (kVstTempoValid ...). The record belongs to the host.
    VstTimeInfo* getTimeInfo(VstInt32 filter);
    // filter 1: MIDI events. True when the host agreed.
    bool wantEvents(VstInt32 filter = 1);
    // UI thread: the user starts / ends dragging parameter index.
    virtual bool beginEdit(VstInt32 index);
    virtual bool endEdit(VstInt32 index);
    // Main thread. text receives at most kVstVendorTextCapacity bytes; true when filled.
    bool getHostProductString(char* text);
    // UI thread: the editor's new size in pixels.
    bool sizeWindow(VstInt32 width, VstInt32 height);
    // Any thread: names or values changed; the host rereads its display.
    bool updateDisplay();
};
