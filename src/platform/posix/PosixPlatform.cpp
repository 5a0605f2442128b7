// Linux backend: dialogs through zenity or kdialog when installed (never
// waited for from a window), the root folder from QUELLOR_ROOT or
// $XDG_CONFIG_HOME/Quellor/Quellor.conf, data under $XDG_DATA_HOME/Quellor.
#include "platform/IPlatform.h"

#include "platform/posix/CMessageBoxes.h"
#include "platform/posix/PosixDialogs.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace {

std::string environment(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string homeFolder() {
    std::string home = environment("HOME");
    return home.empty() ? std::string("/tmp") : home;
}

class PosixPlatform final : public IPlatform {
public:
    void showError(const char* caption, const char* text) override {
        messages.queue(caption, text);
    }

    bool askYesNo(const char* caption, const char* text) override {
        return askYesNoDialog(caption, text);
    }

    bool chooseFile(char* pathBuffer, size_t capacity, const char* title, const char* pattern,
                    const char* description, void*, bool forOpening) override {
        return chooseFileDialog(pathBuffer, capacity, title, pattern, description, forOpening,
                                messages);
    }

    std::unique_ptr<IPendingDialog> openFileDialog(const char* initialPath, const char* title,
                                                   const char* pattern, const char* description,
                                                   void* ownerWindow, bool forOpening) override {
        return openFileDialogProgram(initialPath, title, pattern, description, ownerWindow,
                                     forOpening, messages);
    }

    std::unique_ptr<IPendingDialog> openQuestion(const char* caption, const char* text,
                                                 void* ownerWindow) override {
        return openQuestionProgram(caption, text, ownerWindow);
    }

    bool showMessages(void* ownerWindow) override { return messages.show(ownerWindow); }
    void forgetWindow(void* ownerWindow) override { messages.forget(ownerWindow); }

    std::string configuredRootFolder() override {
        std::string root = environment("QUELLOR_ROOT");
        if (!root.empty()) return root;
        std::string config = environment("XDG_CONFIG_HOME");
        if (config.empty()) config = homeFolder() + "/.config";
        std::ifstream in(config + "/Quellor/Quellor.conf");
        std::string line;
        const std::string key = "rootFolder=";
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.compare(0, key.size(), key) == 0) return line.substr(key.size());
        }
        return std::string();
    }

    std::string defaultRootFolder() override {
        std::string data = environment("XDG_DATA_HOME");
        if (data.empty()) data = homeFolder() + "/.local/share";
        return data + "/Quellor";
    }

    std::vector<FolderEntry> listFolder(const std::string& folder) override {
        std::vector<FolderEntry> entries;
        std::error_code ec;
        std::filesystem::directory_iterator it(folder, ec), end;
        for (; !ec && it != end; it.increment(ec)) {
            FolderEntry e;
            e.name = it->path().filename().string();
            e.isDirectory = it->is_directory(ec);
            entries.push_back(e);
        }
        return entries;
    }

    char pathSeparator() const override { return '/'; }

    char decimalSeparator() override {
        if (separator == 0) {
            separator = '.';
            locale_t user = newlocale(LC_NUMERIC_MASK, "", (locale_t)0);
            if (user != (locale_t)0) {
                const char* radix = nl_langinfo_l(RADIXCHAR, user);
                if (radix && radix[0] && !radix[1]) separator = radix[0];
                freelocale(user);
            }
        }
        return separator;
    }

private:
    char separator = 0;
    CMessageBoxes messages;
};

} // namespace

IPlatform& nativePlatform() {
    static PosixPlatform platform;
    return platform;
}
