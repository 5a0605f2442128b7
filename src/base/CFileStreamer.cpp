#include "base/CFileStreamer.h"

#include "base/FileSystem.h"

#include <climits>
#include <cstring>

namespace {
constexpr const char* kFailedToOpen = "Failed to open the file";
constexpr const char* kNoFileOpen = "No File Open";
constexpr const char* kUnknownFileError = "Unknown File Error";
constexpr const char* kWrongParameter = "Wrong Parameter";
constexpr const char* kUnknownError = "Unknown Error";

void copyBounded(char* dst, size_t capacity, const char* src) {
    size_t n = std::strlen(src);
    if (n >= capacity) n = capacity - 1;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}
} // namespace

CFileStreamer::CFileStreamer() {
    copyBounded(error, sizeof error, "unknown");
    filePath[0] = '\0';
}

CFileStreamer::~CFileStreamer() {
    close();
}

void CFileStreamer::setError(const char* text) {
    copyBounded(error, sizeof error, text);
}

bool CFileStreamer::open(const char* path, bool forReading) {
    close();
    if (!path) {
        setError(kFailedToOpen);
        return false;
    }
    file = openFile(path, forReading ? "rb" : "wb");
    if (!file) {
        setError(kFailedToOpen);
        return false;
    }
    size = 0;
    if (forReading) {
        // Files are read whole into int32-sized buffers: anything larger (or a
        // stream whose size cannot be found) is refused here.
        long end = -1;
        if (std::fseek(file, 0, SEEK_END) == 0) end = std::ftell(file);
        if (end < 0 || end > long(INT32_MAX) || std::fseek(file, 0, SEEK_SET) != 0) {
            std::fclose(file);
            file = nullptr;
            setError(kFailedToOpen);
            return false;
        }
        size = int32_t(end);
    }
    pos = 0;
    copyBounded(filePath, sizeof filePath, path);
    return true;
}

bool CFileStreamer::write(const void* data, int32_t n) {
    if (!file) {
        setError(kNoFileOpen);
        return false;
    }
    if (n <= 0) return n == 0;
    if (std::fwrite(data, 1, size_t(n), file) == 0) {
        setError(kUnknownFileError);
        return false;
    }
    pos += n;
    return true;
}

bool CFileStreamer::read(void* dst, int32_t n) {
    lastRead = 0;
    if (!file) {
        setError(kNoFileOpen);
        return false;
    }
    if (n <= 0) return n == 0;
    const size_t got = std::fread(dst, 1, size_t(n), file);
    if (got == 0 && int64_t(pos) + n != size) {
        setError(kUnknownFileError);
        return false;
    }
    lastRead = int32_t(got);
    pos += lastRead;
    return true;
}

bool CFileStreamer::seek(int32_t offset) {
    if (!file) {
        setError(kNoFileOpen);
        return false;
    }
    if (offset < 0 || offset >= size) {
        setError(kWrongParameter);
        return false;
    }
    if (std::fseek(file, offset, SEEK_SET) != 0) {
        setError(kUnknownError);
        return false;
    }
    pos = offset;
    return true;
}

bool CFileStreamer::skip(int32_t n) {
    const int64_t target = int64_t(pos) + n;
    if (target < 0 || target > INT32_MAX) {
        setError(kWrongParameter);
        return false;
    }
    return seek(int32_t(target));
}

uint32_t CFileStreamer::readInt32LE() {
    uint8_t b[4] = {0, 0, 0, 0};
    read(b, 4);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

uint32_t CFileStreamer::readInt16LE() {
    uint8_t b[2] = {0, 0};
    read(b, 2);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8;
}

uint8_t CFileStreamer::readByte() {
    uint8_t b = 0;
    read(&b, 1);
    return b;
}

uint32_t CFileStreamer::readInt32BE() {
    uint8_t b[4] = {0, 0, 0, 0};
    read(b, 4);
    return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | uint32_t(b[3]);
}

uint32_t CFileStreamer::readInt16BE() {
    uint8_t b[2] = {0, 0};
    read(b, 2);
    return uint32_t(b[0]) << 8 | uint32_t(b[1]);
}

bool CFileStreamer::exists(const char* path) {
    if (!path) return false;
    std::FILE* f = openFile(path, "rb");
    if (!f) return false;
    std::fclose(f);
    return true;
}

void CFileStreamer::close() {
    if (file) std::fclose(file);
    file = nullptr;
    filePath[0] = '\0';
}
