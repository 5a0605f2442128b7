// What the plug-in needs from the operating system, behind one small
// interface so that quellor_core includes no system header. Backends:
// platform/posix (Linux) and platform/win32; tests use a scripted double.
#pragma once

#include "platform/CAnsweredDialog.h"
#include "platform/IPendingDialog.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

struct FolderEntry {
    std::string name;
    bool isDirectory = false;
};

class IPlatform {
public:
    // Room for the path a file dialog hands back.
    static constexpr size_t kAnswerCapacity = 4096;

    virtual ~IPlatform() = default;

    // Any thread. An error box (one OK button) with the given caption. Where
    // dialogs run as programs of their own (Linux) it returns at once and the
    // boxes are shown one after another; where no dialog program exists the
    // text goes to stderr.
    virtual void showError(const char* caption, const char* text) = 0;
    // UI thread. A Yes/No question, waited for; true when the user answers Yes.
    virtual bool askYesNo(const char* caption, const char* text) = 0;
    // UI thread. An open or save dialog, waited for. pathBuffer (capacity
    // bytes) holds the initial selection and receives the chosen path; true
    // when confirmed.
    virtual bool chooseFile(char* pathBuffer, size_t capacity, const char* title,
                            const char* pattern, const char* description, void* ownerWindow,
                            bool forOpening) = 0;

    // UI thread. The same file dialog and question, opened without waiting
    // for the answer, which the window asks for from its idle calls; the
    // dialog is tied to ownerWindow (the host's window) where the system
    // allows. Systems whose dialogs are modal answer before returning.
    virtual std::unique_ptr<IPendingDialog> openFileDialog(const char* initialPath,
                                                           const char* title, const char* pattern,
                                                           const char* description,
                                                           void* ownerWindow, bool forOpening) {
        // An initial path too long to hold is not offered cut short.
        std::string buffer(initialPath ? initialPath : "");
        if (buffer.size() >= kAnswerCapacity) buffer.clear();
        buffer.resize(kAnswerCapacity, '\0');
        if (!chooseFile(&buffer[0], buffer.size(), title, pattern, description, ownerWindow,
                        forOpening))
            return std::make_unique<CAnsweredDialog>(false);
        return std::make_unique<CAnsweredDialog>(true, buffer.c_str());
    }
    virtual std::unique_ptr<IPendingDialog> openQuestion(const char* caption, const char* text,
                                                         void*) {
        return std::make_unique<CAnsweredDialog>(askYesNo(caption, text));
    }
    // UI thread, from an open window's idle calls: moves the error boxes on
    // (the next one appears, tied to ownerWindow, when the last one was
    // closed). True while one of them is on the screen for that window (for
    // null: one tied to no window).
    virtual bool showMessages(void* /*ownerWindow*/) { return false; }
    // UI thread: the window is going; boxes still to come are tied to no window.
    virtual void forgetWindow(void* /*ownerWindow*/) {}

    // The data root the user configured (QUELLOR_ROOT, then the registry value or
    // the config file's rootFolder= line); empty when nothing is configured.
    virtual std::string configuredRootFolder() = 0;
    // The data root used when nothing is configured.
    virtual std::string defaultRootFolder() = 0;
    // The sound quality the user set (QUELLOR_QUALITY, then the registry value
    // or the config file's quality= line), as written; empty when none is set.
    virtual std::string configuredQuality() { return std::string(); }
    // UI thread. Keeps the quality for the instances to come (the registry
    // value or the config file's quality= line, the file's other lines kept);
    // false when it cannot be stored.
    virtual bool storeQuality(const std::string&) { return false; }
    // Whether MIDI program changes switch programs, as the user set it
    // (QUELLOR_PROGRAM_CHANGE, then the registry value or the config file's
    // programChange= line), as written; empty when none is set.
    virtual std::string configuredProgramChange() { return std::string(); }
    // The window scale the user set (the registry value or the config file's
    // scale= line), as written; empty when none is set. QUELLOR_SCALE, which
    // wins over it, is read where the scale is chosen.
    virtual std::string configuredScale() { return std::string(); }
    // The entries of a folder (without "." and ".."); empty when it cannot be listed.
    virtual std::vector<FolderEntry> listFolder(const std::string& folder) = 0;

    // The separator this system puts between folder names.
    virtual char pathSeparator() const = 0;
    // The user's decimal separator for display texts; the process-wide locale
    // is never changed (it would change how the host writes its own files).
    virtual char decimalSeparator() = 0;
};

// The backend linked into the plug-in (posix or win32).
IPlatform& nativePlatform();
