#pragma once
// The root of the view tree and the owner of the window: the surface all
// views draw into, the fonts, the draw context, the platform window inside
// the host's window, and the pop-up menu while one is open.
//
// The frame's rectangle is the window at scale 1 (970 × 600 for the editor);
// its scale (1, 1.5 or 2) sets the surface's size, the text size and which
// bitmaps the editor loads. Mouse positions from the window are mapped back
// by the scale before any view sees them, so views behave the same at every
// scale.
//
// Redrawing: views only raise dirty flags (any thread); the frame's idle, on
// the UI thread, repaints the dirty areas into the surface and asks the
// platform window to show just those areas. An idle with nothing dirty draws
// nothing and sends nothing to the window system.
//
// The mouse: the view a button goes down on has the mouse until no button
// is held; the frame sends it the moves and the release as the window
// reports them, and a cancel when the press cannot finish. Nothing here
// waits for the user: every event is handled and returns, and the frame
// repaints what a press or a move changed before the next one.

#include "gui/CDrawContext.h"
#include "gui/CFontRenderer.h"
#include "gui/CSurface.h"
#include "gui/CViewContainer.h"
#include "gui/IPlatformWindow.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace qgui {

class COptionMenu;
class COptionMenuPopup;

// Who takes the files dropped onto the frame (the plug-in's editor). UI thread.
class IFileDropTarget {
public:
    // where: window pixels at scale 1.
    virtual void filesDropped(const std::vector<std::string>& paths, const CPoint& where) = 0;

protected:
    ~IFileDropTarget() = default;
};

// Who takes the keys that no view used (the plug-in's editor: its shortcuts). UI thread.
class IKeyTarget {
public:
    // key and modifiers as CView::keyDown has them; true when it was used.
    virtual bool keyTyped(long key, long modifiers) = 0;

protected:
    ~IKeyTarget() = default;
};

class CFrame : public CViewContainer, private IPlatformWindowEvents {
public:
    // window: the platform window to open; null for the system's own.
    CFrame(const CRect& size, CScale scale, std::unique_ptr<IPlatformWindow> window = nullptr);
    ~CFrame() override;

    // Makes the surface, loads the fonts and opens the window inside parent.
    // False when any of these fails; the frame then stays closed and may be
    // deleted. UI thread.
    bool open(void* parentWindow);
    bool isOpen() const { return opened; }
    // Closes the window now: a press in progress is cancelled (its view ends
    // its edit), and the frame handles and draws nothing more. UI thread.
    void closeWindow();
    CScale getScale() const { return scale; }

    // Handles the window's events, then repaints and shows what is dirty.
    void idle();

    // The buttons and modifiers (MouseButtons.h) of the latest mouse event;
    // 0 while the window is closed.
    long getCurrentMouseButtons() const { return opened ? lastButtons : 0; }
    // The view that has the mouse (a press in progress), or null.
    CView* getMouseView() const { return mouseView; }
    // The press of view ends without a release: it gets mouseCancelled. UI thread.
    void releaseMouse(CView* view);
    // A view leaves the window: its press ends, and nothing more is sent to it.
    void viewLeaving(CView* view);

    // Any thread: the whole window is repainted at the next idle.
    void setDirty(bool state = true) override;
    // Any thread: some view became dirty.
    void noteDirty() { pending.store(true, std::memory_order_release); }
    // UI thread: repaint this area at the next idle.
    void invalidRect(const CRect& area);

    // The pop-up of an option menu, drawn above every view until an entry is
    // chosen or the user clicks elsewhere. UI thread.
    void openPopup(COptionMenu* menu);
    void closePopup();
    COptionMenu* getPopupMenu() const;

    // Null until open.
    CSurface* getSurface() const { return surface.get(); }
    CDrawContext* getDrawContext() const { return context.get(); }
    IPlatformWindow* getPlatformWindow() const { return window.get(); }

    // The events a platform window delivers (surface pixels); public so that
    // tests and hosts of the frame can feed them directly.
    void onMouseDown(const CPoint& where, long buttons) override;
    void onMouseMoved(const CPoint& where, long buttons) override;
    void onMouseUp(const CPoint& where, long buttons) override;
    void onMouseCancelled() override;
    void onMouseWheel(const CPoint& where, float distance, long buttons) override;
    void onKeyDown(long key, long modifiers) override;
    void onFilesDropped(const std::vector<std::string>& paths, const CPoint& where) override;
    // Null: drops are ignored.
    void setDropTarget(IFileDropTarget* target) { dropTarget = target; }
    // Keys go first to the focus view (a text field being typed in), else to
    // the view under the mouse, then to the key target. Null: none.
    void setFocusView(CView* view) { focusView = view; }
    CView* getFocusView() const { return focusView; }
    void setKeyTarget(IKeyTarget* target) { keyTarget = target; }
    // Where the mouse was last seen, in window pixels at scale 1.
    const CPoint& getLastMouse() const { return lastMouse; }
    // The view the mouse last moved over without a button held, or null.
    CView* getHoverView() const { return hoverView; }

private:
    CPoint toWindow(const CPoint& p) const {
        return CPoint(scale.toWindow(p.h), scale.toWindow(p.v));
    }
    void redraw();

    CScale scale;
    bool opened = false;
    CView* mouseView = nullptr;
    CView* pressing = nullptr; // the view whose press handler runs
    long lastButtons = 0;
    std::atomic<bool> pending{true};
    std::unique_ptr<IPlatformWindow> window;
    std::unique_ptr<CSurface> surface;
    std::unique_ptr<CFontRenderer> fonts;
    std::unique_ptr<CDrawContext> context;
    std::unique_ptr<COptionMenuPopup> popup;
    std::vector<CRect> invalidAreas;
    CPoint lastMouse;
    IFileDropTarget* dropTarget = nullptr;
    CView* focusView = nullptr;
    CView* hoverView = nullptr;
    IKeyTarget* keyTarget = nullptr;
};

} // namespace qgui
