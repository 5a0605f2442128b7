// The engine as the editor window reaches it: values by ID, the program to
// read, the edit transaction (CProgramEdit) to change its records, program
// and tuning files, bank folders, sampler slots, the sound quality and the
// settings the window shows. The sound renderer implements it; the window
// knows nothing else of the engine.
//
// Threads: the window's, unless a call says otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

class CBankList;
class CPluginFile;
class CProgram;
class CWaveManager;

// What one edit changed, for the engine to hand over to the audio thread.
struct ProgramTouches {
    uint32_t envelopes = 0; // one bit per envelope slot
    uint32_t patterns = 0;  // one bit per sequencer
    uint32_t waves = 0;     // one bit per operator
    bool restructured = false;
};

class IEditorEngine {
public:
    // ---- values ----
    // Stores the value in the program; the sound takes it at its next block.
    virtual void setParameter(int32_t id, double value) = 0;
    virtual double getParameter(int32_t id) const = 0;
    // A drag of a host parameter's control begins or ends (told to the host).
    virtual void beginEdit(int32_t id) = 0;
    virtual void endEdit(int32_t id) = 0;
    // Host parameter id now has its stored value: the host hears of it.
    virtual void announceValue(int32_t id) = 0;
    virtual void getParameterDisplay(int32_t id, char* text, size_t capacity) const = 0;
    virtual void getProgramName(char* text, size_t capacity) const = 0;
    // Any thread. hard silences every voice at once; every voice is then released.
    virtual void stopVoices(bool hard) = 0;
    // Any thread: the tempo the sound follows, in BPM.
    virtual double tempo() const = 0;

    // ---- the program ----
    // Read on the window's thread; changed only through a CProgramEdit.
    virtual const CProgram& program() const = 0;
    // The operators' wave tables, as the sound plays them.
    virtual const CWaveManager& waves() const = 0;
    // Held by every change of the program; a window that changes a record in
    // place holds it meanwhile, so that no chunk is taken halfway through.
    virtual std::recursive_mutex& editLock() = 0;

    // ---- files, banks, samples, quality, settings ----
    virtual bool loadProgramFile(const char* path, const char* bankName) = 0;
    virtual bool loadTuningFile(const char* path) = 0;
    virtual CBankList& banks() = 0;
    virtual void loadSample(int32_t slot, const char* path) = 0;
    virtual void clearSlot(int32_t slot) = 0;
    virtual bool slotHasSample(int32_t slot) const = 0;
    virtual void setQuality(int32_t quality) = 0;
    virtual int32_t quality() const = 0;
    // The process-wide settings (may be null).
    virtual CPluginFile* settings() const = 0;

    // ---- MIDI program change ----
    // While a window is open it carries out program changes from its idle
    // calls (takeProgramChange, then selectBankProgram as the program menu
    // does); otherwise the engine's own worker does.
    virtual void setWindowTakesProgramChanges(bool takes) = 0;
    virtual int32_t takeProgramChange() = 0;
    virtual bool selectBankProgram(int32_t n) = 0;

    // ---- going back to an earlier state (the window's undo and redo) ----
    // Makes the program equal to target as the window's own edits would have:
    // samples loaded or cleared where the slots' files differ, the tuning
    // table exchanged whole, every changed value taken by the sound at its
    // next block, every changed envelope, pattern and operator wave handed
    // over through the edit transaction, the host told of changed host
    // parameters. target's fine-tune link is not used.
    virtual void restoreProgram(const CProgram& target) = 0;
    // Any thread: how many times a program was installed whole (a chunk or a
    // program file) since the engine began.
    virtual uint32_t programLoads() const = 0;

protected:
    ~IEditorEngine() = default;

private:
    // The edit transaction's seams: the program to change under the edit
    // lock, and the hand-over of what the edit touched.
    friend class CProgramEdit;
    virtual CProgram& programForEdit() = 0;
    virtual void publishEdit(const ProgramTouches& touched) = 0;
};
