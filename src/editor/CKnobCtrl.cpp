#include "editor/CKnobCtrl.h"

#include "editor/FrameIndex.h"
#include "gui/CBitmap.h"
#include "gui/CFrame.h"
#include "gui/MouseButtons.h"

#include <algorithm>

using namespace qgui;

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
    drag(where, buttons, stepAt(where));
}

double CKnobCtrl::stepAt(const CPoint& where) const {
    return split && where.h < size.left + (size.right - size.left) / 2 ? leftHalfStep : step;
}

bool CKnobCtrl::mouseWheel(const CPoint& where, float distance, long buttons) {
    if (clickOnly || dragState.active || distance == 0.0f) return false;
    const double fineness = (buttons & kAlt) ? 0.1 : 1.0;
    const double start = editor->getTagValue(tag);
    const double v =
        std::clamp(start + double(distance) * stepAt(where) * fineness, minimum, maximum);
    beginEdit();
    editor->setTagValue(tag, v);
    setDirty();
    endEdit();
    return true;
}

void CKnobCtrl::drag(CPoint& where, long buttons, double stepSize) {
    CFrame* f = getFrame();
    if (!f) return;
    if (buttons == -1) buttons = f->getCurrentMouseButtons();
    endDrag();
    // The second click of a double-click types the value instead.
    if ((buttons & kDoubleClick) && (buttons & kMouseButtonsMask) == kLButton && !clickOnly &&
        !(buttons & kControl)) {
        editor->typeValue(tag);
        return;
    }
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
        endEdit();
        return;
    }
    // Alt counts only as it was at the click.
    const double fineness = (buttons & kAlt) ? 0.1 : 1.0;
    dragState = DragState{true, where.v, 0, start, stepSize, fineness};
}

void CKnobCtrl::mouseMoved(const CPoint& p, long buttons) {
    if (!dragState.active) return;
    if (!(buttons & kLButton)) {
        endDrag();
        return;
    }
    const int k = (dragState.y0 - p.v) / pixelsPerStep;
    if (k == dragState.lastSteps) return;
    const double v =
        std::clamp(k * dragState.stepSize * dragState.fineness + dragState.start, minimum, maximum);
    editor->setTagValue(tag, v);
    dragState.lastSteps = k;
    setDirty();
}

void CKnobCtrl::mouseUp(const CPoint&, long) {
    endDrag();
}

void CKnobCtrl::mouseCancelled() {
    endDrag();
}

void CKnobCtrl::endDrag() {
    if (!dragState.active) return;
    dragState.active = false;
    endEdit();
}
