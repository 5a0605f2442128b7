#include "gui/CSplashScreen.h"

#include "gui/CBitmap.h"
#include "gui/CControlListener.h"

namespace qgui {

CSplashScreen::CSplashScreen(const CRect& size_, CControlListener* listener_, long tag_,
                             CBitmap* bitmap, const CRect& toDisplay_, const CPoint& offset_)
    : CControl(size_, listener_, tag_, bitmap), toDisplay(toDisplay_), offset(offset_) {}

void CSplashScreen::draw(CDrawContext* context) {
    if (isOn() && background) background->draw(context, toDisplay, offset);
}

bool CSplashScreen::hitTest(const CPoint& where) const {
    return isOn() ? toDisplay.pointInside(where) : size.pointInside(where);
}

CRect CSplashScreen::getDrawRect() const {
    CRect r = size;
    return r.unite(toDisplay);
}

void CSplashScreen::mouse(CDrawContext*, CPoint&, long) {
    beginEdit();
    setValue(isOn() ? 0.0f : 1.0f);
    if (listener) listener->valueChanged(this);
    endEdit();
}

} // namespace qgui
