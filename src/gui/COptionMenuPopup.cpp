#include "gui/COptionMenuPopup.h"

#include "gui/CDrawContext.h"
#include "gui/COptionMenu.h"

#include <algorithm>
#include <cmath>

namespace qgui {

namespace {
constexpr int kBorder = 1;
constexpr int kTextLeft = 12; // room for the current entry's mark
constexpr int kTextRight = 8;
constexpr CColor kPopupBack{242, 242, 242, 255};
constexpr CColor kPopupBorder{90, 90, 90, 255};
constexpr CColor kPopupText{0, 0, 0, 255};
constexpr CColor kHighlightBack{51, 102, 204, 255};
constexpr CColor kHighlightText{255, 255, 255, 255};
constexpr CColor kSeparatorLine{170, 170, 170, 255};
} // namespace

COptionMenuPopup::COptionMenuPopup(COptionMenu& menu_, const CRect& window, CDrawContext& context)
    : menu(menu_) {
    const int n = menu.getNbEntries();
    context.setFont(menu.getFont());
    double widest = 0;
    for (int i = 0; i < n; ++i)
        widest = std::max(widest, context.getStringWidth(menu.getEntryText(i)));
    // The font's line height plus a little air between entries.
    itemHeight = context.getFontHeight() + 3;

    const int fit = std::max(1, (window.height() - 2 * kBorder) / itemHeight);
    rows = menu.getNbItemsPerColumn() > 0 ? std::min(menu.getNbItemsPerColumn(), fit) : fit;
    rows = std::min(rows, std::max(n, 1));
    const int columns = (n + rows - 1) / rows;
    columnWidth = std::max(int(std::ceil(widest)) + kTextLeft + kTextRight,
                           columns == 1 ? menu.getViewSize().width() : 0);

    const int w = std::min(columns * columnWidth + 2 * kBorder, window.width());
    const int h = rows * itemHeight + 2 * kBorder;
    const CRect& field = menu.getViewSize();
    int left = std::min(field.left, window.right - w);
    int top = field.bottom;
    if (top + h > window.bottom) top = window.bottom - h;
    rect = CRect(std::max(left, window.left), std::max(top, window.top), 0, 0);
    rect.right = rect.left + w;
    rect.bottom = rect.top + h;
}

CRect COptionMenuPopup::entryRect(int index) const {
    const int column = index / rows, row = index % rows;
    CRect r(rect.left + kBorder + column * columnWidth, rect.top + kBorder + row * itemHeight, 0,
            0);
    r.right = r.left + columnWidth;
    r.bottom = r.top + itemHeight;
    return r;
}

int COptionMenuPopup::entryAt(const CPoint& where) const {
    for (int i = 0; i < menu.getNbEntries(); ++i)
        if (entryRect(i).pointInside(where)) return menu.isSeparator(i) ? -1 : i;
    return -1;
}

bool COptionMenuPopup::hover(const CPoint& where) {
    int i = entryAt(where);
    if (i == highlighted) return false;
    highlighted = i;
    return true;
}

void COptionMenuPopup::draw(CDrawContext* context) {
    const CRect clip = context->getClipRect();
    context->setFillColor(kPopupBack);
    context->fillRect(rect);
    context->setFrameColor(kPopupBorder);
    context->setLineWidth(1);
    context->drawRect(rect);
    context->setFont(menu.getFont());
    const int current = menu.isCommandMenu() ? -1 : menu.getCurrent();
    for (int i = 0; i < menu.getNbEntries(); ++i) {
        CRect r = entryRect(i);
        r.bound(rect);
        if (r.isEmpty() || !r.rectOverlap(clip)) continue;
        if (menu.isSeparator(i)) {
            context->setFrameColor(kSeparatorLine);
            const int y = r.top + r.height() / 2;
            context->drawLine(CPoint(r.left + 4, y), CPoint(r.right - 5, y));
            continue;
        }
        if (i == highlighted) {
            context->setFillColor(kHighlightBack);
            context->fillRect(r);
        }
        const CColor& text = i == highlighted ? kHighlightText : kPopupText;
        if (i == current) {
            // A small square marks the chosen entry.
            context->setFillColor(text);
            const int cy = r.top + r.height() / 2;
            context->fillRect(CRect(r.left + 4, cy - 2, r.left + 8, cy + 2));
        }
        context->setFontColor(text);
        CRect t = r;
        t.left += kTextLeft;
        t.right -= kTextRight / 2;
        CRect textClip = t;
        textClip.bound(clip);
        context->setClipRect(textClip);
        context->drawString(menu.getEntryText(i), t, kLeftText);
        context->setClipRect(clip);
    }
}

} // namespace qgui
