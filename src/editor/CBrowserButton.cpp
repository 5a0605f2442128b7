#include "editor/CBrowserButton.h"

#include "gui/CDrawContext.h"
#include "gui/MouseButtons.h"

#include <utility>

using namespace qgui;

CBrowserButton::CBrowserButton(const CRect& size, CColor fieldFill, std::function<void()> onClick)
    : CView(size), fill(fieldFill), clicked(std::move(onClick)) {}

void CBrowserButton::draw(CDrawContext* context) {
    context->setFillColor(fill);
    context->fillRect(size);
    context->setFont(kSmallFont);
    context->setFontColor(kWhiteCColor);
    context->drawString(kLabel, size, kCenterText);
}

void CBrowserButton::mouse(CDrawContext*, CPoint&, long) {
    if (clicked) clicked();
}
