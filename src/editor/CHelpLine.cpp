#include "editor/CHelpLine.h"

#include "gui/CColor.h"
#include "gui/CDrawContext.h"
#include "gui/CFontRenderer.h"

using namespace qgui;

namespace {

// The strip's own dark and a text a little brighter than its hints.
constexpr CColor kStrip{10, 13, 15};
constexpr CColor kText{200, 208, 216};

} // namespace

void CHelpLine::draw(CDrawContext* c) {
    if (shown.empty()) return;
    c->setFillColor(kStrip);
    c->fillRect(size);
    c->setFont(kSmallFont);
    c->setFontColor(kText);
    c->drawString(shown.c_str(), size);
}

void CHelpLine::show(const std::string& text) {
    if (text == shown) return;
    shown = text;
    setDirty();
}
