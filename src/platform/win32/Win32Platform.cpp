// Windows backend: message boxes captioned by the caller, the registry values
// "rootFolder", "quality" and "programChange" under HKCU\SOFTWARE\tavrino\Quellor, folder listings,
// common file dialogs and the user's decimal separator from the locale info.
//
// The plug-in's texts and paths are UTF-8; every call here that takes or
// gives a name is the wide (UTF-16) one, converted at this edge, so that a
// folder like C:\Users\José shows and opens as it is called.
#include "platform/IPlatform.h"

#include "base/FileSystem.h"
#include "platform/DefaultExtension.h"

#include <windows.h>

#include <commdlg.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

// The plug-in's own module (the DLL this code is in), not the host's program.
HINSTANCE ownModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ownModule), &module);
    return module;
}

// A text of the plug-in as UTF-16. One that is not valid UTF-8 is read in the
// ANSI code page: a path an older build stored that way still shows and opens.
std::wstring wide(const char* text) {
    std::wstring result;
    if (!text || wideFromUtf8(text, result)) return result;
    const int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (units <= 1) return result;
    result.assign(size_t(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &result[0], units);
    result.resize(size_t(units) - 1);
    return result;
}

// The dialogs' file name buffer, in characters.
constexpr size_t kDialogPathCharacters = 260;
// The filter list (description, NUL, pattern, two NULs), in bytes of its texts.
constexpr size_t kFilterBytes = 100;
// The registry value "rootFolder", in characters.
constexpr DWORD kRootFolderCharacters = 512;
// The registry values "quality" ("1" or "2") and "programChange", in characters.
constexpr DWORD kShortSettingCharacters = 16;
// Where the plug-in's settings live, under HKEY_CURRENT_USER.
const wchar_t* const kSettingsKey = L"SOFTWARE\\tavrino\\Quellor";

// A short registry value of the settings (a text, or a number written as
// one); empty when it is not there.
std::string registryText(const wchar_t* name) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::string();
    wchar_t value[kShortSettingCharacters] = {0};
    DWORD size = (kShortSettingCharacters - 1) * sizeof(wchar_t);
    DWORD type = 0;
    std::string result;
    if (RegQueryValueExW(key, name, nullptr, &type, (LPBYTE)value, &size) == ERROR_SUCCESS) {
        if (type == REG_SZ || type == REG_EXPAND_SZ) {
            result = utf8FromWide(value); // the buffer's last unit stays 0
        } else if (type == REG_DWORD && size == sizeof(DWORD)) {
            DWORD number = 0;
            std::memcpy(&number, value, sizeof number);
            result = std::to_string(number);
        }
    }
    RegCloseKey(key);
    return result;
}

// A short setting: the environment variable when set, else the registry value.
std::string configuredText(const wchar_t* variable, const wchar_t* name) {
    const wchar_t* env = _wgetenv(variable);
    if (env && env[0]) return utf8FromWide(env);
    return registryText(name);
}

class Win32Platform final : public IPlatform {
public:
    void showError(const char* caption, const char* text) override {
        MessageBoxW(nullptr, wide(text).c_str(), wide(caption).c_str(), MB_ICONERROR);
    }

    bool askYesNo(const char* caption, const char* text) override {
        return MessageBoxW(nullptr, wide(text).c_str(), wide(caption).c_str(), MB_YESNO) == IDYES;
    }

    bool chooseFile(char* pathBuffer, size_t capacity, const char* title, const char* pattern,
                    const char* description, void* ownerWindow, bool forOpening) override {
        if (!pathBuffer || capacity == 0) return false;
        const size_t d = std::strlen(description), p = std::strlen(pattern);
        if (d + p + 3 > kFilterBytes) return false;
        // Filter list: description, NUL, pattern, two NULs.
        std::wstring filter = wide(description);
        filter += L'\0';
        filter += wide(pattern);
        filter += L'\0';
        filter += L'\0';
        const std::wstring wideTitle = wide(title),
                           extension = wide(defaultExtension(pattern).c_str());
        const size_t characters =
            capacity < kDialogPathCharacters ? capacity : kDialogPathCharacters;
        std::wstring file(characters, L'\0');
        // An initial selection that does not fit is not offered cut short.
        const std::wstring initial = wide(pathBuffer);
        if (initial.size() < characters)
            std::memcpy(&file[0], initial.c_str(), initial.size() * sizeof(wchar_t));
        OPENFILENAMEW ofn;
        std::memset(&ofn, 0, sizeof ofn);
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = (HWND)ownerWindow;
        ofn.hInstance = ownModule();
        ofn.lpstrFilter = filter.c_str();
        ofn.nFilterIndex = 0;
        ofn.lpstrFile = &file[0];
        ofn.nMaxFile = DWORD(characters);
        ofn.lpstrTitle = wideTitle.c_str();
        ofn.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
        ofn.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
        if ((forOpening ? GetOpenFileNameW(&ofn) : GetSaveFileNameW(&ofn)) == 0) return false;
        // The answer in UTF-8; one that does not fit the caller's buffer is not
        // handed back cut short (it would name another file).
        const std::string chosen = utf8FromWide(file.c_str());
        if (chosen.size() >= capacity) return false;
        std::memcpy(pathBuffer, chosen.c_str(), chosen.size() + 1);
        return true;
    }

    std::string configuredRootFolder() override {
        // The variable's wide form: the narrow one is in the ANSI code page.
        const wchar_t* env = _wgetenv(L"QUELLOR_ROOT");
        if (env && env[0]) return utf8FromWide(env);
        HKEY key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return std::string();
        wchar_t value[kRootFolderCharacters] = {0};
        DWORD size = (kRootFolderCharacters - 1) * sizeof(wchar_t);
        DWORD type = 0;
        std::string result;
        if (RegQueryValueExW(key, L"rootFolder", nullptr, &type, (LPBYTE)value, &size) ==
            ERROR_SUCCESS)
            result = utf8FromWide(value);
        RegCloseKey(key);
        return result;
    }

    std::string defaultRootFolder() override { return "C:\\VstPlugins\\Quellor"; }

    std::string configuredQuality() override {
        return configuredText(L"QUELLOR_QUALITY", L"quality");
    }

    std::string configuredProgramChange() override {
        return configuredText(L"QUELLOR_PROGRAM_CHANGE", L"programChange");
    }

    std::string configuredScale() override { return registryText(L"scale"); }

    bool storeQuality(const std::string& value) override {
        HKEY key;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &key, nullptr) != ERROR_SUCCESS)
            return false;
        const std::wstring text = wide(value.c_str());
        const LONG result =
            RegSetValueExW(key, L"quality", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           DWORD((text.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
        return result == ERROR_SUCCESS;
    }

    std::vector<FolderEntry> listFolder(const std::string& folder) override {
        std::vector<FolderEntry> entries;
        std::wstring pattern = wide(folder.c_str());
        if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
        pattern += L'*';
        WIN32_FIND_DATAW data;
        HANDLE h = FindFirstFileW(pattern.c_str(), &data);
        if (h == INVALID_HANDLE_VALUE) return entries;
        do {
            if (std::wcscmp(data.cFileName, L".") == 0 || std::wcscmp(data.cFileName, L"..") == 0)
                continue;
            FolderEntry e;
            e.name = utf8FromWide(data.cFileName);
            e.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            entries.push_back(e);
        } while (FindNextFileW(h, &data));
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
