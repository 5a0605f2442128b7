#include "platform/posix/PosixDialogs.h"

#include "platform/DefaultExtension.h"
#include "platform/posix/ChildProcess.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

enum class Program { zenity, kdialog };

std::string environment(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

// A dialog program started without a display would fail at best and hang at
// worst; without one nothing is started.
bool displayAvailable() {
    return !environment("DISPLAY").empty() || !environment("WAYLAND_DISPLAY").empty();
}

bool onKdeDesktop() {
    std::string desktop = environment("XDG_CURRENT_DESKTOP");
    for (char& c : desktop)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return desktop.find("KDE") != std::string::npos ||
           desktop.find("PLASMA") != std::string::npos || !environment("KDE_FULL_SESSION").empty();
}

// The installed dialog programs, the desktop's own first.
std::vector<Program> installedPrograms() {
    std::vector<Program> order = onKdeDesktop()
                                     ? std::vector<Program>{Program::kdialog, Program::zenity}
                                     : std::vector<Program>{Program::zenity, Program::kdialog};
    std::vector<Program> found;
    for (Program p : order)
        if (programOnPath(p == Program::zenity ? "zenity" : "kdialog")) found.push_back(p);
    return found;
}

// The patterns of a filter such as "*.wav;*.aif", one by one.
std::vector<std::string> splitPatterns(const char* pattern) {
    std::vector<std::string> parts;
    std::string current;
    for (const char* p = pattern; *p; ++p) {
        if (*p == ';') {
            if (!current.empty()) parts.push_back(current);
            current.clear();
        } else if (*p != ' ') {
            current += *p;
        }
    }
    if (!current.empty()) parts.push_back(current);
    return parts;
}

// GTK's filters tell upper from lower case, but files come as "STANDARD.TUN"
// or "Take1.WAV" as often as in lower case: "*.tun" becomes "*.[tT][uU][nN]".
std::string anyCase(const std::string& pattern) {
    std::string result;
    for (char c : pattern) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (std::isalpha(u) && u < 0x80) {
            result += '[';
            result += char(std::tolower(u));
            result += char(std::toupper(u));
            result += ']';
        } else {
            result += c;
        }
    }
    return result;
}

bool leafHasExtension(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
}

bool fileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// kdialog shows text that looks like HTML as HTML; such text is sent as
// escaped rich text so that "<" and "&" show as typed.
std::string kdialogText(const char* text) {
    if (!std::strchr(text, '<') && !std::strchr(text, '&')) return text;
    std::string html = "<html>";
    for (const char* p = text; *p; ++p) {
        switch (*p) {
        case '<':
            html += "&lt;";
            break;
        case '>':
            html += "&gt;";
            break;
        case '&':
            html += "&amp;";
            break;
        case '\n':
            html += "<br>";
            break;
        default:
            html += *p;
        }
    }
    return html + "</html>";
}

std::vector<std::string> messageArguments(Program program, const char* caption, const char* text,
                                          bool question) {
    if (program == Program::zenity)
        // --no-markup: the text is shown as it stands, newlines included.
        return {"zenity",    question ? "--question" : "--error", "--no-markup",
                "--no-wrap", std::string("--title=") + caption,   std::string("--text=") + text};
    return {"kdialog", "--title", caption, question ? "--yesno" : "--error", kdialogText(text)};
}

std::vector<std::string> fileArguments(Program program, const char* initialPath, const char* title,
                                       const char* pattern, const char* description,
                                       bool forOpening) {
    std::vector<std::string> patterns = splitPatterns(pattern);
    if (program == Program::zenity) {
        std::vector<std::string> args = {"zenity", "--file-selection",
                                         std::string("--title=") + title};
        if (*initialPath) args.push_back(std::string("--filename=") + initialPath);
        std::string filter = std::string(description) + " |";
        for (const std::string& p : patterns)
            filter += " " + anyCase(p);
        args.push_back("--file-filter=" + filter);
        if (!forOpening) {
            args.push_back("--save");
            args.push_back("--confirm-overwrite");
        }
        return args;
    }
    std::string filter;
    for (const std::string& p : patterns)
        filter += (filter.empty() ? "" : " ") + p;
    filter += std::string("|") + description;
    return {"kdialog",
            "--title",
            title,
            forOpening ? "--getopenfilename" : "--getsavefilename",
            *initialPath ? initialPath : ".",
            filter};
}

// Where no dialog program can be run, the message still reaches the user:
// always on stderr, and in an xmessage window where one can be shown.
// Returns xmessage's exit status (-1 when it did not run).
int fallbackMessage(const char* caption, const char* text, const char* buttons) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
    if (!displayAvailable() || !programOnPath("xmessage")) return -1;
    return runChildProcess({"xmessage", "-title", caption, "-center", "-buttons", buttons, text},
                           nullptr);
}

int runMessage(const char* caption, const char* text, bool question) {
    if (!displayAvailable()) return -1;
    for (Program p : installedPrograms()) {
        const int rc = runChildProcess(messageArguments(p, caption, text, question), nullptr);
        if (rc >= 0) return rc;
    }
    return -1;
}

const char* const kNoDialogProgram =
    "A file dialog needs zenity or kdialog, and neither is installed.\n"
    "Please install one of them (for example the package \"zenity\").";
const char* const kNoDisplay = "A file dialog needs a display, and none is available.";
const char* const kCaption = "Quellor";

} // namespace

void showErrorDialog(const char* caption, const char* text) {
    if (runMessage(caption, text, false) < 0) fallbackMessage(caption, text, "OK:0");
}

bool askYesNoDialog(const char* caption, const char* text) {
    int rc = runMessage(caption, text, true);
    if (rc < 0) {
        if (!displayAvailable()) {
            std::fprintf(stderr, "%s: %s (no display for the question, answering No)\n", caption,
                         text);
            return false;
        }
        rc = fallbackMessage(caption, text, "Yes:0,No:1");
    }
    return rc == 0;
}

bool chooseFileDialog(char* pathBuffer, size_t capacity, const char* title, const char* pattern,
                      const char* description, bool forOpening) {
    if (capacity == 0) return false;
    if (!displayAvailable()) {
        std::fprintf(stderr, "%s: %s\n", kCaption, kNoDisplay);
        return false;
    }
    const std::vector<Program> programs = installedPrograms();
    if (programs.empty()) {
        fallbackMessage(kCaption, kNoDialogProgram, "OK:0");
        return false;
    }
    std::string chosen;
    const int rc = runChildProcess(
        fileArguments(programs[0], pathBuffer, title, pattern, description, forOpening), &chosen);
    // Both programs end the path with one newline; a path may hold others.
    if (!chosen.empty() && chosen.back() == '\n') chosen.pop_back();
    if (rc != 0 || chosen.empty()) return false;

    if (!forOpening && !leafHasExtension(chosen)) {
        const std::string ext = defaultExtension(pattern);
        if (!ext.empty()) {
            chosen += "." + ext;
            // The dialog asked about the name as typed, not this one.
            if (fileExists(chosen)) {
                const std::string q = "The file \"" + chosen + "\" already exists.\nReplace it?";
                if (!askYesNoDialog(kCaption, q.c_str())) return false;
            }
        }
    }
    if (chosen.size() + 1 > capacity) {
        const std::string message = "The path is too long to be used (" +
                                    std::to_string(chosen.size()) + " characters; at most " +
                                    std::to_string(capacity - 1) + " are possible):\n" + chosen;
        showErrorDialog(kCaption, message.c_str());
        return false;
    }
    std::memcpy(pathBuffer, chosen.c_str(), chosen.size() + 1);
    return true;
}
