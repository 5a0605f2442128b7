#include "editor/CDialogShade.h"

#include "gui/CColor.h"
#include "gui/CDrawContext.h"

using namespace qgui;

namespace {

// Dark enough that the window plainly waits, light enough that the user
// still sees which program and controls the dialog is about.
constexpr CColor kShade{0, 0, 0, 170};
constexpr CColor kPanel{24, 24, 28, 235};
constexpr CColor kPanelEdge{200, 200, 200, 255};
constexpr int kPanelWidth = 330;
constexpr int kPanelHeight = 36;

} // namespace

CDialogShade::CDialogShade(const CRect& size) : CView(size) {
    setVisible(false);
}

void CDialogShade::draw(CDrawContext* context) {
    context->setFillColor(kShade);
    context->fillRect(size);
    const int x = size.left + (size.width() - kPanelWidth) / 2;
    const int y = size.top + (size.height() - kPanelHeight) / 2;
    const CRect panel(x, y, x + kPanelWidth, y + kPanelHeight);
    context->setFillColor(kPanel);
    context->fillRect(panel);
    context->setFrameColor(kPanelEdge);
    context->drawRect(panel);
    context->setFont(kStandardFont);
    context->setFontColor(kWhiteCColor);
    context->drawString(kText, panel, kCenterText);
}
