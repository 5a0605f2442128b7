#include "support/ScriptedPlatform.h"

#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

void ScriptedPlatform::showError(const char* caption, const char* text) {
    errors.emplace_back(text);
    captions.emplace_back(caption);
}

bool ScriptedPlatform::askYesNo(const char*, const char* text) {
    questions.emplace_back(text);
    if (yesNoAnswers.empty()) return false;
    bool answer = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return answer;
}

bool ScriptedPlatform::chooseFile(char* pathBuffer, size_t capacity, const char* title,
                                  const char* pattern, const char* description, void*,
                                  bool forOpening) {
    dialogs.push_back({title, pattern, description, pathBuffer, forOpening});
    if (fileChoices.empty()) return false;
    std::string path = fileChoices.front();
    fileChoices.pop_front();
    if (path.size() + 1 > capacity) return false;
    std::memcpy(pathBuffer, path.c_str(), path.size() + 1);
    return true;
}

namespace {

// An answer given once the test releases it.
class HeldDialog final : public IPendingDialog {
public:
    HeldDialog(std::unique_ptr<IPendingDialog> answer, std::shared_ptr<bool> released)
        : answer(std::move(answer)), released(std::move(released)) {}
    bool answered() override { return *released; }
    bool confirmed() const override { return answer->confirmed(); }
    const std::string& chosenPath() const override { return answer->chosenPath(); }

private:
    std::unique_ptr<IPendingDialog> answer;
    std::shared_ptr<bool> released;
};

} // namespace

std::unique_ptr<IPendingDialog> ScriptedPlatform::held(std::unique_ptr<IPendingDialog> answer) {
    if (!answerLater) return answer;
    return std::make_unique<HeldDialog>(std::move(answer), released);
}

void ScriptedPlatform::answerHeldDialogs() {
    *released = true;
    released = std::make_shared<bool>(false);
}

std::unique_ptr<IPendingDialog>
ScriptedPlatform::openFileDialog(const char* initialPath, const char* title, const char* pattern,
                                 const char* description, void* ownerWindow, bool forOpening) {
    return held(IPlatform::openFileDialog(initialPath, title, pattern, description, ownerWindow,
                                          forOpening));
}

std::unique_ptr<IPendingDialog>
ScriptedPlatform::openQuestion(const char* caption, const char* text, void* ownerWindow) {
    return held(IPlatform::openQuestion(caption, text, ownerWindow));
}

std::vector<FolderEntry> ScriptedPlatform::listFolder(const std::string& folder) {
    std::vector<FolderEntry> entries;
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec))
        entries.push_back({it->path().filename().string(), it->is_directory(ec)});
    return entries;
}
