#include "editor/CKnobCtrl.h"

#include "editor/FrameIndex.h"
#include "gui/CBitmap.h"
#include "gui/CFrame.h"
#include "gui/MouseButtons.h"

#include <algorithm>

using namespace VSTGUI;

CKnobCtrl::CKnobCtrl(const CRect& size, IEditorBinding* editor, CControlListener* listener,
                     long tag, CBitmap* bitmap, double resetValue)
    : CControl(size, listener, tag, bitmap), editor(editor), resetValue(resetValue) {}

void CKnobCtrl::draw(CDrawContext* context) {
    if (!background) return;
    const int frame = frameIndex(editor->getTagValue(tag) * kFrames, kFrames);
    const int h = background->getHeight() / kFrames;
    background->draw(context, size, CPoint(0, frame * h));
}

void CKnobCtrl::mouse(CDrawContext*, CPoint& where, long buttons) {
    double s = step;
    if (split && where.h < size.left + (size.right - size.left) / 2) s = leftHalfStep;
    drag(where, buttons, s);
}

void CKnobCtrl::drag(CPoint& where, long buttons, double stepSize) {
    CFrame* f = getFrame();
    if (!f) return;
    if (buttons == -1) buttons = f->getCurrentMouseButtons();
    const int y0 = where.v;
    int lastSteps = 0;
    const double start = editor->getTagValue(tag);

    beginEdit();
    editor->setTagValue(tag, start);
    if (clickOnly) {
        setDirty();
        endEdit();
        return;
    }
    if ((buttons & kMouseButtonsMask) == kRButton || (buttons & kControl)) {
        // The reset value is set as it is, even outside minimum..maximum.
        editor->setTagValue(tag, resetValue);
        setDirty();
        f->doIdleStuff();
        endEdit();
        return;
    }
    // Alt counts only as it was at the click.
    const double fineness = (buttons & kAlt) ? 0.1 : 1.0;
    CPoint p;
    long now = buttons;
    for (;;) {
        f->getCurrentMouse(p, now);
        if (!(now & kLButton)) break;
        const int k = (y0 - p.v) / pixelsPerStep;
        if (k != lastSteps) {
            const double v = std::clamp(k * stepSize * fineness + start, minimum, maximum);
            editor->setTagValue(tag, v);
            lastSteps = k;
            setDirty();
        }
        f->doIdleStuff();
    }
    endEdit();
}
