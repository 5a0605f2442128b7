#include "gui/EditorScale.h"

#include "gui/IPlatformWindow.h"

#include <cstdlib>
#include <cstring>

namespace qgui {

namespace {

// 1 or 2 from a user's text (spaces around allowed); 0 for anything else.
int scaleFromText(const char* text) {
    if (!text) return 0;
    while (*text == ' ' || *text == '\t')
        ++text;
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text) return 0;
    while (*end == ' ' || *end == '\t' || *end == '\r' || *end == '\n')
        ++end;
    if (*end != '\0') return 0;
    return (v == 1 || v == 2) ? int(v) : 0;
}

} // namespace

int pickScale(const char* environmentValue, const char* settingValue, int screenDpi) {
    if (int s = scaleFromText(environmentValue)) return s;
    if (int s = scaleFromText(settingValue)) return s;
    return screenDpi >= kHighDensityDpi ? 2 : 1;
}

int chooseScale(const char* settingValue) {
    const char* env = std::getenv("QUELLOR_SCALE");
    if (scaleFromText(env) || scaleFromText(settingValue)) return pickScale(env, settingValue, 0);
    return pickScale(nullptr, nullptr, nativeScreenDpi());
}

int parseXftDpi(const char* resources) {
    if (!resources) return 0;
    const char* key = "Xft.dpi:";
    const std::size_t keyLength = std::strlen(key);
    for (const char* line = resources; *line;) {
        if (std::strncmp(line, key, keyLength) == 0) {
            const char* p = line + keyLength;
            while (*p == ' ' || *p == '\t')
                ++p;
            double dpi = std::strtod(p, nullptr);
            return (dpi > 0 && dpi < 10000) ? int(dpi + 0.5) : 0;
        }
        const char* next = std::strchr(line, '\n');
        if (!next) break;
        line = next + 1;
    }
    return 0;
}

} // namespace qgui
