// Linux backend: dialogs through zenity or kdialog when installed (never
// waited for from a window), the root folder from QUELLOR_ROOT or
// $XDG_CONFIG_HOME/Quellor/Quellor.conf, the sound quality from
// QUELLOR_QUALITY or the same file (and the program-change switch from
// QUELLOR_PROGRAM_CHANGE or the same file), data under $XDG_DATA_HOME/Quellor.
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

// $XDG_CONFIG_HOME/Quellor (default ~/.config/Quellor): where Quellor.conf lives.
std::string configFolder() {
    std::string config = environment("XDG_CONFIG_HOME");
    if (config.empty()) config = homeFolder() + "/.config";
    return config + "/Quellor";
}

// The text after "key=" on the first line of Quellor.conf that starts so;
// empty when there is none.
std::string configValue(const std::string& key) {
    std::ifstream in(configFolder() + "/Quellor.conf");
    std::string line;
    const std::string prefix = key + "=";
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.compare(0, prefix.size(), prefix) == 0) return line.substr(prefix.size());
    }
    return std::string();
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
        return configValue("rootFolder");
    }

    std::string configuredQuality() override {
        const std::string quality = environment("QUELLOR_QUALITY");
        return quality.empty() ? configValue("quality") : quality;
    }

    std::string configuredProgramChange() override {
        const std::string value = environment("QUELLOR_PROGRAM_CHANGE");
        return value.empty() ? configValue("programChange") : value;
    }

    std::string configuredScale() override { return configValue("scale"); }

    bool storeQuality(const std::string& value) override {
        // The file's other lines stay as they are; the new file replaces the
        // old one only once it is whole, so a failed write loses nothing.
        const std::string folder = configFolder();
        const std::string path = folder + "/Quellor.conf";
        std::vector<std::string> lines;
        {
            std::ifstream in(path);
            std::string line;
            while (std::getline(in, line))
                if (line.compare(0, 8, "quality=") != 0) lines.push_back(line);
        }
        lines.push_back("quality=" + value);
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        const std::string temporary = path + ".new";
        {
            std::ofstream out(temporary, std::ios::trunc);
            for (const std::string& line : lines)
                out << line << '\n';
            out.flush();
            if (!out) {
                std::filesystem::remove(temporary, ec);
                return false;
            }
        }
        std::filesystem::rename(temporary, path, ec);
        if (ec) std::filesystem::remove(temporary, ec);
        return !ec;
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
