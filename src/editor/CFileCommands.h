#pragma once
// The editor's file commands: each takes a file (chosen in the platform's
// dialog, or dropped onto the window), reads or writes it, applies it to the
// program through the engine and shows in a message box what went wrong.
// A load that fails leaves the program as it was. The caller redraws after a
// true result.
//
// Every kind of file has its own remembered path, kept by the process-wide
// settings: each dialog opens there, and each command leaves its path in it.
//
// Thread: the user interface's. The dialog is opened first (openDialog) and
// the command runs once the user has chosen, from the window's idle call.

#include <cstddef>
#include <memory>
#include <string>

class CPluginFile;
class IEditorEngine;
class IPendingDialog;

class CFileCommands {
public:
    // The longest path (with its terminating NUL) a command takes.
    static constexpr size_t kPathCapacity = 260;
    // Sample files are copied in pieces of this size.
    static constexpr size_t kCopyPieceBytes = 65536;

    static constexpr const char* kSampleSaveFailed = "Failed to save sample\n%s";
    static constexpr const char* kClearSampleQuestion = "Clear Sample?";
    static constexpr const char* kPathTooLong =
        "The path is longer than the 259 characters a file name may have here\n%s";

    enum class Kind { Program, Pattern, Envelope, Wave, Tuning, Sample };
    // One file dialog: its title, filter and mode, and whose remembered path it uses.
    struct Dialog {
        const char* title;
        const char* description;
        const char* pattern; // its first extension is also the default one for saves
        bool forOpening;
        Kind kind;
    };
    static constexpr Dialog kLoadProgram{"Load Program", "Program", "*.qxlprg", true,
                                         Kind::Program};
    static constexpr Dialog kSaveProgram{"Save Program", "Program", "*.qxlprg", false,
                                         Kind::Program};
    static constexpr Dialog kLoadPattern{"Load Sequencer Pattern", "Sequencer Pattern", "*.qxlseq",
                                         true, Kind::Pattern};
    static constexpr Dialog kSavePattern{"Save Sequencer Pattern", "Sequencer Pattern", "*.qxlseq",
                                         false, Kind::Pattern};
    static constexpr Dialog kLoadEnvelope{"Load Envelope", "Envelope", "*.qxlenv", true,
                                          Kind::Envelope};
    static constexpr Dialog kSaveEnvelope{"Save Envelope", "Envelope", "*.qxlenv", false,
                                          Kind::Envelope};
    static constexpr Dialog kImportWave{"Import Wave", "Microsoft Wave, AIFF, Quellor waves",
                                        "*.qxlwav;*.wav;*.aif;*.aiff", true, Kind::Wave};
    static constexpr Dialog kExportWave{"Export Wave", "Quellor waves", "*.qxlwav", false,
                                        Kind::Wave};
    static constexpr Dialog kLoadTuning{"Load Microtuning", "Microtuning (TUN, Scala)",
                                        "*.tun;*.scl;*.kbm", true, Kind::Tuning};
    static constexpr Dialog kLoadSample{"Load Sample", "WAV, AIFF Audio Files",
                                        "*.wav;*.aif;*.aiff", true, Kind::Sample};

    // renderer: the instance's engine; settings: the process-wide settings
    // (neither owned); owner: the window the dialogs belong to (may be null).
    CFileCommands(IEditorEngine& renderer, CPluginFile& settings, void* owner);

    // Opens the dialog at its kind's remembered path, tied to the owner window.
    std::unique_ptr<IPendingDialog> openDialog(const Dialog& dialog);

    // Each acts on `path` (the dialog's choice or a dropped file). True when
    // the program changed (loads) or the file was written (saves).
    bool loadProgram(const char* path);
    bool saveProgram(const char* path);
    bool loadPattern(int sequencer, const char* path);
    bool savePattern(int sequencer, const char* path);
    bool loadEnvelope(const char* path);
    bool saveEnvelope(const char* path);
    // A WAV, then an AIFF file is analysed into the selected operator's
    // spectrum; only when both readers refuse it is it read as a saved wave.
    bool importSpectrum(const char* path);
    bool exportSpectrum(const char* path);
    bool loadTuning(const char* path);
    bool loadSample(int slot, const char* path);
    // Whether clearing the slot is worth asking about: it holds a sample.
    bool canClearSample(int slot) const;
    // Empties the slot (after a Yes to kClearSampleQuestion).
    bool clearSample(int slot);

private:
    // Takes the path of the file to act on and remembers it for the dialog of
    // its kind. False (after a message where one is due) when it cannot be used.
    bool pathFor(const Dialog& dialog, const char* given, char* path);
    char* rememberedPath(Kind kind);
    // Copies each slot's sample file into the folder of the program file
    // about to be saved; false (after the message) at the first that fails.
    bool copySamplesBeside(const char* programPath);
    // True when slot's sample was copied (or a file of its name was already
    // there); else false, with why in reason where more can be said.
    bool copySample(int slot, const char* programPath, std::string& reason);
    void showWithPath(const char* format, const char* path, const std::string& reason = {});

    IEditorEngine& renderer;
    CPluginFile& settings;
    void* owner;
};
