#include "support/ScriptedPlatform.h"

#include <cstring>
#include <filesystem>
#include <system_error>

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

std::vector<FolderEntry> ScriptedPlatform::listFolder(const std::string& folder) {
    std::vector<FolderEntry> entries;
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec))
        entries.push_back({it->path().filename().string(), it->is_directory(ec)});
    return entries;
}
