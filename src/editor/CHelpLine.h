#pragma once
// The help line at the foot of the window: while a control is dragged or the
// mouse rests over one, it shows the control's name and value in its units
// ("Chorus: Time 0.35") over the strip of usage hints, so that the knobs
// without a number field can be read; otherwise the hints show through.

#include "gui/CView.h"

#include <string>

class CHelpLine : public qgui::CView {
public:
    explicit CHelpLine(const qgui::CRect& size) : CView(size) {}
    void draw(qgui::CDrawContext* context) override;
    // Empty: the hints show. Redraws only when the text changes.
    void show(const std::string& text);
    const std::string& text() const { return shown; }
    // The line only shows: clicks pass to nothing.
    bool hitTest(const qgui::CPoint&) const override { return false; }

private:
    std::string shown;
};
