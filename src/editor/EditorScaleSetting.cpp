#include "editor/EditorScaleSetting.h"

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
