#include "patch/CFileReplacer.h"

#include "base/FileSystem.h"

#include <cerrno>
#include <cstring>

namespace {
constexpr const char* kFailedToOpen = "Failed to open the file";
constexpr const char* kUnknownFileError = "Unknown File Error";
// Where a system refuses to rename onto an existing file, the old file waits
// under this name until the new one is in place.
constexpr const char* kPreviousSuffix = ".old~";
} // namespace

CFileReplacer::CFileReplacer(const char* path)
    : target(path ? path : ""), temporary(target + kTemporarySuffix) {}

CFileReplacer::~CFileReplacer() {
    if (!committed) discard();
}

bool CFileReplacer::fail(const char* text, int code) {
    error = text;
    error += "\n";
    error += target;
    if (code != 0) {
        error += "\n";
        error += std::strerror(code);
    }
    discard();
    return false;
}

void CFileReplacer::discard() {
    if (file) {
        std::fclose(file);
        file = nullptr;
        removeFile(temporary.c_str());
    }
}

bool CFileReplacer::open() {
    discard();
    committed = false;
    if (target.empty()) return fail(kFailedToOpen, 0);
    errno = 0;
    file = openFile(temporary.c_str(), "wb");
    if (!file) return fail(kFailedToOpen, errno);
    return true;
}

bool CFileReplacer::write(const void* data, size_t n) {
    if (!file) return fail(kUnknownFileError, 0);
    errno = 0;
    if (n > 0 && std::fwrite(data, 1, n, file) != n) return fail(kUnknownFileError, errno);
    return true;
}

bool CFileReplacer::commit() {
    if (!file) return fail(kUnknownFileError, 0);
    errno = 0;
    // Buffered bytes meet a full disk only here: both results count.
    const bool flushed = std::fflush(file) == 0 && !std::ferror(file);
    const int flushError = errno;
    const bool closed = std::fclose(file) == 0;
    const int closeError = errno;
    file = nullptr;
    if (!flushed || !closed) {
        removeFile(temporary.c_str());
        return fail(kUnknownFileError, flushed ? closeError : flushError);
    }
    errno = 0;
    if (!renameFile(temporary.c_str(), target.c_str())) {
        // Some systems (Windows) do not rename onto an existing file: the old
        // one steps aside and comes back if the new one cannot take its place.
        const int renameError = errno;
        const std::string previous = target + kPreviousSuffix;
        removeFile(previous.c_str());
        const bool movedAside = renameFile(target.c_str(), previous.c_str());
        if (!movedAside || !renameFile(temporary.c_str(), target.c_str())) {
            if (movedAside) renameFile(previous.c_str(), target.c_str());
            removeFile(temporary.c_str());
            return fail(kUnknownFileError, renameError);
        }
        removeFile(previous.c_str());
    }
    committed = true;
    return true;
}
