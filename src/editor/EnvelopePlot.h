// Where a point of an envelope lands in the envelope editor's plot, and back.
//
// Modulation envelopes are shown on a time axis that zooms and scrolls; key-scaling and velocity
// curves on a fixed axis where time 0..1 (key or velocity 0..127) fills the plot. Levels run from
// the plot's bottom (0) to its top (1). Every pixel result is truncated to a whole pixel, so a
// point is drawn and picked at the same place.
#pragma once

#include "gui/CRect.h"

#include <algorithm>
#include <cmath>

struct EnvelopePlot {
    // The fixed axis of key-table curves: time 1 just inside the plot's right edge.
    static constexpr double kKeyTableAxisFill = 0.999;
    // Zoom 0 shows 32 time units across the plot, zoom 1 shows 1/32.
    static constexpr double kZoomOctaves = 10.0;
    static constexpr double kZoomOffsetOctaves = 5.0;

    qgui::CRect area; // the plot: right and bottom are its last pixel column and row
    bool keyTable = false;
    double viewStart = 0.0; // time at the left edge (modulation envelopes)
    double zoom = 0.3;

    int left() const { return area.left; }
    int right() const { return area.right; }
    int top() const { return area.top; }
    int bottom() const { return area.bottom; }

    // Pixels per time unit.
    double pixelsPerUnit() const {
        const double span = area.right - area.left;
        if (keyTable) return span * kKeyTableAxisFill;
        return span * std::exp2(kZoomOctaves * zoom - kZoomOffsetOctaves);
    }
    int x(double t) const {
        const double start = keyTable ? 0.0 : viewStart;
        return static_cast<int>(area.left + (t - start) * pixelsPerUnit());
    }
    double t(int px) const {
        const double start = keyTable ? 0.0 : viewStart;
        return (px - area.left) / pixelsPerUnit() + start;
    }
    int y(double level) const {
        return static_cast<int>(area.bottom - level * (area.bottom - area.top));
    }
    double level(int py) const {
        const double v = double(area.bottom - py) / (area.bottom - area.top);
        return std::clamp(v, 0.0, 1.0);
    }
    bool inside(int px) const { return px >= area.left && px <= area.right; }
};
