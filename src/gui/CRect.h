#pragma once
// A rectangle in window coordinates at scale 1 (the draw context converts to
// surface pixels). Half-open: right and bottom are just outside.

#include "gui/CPoint.h"

#include <algorithm>

namespace qgui {

struct CRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    CRect() = default;
    CRect(int l, int t, int r, int b) : left(l), top(t), right(r), bottom(b) {}

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool isEmpty() const { return right <= left || bottom <= top; }

    CRect& offset(int dh, int dv) {
        left += dh;
        right += dh;
        top += dv;
        bottom += dv;
        return *this;
    }
    CRect& moveTo(int h, int v) { return offset(h - left, v - top); }

    bool pointInside(const CPoint& p) const {
        return p.h >= left && p.h < right && p.v >= top && p.v < bottom;
    }
    bool rectOverlap(const CRect& o) const {
        return left < o.right && o.left < right && top < o.bottom && o.top < bottom;
    }
    // The part of this rectangle that lies inside o (empty when none).
    CRect& bound(const CRect& o) {
        left = std::max(left, o.left);
        top = std::max(top, o.top);
        right = std::min(right, o.right);
        bottom = std::min(bottom, o.bottom);
        if (isEmpty()) *this = CRect();
        return *this;
    }
    // The smallest rectangle holding both; an empty rectangle adds nothing.
    CRect& unite(const CRect& o) {
        if (o.isEmpty()) return *this;
        if (isEmpty()) return *this = o;
        left = std::min(left, o.left);
        top = std::min(top, o.top);
        right = std::max(right, o.right);
        bottom = std::max(bottom, o.bottom);
        return *this;
    }
    bool operator==(const CRect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
    bool operator!=(const CRect& o) const { return !(*this == o); }
};

} // namespace qgui
