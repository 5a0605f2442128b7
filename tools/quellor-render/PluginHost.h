// One VST 2.4 plug-in loaded from a shared library and driven offline, as a
// host does: entry point, dispatcher opcodes, events, processReplacing. It also
// answers the plug-in's callback, including the transport (audioMasterGetTime)
// that follows a tempo map. Everything runs on the one thread of the tool.
#pragma once

#include "quellor-render/TempoMap.h"
#include "vst/VstAbi.h"

#include <cstdint>
#include <string>
#include <vector>

class CPluginHost {
public:
    // Most output channels we provide buffers for; instruments have two.
    static constexpr int kMaxChannels = 64;

    CPluginHost() = default;
    ~CPluginHost(); // stops and unloads if the caller did not
    CPluginHost(const CPluginHost&) = delete;
    CPluginHost& operator=(const CPluginHost&) = delete;

    // Opens the library, calls its entry (VSTPluginMain, else main) and checks the
    // record it returns. False with one line in `error` when it is not usable.
    bool load(const std::string& path, std::string& error);

    // effOpen, sample rate (Hz), largest block (frames), then resume.
    void start(double sampleRate, int blockSize);

    // Host parameter `id` (0..numParams-1) to normalised `value`.
    bool setParameter(int id, float value, std::string& error);

    // The plug-in's state as one block of bytes (effSetChunk / effGetChunk, as a
    // program). False with one line in `error` when the plug-in takes no chunks
    // or gives none; what effSetChunk answers is not read, as hosts do not.
    bool setChunk(const std::vector<uint8_t>& bytes, std::string& error);
    bool getChunk(std::vector<uint8_t>& bytes, std::string& error);
    // Asks a Quellor plug-in to load a program file as its editor does.
    bool loadProgramFile(const std::string& path, std::string& error);

    // The transport the plug-in sees: tempo and beat position follow `map`.
    // The map must outlive the rendering.
    void setTempoMap(const CTempoMap* map) { mTempoMap = map; }

    // Renders one block that starts at `samplePos` (frames from the start):
    // hands `events` over (if any) and calls processReplacing. `left` and
    // `right` receive the first two outputs; `frames` <= the block size.
    void processBlock(int64_t samplePos, VstEvents* events, float* left, float* right, int frames);

    // Suspend, effClose and unload; safe to call more than once.
    void stop();

    AEffect* effect() const { return mEffect; }

    // The callback every plug-in we load gets; answers the host opcodes.
    static VstIntPtr VSTCALLBACK hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                              VstIntPtr value, void* ptr, float opt);

private:
    VstIntPtr answer(VstInt32 opcode, VstIntPtr value, void* ptr);
    const VstTimeInfo& timeInfo();

    void* mLibrary = nullptr;
    AEffect* mEffect = nullptr;
    bool mRunning = false; // opened and resumed
    double mSampleRate = 44100.0;
    int mBlockSize = 512;
    int64_t mSamplePos = 0;
    const CTempoMap* mTempoMap = nullptr;
    VstTimeInfo mTimeInfo = {};
    std::vector<std::vector<float>> mOutputs; // one buffer per plug-in output
    std::vector<std::vector<float>> mInputs;  // silence for plug-ins with inputs
    std::vector<float*> mOutputPtrs;
    std::vector<float*> mInputPtrs;
};
