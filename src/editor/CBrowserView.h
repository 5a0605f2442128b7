#pragma once
// The program browser: a panel over the window listing every program of
// every bank (CProgramCatalog), with a search line that filters the list by
// name as the user types, a star to mark favourites, and the keyboard to walk
// and load: Up and Down (Page Up and Down) move the selection, Return loads
// it as Load Program would, Backspace takes back a typed letter, Escape - or
// a click outside the panel - closes the browser. A click on a row selects
// it; a second click on it soon after loads it.
//
// Thread: the window's (user interface).

#include "gui/CView.h"
#include "patch/CProgramCatalog.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class CPluginFile;

// What the browser asks of the window that shows it.
class IBrowserOwner {
public:
    // Loads the program of entry as Load Program does.
    virtual void browserLoad(const CatalogEntry& entry) = 0;
    // The browser wants to go (Escape, a click outside).
    virtual void browserClosed() = 0;

protected:
    ~IBrowserOwner() = default;
};

class CBrowserView : public qgui::CView {
public:
    // The panel and its parts, in window coordinates at scale 1.
    static constexpr int kPanelLeft = 215, kPanelTop = 40, kPanelRight = 755, kPanelBottom = 560;
    static constexpr int kSearchTop = 66, kSearchBottom = 86;
    static constexpr int kListTop = 92, kRowHeight = 16, kRows = 27;
    static constexpr int kStarLeft = 223, kStarRight = 239, kNameLeft = 243, kBankLeft = 540;
    static constexpr int kFooterTop = 532;
    // A second click on a row within this time loads it.
    static constexpr std::chrono::milliseconds kDoubleClick{400};
    static constexpr int kWheelRows = 3;
    static constexpr const char* kTitle = "Programs";
    static constexpr const char* kSearchHint = "Type to search by name";
    static constexpr const char* kFooter =
        "Return loads   Esc closes   click a star to keep a favourite";
    static constexpr const char* kNothingFound = "No program has this in its name";

    // size: the whole window; settings: where the banks and favourites are.
    CBrowserView(const qgui::CRect& size, CPluginFile& settings, IBrowserOwner& owner);

    // Lists the programs afresh, empties the search and selects the program
    // called currentName (in bank currentBank) when it is listed.
    void open(const std::string& currentBank, const std::string& currentName);

    void draw(qgui::CDrawContext* context) override;
    void mouse(qgui::CDrawContext* context, qgui::CPoint& where, long buttons = -1) override;
    bool mouseWheel(const qgui::CPoint& where, float distance, long buttons) override;
    bool keyDown(long key, long modifiers) override;

    // What the browser shows (tests).
    const std::string& query() const { return search; }
    const std::vector<int32_t>& shownEntries() const { return shown; }
    // The selected entry of the catalog, or null when nothing is shown.
    const CatalogEntry* selectedEntry() const;
    CProgramCatalog& catalog() { return programs; }
    // The screen row of shown entry i (its top), for clicks; -1 when scrolled away.
    int rowTop(int32_t shownIndex) const;

    void setQuery(const std::string& text);

private:
    void select(int32_t shownIndex);
    void refilter();
    void loadSelected();
    void repaintPanel();

    CProgramCatalog programs;
    IBrowserOwner& owner;
    std::string search;
    std::vector<int32_t> shown; // catalog indices that match the search
    int32_t selected = 0;       // into shown
    int32_t firstRow = 0;       // the shown entry on the top row
    int32_t lastClicked = -1;
    std::chrono::steady_clock::time_point lastClickTime;
};
