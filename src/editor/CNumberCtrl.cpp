#include "editor/CNumberCtrl.h"

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"

#include <cstring>

using namespace qgui;

namespace {

constexpr std::size_t kTextCapacity = 128;
constexpr const char* kDimmedText = "-----";
constexpr const char* kNotApplicableText = "--";
constexpr CColor kPlainBox{1, 1, 1, 255};
constexpr CColor kPlainText{255, 0, 0, 255};
constexpr CColor kPlainDimmedText{150, 0, 0, 255};

bool same(const char* a, const char* b) {
    return std::strcmp(a, b) == 0;
}

} // namespace

CNumberCtrl::CNumberCtrl(const CRect& size, IEditorBinding* editor, CControlListener* listener,
                         long tag, CBitmap* bitmap, double resetValue, bool plainStyle)
    : CKnobCtrl(size, editor, listener, tag, bitmap, resetValue), plainStyle(plainStyle) {}

void CNumberCtrl::draw(CDrawContext* context) {
    char text[kTextCapacity] = {};
    const bool active = editor->getTagText(tag, text, sizeof text);
    CRect textRect = size;
    textRect.left += textIndent;

    // A cell with nothing to show (a routing row past the last envelope, an
    // empty sample slot) is as unlit as one whose amount is zero.
    bool dimmed = same(text, kDimmedText) || text[0] == 0;
    if (same(text, "0.00") || same(text, "0.0000") || same(text, "zero") ||
        (!active && same(text, "0"))) {
        dimmed = true;
        if (!plainStyle) std::strcpy(text, kDimmedText);
    } else if (same(text, "n/a")) {
        dimmed = true;
        if (!plainStyle) std::strcpy(text, kNotApplicableText);
    }

    const CHoriTxtAlign align = rightAligned ? kRightText : kCenterText;
    if (!plainStyle) {
        if (background) {
            const int frames = extraFrame ? 3 : 2;
            const int h = background->getHeight() / frames;
            const int frame = (active && extraFrame) ? 2 : dimmed ? 0 : 1;
            background->draw(context, size, CPoint(0, frame * h));
        }
        context->setFont(kSmallFont);
        context->setFontColor(kBlackCColor);
        context->drawString(text, textRect, align);
        return;
    }
    context->setFillColor(kPlainBox);
    context->fillRect(size);
    context->setFont(kStandardFont);
    context->setFontColor(dimmed ? kPlainDimmedText : kPlainText);
    context->drawString(text, textRect, align);
}
