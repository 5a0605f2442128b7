#include "gui/CView.h"

#include "gui/CFrame.h"

namespace qgui {

CView::CView(const CRect& size_) : size(size_) {}

CView::~CView() = default;

void CView::draw(CDrawContext*) {}

void CView::mouse(CDrawContext*, CPoint&, long) {}

void CView::mouseMoved(const CPoint&, long) {}

void CView::mouseUp(const CPoint&, long) {}

void CView::mouseCancelled() {}

bool CView::mouseWheel(const CPoint&, float, long) {
    return false;
}

bool CView::keyDown(long, long) {
    return false;
}

void CView::setDirty(bool state) {
    dirty.store(state, std::memory_order_release);
    if (state && frame) frame->noteDirty();
}

void CView::setViewSize(const CRect& newSize) {
    invalidate(getDrawRect());
    size = newSize;
    setDirty();
}

void CView::setVisible(bool state) {
    if (visible == state) return;
    visible = state;
    invalidate(getDrawRect());
}

void CView::attached(CViewContainer* newParent, CFrame* newFrame) {
    // A view that leaves the window while it has the mouse ends its press.
    if (frame && frame != newFrame) frame->viewLeaving(this);
    parent = newParent;
    frame = newFrame;
}

void CView::invalidate(const CRect& area) {
    if (frame) frame->invalidRect(area);
}

} // namespace qgui
