#pragma once
// A pop-up option menu: a field that shows the chosen entry (or, for a menu
// of commands, only its caption) and, when clicked, opens a list of entries
// drawn by the frame above everything else.
// Choosing an entry makes it current, sets the value to its index and calls
// the listener's valueChanged.
//
// An entry titled "-" is a separator: drawn as a line, never chosen, but
// counted in every index, so an index always names the same entry the editor
// added. Long lists wrap into columns (of a fixed number of entries where
// asked, else as many as fit the window's height).

#include "gui/CColor.h"
#include "gui/CControl.h"
#include "gui/CDrawContext.h"

#include <string>
#include <vector>

namespace qgui {

class COptionMenu : public CControl {
public:
    COptionMenu(const CRect& size, CControlListener* listener = nullptr, long tag = 0,
                CBitmap* background = nullptr);
    ~COptionMenu() override;

    // Appends an entry (or inserts it before index); titles are Latin-1 text.
    bool addEntry(const char* title, int index = -1);
    bool addSeparator() { return addEntry("-"); }
    bool removeAllEntry();
    int getNbEntries() const { return int(entries.size()); }
    // The entry's title; false (and an empty text) when index is out of range.
    bool getEntry(int index, std::string& title) const;
    const char* getEntryText(int index) const;
    bool isSeparator(int index) const;

    // The current entry's index (separators counted); -1 when the menu is empty.
    int getCurrent() const;
    // Makes index current without telling the listener; false when out of range.
    bool setCurrent(int index);
    // What a click on an entry of the pop-up does: current, listener, redraw.
    void chooseEntry(int index);

    void setFont(CFontId f) {
        font = f;
        setDirty();
    }
    CFontId getFont() const { return font; }
    void setFontColor(const CColor& c) {
        fontColor = c;
        setDirty();
    }
    const CColor& getFontColor() const { return fontColor; }
    // The field's colour where no bitmap is set; transparent draws nothing.
    void setBackColor(const CColor& c) {
        backColor = c;
        setDirty();
    }
    void setHoriAlign(CHoriTxtAlign a) {
        align = a;
        setDirty();
    }
    // A menu of commands: its entries are actions, not a choice that stays, so
    // the field shows only its background (the caption is the background's) and
    // the pop-up marks no entry. The chosen index is still current while the
    // listener runs, for it to read.
    void setCommandMenu(bool on) {
        commands = on;
        setDirty();
    }
    bool isCommandMenu() const { return commands; }
    // Entries per column of the pop-up; 0 fills each column to the window's height.
    void setNbItemsPerColumn(int n) { itemsPerColumn = n < 0 ? 0 : n; }
    int getNbItemsPerColumn() const { return itemsPerColumn; }

    void draw(CDrawContext* context) override;
    void mouse(CDrawContext* context, CPoint& where, long buttons = -1) override;

protected:
    void attached(CViewContainer* newParent, CFrame* newFrame) override;
    // Draws the field: background (bitmap or colour), then text in the menu's
    // font and colour, aligned as set, inset a little from the edges.
    void drawText(CDrawContext* context, const char* text);

private:
    std::vector<std::string> entries;
    CFontId font = kStandardFont;
    CColor fontColor = kBlackCColor;
    CColor backColor = kTransparentCColor;
    CHoriTxtAlign align = kCenterText;
    int itemsPerColumn = 0;
    bool commands = false;
};

} // namespace qgui
