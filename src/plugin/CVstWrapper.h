// The plug-in object a host creates for each instance of Quellor. It holds
// no sound logic: it owns the instance's sound renderer and forwards audio,
// MIDI, parameter, program-name and chunk requests to it, and answers the
// host's questions about names, pins and capabilities.
//
// Threads: processReplacing, process and processEvents run on the host's
// audio thread (no allocation, no locks; the renderer try-locks only);
// parameter calls come from any host thread; everything else from the host's
// main or user-interface thread.
#pragma once

#include "engine/IRendererHost.h"
#include "vst/AudioEffectX.h"

#include <memory>

class CPluginFile;
class CSoundRenderer;

class CVstWrapper : public AudioEffectX, public IRendererHost {
public:
    static constexpr VstInt32 kUniqueId = fourCharCode('Q', 'X', 'L', 'V');
    static constexpr VstInt32 kProgramCount = 1;
    static constexpr VstInt32 kParameterCount = 43;
    static constexpr VstInt32 kInputCount = 0;
    static constexpr VstInt32 kOutputCount = 2;
    static constexpr VstInt32 kVendorVersion = 1300;
    static constexpr size_t kHostProductCapacity = 256;

    // Main thread. settings is the process-wide settings object (not owned).
    // When the renderer cannot be made, hasRenderer() is false and the entry
    // refuses the instance.
    CVstWrapper(audioMasterCallback audioMaster, CPluginFile* settings);
    ~CVstWrapper() override;

    bool hasRenderer() const { return renderer != nullptr; }
    // The host's product name as it answered; "" when it gave none.
    const char* hostProductName() const { return hostProduct; }

    // ---- IRendererHost: what the engine asks of the host ----
    void announceValue(int32_t id, float value) override;
    void beginValueEdit(int32_t id) override { beginEdit(id); }
    void endValueEdit(int32_t id) override { endEdit(id); }
    // The host's tempo when its time information holds a valid, finite one.
    bool hostTempo(double& bpm) override;
    // Reports the delay as initialDelay and asks the host to read it again.
    void latencyChanged(int32_t frames) override;

    // ---- lifecycle: both reset the engine ----
    void suspend() override;
    void resume() override;
    void setSampleRate(float rate) override;

    // ---- audio thread: no allocation, no locks ----
    // Renders frames into outputs[0] (left) and outputs[1] (right):
    // processReplacing overwrites, process adds.
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override;
    void process(float** inputs, float** outputs, VstInt32 frames) override;
    // Queues every MIDI event in host order; other event kinds are skipped.
    VstInt32 processEvents(const VstEvents* events) override;

    // ---- parameters 0..42, normalised 0..1 ----
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    void getParameterName(VstInt32 index, char* text) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterLabel(VstInt32 index, char* text) override;
    bool getParameterProperties(VstInt32 index, VstParameterProperties* properties) override;
    // UI thread: edit gestures reach the host only for host parameters.
    bool beginEdit(VstInt32 index) override;
    bool endEdit(VstInt32 index) override;

    // ---- programs and chunks (main thread) ----
    // Only Kore switches programs: it lists the files of the current bank
    // folder as its programs. Every other host sees one program, and the
    // call changes nothing.
    void setProgram(VstInt32 program) override;
    void setProgramName(const char* name) override;
    void getProgramName(char* name) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(const void* data, VstInt32 byteSize, bool isPreset) override;
    // kVendorLoadProgramFile (VendorRequests.h): loads the program file named
    // by ptr as the editor does; answers 1 when it was loaded.
    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override;

    // ---- what the host asks about the plug-in ----
    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override;
    VstPlugCategory getPlugCategory() override;
    VstInt32 canDo(const char* text) override;

private:
    void renderBlock(float** outputs, VstInt32 frames, bool replace);
    bool isHostParameter(VstInt32 index) const { return index >= 0 && index < kParameterCount; }

    std::unique_ptr<CSoundRenderer> renderer;
    char hostProduct[kHostProductCapacity] = {};
};
