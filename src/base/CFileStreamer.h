// One C stdio file opened whole for reading or writing, with a position, the
// size cached at open, and the human-readable text of the last error, which
// callers show to the user unchanged.
//
// Thread: the caller's (user interface or host chunk/load calls); never the
// audio thread. Little-endian readers serve the WAV reader, big-endian ones the
// AIFF reader.
#pragma once

#include <cstdint>
#include <cstdio>

class CFileStreamer {
public:
    static constexpr int32_t kErrorTextSize = 1024;
    static constexpr int32_t kPathSize = 512;

    CFileStreamer();
    virtual ~CFileStreamer();
    CFileStreamer(const CFileStreamer&) = delete;
    CFileStreamer& operator=(const CFileStreamer&) = delete;

    // Closes any open file, then opens `path` in binary mode ("rb" or "wb",
    // which creates or truncates). Failure: "Failed to open the file".
    bool open(const char* path, bool forReading);
    // Writes n bytes; "No File Open" without a file, "Unknown File Error" when
    // nothing was written.
    bool write(const void* data, int32_t n);
    // Reads up to n bytes into dst. A short read counts as success (the rest of
    // dst is left as it was); reading nothing where bytes were expected fails
    // with "Unknown File Error". `lastReadCount` tells how many bytes arrived.
    bool read(void* dst, int32_t n);
    // offset in bytes from the start; must lie in 0..fileSize-1 ("Wrong Parameter").
    bool seek(int32_t offset);
    bool skip(int32_t n);

    // These start from 0 and read into it: without a file or bytes the result is 0.
    uint32_t readInt32LE();
    uint32_t readInt16LE();
    uint8_t readByte();
    uint32_t readInt32BE();
    uint32_t readInt16BE();

    int32_t fileSize() const { return size; }
    int32_t position() const { return pos; }
    // Bytes between the position and the end of the file (reading).
    int32_t remaining() const { return size > pos ? size - pos : 0; }
    int32_t lastReadCount() const { return lastRead; }
    bool isOpen() const { return file != nullptr; }
    const char* errorText() const { return error; }
    const char* path() const { return filePath; }

    static bool exists(const char* path);
    void close();

private:
    void setError(const char* text);

    char error[kErrorTextSize];
    char filePath[kPathSize];
    std::FILE* file = nullptr;
    int32_t size = 0;
    int32_t pos = 0;
    int32_t lastRead = 0;
};
