#include "editor/CHistoryKey.h"

#include "gui/CColor.h"
#include "gui/CDrawContext.h"

#include <utility>

using namespace qgui;

namespace {

// The colours of the top bar's plain fields: a black box, a grey rim.
constexpr CColor kBox{1, 1, 1};
constexpr CColor kRim{70, 78, 88};
constexpr CColor kArrow{235, 240, 245};
constexpr CColor kDimArrow{80, 86, 94};

} // namespace

CHistoryKey::CHistoryKey(const CRect& size, long tag, bool back, std::function<bool()> act,
                         std::function<bool()> available)
    : CControl(size, nullptr, tag, nullptr), back(back), act(std::move(act)),
      available(std::move(available)) {}

void CHistoryKey::draw(CDrawContext* c) {
    c->setFillColor(kBox);
    c->fillRect(size);
    c->setFrameColor(kRim);
    c->drawRect(size);
    const bool on = available && available();
    c->setFrameColor(on ? kArrow : kDimArrow);
    c->setFillColor(on ? kArrow : kDimArrow);
    // A hook: down the far side, across the middle, and the head at the near side.
    const int mid = (size.top + size.bottom) / 2;
    const int nearX = back ? size.left + 3 : size.right - 4;
    const int farX = back ? size.right - 4 : size.left + 3;
    const int dir = back ? 1 : -1;
    c->drawLine(CPoint(farX, size.bottom - 3), CPoint(farX, mid));
    c->drawLine(CPoint(farX, mid), CPoint(nearX + 3 * dir, mid));
    const CPoint head[3] = {CPoint(nearX, mid), CPoint(nearX + 3 * dir, mid - 3),
                            CPoint(nearX + 3 * dir, mid + 3)};
    c->fillPolygon(head, 3);
}

void CHistoryKey::mouse(CDrawContext*, CPoint&, long) {
    if (act) act();
    setDirty();
}
