#pragma once
// The seam between the portable framework and a window system: a child
// window inside the host's window that shows parts of the surface and reports
// the mouse. Backends: x11/ (Linux), win32/ (Windows), and CHeadlessWindow for
// tests. Positions here are surface pixels (scale 1, 1.5 or 2); the frame
// converts.
// UI thread only.

#include "gui/CRect.h"

#include <memory>
#include <string>
#include <vector>

namespace qgui {

class CSurface;

// What the backend reports while it pumps its events, each as it reads it.
class IPlatformWindowEvents {
public:
    virtual ~IPlatformWindowEvents() = default;
    // buttons: the pressed button and the modifier keys (MouseButtons.h).
    virtual void onMouseDown(const CPoint& where, long buttons) = 0;
    // buttons: those held now, with the modifier keys.
    virtual void onMouseMoved(const CPoint& where, long buttons) = 0;
    // A button went up; buttons: those still held, with the modifier keys.
    virtual void onMouseUp(const CPoint& where, long buttons) = 0;
    // The window lost the mouse in the middle of a press (another window
    // took it): the release will never come.
    virtual void onMouseCancelled() = 0;
    // distance: wheel notches, positive away from the user.
    virtual void onMouseWheel(const CPoint& where, float distance, long buttons) = 0;
    // key: the character typed (Unicode); modifiers: MouseButtons.h.
    virtual void onKeyDown(long key, long modifiers) = 0;
    // Files dropped onto the window (absolute paths, in the order given) at
    // where; backends without drops never call it.
    virtual void onFilesDropped(const std::vector<std::string>& paths, const CPoint& where) = 0;
};

class IPlatformWindow {
public:
    virtual ~IPlatformWindow() = default;

    // Creates the child window inside parent (the host's window) with the
    // surface's size; the backend keeps the surface to repaint exposed parts.
    // False when the window system refuses; nothing is left open then.
    virtual bool open(void* parent, const CSurface& surface) = 0;
    virtual void close() = 0;
    // Any thread: asks the window's own thread to close the window, which
    // then goes when that thread next handles its events (a host that closes
    // the editor from another thread). Backends without such a request
    // leave the window until close.
    virtual void requestClose() {}
    // Delivers the events that arrived since the last call. With nothing
    // pending it sends nothing to the window system.
    virtual void pumpEvents(IPlatformWindowEvents& events) = 0;
    // Copies these surface rectangles to the screen.
    virtual void show(const std::vector<CRect>& rects) = 0;
    // The system's handle of the child window (X11 Window id, HWND).
    virtual void* nativeHandle() const = 0;
};

// The backend of the system the library is built for.
std::unique_ptr<IPlatformWindow> createNativeWindow();
// The screen's density in dots per inch as the desktop announces it; 96 when
// it says nothing.
int nativeScreenDpi();

} // namespace qgui
