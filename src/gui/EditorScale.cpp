#include "gui/EditorScale.h"

#include "gui/IPlatformWindow.h"

#include <cstdlib>
#include <cstring>

namespace qgui {

namespace {

// Whether only spaces and a line end follow.
bool onlySpaceLeft(const char* text) {
    while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n')
        ++text;
    return *text == '\0';
}

// The scale in half steps from a user's text, "1", "1.5" or "2" (spaces
// around allowed); 0 for anything else. 1.5 is read by hand, not by strtod,
// which would follow the process's locale and its decimal comma.
int halvesFromText(const char* text) {
    if (!text) return 0;
    while (*text == ' ' || *text == '\t')
        ++text;
    if (std::strncmp(text, "1.5", 3) == 0) return onlySpaceLeft(text + 3) ? 3 : 0;
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text || !onlySpaceLeft(end)) return 0;
    return (v == 1 || v == 2) ? int(2 * v) : 0;
}

} // namespace

CScale pickScale(const char* environmentValue, const char* settingValue, int screenDpi) {
    if (int h = halvesFromText(environmentValue)) return CScale::fromHalves(h);
    if (int h = halvesFromText(settingValue)) return CScale::fromHalves(h);
    if (screenDpi >= kHighDensityDpi) return CScale(2);
    if (screenDpi >= kMediumDensityDpi) return CScale::oneAndAHalf();
    return CScale(1);
}

CScale chooseScale(const char* settingValue) {
    const char* env = std::getenv("QUELLOR_SCALE");
    if (halvesFromText(env) || halvesFromText(settingValue)) return pickScale(env, settingValue, 0);
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
