#pragma once
// A point in window coordinates at scale 1: h to the right, v downward.

namespace qgui {

struct CPoint {
    int h = 0;
    int v = 0;

    CPoint() = default;
    CPoint(int h_, int v_) : h(h_), v(v_) {}
    bool operator==(const CPoint& o) const { return h == o.h && v == o.v; }
    bool operator!=(const CPoint& o) const { return !(*this == o); }
};

} // namespace qgui
