#pragma once
// The Windows window: a child of the host's HWND. The surface's words
// (0xAARRGGBB in the machine's order, so B, G, R, A in memory) are exactly a
// 32-bit top-down DIB, shown with SetDIBitsToDevice, no copy.
//
// The window procedure runs whenever the host's message loop dispatches to
// us; it repaints exposed parts from the surface at once and queues the
// mouse, which reaches the frame at its next idle (pumpEvents). During a
// control's drag loop the host's loop is not running, so currentMouse pumps
// our window's messages itself: the window keeps repainting, and the
// position and buttons come from the mouse messages it receives while it
// holds the capture. UI thread only.

#include "gui/IPlatformWindow.h"

#include <deque>

// <windows.h> stays out of this header: its macros (min, max, near...) must
// not reach the portable code.
struct HWND__;

namespace VSTGUI {

class CWin32Window : public IPlatformWindow {
public:
    CWin32Window() = default;
    ~CWin32Window() override;
    CWin32Window(const CWin32Window&) = delete;
    CWin32Window& operator=(const CWin32Window&) = delete;

    // parent: the host's HWND.
    bool open(void* parent, const CSurface& surface) override;
    void close() override;
    void pumpEvents(IPlatformWindowEvents& events) override;
    void show(const std::vector<CRect>& rects) override;
    void currentMouse(CPoint& where, long& buttons) override;
    void* nativeHandle() const override { return window; }

    // The density of the screen the window is on; 96 when Windows says nothing.
    int windowDpi() const;

    // The window procedure's work, for the procedure (a plain function) to call.
    long long handleMessage(unsigned message, unsigned long long wParam, long long lParam);

private:
    struct Event {
        bool down;
        CPoint where;
        long buttons;
    };
    void paintRect(void* dc, const CRect& r) const;

    HWND__* window = nullptr;
    const CSurface* surface = nullptr;
    std::deque<Event> events;
    CPoint mouse;     // the latest position a mouse message gave
    long buttons = 0; // and the buttons and keys with it
    bool captured = false;
    bool holdsClass = false; // this window counts in the class's registration
};

} // namespace VSTGUI
