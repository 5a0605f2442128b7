// What the plug-in needs from the operating system, behind one small
// interface so that quellor_core includes no system header. Backends:
// platform/posix (Linux) and platform/win32; tests use a scripted double.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct FolderEntry {
    std::string name;
    bool isDirectory = false;
};

class IPlatform {
public:
    virtual ~IPlatform() = default;

    // UI thread. A modal error box (one OK button) with the given caption.
    // Where no dialog program exists the text goes to stderr.
    virtual void showError(const char* caption, const char* text) = 0;
    // UI thread. A modal Yes/No question; true when the user answers Yes.
    virtual bool askYesNo(const char* caption, const char* text) = 0;
    // UI thread. An open or save dialog. pathBuffer (capacity bytes) holds the
    // initial selection and receives the chosen path; true when confirmed.
    virtual bool chooseFile(char* pathBuffer, size_t capacity, const char* title,
                            const char* pattern, const char* description, void* ownerWindow,
                            bool forOpening) = 0;

    // The data root the user configured (QUELLOR_ROOT, then the registry value or
    // the config file's rootFolder= line); empty when nothing is configured.
    virtual std::string configuredRootFolder() = 0;
    // The data root used when nothing is configured.
    virtual std::string defaultRootFolder() = 0;
    // The sound quality the user set (QUELLOR_QUALITY, then the registry value
    // or the config file's quality= line), as written; empty when none is set.
    virtual std::string configuredQuality() { return std::string(); }
    // UI thread. Keeps the quality for the instances to come (the registry
    // value or the config file's quality= line, the file's other lines kept);
    // false when it cannot be stored.
    virtual bool storeQuality(const std::string&) { return false; }
    // The entries of a folder (without "." and ".."); empty when it cannot be listed.
    virtual std::vector<FolderEntry> listFolder(const std::string& folder) = 0;

    // The separator this system puts between folder names.
    virtual char pathSeparator() const = 0;
    // The user's decimal separator for display texts; the process-wide locale
    // is never changed (it would change how the host writes its own files).
    virtual char decimalSeparator() = 0;
};

// The backend linked into the plug-in (posix or win32).
IPlatform& nativePlatform();
