#include "platform/posix/PosixDialogs.h"

#include "platform/CAnsweredDialog.h"
#include "platform/DefaultExtension.h"
#include "platform/posix/CChildProcess.h"
#include "platform/posix/CMessageBoxes.h"
#include "platform/posix/DialogPrograms.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const kNoDialogProgram =
    "A file dialog needs zenity or kdialog, and neither is installed.\n"
    "Please install one of them (for example the package \"zenity\").";
const char* const kNoDisplay = "A file dialog needs a display, and none is available.";
const char* const kCaption = "Quellor";

// One dialog program running: a question (the answer is its exit status) or
// a file dialog (the path it prints). A save dialog whose name gets the
// default extension asks again when a file of the new name exists.
class CProgramDialog final : public IPendingDialog {
public:
    CProgramDialog(bool fileDialog, const char* pattern, bool forOpening, void* owner)
        : fileDialog(fileDialog), pattern(pattern ? pattern : ""), forOpening(forOpening),
          owner(owner) {}

    bool start(const std::vector<std::string>& argv) { return child.start(argv); }

    bool answered() override {
        if (done) return true;
        if (!child.finished()) return false;
        if (!fileDialog || asking) {
            yes = child.exitStatus() == 0;
            done = true;
            return true;
        }
        takeChoice();
        return done;
    }

    // Blocks until the answer is there (the waiting calls).
    void wait() {
        while (!answered())
            child.wait();
    }

    bool confirmed() const override { return yes; }
    const std::string& chosenPath() const override { return path; }

private:
    void takeChoice() {
        std::string chosen = child.output();
        // Both programs end the path with one newline; a path may hold others.
        if (!chosen.empty() && chosen.back() == '\n') chosen.pop_back();
        done = true;
        if (child.exitStatus() != 0 || chosen.empty()) return;
        path = chosen;
        yes = true;
        if (forOpening || leafHasExtension(path)) return;
        const std::string ext = defaultExtension(pattern.c_str());
        if (ext.empty()) return;
        path += "." + ext;
        if (!fileExists(path)) return;
        // The dialog asked about the name as typed, not this one.
        const std::string q = "The file \"" + path + "\" already exists.\nReplace it?";
        yes = false;
        const std::vector<DialogProgram> programs = installedDialogPrograms();
        if (programs.empty() ||
            !child.start(messageArguments(programs[0], kCaption, q.c_str(), true, owner)))
            return;
        asking = true;
        done = false;
    }

    CChildProcess child;
    bool fileDialog;
    std::string pattern;
    bool forOpening;
    void* owner;
    bool asking = false; // the replace question runs
    bool done = false;
    bool yes = false;
    std::string path;
};

} // namespace

std::unique_ptr<IPendingDialog> openFileDialogProgram(const char* initialPath, const char* title,
                                                      const char* pattern, const char* description,
                                                      void* ownerWindow, bool forOpening,
                                                      CMessageBoxes& messages) {
    if (!displayAvailable()) {
        std::fprintf(stderr, "%s: %s\n", kCaption, kNoDisplay);
        return std::make_unique<CAnsweredDialog>(false);
    }
    const std::vector<DialogProgram> programs = installedDialogPrograms();
    if (programs.empty()) {
        messages.queue(kCaption, kNoDialogProgram);
        return std::make_unique<CAnsweredDialog>(false);
    }
    auto dialog = std::make_unique<CProgramDialog>(true, pattern, forOpening, ownerWindow);
    if (!dialog->start(fileArguments(programs[0], initialPath ? initialPath : "", title, pattern,
                                     description, forOpening, ownerWindow)))
        return std::make_unique<CAnsweredDialog>(false);
    return dialog;
}

std::unique_ptr<IPendingDialog> openQuestionProgram(const char* caption, const char* text,
                                                    void* ownerWindow) {
    if (!displayAvailable()) {
        std::fprintf(stderr, "%s: %s (no display for the question, answering No)\n", caption, text);
        return std::make_unique<CAnsweredDialog>(false);
    }
    auto dialog = std::make_unique<CProgramDialog>(false, nullptr, true, ownerWindow);
    for (DialogProgram p : installedDialogPrograms())
        if (dialog->start(messageArguments(p, caption, text, true, ownerWindow))) return dialog;
    // Where no dialog program can be run, the question still reaches the user:
    // on stderr, and in an xmessage window where one can be shown.
    std::fprintf(stderr, "%s: %s\n", caption, text);
    if (programOnPath("xmessage") && dialog->start(fallbackArguments(caption, text, "Yes:0,No:1")))
        return dialog;
    return std::make_unique<CAnsweredDialog>(false);
}

bool askYesNoDialog(const char* caption, const char* text) {
    std::unique_ptr<IPendingDialog> dialog = openQuestionProgram(caption, text, nullptr);
    if (auto* running = dynamic_cast<CProgramDialog*>(dialog.get())) running->wait();
    return dialog->answered() && dialog->confirmed();
}

bool chooseFileDialog(char* pathBuffer, size_t capacity, const char* title, const char* pattern,
                      const char* description, bool forOpening, CMessageBoxes& messages) {
    if (capacity == 0) return false;
    std::unique_ptr<IPendingDialog> dialog = openFileDialogProgram(
        pathBuffer, title, pattern, description, nullptr, forOpening, messages);
    if (auto* running = dynamic_cast<CProgramDialog*>(dialog.get())) running->wait();
    if (!dialog->answered() || !dialog->confirmed()) return false;
    const std::string& chosen = dialog->chosenPath();
    if (chosen.size() + 1 > capacity) {
        const std::string message = "The path is too long to be used (" +
                                    std::to_string(chosen.size()) + " characters; at most " +
                                    std::to_string(capacity - 1) + " are possible):\n" + chosen;
        messages.queue(kCaption, message.c_str());
        return false;
    }
    std::memcpy(pathBuffer, chosen.c_str(), chosen.size() + 1);
    return true;
}
