#include "base/FileSystem.h"

#ifdef _WIN32
// The one system header of the core: the code page conversions that let
// the C library's wide file calls take the plug-in's UTF-8 paths.
#include <windows.h>

#include <cstring>
#include <cwchar>

bool wideFromUtf8(const char* utf8, std::wstring& wide) {
    wide.clear();
    if (!utf8) return false;
    if (!utf8[0]) return true;
    // -1: the length comes from the NUL, which the count includes.
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
    if (units <= 0) return false;
    wide.assign(size_t(units), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, &wide[0], units) != units) {
        wide.clear();
        return false;
    }
    wide.resize(size_t(units) - 1);
    return true;
}

std::string utf8FromWide(const wchar_t* wide, int length) {
    if (!wide || length == 0) return std::string();
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string text(size_t(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, length, &text[0], bytes, nullptr, nullptr);
    // A length of -1 counted the NUL as well.
    if (length < 0 && !text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

void pathFromStored(char* path, size_t capacity) {
    std::wstring wide;
    if (!path || capacity == 0 || wideFromUtf8(path, wide)) return;
    const int units = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (units <= 1) return;
    wide.assign(size_t(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path, -1, &wide[0], units);
    const std::string utf8 = utf8FromWide(wide.c_str());
    if (utf8.empty() || utf8.size() >= capacity) return;
    std::memcpy(path, utf8.c_str(), utf8.size() + 1);
}

std::FILE* openFile(const char* utf8Path, const char* mode) {
    if (!utf8Path || !mode) return nullptr;
    std::wstring path, wideMode;
    if (!wideFromUtf8(utf8Path, path) || !wideFromUtf8(mode, wideMode))
        return std::fopen(utf8Path, mode);
    return _wfopen(path.c_str(), wideMode.c_str());
}

bool renameFile(const char* utf8From, const char* utf8To) {
    if (!utf8From || !utf8To) return false;
    std::wstring from, to;
    if (!wideFromUtf8(utf8From, from) || !wideFromUtf8(utf8To, to))
        return std::rename(utf8From, utf8To) == 0;
    return _wrename(from.c_str(), to.c_str()) == 0;
}

bool removeFile(const char* utf8Path) {
    if (!utf8Path) return false;
    std::wstring path;
    if (!wideFromUtf8(utf8Path, path)) return std::remove(utf8Path) == 0;
    return _wremove(path.c_str()) == 0;
}

#else

void pathFromStored(char*, size_t) {}

std::FILE* openFile(const char* utf8Path, const char* mode) {
    if (!utf8Path || !mode) return nullptr;
    return std::fopen(utf8Path, mode);
}

bool renameFile(const char* utf8From, const char* utf8To) {
    if (!utf8From || !utf8To) return false;
    return std::rename(utf8From, utf8To) == 0;
}

bool removeFile(const char* utf8Path) {
    if (!utf8Path) return false;
    return std::remove(utf8Path) == 0;
}

#endif
