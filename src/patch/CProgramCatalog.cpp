#include "patch/CProgramCatalog.h"

#include "base/CFileStreamer.h"
#include "patch/CFileReplacer.h"
#include "patch/CPluginFile.h"
#include "platform/IPlatform.h"

#include <algorithm>
#include <memory>
#include <new>
#include <set>

namespace {

constexpr const char* kProgramExtension = ".qxlprg";
// The favourites file is a short list of names; more than this is not one.
constexpr int32_t kMaxFavouritesBytes = 4 * 1024 * 1024;

std::string lowerCase(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

// The name without the program extension (in any letter case); "" for other files.
std::string programName(const std::string& file) {
    const size_t n = std::char_traits<char>::length(kProgramExtension);
    if (file.size() <= n || lowerCase(file.substr(file.size() - n)) != kProgramExtension)
        return std::string();
    return file.substr(0, file.size() - n);
}

std::vector<FolderEntry> sorted(std::vector<FolderEntry> entries) {
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return entries;
}

// The lines of the favourites file ("bank/program" each); none when it is
// missing or no such file.
std::set<std::string> readMarks(const std::string& path) {
    std::set<std::string> marks;
    CFileStreamer file;
    if (path.empty() || !file.open(path.c_str(), true)) return marks;
    const int32_t size = file.fileSize();
    if (size <= 0 || size > kMaxFavouritesBytes) return marks;
    std::string text(size_t(size), '\0');
    if (!file.read(text.data(), size) || file.lastReadCount() != size) return marks;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) marks.insert(line);
        start = end + 1;
    }
    return marks;
}

} // namespace

CProgramCatalog::CProgramCatalog(CPluginFile& settingsObject) : settings(settingsObject) {}

std::string CProgramCatalog::favouritesPath() const {
    // The banks folder ends with a separator; its parent is QuellorData.
    std::string banks = settings.banksFolder;
    while (!banks.empty() && (banks.back() == '/' || banks.back() == '\\'))
        banks.pop_back();
    const size_t cut = banks.find_last_of("/\\");
    if (cut == std::string::npos) return std::string();
    return banks.substr(0, cut + 1) + kFavouritesFile;
}

void CProgramCatalog::scan() {
    list.clear();
    lowerNames.clear();
    const std::string root = settings.banksFolder;
    if (root.empty()) return;
    IPlatform& platform = settings.platform();
    for (const FolderEntry& bank : sorted(platform.listFolder(root))) {
        if (!bank.isDirectory || bank.name == "." || bank.name == "..") continue;
        const std::string folder = root + bank.name;
        for (const FolderEntry& file : sorted(platform.listFolder(folder))) {
            const std::string name = file.isDirectory ? std::string() : programName(file.name);
            if (name.empty()) continue;
            list.push_back({bank.name, name, folder + platform.pathSeparator() + file.name});
            lowerNames.push_back(lowerCase(name));
        }
    }
    const std::set<std::string> marked = readMarks(favouritesPath());
    for (CatalogEntry& e : list)
        e.favourite = marked.count(keyOf(e)) != 0;
}

void CProgramCatalog::filter(const std::string& text, std::vector<int32_t>& shown) const {
    shown.clear();
    const std::string wanted = lowerCase(text);
    for (size_t i = 0; i < lowerNames.size(); ++i)
        if (wanted.empty() || lowerNames[i].find(wanted) != std::string::npos)
            shown.push_back(int32_t(i));
}

bool CProgramCatalog::toggleFavourite(int32_t index) {
    if (index < 0 || size_t(index) >= list.size()) return false;
    list[size_t(index)].favourite = !list[size_t(index)].favourite;
    if (writeFavourites()) return true;
    list[size_t(index)].favourite = !list[size_t(index)].favourite;
    return false;
}

bool CProgramCatalog::writeFavourites() {
    // Marks of programs not listed now (a bank folder renamed for a while)
    // are kept: only the listed ones are rewritten.
    std::set<std::string> kept = readMarks(favouritesPath());
    for (const CatalogEntry& e : list) {
        if (e.favourite)
            kept.insert(keyOf(e));
        else
            kept.erase(keyOf(e));
    }
    std::string text;
    for (const std::string& line : kept)
        text += line + "\n";
    const std::string path = favouritesPath();
    CFileReplacer out(path.c_str());
    if (path.empty() || !out.open() || !out.write(text.data(), text.size()) || !out.commit()) {
        settings.showError(
            ("The favourites could not be kept\n" + std::string(out.errorText())).c_str());
        return false;
    }
    return true;
}
