#include "editor/CNumberPrcCtrl.h"

#include "gui/CFrame.h"
#include "gui/MouseButtons.h"

using namespace qgui;

namespace {

constexpr double kLimit = 99.9999;
// Distances from the right edge (pixels) of the last digits' zones.
constexpr int kFineZone = 14;
constexpr int kMiddleZone = 28;
constexpr double kFineStep = 0.0001;
constexpr double kMiddleStep = 0.01;
constexpr double kCoarseStep = 1.0;
constexpr double kMultiplied = 100.0;

} // namespace

CNumberPrcCtrl::CNumberPrcCtrl(const CRect& size, IEditorBinding* editor,
                               CControlListener* listener, long tag, double resetValue)
    : CNumberCtrl(size, editor, listener, tag, nullptr, resetValue, true) {
    rightAligned = true;
    minimum = -kLimit;
    maximum = kLimit;
}

void CNumberPrcCtrl::mouse(CDrawContext*, CPoint& where, long buttons) {
    if (buttons == -1 && getFrame()) buttons = getFrame()->getCurrentMouseButtons();
    drag(where, buttons, (buttons & kLButton) ? stepAt(where) : step);
}

double CNumberPrcCtrl::stepAt(const CPoint& where) const {
    const double m = digitMultiplier != 0.0 ? kMultiplied : 1.0;
    const int fromRight = size.right - where.h;
    return fromRight <= kFineZone     ? m * kFineStep
           : fromRight <= kMiddleZone ? m * kMiddleStep
                                      : m * kCoarseStep;
}
