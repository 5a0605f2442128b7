// Linux backend: dialogs through zenity or kdialog when installed, the root
// folder from QUELLOR_ROOT or $XDG_CONFIG_HOME/Quellor/Quellor.conf, data
// under $XDG_DATA_HOME/Quellor.
#include "platform/IPlatform.h"

#include <langinfo.h>
#include <locale.h>
#include <sys/wait.h>
#include <unistd.h>

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

bool onPath(const char* program) {
    std::string path = environment("PATH");
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        std::string candidate = path.substr(start, end - start) + "/" + program;
        if (end > start && access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

// Runs a dialog program and returns its exit status (-1 when it could not run);
// its standard output, when wanted, is collected into out.
int runDialog(const std::vector<std::string>& args, std::string* out) {
    if (environment("DISPLAY").empty() && environment("WAYLAND_DISPLAY").empty()) return -1;
    int fds[2];
    if (pipe(fds) != 0) return -1;
    pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return -1;
    }
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    char buf[512];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        if (out) out->append(buf, size_t(n));
    close(fds[0]);
    int status = 0;
    if (waitpid(pid, &status, 0) < 0 || !WIFEXITED(status)) return -1;
    int code = WEXITSTATUS(status);
    return code == 127 ? -1 : code;
}

class PosixPlatform final : public IPlatform {
public:
    void showError(const char* caption, const char* text) override {
        int rc = -1;
        if (onPath("zenity"))
            rc = runDialog({"zenity", "--error", "--no-wrap", std::string("--title=") + caption,
                            std::string("--text=") + text},
                           nullptr);
        else if (onPath("kdialog"))
            rc = runDialog({"kdialog", "--title", caption, "--error", text}, nullptr);
        if (rc < 0) std::fprintf(stderr, "%s: %s\n", caption, text);
    }

    bool askYesNo(const char* caption, const char* text) override {
        int rc = -1;
        if (onPath("zenity"))
            rc = runDialog({"zenity", "--question", std::string("--title=") + caption,
                            std::string("--text=") + text},
                           nullptr);
        else if (onPath("kdialog"))
            rc = runDialog({"kdialog", "--title", caption, "--yesno", text}, nullptr);
        if (rc < 0) {
            std::fprintf(stderr, "%s: %s (no dialog available, answering No)\n", caption, text);
            return false;
        }
        return rc == 0;
    }

    bool chooseFile(char* pathBuffer, size_t capacity, const char* title, const char* pattern,
                    const char* description, void*, bool forOpening) override {
        std::string chosen;
        int rc = -1;
        std::string filter = std::string(description) + " | " + pattern;
        if (onPath("zenity")) {
            std::vector<std::string> args = {
                "zenity", "--file-selection", std::string("--title=") + title,
                std::string("--filename=") + pathBuffer, std::string("--file-filter=") + filter};
            if (!forOpening) {
                args.push_back("--save");
                args.push_back("--confirm-overwrite");
            }
            rc = runDialog(args, &chosen);
        } else if (onPath("kdialog")) {
            rc = runDialog({"kdialog", "--title", title,
                            forOpening ? "--getopenfilename" : "--getsavefilename", pathBuffer,
                            std::string(pattern) + "|" + description},
                           &chosen);
        } else {
            std::fprintf(stderr,
                         "Quellor: no file dialog is available (install zenity or kdialog)\n");
            return false;
        }
        while (!chosen.empty() && (chosen.back() == '\n' || chosen.back() == '\r'))
            chosen.pop_back();
        if (rc != 0 || chosen.empty() || chosen.size() + 1 > capacity) return false;
        std::memcpy(pathBuffer, chosen.c_str(), chosen.size() + 1);
        return true;
    }

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
};

} // namespace

IPlatform& nativePlatform() {
    static PosixPlatform platform;
    return platform;
}
