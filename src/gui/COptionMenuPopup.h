#pragma once
// The open list of an option menu, laid out in columns below the field (or
// moved up and left to stay inside the window), with the entry under the
// mouse highlighted and the current one marked. Owned by the frame while open.

#include "gui/CRect.h"

namespace qgui {

class CDrawContext;
class COptionMenu;

class COptionMenuPopup {
public:
    // Lays the entries out for the given window and the menu's font.
    COptionMenuPopup(COptionMenu& menu, const CRect& window, CDrawContext& context);

    COptionMenu& getMenu() const { return menu; }
    const CRect& getRect() const { return rect; }
    // The entry under where; -1 outside the entries or on a separator.
    int entryAt(const CPoint& where) const;
    // Moves the highlight; true when it changed.
    bool hover(const CPoint& where);
    void draw(CDrawContext* context);

private:
    CRect entryRect(int index) const;

    COptionMenu& menu;
    CRect rect;
    int rows = 1;        // entries per column
    int columnWidth = 0; // scale 1
    int itemHeight = 0;
    int highlighted = -1;
};

} // namespace qgui
