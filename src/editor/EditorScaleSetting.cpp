#include "editor/EditorScaleSetting.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>
#include <string>

std::string scaleSetting() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\tavrino\\Quellor", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return std::string();
    std::string result;
    char value[16] = {0};
    DWORD size = sizeof value - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key, "scale", nullptr, &type, reinterpret_cast<LPBYTE>(value), &size) ==
        ERROR_SUCCESS) {
        if (type == REG_SZ || type == REG_EXPAND_SZ) {
            result = value; // the buffer's last byte stays 0
        } else if (type == REG_DWORD && size == sizeof(DWORD)) {
            DWORD number = 0;
            std::memcpy(&number, value, sizeof number);
            result = std::to_string(number);
        }
    }
    RegCloseKey(key);
    return result;
}

#else

#include <cstdlib>
#include <fstream>

std::string scaleSetting() {
    std::string folder;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
        folder = config;
    else if (const char* home = std::getenv("HOME"); home && *home)
        folder = std::string(home) + "/.config";
    else
        return std::string();
    std::ifstream in(folder + "/Quellor/Quellor.conf");
    const std::string key = "scale=";
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.compare(0, key.size(), key) == 0) return line.substr(key.size());
    }
    return std::string();
}

#endif
