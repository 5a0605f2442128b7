#include "quellor-render/PluginHost.h"

#include "plugin/VendorRequests.h"

#include <algorithm>
#include <cstring>
#include <dlfcn.h>

namespace {

typedef AEffect* (*PluginEntry)(audioMasterCallback host);

constexpr VstIntPtr kHostVstVersion = 2400;
constexpr const char* kHostProduct = "quellor-render";
constexpr const char* kHostVendor = "Quellor";
constexpr size_t kHostTextCapacity = 64; // vendor and product buffers, NUL included

// The host whose plug-in is running its entry: during that call the plug-in has
// no record yet (or has not stored ours), so the callback cannot find us through it.
CPluginHost* gLoadingHost = nullptr;

std::string oneLine(const char* text) {
    std::string s = text ? text : "unknown reason";
    std::replace(s.begin(), s.end(), '\n', ' ');
    return s;
}

void copyText(void* ptr, const char* text) {
    if (ptr == nullptr) return;
    std::strncpy(static_cast<char*>(ptr), text, kHostTextCapacity - 1);
    static_cast<char*>(ptr)[kHostTextCapacity - 1] = '\0';
}

} // namespace

CPluginHost::~CPluginHost() {
    stop();
}

bool CPluginHost::load(const std::string& path, std::string& error) {
    stop();
    // A bare name would make dlopen search the library path; a plug-in is a file.
    const std::string openPath = path.find('/') == std::string::npos ? "./" + path : path;
    mLibrary = dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (mLibrary == nullptr) {
        error = "cannot load plug-in \"" + path + "\": " + oneLine(dlerror());
        return false;
    }
    PluginEntry entry = reinterpret_cast<PluginEntry>(dlsym(mLibrary, "VSTPluginMain"));
    if (entry == nullptr) entry = reinterpret_cast<PluginEntry>(dlsym(mLibrary, "main"));
    if (entry == nullptr) {
        error = "\"" + path + "\" is not a VST plug-in (no VSTPluginMain or main entry)";
        stop();
        return false;
    }
    gLoadingHost = this;
    AEffect* effect = entry(&CPluginHost::hostCallback);
    gLoadingHost = nullptr;
    if (effect == nullptr) {
        error = "plug-in \"" + path + "\" refused to start (its entry returned no effect)";
        stop();
        return false;
    }
    if (effect->magic != kEffectMagic) {
        error = "\"" + path + "\" returned a record that is not a VST effect (wrong magic)";
        stop();
        return false;
    }
    // From here the plug-in exists and must be closed even when we refuse it.
    mEffect = effect;
    mEffect->user = this;
    if (effect->dispatcher == nullptr || effect->processReplacing == nullptr) {
        error = "plug-in \"" + path + "\" has no " +
                (effect->dispatcher ? "processReplacing" : "dispatcher") + " function";
        mEffect = nullptr; // without a dispatcher it cannot be closed either
        stop();
        return false;
    }
    if (effect->numOutputs < 2 || effect->numOutputs > kMaxChannels || effect->numInputs < 0 ||
        effect->numInputs > kMaxChannels) {
        error = "plug-in \"" + path + "\" has " + std::to_string(effect->numOutputs) +
                " outputs and " + std::to_string(effect->numInputs) +
                " inputs; a stereo instrument is needed";
        mEffect->dispatcher(mEffect, effClose, 0, 0, nullptr, 0.0f);
        mEffect = nullptr;
        stop();
        return false;
    }
    return true;
}

void CPluginHost::start(double sampleRate, int blockSize) {
    mSampleRate = sampleRate;
    mBlockSize = blockSize;
    mOutputs.assign(size_t(mEffect->numOutputs), std::vector<float>(size_t(blockSize), 0.0f));
    mInputs.assign(size_t(mEffect->numInputs), std::vector<float>(size_t(blockSize), 0.0f));
    mOutputPtrs.clear();
    mInputPtrs.clear();
    for (auto& b : mOutputs)
        mOutputPtrs.push_back(b.data());
    for (auto& b : mInputs)
        mInputPtrs.push_back(b.data());

    mEffect->dispatcher(mEffect, effOpen, 0, 0, nullptr, 0.0f);
    mEffect->dispatcher(mEffect, effSetSampleRate, 0, 0, nullptr, float(sampleRate));
    mEffect->dispatcher(mEffect, effSetBlockSize, 0, blockSize, nullptr, 0.0f);
    mEffect->dispatcher(mEffect, effMainsChanged, 0, 1, nullptr, 0.0f);
    mRunning = true;
}

bool CPluginHost::setParameter(int id, float value, std::string& error) {
    const int count = std::max(mEffect->numParams, 0);
    if (id < 0 || id >= count) {
        error = "parameter " + std::to_string(id) + " does not exist (the plug-in has " +
                (count == 0 ? std::string("none") : "0.." + std::to_string(count - 1)) + ")";
        return false;
    }
    if (mEffect->setParameter == nullptr) {
        error = "the plug-in offers no way to set parameters";
        return false;
    }
    mEffect->setParameter(mEffect, id, value);
    return true;
}

bool CPluginHost::setChunk(const std::vector<uint8_t>& bytes, std::string& error) {
    if (!(mEffect->flags & effFlagsProgramChunks)) {
        error = "the plug-in does not take its state as a chunk";
        return false;
    }
    std::vector<uint8_t> copy(bytes); // the plug-in may keep no pointer into it, but may write
    // What effSetChunk answers means nothing fixed (many plug-ins answer 0
    // after taking the chunk), so, as hosts do, the answer is not read.
    mEffect->dispatcher(mEffect, effSetChunk, 1, VstIntPtr(copy.size()), copy.data(), 0.0f);
    return true;
}

bool CPluginHost::getChunk(std::vector<uint8_t>& bytes, std::string& error) {
    void* data = nullptr;
    const VstIntPtr length = mEffect->dispatcher(mEffect, effGetChunk, 1, 0, &data, 0.0f);
    if (length <= 0 || data == nullptr) {
        error = "the plug-in gave no chunk";
        return false;
    }
    const uint8_t* begin = static_cast<const uint8_t*>(data);
    bytes.assign(begin, begin + length);
    return true;
}

bool CPluginHost::loadProgramFile(const std::string& path, std::string& error) {
    std::vector<char> text(path.begin(), path.end());
    text.push_back('\0');
    if (mEffect->dispatcher(mEffect, effVendorSpecific, kVendorLoadProgramFile, 0, text.data(),
                            0.0f) != 1) {
        error = "the plug-in could not load the program file \"" + path + "\"";
        return false;
    }
    return true;
}

void CPluginHost::processBlock(int64_t samplePos, VstEvents* events, float* left, float* right,
                               int frames) {
    mSamplePos = samplePos;
    if (events != nullptr && events->numEvents > 0)
        mEffect->dispatcher(mEffect, effProcessEvents, 0, 0, events, 0.0f);
    for (auto& b : mOutputs)
        std::fill(b.begin(), b.begin() + frames, 0.0f);
    mEffect->processReplacing(mEffect, mInputPtrs.empty() ? nullptr : mInputPtrs.data(),
                              mOutputPtrs.data(), frames);
    std::copy(mOutputs[0].begin(), mOutputs[0].begin() + frames, left);
    std::copy(mOutputs[1].begin(), mOutputs[1].begin() + frames, right);
}

void CPluginHost::stop() {
    if (mEffect != nullptr) {
        if (mRunning) mEffect->dispatcher(mEffect, effMainsChanged, 0, 0, nullptr, 0.0f);
        mEffect->dispatcher(mEffect, effClose, 0, 0, nullptr, 0.0f);
        mEffect = nullptr;
    }
    mRunning = false;
    if (mLibrary != nullptr) {
        dlclose(mLibrary);
        mLibrary = nullptr;
    }
}

const VstTimeInfo& CPluginHost::timeInfo() {
    const double seconds = double(mSamplePos) / mSampleRate;
    mTimeInfo = VstTimeInfo();
    mTimeInfo.samplePos = double(mSamplePos);
    mTimeInfo.sampleRate = mSampleRate;
    mTimeInfo.tempo = mTempoMap ? mTempoMap->bpmAtSeconds(seconds) : CTempoMap::kDefaultBpm;
    mTimeInfo.ppqPos =
        mTempoMap ? mTempoMap->beatsAtSeconds(seconds) : seconds * CTempoMap::kDefaultBpm / 60.0;
    mTimeInfo.timeSigNumerator = 4;
    mTimeInfo.timeSigDenominator = 4;
    mTimeInfo.flags = kVstTempoValid | kVstPpqPosValid | kVstTransportPlaying;
    return mTimeInfo;
}

VstIntPtr CPluginHost::answer(VstInt32 opcode, VstIntPtr /*value*/, void* ptr) {
    switch (opcode) {
    case audioMasterVersion:
        return kHostVstVersion;
    case audioMasterGetTime:
        return reinterpret_cast<VstIntPtr>(&timeInfo());
    case audioMasterGetSampleRate:
        return VstIntPtr(mSampleRate);
    case audioMasterGetBlockSize:
        return mBlockSize;
    case audioMasterWantMidi:
        return 1;
    case audioMasterGetProductString:
        copyText(ptr, kHostProduct);
        return 1;
    case audioMasterGetVendorString:
        copyText(ptr, kHostVendor);
        return 1;
    case audioMasterCanDo: {
        const char* text = static_cast<const char*>(ptr);
        if (text == nullptr) return 0;
        for (const char* yes : {"sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo"})
            if (std::strcmp(text, yes) == 0) return 1;
        return 0;
    }
    default:
        return 0;
    }
}

VstIntPtr VSTCALLBACK CPluginHost::hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                                VstIntPtr value, void* ptr, float opt) {
    (void)index;
    (void)opt;
    // While the entry runs, the record's user field is not ours yet: trust it only after.
    CPluginHost* host = gLoadingHost;
    if (host == nullptr && effect != nullptr) host = static_cast<CPluginHost*>(effect->user);
    if (host == nullptr) // a call from nowhere we know: still answer the version
        return opcode == audioMasterVersion ? kHostVstVersion : 0;
    return host->answer(opcode, value, ptr);
}
