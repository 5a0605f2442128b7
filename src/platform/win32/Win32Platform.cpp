// Windows backend: message boxes captioned by the caller, the registry value
// "rootFolder" under HKCU\SOFTWARE\tavrino\Quellor, FindFirstFileA listings,
// common file dialogs and the user's decimal separator from the locale info.
#include "platform/IPlatform.h"

#include <windows.h>

#include <commdlg.h>

#include <cstdlib>
#include <cstring>

namespace {

// The plug-in's own module (the DLL this code is in), not the host's program.
HINSTANCE ownModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ownModule), &module);
    return module;
}

class Win32Platform final : public IPlatform {
public:
    void showError(const char* caption, const char* text) override {
        MessageBoxA(nullptr, text, caption, MB_ICONERROR);
    }

    bool askYesNo(const char* caption, const char* text) override {
        return MessageBoxA(nullptr, text, caption, MB_YESNO) == IDYES;
    }

    bool chooseFile(char* pathBuffer, size_t capacity, const char* title, const char* pattern,
                    const char* description, void* ownerWindow, bool forOpening) override {
        // Filter list: description, NUL, pattern, two NULs, in a 100-byte buffer.
        char filter[100] = {0};
        size_t d = std::strlen(description), p = std::strlen(pattern);
        if (d + p + 3 > sizeof filter) return false;
        std::memcpy(filter, description, d);
        std::memcpy(filter + d + 1, pattern, p);
        OPENFILENAMEA ofn;
        std::memset(&ofn, 0, sizeof ofn);
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = (HWND)ownerWindow;
        ofn.hInstance = ownModule();
        ofn.lpstrFilter = filter;
        ofn.nFilterIndex = 0;
        ofn.lpstrFile = pathBuffer;
        ofn.nMaxFile = (DWORD)(capacity < 260 ? capacity : 260);
        ofn.lpstrTitle = title;
        ofn.lpstrDefExt = pattern;
        ofn.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
        return (forOpening ? GetOpenFileNameA(&ofn) : GetSaveFileNameA(&ofn)) != 0;
    }

    std::string configuredRootFolder() override {
        const char* env = std::getenv("QUELLOR_ROOT");
        if (env && env[0]) return env;
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\tavrino\\Quellor", 0, KEY_READ, &key) !=
            ERROR_SUCCESS)
            return std::string();
        char value[512] = {0};
        DWORD size = sizeof value - 1;
        DWORD type = 0;
        std::string result;
        if (RegQueryValueExA(key, "rootFolder", nullptr, &type, (LPBYTE)value, &size) ==
            ERROR_SUCCESS)
            result = value;
        RegCloseKey(key);
        return result;
    }

    std::string defaultRootFolder() override { return "C:\\VstPlugins\\Quellor"; }

    std::vector<FolderEntry> listFolder(const std::string& folder) override {
        std::vector<FolderEntry> entries;
        std::string pattern = folder;
        if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
        pattern += '*';
        WIN32_FIND_DATAA data;
        HANDLE h = FindFirstFileA(pattern.c_str(), &data);
        if (h == INVALID_HANDLE_VALUE) return entries;
        do {
            if (std::strcmp(data.cFileName, ".") == 0 || std::strcmp(data.cFileName, "..") == 0)
                continue;
            FolderEntry e;
            e.name = data.cFileName;
            e.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            entries.push_back(e);
        } while (FindNextFileA(h, &data));
        FindClose(h);
        return entries;
    }

    char pathSeparator() const override { return '\\'; }

    char decimalSeparator() override {
        char text[8] = {0};
        if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, text, sizeof text) > 0 &&
            text[0] && !text[1])
            return text[0];
        return '.';
    }
};

} // namespace

IPlatform& nativePlatform() {
    static Win32Platform platform;
    return platform;
}
