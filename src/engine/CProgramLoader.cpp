#include "engine/CProgramLoader.h"

#include "engine/CProgramEdit.h"
#include "engine/CSoundRenderer.h"
#include "engine/IRendererHost.h"
#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "patch/PatchFiles.h"
#include "patch/ProgramFormat.h"
#include "waves/CWaveSample.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>
#include <new>
#include <string>

namespace {

// A sample file read whole, as WAV or else as AIFF; null when neither reader
// takes it (or memory runs out).
std::unique_ptr<CWaveSample> readSample(const char* path) {
    std::unique_ptr<CWaveSample> sample(new (std::nothrow) CWaveSample());
    if (!sample || !(sample->readWav(path) || sample->readAiff(path))) return nullptr;
    return sample;
}

} // namespace

struct CProgramLoader::SlotSamples {
    char paths[kSampleSlotCount][kProgramPathSize] = {};
    std::unique_ptr<CWaveSample> read[kSampleSlotCount];
    CWaveSample* replaced[kSampleSlotCount] = {};

    ~SlotSamples() {
        for (CWaveSample* s : replaced)
            delete s;
    }
};

std::vector<std::string> CProgramLoader::installProgram(const CProgram& incoming, bool notifyHost) {
    // What takes time is done before the structure lock: the sample files are
    // read, the waves built and the envelopes staged, all from incoming.
    SlotSamples samples;
    for (int32_t s = 0; s < kSampleSlotCount; ++s) {
        std::snprintf(samples.paths[s], kProgramPathSize, "%s", incoming.sampleSlots[s].samplePath);
        if (samples.paths[s][0]) samples.read[s] = readSample(samples.paths[s]);
    }
    r.waveManager.beginEdit();
    for (int32_t i = 0; i < kOperatorCount; ++i)
        r.waveManager.stageWave(i, incoming.operators[i].harmonicAmplitudes,
                                incoming.operators[i].harmonicPhases, 0.0);
    r.liveEnvelopes->beginEdit();
    r.liveEnvelopes->stageAll(incoming);
    // The exchange silences every voice and clears the effects' tails: the
    // output fades out first, so that it does not drop to 0 at once.
    r.exchangeFade.fadeOutAndWait();
    {
        std::lock_guard<std::mutex> lock(r.structureMutex);
        if (&incoming != r.programData.get()) {
            double* fineTune = r.programData->fineTune;
            *r.programData = incoming;
            r.programData->fineTune = fineTune;
        }
        r.waveManager.publish();
        r.liveEnvelopes->publish();
        applyAllParametersLocked(samples);
        r.exchangeFade.finish();
    }
    // The voices have taken the new waves.
    r.waveManager.releaseTaken();
    installs.fetch_add(1, std::memory_order_release);
    // The host hears of the values only now: it may not hold up the audio thread.
    if (notifyHost && r.host)
        for (int32_t id = 0; id < kHostParameterCount; ++id)
            r.host->announceValue(id, float(r.programData->getValue(id, false)));
    std::vector<std::string> failed;
    for (int32_t s = 0; s < kSampleSlotCount; ++s)
        if (samples.paths[s][0] && !r.programData->sampleSlots[s].samplePath[0])
            failed.emplace_back(samples.paths[s]);
    return failed;
}

void CProgramLoader::applyAllParametersLocked(SlotSamples& samples) {
    r.silenceVoices(true);
    // The new envelopes first, so that the reset starts them. The event queue
    // is left alone: it is the audio thread's (a block it cannot lock hands
    // its events on), and events queued now belong to the block that follows
    // the load.
    r.liveEnvelopes->take();
    r.resetRunningState();
    // Each sequencer's values go over once, not once for each of them.
    for (int32_t id = 0; id < kAppliedIdCount; ++id)
        r.applyValue(id, r.programData->getValue(id, false));
    {
        CProgramEdit edit(r);
        for (int32_t n = 0; n < kSequencerCount; ++n)
            edit.touchPattern(n);
    }
    for (int32_t s = 0; s < kSampleSlotCount; ++s) {
        CWaveSample* sample = samples.read[s].release();
        samples.replaced[s] = exchangeSample(s, sample, sample ? samples.paths[s] : "");
    }
    // Each operator's own values through the selected-operator IDs, then its wave. The tune
    // mode comes first: it decides whether the coarse value is a ratio or semitones.
    static constexpr int32_t kSelectedOperatorIds[] = {kSelectedTuneModeId,   kSelectedStartPhaseId,
                                                       kSelectedAmplitudeId,  kSelectedOffsetHzId,
                                                       kSelectedCoarseTuneId, kSelectedAuxSwitchId};
    for (int32_t i = 0; i < kOperatorCount; ++i)
        for (int32_t id : kSelectedOperatorIds)
            r.applyOperatorValue(i, id);
    r.takeEdits();
    r.programData->selectedOperator = 0;
    r.programData->selectedEnvelope = 0;
    r.programData->envelopePage = 0;
    r.programData->envelopeView = 0;
}

// ---------------------------------------------------------------- chunks and files

int32_t CProgramLoader::getChunk(void** data) {
    if (!data) return 0;
    *data = nullptr;
    std::lock_guard<std::recursive_mutex> edit(r.editMutex);
    chunkStream.clear();
    if (!saveProgram(*r.programData, chunkStream)) return 0;
    uint8_t* bytes = nullptr;
    const int32_t length = chunkStream.assemble(bytes);
    if (length <= 0) return 0;
    *data = bytes;
    return length;
}

int32_t CProgramLoader::setChunk(const void* data, int32_t length) {
    CMemAssembler reader;
    uint8_t* buffer = length > 0 && data ? reader.setBuffer(length) : nullptr;
    if (!buffer) {
        std::lock_guard<std::mutex> lock(r.structureMutex);
        r.silenceVoices(false);
        return 0;
    }
    std::memcpy(buffer, data, size_t(length));
    bool ok = false;
    std::vector<std::string> failed;
    {
        std::lock_guard<std::recursive_mutex> edit(r.editMutex);
        // Parsed into a copy, so that the audio thread plays on meanwhile; a
        // chunk that fails leaves the program as it was (and applies it again).
        std::unique_ptr<CProgram> incoming(new (std::nothrow) CProgram(*r.programData));
        ok = incoming && loadProgram(*incoming, reader, true);
        failed = installProgram(ok ? *incoming : *r.programData, true);
        r.locateProgram();
    }
    showSampleErrors(failed);
    return ok ? 1 : 0;
}

bool CProgramLoader::loadProgramFile(const char* path, const char* bankName) {
    if (!readProgramFile(path, bankName, true)) return false;
    std::lock_guard<std::recursive_mutex> edit(r.editMutex);
    r.locateProgram();
    return true;
}

bool CProgramLoader::loadTuningFile(const char* path) {
    if (!path || !r.settingsObject) return false;
    double ratios[kTuningNoteCount];
    char name[sizeof r.programData->tuningName];
    if (!readTuningFile(path, ratios, name, sizeof name, *r.settingsObject)) return false;
    std::lock_guard<std::recursive_mutex> edit(r.editMutex);
    std::lock_guard<std::mutex> lock(r.structureMutex);
    std::memcpy(r.programData->tuningRatios, ratios, sizeof ratios);
    std::memcpy(r.programData->tuningName, name, sizeof name);
    return true;
}

bool CProgramLoader::readProgramFile(const char* path, const char* bankName, bool notifyHost) {
    if (!path || !r.settingsObject) return false;
    std::unique_ptr<CProgram> incoming;
    {
        std::lock_guard<std::recursive_mutex> edit(r.editMutex);
        incoming.reset(new (std::nothrow) CProgram(*r.programData));
    }
    if (!incoming) {
        r.settingsObject->showError(kOutOfMemoryMessage);
        return false;
    }
    // Read and parsed with no lock held: a message about a bad file may stay on
    // the screen as long as the user likes while the synth plays on.
    if (!::loadProgramFile(*incoming, path, bankName, *r.settingsObject)) return false;
    std::vector<std::string> failed;
    {
        std::lock_guard<std::recursive_mutex> edit(r.editMutex);
        failed = installProgram(*incoming, notifyHost);
    }
    showSampleErrors(failed);
    return true;
}

// ---------------------------------------------------------------- sampler slots

void CProgramLoader::loadSample(int32_t slot, const char* path) {
    if (slot < 0 || slot >= kSampleSlotCount || !path || !path[0]) return;
    // The path may be the program's own, which the exchange rewrites.
    char stored[kProgramPathSize];
    std::snprintf(stored, sizeof stored, "%s", path);
    std::unique_ptr<CWaveSample> sample = readSample(stored);
    if (!sample) {
        showSampleError(stored);
        return;
    }
    CWaveSample* replaced = nullptr;
    {
        std::lock_guard<std::recursive_mutex> edit(r.editMutex);
        std::lock_guard<std::mutex> lock(r.structureMutex);
        replaced = exchangeSample(slot, sample.release(), stored);
    }
    delete replaced;
}

void CProgramLoader::clearSlot(int32_t slot) {
    if (slot < 0 || slot >= kSampleSlotCount) return;
    CWaveSample* replaced = nullptr;
    {
        std::lock_guard<std::recursive_mutex> edit(r.editMutex);
        std::lock_guard<std::mutex> lock(r.structureMutex);
        replaced = exchangeSample(slot, nullptr, "");
    }
    delete replaced;
}

CWaveSample* CProgramLoader::exchangeSample(int32_t slot, CWaveSample* sample, const char* path) {
    char* stored = r.programData->sampleSlots[slot].samplePath;
    std::snprintf(stored, kProgramPathSize, "%s", path);
    CWaveSample* replaced = r.samplerBank.exchange(slot, sample);
    // No voice may go on playing the sample that is about to be deleted.
    if (replaced) r.voiceAllocator.forgetSample(replaced);
    return replaced;
}

void CProgramLoader::showSampleError(const char* path) const {
    if (!r.settingsObject) return;
    const std::string message = std::string("Failed to load the sample\n") + path;
    r.settingsObject->showError(message.c_str());
}

void CProgramLoader::showSampleErrors(const std::vector<std::string>& paths) const {
    for (const std::string& path : paths)
        showSampleError(path.c_str());
}

// ---------------------------------------------------------------- going back

namespace {

// The program's stored data as whole 8-byte words: from its first field up to
// the fine-tune link, which belongs to the instance, not to the program.
const char* dataBegin(const CProgram& p) {
    return reinterpret_cast<const char*>(&p.name);
}
size_t dataWords(const CProgram& p) {
    return size_t(reinterpret_cast<const char*>(&p.fineTune) - dataBegin(p)) / sizeof(uint64_t);
}

// Whether the byte range [field, field + size) of a and the same range of b differ.
template <class T> bool differs(const CProgram& a, const CProgram& b, const T& fieldOfA) {
    const size_t at = size_t(reinterpret_cast<const char*>(&fieldOfA) - dataBegin(a));
    return std::memcmp(dataBegin(a) + at, dataBegin(b) + at, sizeof(T)) != 0;
}

} // namespace

void CProgramLoader::restoreProgram(const CProgram& target) {
    static_assert(alignof(CProgram) >= alignof(uint64_t), "the program's data is word-aligned");
    CProgram& p = *r.programData;
    // Samples first, with no lock held by us: a message about a missing file
    // is shown meanwhile, and a slot's values count only while it holds one.
    for (int32_t s = 0; s < kSampleSlotCount; ++s) {
        const char* path = target.sampleSlots[s].samplePath;
        if (std::strcmp(path, p.sampleSlots[s].samplePath) == 0) continue;
        if (path[0])
            loadSample(s, path);
        else
            clearSlot(s);
    }
    bool hostChanged[kHostParameterCount] = {};
    {
        CProgramEdit edit(r);
        if (differs(p, target, p.tuningRatios) || differs(p, target, p.tuningName)) {
            // The voices tune by the table at every control tick: it changes whole.
            std::lock_guard<std::mutex> lock(r.structureMutex);
            std::memcpy(p.tuningRatios, target.tuningRatios, sizeof p.tuningRatios);
            std::memcpy(p.tuningName, target.tuningName, sizeof p.tuningName);
        }
        bool valueChanged[kAppliedIdCount] = {};
        for (int32_t id = 0; id < kAppliedIdCount; ++id) {
            const double now = p.getValue(id, false), then = target.getValue(id, false);
            valueChanged[id] = std::memcmp(&now, &then, sizeof now) != 0;
        }
        static constexpr int32_t kOwnIds[] = {kSelectedTuneModeId,   kSelectedStartPhaseId,
                                              kSelectedAmplitudeId,  kSelectedOffsetHzId,
                                              kSelectedCoarseTuneId, kSelectedAuxSwitchId};
        bool ownChanged[kOperatorCount][std::size(kOwnIds)] = {};
        for (int32_t i = 0; i < kOperatorCount; ++i)
            for (size_t k = 0; k < std::size(kOwnIds); ++k)
                ownChanged[i][k] =
                    p.operatorValue(i, kOwnIds[k]) != target.operatorValue(i, kOwnIds[k]);
        if (p.envelopeCount != target.envelopeCount || differs(p, target, p.envelopeIdentities))
            edit.restructure();
        for (int32_t i = 0; i < kProgramEnvelopeCount; ++i)
            if (differs(p, target, p.envelopes[i]) || differs(p, target, p.keyCurves[i]) ||
                differs(p, target, p.velocityCurves[i]))
                edit.touchEnvelope(i);
        for (int32_t i = 0; i < kOperatorCount; ++i)
            if (differs(p, target, p.operators[i].harmonicAmplitudes) ||
                differs(p, target, p.operators[i].harmonicPhases))
                edit.touchWave(i);
        for (int32_t n = 0; n < kSequencerCount; ++n)
            if (differs(p, target, p.sequencers[n])) edit.touchPattern(n);

        // Every other word that differs is written whole, each as one relaxed
        // store: the audio thread may be reading the values among them. The
        // tuning went above and the sample paths are the slots' own.
        const char* tuningBegin = reinterpret_cast<const char*>(&p.tuningRatios);
        const char* tuningEnd = reinterpret_cast<const char*>(&p.tuningRatios + 1);
        const auto inSamplePath = [&](const char* at) {
            for (const SampleSlotPatch& slot : p.sampleSlots)
                if (at + sizeof(uint64_t) > slot.samplePath &&
                    at < slot.samplePath + sizeof slot.samplePath)
                    return true;
            return false;
        };
        char* to = const_cast<char*>(dataBegin(p));
        const char* from = dataBegin(target);
        // Compared a block at a time: an undo mostly changes a few words.
        constexpr size_t kBlockBytes = 512;
        const size_t bytes = dataWords(p) * sizeof(uint64_t);
        for (size_t block = 0; block < bytes; block += kBlockBytes) {
            const size_t n = std::min(kBlockBytes, bytes - block);
            if (std::memcmp(to + block, from + block, n) == 0) continue;
            for (size_t w = block; w < block + n; w += sizeof(uint64_t)) {
                char* at = to + w;
                uint64_t word;
                std::memcpy(&word, from + w, sizeof word);
                if (std::memcmp(at, &word, sizeof word) == 0) continue;
                if ((at >= tuningBegin && at < tuningEnd) || inSamplePath(at)) continue;
                __atomic_store_n(reinterpret_cast<uint64_t*>(at), word, __ATOMIC_RELAXED);
            }
        }
        for (int32_t id = 0; id < kAppliedIdCount; ++id) {
            if (!valueChanged[id]) continue;
            r.pendingValues.markValue(id);
            if (id < kHostParameterCount) hostChanged[id] = true;
        }
        for (int32_t i = 0; i < kOperatorCount; ++i)
            for (size_t k = 0; k < std::size(kOwnIds); ++k)
                if (ownChanged[i][k]) r.pendingValues.markOperatorValue(i, kOwnIds[k]);
    }
    for (int32_t id = 0; id < kHostParameterCount; ++id)
        if (hostChanged[id]) r.announceValue(id);
}

bool CProgramLoader::selectBankProgram(int32_t n) {
    char path[2 * CBankList::kListEntryCapacity + 2];
    char bankName[CBankList::kListEntryCapacity];
    {
        std::lock_guard<std::recursive_mutex> edit(r.editMutex);
        if (n < 0 || n >= r.bankList.fileCount() || !r.bankList.filePath(n, path, sizeof path))
            return false;
        const char* bank = r.bankList.folderName(r.bankList.currentFolder());
        std::snprintf(bankName, sizeof bankName, "%s", bank ? bank : "");
    }
    // Every voice stops for the new program: the load fades the output out
    // and silences them itself. Stopped here first, they would be cut off at
    // a block boundary. A program that cannot be loaded stops them at once.
    if (!loadProgramFile(path, bankName)) {
        r.stopVoices(true);
        return false;
    }
    std::lock_guard<std::recursive_mutex> edit(r.editMutex);
    r.bankList.setCurrentFile(n);
    return true;
}
