#include "gui/CViewContainer.h"

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"

#include <algorithm>

namespace qgui {

CViewContainer::CViewContainer(const CRect& size_) : CView(size_) {}

CViewContainer::~CViewContainer() {
    for (CView* v : children)
        delete v;
}

void CViewContainer::addView(CView* view) {
    if (!view || isChild(view)) return;
    children.push_back(view);
    view->attached(this, frame);
    view->setDirty();
}

bool CViewContainer::removeView(CView* view, bool withDelete) {
    auto it = std::find(children.begin(), children.end(), view);
    if (it == children.end()) return false;
    children.erase(it);
    invalidate(view->getDrawRect());
    view->attached(nullptr, nullptr);
    if (withDelete) delete view;
    return true;
}

void CViewContainer::removeAll(bool withDelete) {
    while (!children.empty())
        removeView(children.back(), withDelete);
}

CView* CViewContainer::getView(int index) const {
    if (index < 0 || index >= int(children.size())) return nullptr;
    return children[std::size_t(index)];
}

bool CViewContainer::isChild(const CView* view) const {
    return std::find(children.begin(), children.end(), view) != children.end();
}

void CViewContainer::setBackground(CBitmap* bitmap) {
    background = bitmap;
    setDirty();
}

void CViewContainer::setBackgroundColor(const CColor& color) {
    backgroundColor = color;
    setDirty();
}

void CViewContainer::attached(CViewContainer* newParent, CFrame* newFrame) {
    CView::attached(newParent, newFrame);
    for (CView* v : children)
        v->attached(this, newFrame);
}

void CViewContainer::drawBackground(CDrawContext* context, const CRect& area) {
    CRect r = size;
    r.bound(area);
    if (r.isEmpty()) return;
    context->setFillColor(backgroundColor);
    context->fillRect(r);
    if (background) background->draw(context, r, CPoint(r.left - size.left, r.top - size.top));
}

void CViewContainer::draw(CDrawContext* context) {
    drawArea(context, size);
}

void CViewContainer::drawArea(CDrawContext* context, const CRect& area) {
    const CRect outerClip = context->getClipRect();
    CRect clip = area;
    clip.bound(size).bound(outerClip);
    if (clip.isEmpty()) return;
    context->setClipRect(clip);
    drawBackground(context, clip);
    for (CView* v : children) {
        if (!v->isVisible() || !v->getDrawRect().rectOverlap(clip)) continue;
        if (v->isContainer()) {
            static_cast<CViewContainer*>(v)->drawArea(context, clip);
        } else {
            v->draw(context);
        }
        // A view may have narrowed the clip for its own drawing.
        context->setClipRect(clip);
    }
    context->setClipRect(outerClip);
}

void CViewContainer::collectDirty(std::vector<CRect>& areas) {
    for (CView* v : children) {
        if (v->isContainer()) {
            auto* c = static_cast<CViewContainer*>(v);
            if (c->dirty.exchange(false, std::memory_order_acq_rel)) {
                if (c->isVisible()) areas.push_back(c->getDrawRect());
                // Its children are repainted with it; their flags are spent.
                std::vector<CRect> ignored;
                c->collectDirty(ignored);
            } else {
                c->collectDirty(areas);
            }
        } else if (v->dirty.exchange(false, std::memory_order_acq_rel) && v->isVisible()) {
            areas.push_back(v->getDrawRect());
        }
    }
}

CView* CViewContainer::getViewAt(const CPoint& where) const {
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        CView* v = *it;
        if (!v->isVisible() || !v->getMouseEnabled() || !v->hitTest(where)) continue;
        if (v->isContainer()) {
            CView* inner = static_cast<CViewContainer*>(v)->getViewAt(where);
            if (inner) return inner;
        }
        return v;
    }
    return nullptr;
}

void CViewContainer::mouse(CDrawContext* context, CPoint& where, long buttons) {
    CView* v = getViewAt(where);
    if (v && v != this) v->mouse(context, where, buttons);
}

} // namespace qgui
