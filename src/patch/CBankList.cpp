#include "patch/CBankList.h"

#include "patch/CPluginFile.h"
#include "platform/IPlatform.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kListBytes = size_t(CBankList::kMaxListEntries) * CBankList::kListEntryCapacity;

const char* leafOf(const char* path) {
    const char* leaf = nullptr;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\') leaf = p + 1;
    return leaf;
}

bool hasProgramExtension(const std::string& name) {
    static const char kExtension[] = "qxlprg";
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.size() - dot - 1 != sizeof kExtension - 1) return false;
    for (size_t i = 0; i < sizeof kExtension - 1; ++i)
        if (std::tolower((unsigned char)name[dot + 1 + i]) != kExtension[i]) return false;
    return true;
}

std::vector<FolderEntry> sortedListing(IPlatform& platform, const std::string& folder) {
    std::vector<FolderEntry> entries = platform.listFolder(folder);
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return entries;
}

} // namespace

// Entries past the counts are never read, and every entry is written whole
// (a terminated name) before it counts: the lists are never cleared, so an
// instance touches only the part of them its banks fill.
CBankList::CBankList(CPluginFile* settingsObject)
    : settings(settingsObject), folderList(new char[kListBytes]), fileList(new char[kListBytes]) {}

void CBankList::rescan() {
    folders = files = folder = file = 0;
    if (!settings || settings->banksFolder[0] == 0) return;
    const std::string root = settings->banksFolder;
    for (const FolderEntry& e : sortedListing(settings->platform(), root)) {
        if (folders >= kMaxListEntries) break;
        if (!e.isDirectory || e.name == "." || e.name == "..") continue;
        std::snprintf(folderEntry(folders++), kListEntryCapacity, "%s%s", root.c_str(),
                      e.name.c_str());
    }
}

void CBankList::selectFolder(int32_t index) {
    if (index < 0 || index >= folders) return;
    folder = index;
    files = file = 0;
    for (const FolderEntry& e : sortedListing(settings->platform(), folderEntry(index))) {
        if (files >= kMaxListEntries) break;
        if (e.isDirectory || !hasProgramExtension(e.name)) continue;
        std::snprintf(fileEntry(files++), kListEntryCapacity, "%s", e.name.c_str());
    }
}

const char* CBankList::folderName(int32_t index) const {
    if (index <= 0 && folders == 0) return "unknown";
    if (index < 0 || index >= folders) return nullptr;
    return leafOf(folderEntry(index));
}

const char* CBankList::fileName(int32_t index, char* text, size_t capacity) const {
    if (!text || capacity == 0) return nullptr;
    if (index <= 0 && files == 0) {
        std::snprintf(text, capacity, "unknown");
        return text;
    }
    if (index < 0 || index >= files) return nullptr;
    std::snprintf(text, capacity, "%s", fileEntry(index));
    if (char* dot = std::strrchr(text, '.')) *dot = 0;
    return text;
}

bool CBankList::filePath(int32_t index, char* text, size_t capacity) const {
    if (!text || capacity == 0 || index < 0 || index >= files) return false;
    const char separator = settings ? settings->pathSeparator() : '/';
    const int n =
        std::snprintf(text, capacity, "%s%c%s", folderEntry(folder), separator, fileEntry(index));
    return n > 0 && size_t(n) < capacity;
}

void CBankList::locate(const char* programName, const char* bankName) {
    rescan();
    int32_t bothMatch = -1, nameMatch = -1;
    for (int32_t f = 0; f < folders && bothMatch < 0; ++f) {
        selectFolder(f);
        for (int32_t i = 0; i < files; ++i) {
            char name[kListEntryCapacity];
            if (!fileName(i, name, sizeof name) || std::strcmp(name, programName)) continue;
            nameMatch = f;
            const char* bank = folderName(f);
            if (bank && std::strcmp(bank, bankName) == 0) bothMatch = f;
            break;
        }
    }
    // The folder holding both names; else the last folder holding the
    // program's name; else the first folder.
    const int32_t chosen = bothMatch >= 0 ? bothMatch : (nameMatch >= 0 ? nameMatch : 0);
    selectFolder(chosen);
    file = 0;
}
