#include "platform/posix/DialogPrograms.h"

#include "platform/posix/CChildProcess.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

std::string environment(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

bool onKdeDesktop() {
    std::string desktop = environment("XDG_CURRENT_DESKTOP");
    for (char& c : desktop)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return desktop.find("KDE") != std::string::npos ||
           desktop.find("PLASMA") != std::string::npos || !environment("KDE_FULL_SESSION").empty();
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

// Ties the dialog to the host's window, so that it stays above it.
void attach(DialogProgram program, std::vector<std::string>& args, void* ownerWindow) {
    if (!ownerWindow) return;
    // Both programs read the window id as a decimal number.
    const std::string id = std::to_string(reinterpret_cast<std::uintptr_t>(ownerWindow));
    if (program == DialogProgram::zenity) {
        args.push_back("--attach=" + id);
        args.push_back("--modal");
    } else {
        args.push_back("--attach");
        args.push_back(id);
    }
}

} // namespace

bool displayAvailable() {
    return !environment("DISPLAY").empty() || !environment("WAYLAND_DISPLAY").empty();
}

std::vector<DialogProgram> installedDialogPrograms() {
    std::vector<DialogProgram> order =
        onKdeDesktop() ? std::vector<DialogProgram>{DialogProgram::kdialog, DialogProgram::zenity}
                       : std::vector<DialogProgram>{DialogProgram::zenity, DialogProgram::kdialog};
    std::vector<DialogProgram> found;
    for (DialogProgram p : order)
        if (programOnPath(p == DialogProgram::zenity ? "zenity" : "kdialog")) found.push_back(p);
    return found;
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

std::vector<std::string> messageArguments(DialogProgram program, const char* caption,
                                          const char* text, bool question, void* ownerWindow) {
    std::vector<std::string> args;
    if (program == DialogProgram::zenity)
        // --no-markup: the text is shown as it stands, newlines included.
        args = {"zenity",    question ? "--question" : "--error", "--no-markup",
                "--no-wrap", std::string("--title=") + caption,   std::string("--text=") + text};
    else
        args = {"kdialog", "--title", caption, question ? "--yesno" : "--error", kdialogText(text)};
    attach(program, args, ownerWindow);
    return args;
}

std::vector<std::string> fileArguments(DialogProgram program, const char* initialPath,
                                       const char* title, const char* pattern,
                                       const char* description, bool forOpening,
                                       void* ownerWindow) {
    std::vector<std::string> patterns = splitPatterns(pattern);
    if (program == DialogProgram::zenity) {
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
        attach(program, args, ownerWindow);
        return args;
    }
    std::string filter;
    for (const std::string& p : patterns)
        filter += (filter.empty() ? "" : " ") + p;
    filter += std::string("|") + description;
    std::vector<std::string> args = {"kdialog",
                                     "--title",
                                     title,
                                     forOpening ? "--getopenfilename" : "--getsavefilename",
                                     *initialPath ? initialPath : ".",
                                     filter};
    attach(program, args, ownerWindow);
    return args;
}

std::vector<std::string> fallbackArguments(const char* caption, const char* text,
                                           const char* buttons) {
    return {"xmessage", "-title", caption, "-center", "-buttons", buttons, text};
}
