#include "gui/CControl.h"

#include "gui/CControlListener.h"

#include <algorithm>

namespace qgui {

CControl::CControl(const CRect& size_, CControlListener* listener_, long tag_, CBitmap* background_)
    : CView(size_), tag(tag_), listener(listener_), background(background_) {}

void CControl::setValue(float v) {
    if (value.exchange(v, std::memory_order_relaxed) != v) setDirty();
}

void CControl::bounceValue() {
    if (vmin <= vmax) setValue(std::clamp(getValue(), vmin, vmax));
}

void CControl::setBackground(CBitmap* bitmap) {
    background = bitmap;
    setDirty();
}

void CControl::beginEdit() {
    if (listener) listener->controlBeginEdit(this);
}

void CControl::endEdit() {
    if (listener) listener->controlEndEdit(this);
}

} // namespace qgui
