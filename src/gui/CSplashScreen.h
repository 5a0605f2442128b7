#pragma once
// A control that, when clicked, shows a bitmap over a large area (the whole
// window for the editor's splash) until it is clicked again. Its own
// rectangle is the place to click; while it is on, a click anywhere in the
// shown area turns it off. Add it last so that it lies above every other view.

#include "gui/CControl.h"

namespace qgui {

class CSplashScreen : public CControl {
public:
    // toDisplay: where the bitmap is shown; offset: the bitmap's part shown there.
    CSplashScreen(const CRect& size, CControlListener* listener, long tag, CBitmap* bitmap,
                  const CRect& toDisplay, const CPoint& offset = CPoint());

    bool isOn() const { return getValue() >= 0.5f; }
    void draw(CDrawContext* context) override;
    void mouse(CDrawContext* context, CPoint& where, long buttons = -1) override;
    bool hitTest(const CPoint& where) const override;
    // Turning on or off repaints the whole shown area.
    CRect getDrawRect() const override;

private:
    CRect toDisplay;
    CPoint offset;
};

} // namespace qgui
