#pragma once
// The base of everything in the window: a rectangle that draws itself and
// may take mouse clicks.
//
// Every view's rectangle is in window coordinates at scale 1 (970 × 600 for
// the editor), containers included. Views are created on the UI thread and
// owned by the container they are added to.
//
// Threads: setDirty may be called from any thread (the host's parameter
// changes arrive on its own threads); it only raises flags. Everything else,
// drawing above all, happens on the UI thread in the frame's idle.

#include "gui/CRect.h"

#include <atomic>

namespace VSTGUI {

class CDrawContext;
class CFrame;
class CViewContainer;

class CView {
public:
    explicit CView(const CRect& size);
    virtual ~CView();
    CView(const CView&) = delete;
    CView& operator=(const CView&) = delete;

    // Draws the view; the context is clipped to the area being repainted.
    virtual void draw(CDrawContext* context);
    // A mouse button went down at where (scale 1). buttons holds the button
    // and modifier bits (MouseButtons.h); -1 asks the view to query them.
    // A view may run a drag loop here (see CFrame::getCurrentMouse).
    virtual void mouse(CDrawContext* context, CPoint& where, long buttons = -1);
    // Whether a click at where belongs to this view.
    virtual bool hitTest(const CPoint& where) const { return size.pointInside(where); }
    // The area repainted when the view is dirty; usually its rectangle.
    virtual CRect getDrawRect() const { return size; }
    virtual bool isContainer() const { return false; }

    // Any thread: asks for a redraw at the next idle.
    virtual void setDirty(bool state = true);
    bool isDirty() const { return dirty.load(std::memory_order_acquire); }

    const CRect& getViewSize() const { return size; }
    // UI thread: moves or resizes the view; old and new areas are repainted.
    void setViewSize(const CRect& newSize);
    int getWidth() const { return size.width(); }
    int getHeight() const { return size.height(); }

    void setVisible(bool state);
    bool isVisible() const { return visible; }
    void setMouseEnabled(bool state) { mouseEnabled = state; }
    bool getMouseEnabled() const { return mouseEnabled; }

    CFrame* getFrame() const { return frame; }
    CViewContainer* getParentView() const { return parent; }

protected:
    friend class CViewContainer;
    // Called by the container when the view joins or leaves a tree.
    virtual void attached(CViewContainer* newParent, CFrame* newFrame);
    // Repaints an area through the frame, when there is one.
    void invalidate(const CRect& area);

    CRect size;
    std::atomic<bool> dirty{true};
    bool visible = true;
    bool mouseEnabled = true;
    CFrame* frame = nullptr;
    CViewContainer* parent = nullptr;
};

} // namespace VSTGUI
