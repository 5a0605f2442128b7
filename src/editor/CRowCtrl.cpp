#include "editor/CRowCtrl.h"

#include "editor/FrameIndex.h"
#include "gui/CBitmap.h"
#include "gui/CFrame.h"
#include "gui/MouseButtons.h"

#include <algorithm>
#include <cmath>

using namespace qgui;

namespace {
int widthOf(const CBitmap* b) {
    return b ? std::max(1, b->getWidth() / CRowCtrl::kLevels) : 1;
}
} // namespace

CRowCtrl::CRowCtrl(const CPoint& position, IEditorBinding* editor, CControlListener* listener,
                   CBitmap* bitmap, bool phases, bool cubic)
    : CControl(CRect(position.h, position.v, position.h + kColumns * widthOf(bitmap),
                     position.v + (bitmap ? bitmap->getHeight() : 0)),
               listener, 0, bitmap),
      editor(editor), phases(phases), cubic(cubic), colWidth(widthOf(bitmap)) {}

void CRowCtrl::draw(CDrawContext* context) {
    const double* data = editor->spectrum(phases);
    if (!background || !data) return;
    for (int i = 0; i < kColumns; ++i) {
        double x = data[i];
        if (cubic) x = std::cbrt(std::fabs(x));
        const int level = frameIndex(x * kLevels, kLevels);
        const CRect column(size.left + i * colWidth, size.top, size.left + (i + 1) * colWidth,
                           size.bottom);
        background->draw(context, column, CPoint(level * colWidth, 0));
    }
}

void CRowCtrl::setBar(const CPoint& p, bool erase) {
    double* data = editor->spectrum(phases);
    if (!data || p.h < size.left) return;
    const int column = (p.h - size.left) / colWidth;
    if (column >= kColumns) return;
    double v = 0.0;
    if (!erase) v = std::clamp(1.0 - double(p.v - size.top) / size.height(), 0.0, 1.0);
    data[column] = cubic ? v * v * v : v;
    setDirty();
    editor->spectrumChanged();
}

void CRowCtrl::mouse(CDrawContext*, CPoint& where, long buttons) {
    CFrame* f = getFrame();
    if (!f) return;
    if (buttons == -1) buttons = f->getCurrentMouseButtons();
    endDrag();
    beginEdit();
    drawing = true;
    // The click itself sets the bar under it; the drag then draws on.
    mouseMoved(where, buttons);
}

void CRowCtrl::mouseMoved(const CPoint& where, long buttons) {
    if (!drawing) return;
    if (!(buttons & (kLButton | kRButton))) {
        endDrag();
        return;
    }
    setBar(where, (buttons & kMouseButtonsMask) == kRButton);
}

void CRowCtrl::mouseUp(const CPoint&, long) {
    endDrag();
}

void CRowCtrl::mouseCancelled() {
    endDrag();
}

void CRowCtrl::endDrag() {
    if (!drawing) return;
    drawing = false;
    endEdit();
}
