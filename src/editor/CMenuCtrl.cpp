#include "editor/CMenuCtrl.h"

#include <cstdio>

using namespace qgui;

CMenuCtrl::CMenuCtrl(const CRect& size, CControlListener* listener, long tag, CBitmap* background)
    : COptionMenu(size, listener, tag, background) {
    text[0] = 0;
}

void CMenuCtrl::draw(CDrawContext* context) {
    drawText(context, text);
}

void CMenuCtrl::setText(const char* t) {
    std::snprintf(text, sizeof text, "%s", t ? t : "");
    setDirty();
}
