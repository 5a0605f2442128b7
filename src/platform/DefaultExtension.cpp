#include "platform/DefaultExtension.h"

#include <cstring>

std::string defaultExtension(const char* pattern) {
    if (!pattern) return std::string();
    while (*pattern == ' ')
        ++pattern;
    const char* end = std::strchr(pattern, ';');
    std::string first(pattern, end ? size_t(end - pattern) : std::strlen(pattern));
    while (!first.empty() && first.back() == ' ')
        first.pop_back();
    if (first.compare(0, 2, "*.") != 0) return std::string();
    first.erase(0, 2);
    if (first.empty() || first.find_first_of("*?[.") != std::string::npos) return std::string();
    return first;
}
