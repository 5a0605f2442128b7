// Every program of every bank under the data root's banks folder, as the
// program browser lists them: sorted by bank, then by name, each with its
// favourite mark. Favourites are kept in the data root
// (QuellorData/Favourites.txt, one "bank/program" per line), so that every
// instance and every later session sees the same marks.
//
// Threads: user interface (folder listing and the favourites file are I/O).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CPluginFile;

struct CatalogEntry {
    std::string bank; // the bank folder's name
    std::string name; // the file's name without extension
    std::string path; // the program file
    bool favourite = false;
};

class CProgramCatalog {
public:
    static constexpr const char* kFavouritesFile = "Favourites.txt";

    // settings: the process-wide settings (not owned).
    explicit CProgramCatalog(CPluginFile& settings);

    // Lists the banks again and reads the favourites.
    void scan();
    const std::vector<CatalogEntry>& entries() const { return list; }

    // The indices of the entries whose name holds text in any letter case,
    // in catalog order; every entry for an empty text.
    void filter(const std::string& text, std::vector<int32_t>& shown) const;

    // Marks or unmarks entry index and keeps the marks in the data root. False
    // (with the message shown, the mark as it was) when they cannot be kept.
    bool toggleFavourite(int32_t index);

    std::string favouritesPath() const;

private:
    static std::string keyOf(const CatalogEntry& e) { return e.bank + "/" + e.name; }
    bool writeFavourites();

    CPluginFile& settings;
    std::vector<CatalogEntry> list;
    std::vector<std::string> lowerNames; // the names in lower case, for filtering
};
