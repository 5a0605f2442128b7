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

namespace qgui {

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
    // and modifier bits (MouseButtons.h); -1 stands for those of the event
    // being handled (CFrame::getCurrentMouseButtons). The view then has the
    // mouse: the frame sends it every move and the release until no button
    // is held, or mouseCancelled when the press cannot finish (the window
    // closes, the view leaves it, the system takes the mouse away). A drag
    // keeps its state in the view between these calls; none of them waits.
    virtual void mouse(CDrawContext* context, CPoint& where, long buttons = -1);
    // While the view has the mouse: it moved (buttons: held now, modifiers).
    virtual void mouseMoved(const CPoint& where, long buttons);
    // While the view has the mouse: the last button went up.
    virtual void mouseUp(const CPoint& where, long buttons);
    // While the view has the mouse: the press ends without a release.
    virtual void mouseCancelled();
    // The wheel over the view (distance in notches, positive away from the
    // user). True when the view used it.
    virtual bool mouseWheel(const CPoint& where, float distance, long buttons);
    // A key typed while the mouse is over the view or the view has the mouse
    // (key: the character, Unicode). True when the view used it.
    virtual bool keyDown(long key, long modifiers);
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

} // namespace qgui
