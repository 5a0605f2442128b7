// A platform double for unit tests: answers are queued by the test, messages
// and dialogs are recorded, folders are real folders on disk.
#pragma once

#include "platform/IPlatform.h"

#include <deque>
#include <memory>
#include <string>
#include <vector>

class ScriptedPlatform : public IPlatform {
public:
    // One file dialog as it was asked for.
    struct Dialog {
        std::string title, pattern, description, initialPath;
        bool forOpening = false;
    };

    std::vector<std::string> errors;     // texts shown by showError
    std::vector<std::string> captions;   // their captions, in the same order
    std::vector<Dialog> dialogs;         // every file dialog shown
    std::vector<std::string> questions;  // texts asked by askYesNo
    std::deque<bool> yesNoAnswers;       // next answers; No when empty
    std::deque<std::string> fileChoices; // next chosen paths; cancelled when empty
    std::string rootFolder;              // what configuredRootFolder answers
    std::string quality;                 // what configuredQuality answers; storeQuality sets it
    bool qualityStorable = true;         // what storeQuality answers
    std::string programChange;           // what configuredProgramChange answers
    std::string fallbackRoot = "/nonexistent/Quellor";
    char separator = '.';
    // Set: opened dialogs (file dialogs and questions) take their answers as
    // above but give them only after answerHeldDialogs, as a dialog program
    // the window waits for does.
    bool answerLater = false;
    void answerHeldDialogs();

    void showError(const char* caption, const char* text) override;
    bool askYesNo(const char* caption, const char* text) override;
    bool chooseFile(char* pathBuffer, size_t capacity, const char* title, const char* pattern,
                    const char* description, void* ownerWindow, bool forOpening) override;
    std::unique_ptr<IPendingDialog> openFileDialog(const char* initialPath, const char* title,
                                                   const char* pattern, const char* description,
                                                   void* ownerWindow, bool forOpening) override;
    std::unique_ptr<IPendingDialog> openQuestion(const char* caption, const char* text,
                                                 void* ownerWindow) override;
    std::string configuredRootFolder() override { return rootFolder; }
    std::string defaultRootFolder() override { return fallbackRoot; }
    std::string configuredQuality() override { return quality; }
    bool storeQuality(const std::string& value) override {
        if (qualityStorable) quality = value;
        return qualityStorable;
    }
    std::string configuredProgramChange() override { return programChange; }
    std::vector<FolderEntry> listFolder(const std::string& folder) override;
    char pathSeparator() const override { return '/'; }
    char decimalSeparator() override { return separator; }

private:
    std::unique_ptr<IPendingDialog> held(std::unique_ptr<IPendingDialog> answer);
    std::shared_ptr<bool> released = std::make_shared<bool>(false);
};
