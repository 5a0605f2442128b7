// The bank folders under the data root's banks folder and the program files
// of the current one, as the editor's lists and the hosts that switch
// programs show them: folders as full paths, files as names, both sorted by
// name, at most 128 entries of at most 511 characters each.
//
// Threads: user interface or host main thread (folder listing is I/O).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class CPluginFile;

class CBankList {
public:
    static constexpr int32_t kMaxListEntries = 128;
    static constexpr int32_t kListEntryCapacity = 512;

    // settings: the process-wide settings object (not owned; may be null:
    // the lists then stay empty).
    explicit CBankList(CPluginFile* settings);

    // Lists the banks folder again; the file list is emptied.
    void rescan();
    // Lists the program files of folder index; outside the list nothing changes.
    void selectFolder(int32_t index);
    // After rescanning: the folder that holds a file named programName (no
    // extension) in a folder named bankName; else the last folder holding
    // programName; else the first folder. It is selected, its first file current.
    void locate(const char* programName, const char* bankName);

    // "unknown" for index <= 0 of an empty list, null outside the list.
    const char* folderName(int32_t index) const;
    // The file's name without extension into text; "unknown" for index <= 0 of
    // an empty list; null outside the list.
    const char* fileName(int32_t index, char* text, size_t capacity) const;
    // Full path of program file index of the current folder; false outside.
    bool filePath(int32_t index, char* text, size_t capacity) const;

    int32_t folderCount() const { return folders; }
    int32_t fileCount() const { return files; }
    int32_t currentFolder() const { return folder; }
    int32_t currentFile() const { return file; }
    void setCurrentFile(int32_t index) { file = index; }

private:
    char* folderEntry(int32_t i) const { return folderList.get() + size_t(i) * kListEntryCapacity; }
    char* fileEntry(int32_t i) const { return fileList.get() + size_t(i) * kListEntryCapacity; }

    CPluginFile* settings;
    std::unique_ptr<char[]> folderList;
    std::unique_ptr<char[]> fileList;
    int32_t folders = 0;
    int32_t files = 0;
    int32_t folder = 0;
    int32_t file = 0;
};
