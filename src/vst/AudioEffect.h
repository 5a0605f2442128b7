// The plug-in side of the VST 1.0 operations: owns the AEffect record a host
// talks to, routes the record's function pointers to virtual operations of
// this object and answers the dispatcher opcodes of the 1.0 interface. The
// 2.x opcodes live in AudioEffectX.
//
// Threads: the host calls the dispatcher from its main or user-interface
// thread, process/processReplacing (and usually setParameter) from its audio
// thread. This layer adds no locks. Every pointer a host hands over is
// checked before use; a null pointer or an index outside the declared
// parameter range is refused with a zero answer, never dereferenced.
#pragma once

#include "vst/VstAbi.h"

class AEffEditor;

class AudioEffect {
public:
    // Main thread. programs and params are the counts the host sees.
    AudioEffect(audioMasterCallback audioMaster, VstInt32 programs, VstInt32 params);
    virtual ~AudioEffect();
    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    // The record handed to the host; its object field points at this.
    AEffect* getAeffect() { return &cEffect; }

    // Any host thread: one opcode. Unknown opcodes answer 0. effClose deletes
    // this object, so nothing may touch it after that call returns.
    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float opt);

    // ---- lifecycle (main thread) ----
    virtual void open() {}
    virtual void close() {}
    // effMainsChanged: audio is stopped (suspend) or about to start (resume).
    virtual void suspend() {}
    virtual void resume() {}
    // rate in Hz, finite and above 0 (the dispatcher refuses anything else).
    virtual void setSampleRate(float rate) { sampleRate = rate; }
    // The largest frame count of a coming block call.
    virtual void setBlockSize(VstInt32 frames) { blockSize = frames; }

    // ---- audio thread: no allocation, no locks ----
    // process adds to the host's buffers, processReplacing overwrites them.
    // frames is never negative when these are called; a call with 0 frames
    // renders nothing and may come with null outputs.
    virtual void process(float** inputs, float** outputs, VstInt32 frames);
    virtual void processReplacing(float** inputs, float** outputs, VstInt32 frames);

    // ---- parameters (any host thread); index is always 0..numParams-1 ----
    // value normalised 0..1, never NaN.
    virtual void setParameter(VstInt32 index, float value);
    virtual float getParameter(VstInt32 index);
    // Sets the value, then tells the host (it records automation).
    virtual void setParameterAutomated(VstInt32 index, float value);
    // Texts: text holds kVstParamTextCapacity bytes (23 characters + NUL).
    virtual void getParameterLabel(VstInt32 index, char* text);
    virtual void getParameterDisplay(VstInt32 index, char* text);
    virtual void getParameterName(VstInt32 index, char* text);

    // ---- programs (main thread) ----
    virtual VstInt32 getProgram() { return curProgram; }
    // program is the host's value as it came; the override decides what it accepts.
    virtual void setProgram(VstInt32 program);
    // name is the host's text, at most kVstProgramNameCapacity bytes are read.
    virtual void setProgramName(const char* name);
    // name holds kVstProgramNameCapacity bytes.
    virtual void getProgramName(char* name);

    // ---- chunks (main thread); isPreset: one program instead of the bank ----
    // Stores a pointer to memory this object keeps, answers its byte count.
    virtual VstInt32 getChunk(void** data, bool isPreset);
    // byteSize is above 0 and data is never null. Answers the load result.
    virtual VstInt32 setChunk(const void* data, VstInt32 byteSize, bool isPreset);

    // ---- set-up, called by the constructor of a derived plug-in ----
    void setUniqueID(VstInt32 id) { cEffect.uniqueID = id; }
    void setNumInputs(VstInt32 inputs) { cEffect.numInputs = inputs; }
    void setNumOutputs(VstInt32 outputs) { cEffect.numOutputs = outputs; }
    void setInitialDelay(VstInt32 frames) { cEffect.initialDelay = frames; }
    void canProcessReplacing(bool state) { setFlag(effFlagsCanReplacing, state); }
    void programsAreChunks(bool state) { setFlag(effFlagsProgramChunks, state); }
    // Attaches the editor (owned from now on) and announces it to the host.
    virtual void setEditor(AEffEditor* newEditor);
    AEffEditor* getEditor() const { return editor; }

    float getSampleRate() const { return sampleRate; }
    VstInt32 getBlockSize() const { return blockSize; }
    VstInt32 getNumParams() const { return cEffect.numParams; }

    // ---- calls to the host (any thread); every one answers 0 without a host ----
    VstInt32 getMasterVersion();
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);

    // Copies text into a host buffer of capacity bytes: at most capacity - 1
    // characters and always a closing NUL. A null source writes "".
    static void copyHostText(char* dest, const char* text, size_t capacity);

protected:
    void setFlag(VstInt32 flag, bool state);
    bool isParameterIndex(VstInt32 index) const { return index >= 0 && index < cEffect.numParams; }

    AEffect cEffect;
    audioMasterCallback audioMaster;
    AEffEditor* editor = nullptr;
    float sampleRate = 44100.0f; // Hz
    VstInt32 blockSize = 1024;   // frames
    VstInt32 numPrograms;
    VstInt32 curProgram = 0;

private:
    // The record's function pointers: each finds the object and forwards.
    static VstIntPtr VSTCALLBACK dispatchEffect(AEffect* e, VstInt32 opcode, VstInt32 index,
                                                VstIntPtr value, void* ptr, float opt);
    static void VSTCALLBACK processEffect(AEffect* e, float** inputs, float** outputs,
                                          VstInt32 frames);
    static void VSTCALLBACK processReplacingEffect(AEffect* e, float** inputs, float** outputs,
                                                   VstInt32 frames);
    static void VSTCALLBACK setParameterEffect(AEffect* e, VstInt32 index, float value);
    static float VSTCALLBACK getParameterEffect(AEffect* e, VstInt32 index);
    static AudioEffect* objectOf(AEffect* e);
};
