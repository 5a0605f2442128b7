#include "gui/x11/UriList.h"

#include <cctype>
#include <cstring>

namespace qgui {

namespace {

constexpr char kFileScheme[] = "file://";

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool sameHostName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The path of one file URI; empty when the URI names no file of this machine.
std::string pathOf(const std::string& uri, const std::string& localHost) {
    const std::size_t schemeLength = std::strlen(kFileScheme);
    if (uri.size() <= schemeLength) return {};
    for (std::size_t i = 0; i < schemeLength; ++i)
        if (std::tolower(static_cast<unsigned char>(uri[i])) != kFileScheme[i]) return {};
    const std::size_t slash = uri.find('/', schemeLength);
    if (slash == std::string::npos) return {};
    const std::string host = uri.substr(schemeLength, slash - schemeLength);
    if (!host.empty() && !sameHostName(host, "localhost") && !sameHostName(host, localHost))
        return {};

    std::string path;
    for (std::size_t i = slash; i < uri.size(); ++i) {
        char c = uri[i];
        if (c == '%') {
            const int high = i + 2 < uri.size() ? hexDigit(uri[i + 1]) : -1;
            const int low = high >= 0 ? hexDigit(uri[i + 2]) : -1;
            if (low < 0) return {}; // a broken escape: no guess at what was meant
            c = static_cast<char>(high * 16 + low);
            if (c == 0) return {};
            i += 2;
        } else if (c == '?' || c == '#') {
            break; // a query or fragment is no part of a file's name
        }
        path += c;
    }
    return path;
}

} // namespace

std::vector<std::string> filePathsFromUriList(const char* data, std::size_t size,
                                              const std::string& localHost) {
    std::vector<std::string> paths;
    std::size_t start = 0;
    while (start < size) {
        std::size_t end = start;
        while (end < size && data[end] != '\n' && data[end] != '\r' && data[end] != 0)
            ++end;
        const std::string line(data + start, end - start);
        if (!line.empty() && line[0] != '#') {
            std::string path = pathOf(line, localHost);
            if (!path.empty()) paths.push_back(std::move(path));
        }
        if (end < size && data[end] == 0) break; // the text ends at a NUL
        start = end + 1;
    }
    return paths;
}

} // namespace qgui
