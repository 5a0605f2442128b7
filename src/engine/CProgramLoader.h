// Program chunks, program and tuning files, and sample loading for one sound
// renderer: what replaces the program, or the samples the voices hold, while
// the synth may play.
//
// Files are read and parsed, samples loaded and waves built before the
// renderer's structure lock is taken; the lock is held only for the exchange,
// and messages are shown after it is released (see CSoundRenderer for the
// locks). The renderer owns one and forwards its chunk, file and sample calls
// to it; the loader reaches the renderer's parts as a friend.
//
// Threads: the host's or the user interface's, never the audio thread.
#pragma once

#include "patch/CMemAssembler.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class CProgram;
class CSoundRenderer;
class CWaveSample;

class CProgramLoader {
public:
    explicit CProgramLoader(CSoundRenderer& renderer) : r(renderer) {}
    CProgramLoader(const CProgramLoader&) = delete;
    CProgramLoader& operator=(const CProgramLoader&) = delete;

    // Serialises the program; data stays owned by the loader until the next
    // call. 0 on failure. Taken under the edit lock, never halfway through a
    // load or a change that holds it.
    int32_t getChunk(void** data);
    // Loads the program from host bytes, applies it (telling the host) and
    // locates it in the banks; answers the parse result.
    int32_t setChunk(const void* data, int32_t length);
    // Loads a program file as the editor does; bankName may be null.
    bool loadProgramFile(const char* path, const char* bankName);
    // Program n of the current bank, loaded as the program menu loads it
    // (a MIDI program change); n outside the bank changes nothing.
    bool selectBankProgram(int32_t n);
    // A program file read and installed; no bank folder located.
    bool readProgramFile(const char* path, const char* bankName, bool notifyHost);
    // Loads a TUN file as the program's microtuning (PatchFiles' loadTuningFile):
    // read first, then the whole table exchanged under the structure lock, so
    // that no voice tunes by half of the old table and half of the new.
    bool loadTuningFile(const char* path);

    // Sampler slots: the file is read before the structure lock is taken, the
    // message shown after it is released.
    void loadSample(int32_t slot, const char* path);
    void clearSlot(int32_t slot);

    // The window's undo and redo: the program made equal to target piece by
    // piece, as edits would have changed it (IEditorEngine::restoreProgram),
    // never installed whole, so that nothing stops sounding.
    void restoreProgram(const CProgram& target);
    // Programs installed whole so far (installProgram).
    uint32_t programLoads() const { return installs.load(std::memory_order_acquire); }

    // Makes incoming the program (it may be the program itself) and applies it
    // whole; the caller holds the edit lock. Samples are read and waves and
    // envelopes staged first; the structure lock is held only for the exchange.
    // Returns the paths of the samples that failed to load, for the caller to
    // tell once it has released the edit lock.
    std::vector<std::string> installProgram(const CProgram& incoming, bool notifyHost);
    void showSampleErrors(const std::vector<std::string>& paths) const;

private:
    // The sample files of a program, read before the structure lock is taken,
    // and the samples they replace, deleted after it is released.
    struct SlotSamples;
    // The apply-all steps under the structure lock.
    void applyAllParametersLocked(SlotSamples& samples);
    // Under the structure lock: sample (may be null) into slot, its path into
    // the program; returns the sample it replaces, for deletion after the lock.
    CWaveSample* exchangeSample(int32_t slot, CWaveSample* sample, const char* path);
    void showSampleError(const char* path) const;

    CSoundRenderer& r;
    CMemAssembler chunkStream;
    std::atomic<uint32_t> installs{0};
};
