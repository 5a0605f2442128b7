// Writes a file under a temporary name in its target's folder and puts it in
// the target's place only when every byte has reached the disk, so that a
// failed save (a full disk, a folder that refuses writing) leaves either the
// old file or nothing, never a half-written file that looks like a good one.
//
// Thread: the caller's (user interface); never the audio thread.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

class CFileReplacer {
public:
    // The temporary file is the target's path with this ending.
    static constexpr const char* kTemporarySuffix = ".tmp~";

    explicit CFileReplacer(const char* target);
    // A temporary file that was not committed is removed.
    virtual ~CFileReplacer();
    CFileReplacer(const CFileReplacer&) = delete;
    CFileReplacer& operator=(const CFileReplacer&) = delete;

    // Creates the temporary file. Failure: "Failed to open the file".
    bool open();
    // Appends n bytes. Failure (nothing or only part written): "Unknown File Error".
    bool write(const void* data, size_t n);
    // Flushes and closes the temporary file and renames it over the target.
    // Failure: "Unknown File Error"; the temporary file is removed and any old
    // target is left as it was.
    bool commit();

    // The stream's error text, then the target's path and the system's reason
    // on lines of their own.
    const char* errorText() const { return error.c_str(); }

private:
    bool fail(const char* text, int code);
    void discard();

    std::string target;
    std::string temporary;
    std::FILE* file = nullptr;
    bool committed = false;
    std::string error;
};
