#pragma once
// The Windows window: a child of the host's HWND. The surface's words
// (0xAARRGGBB in the machine's order, so B, G, R, A in memory) are exactly a
// 32-bit top-down DIB, shown with SetDIBitsToDevice, no copy.
//
// The window procedure runs whenever the host's message loop dispatches to
// us; it repaints exposed parts from the surface at once and queues the
// mouse, the wheel and typed characters, which reach the frame at its next
// idle (pumpEvents). While a button is held the window holds the capture, so
// the moves and the release come to it even outside the window; losing the
// capture cancels the press. Files dropped from the shell (WM_DROPFILES) are
// queued with the mouse and reach the frame the same way.
//
// UI thread only (the thread that opened the window), except requestClose;
// a close from another thread, which Windows does not allow to destroy the
// window, detaches it and has it closed by its own thread.

#include "gui/IPlatformWindow.h"

#include <atomic>
#include <deque>
#include <string>
#include <vector>

// <windows.h> stays out of this header: its macros (min, max, near...) must
// not reach the portable code.
struct HWND__;

namespace qgui {

class CWin32Window : public IPlatformWindow {
public:
    CWin32Window() = default;
    ~CWin32Window() override;
    CWin32Window(const CWin32Window&) = delete;
    CWin32Window& operator=(const CWin32Window&) = delete;

    // parent: the host's HWND.
    bool open(void* parent, const CSurface& surface) override;
    void close() override;
    void requestClose() override;
    void pumpEvents(IPlatformWindowEvents& events) override;
    void show(const std::vector<CRect>& rects) override;
    void* nativeHandle() const override { return window; }

    // The window procedure's work, for the procedure (a plain function) to call.
    long long handleMessage(unsigned message, unsigned long long wParam, long long lParam);

private:
    enum class Kind { Down, Moved, Up, Cancelled, Wheel, Key, Dropped };
    struct Event {
        Kind kind;
        CPoint where;
        long buttons;                   // Key: the modifiers
        std::vector<std::string> paths; // Dropped: UTF-8
        float distance = 0.0f;          // Wheel: notches
        long key = 0;                   // Key: the character
    };
    void paintRect(void* dc, const CRect& r) const;
    void queueDrop(void* drop);

    HWND__* window = nullptr;
    std::atomic<HWND__*> postTarget{nullptr}; // the window, for other threads
    const CSurface* surface = nullptr;
    std::deque<Event> events;
    CPoint mouse;     // the latest position a mouse message gave
    long buttons = 0; // and the buttons and keys with it
    bool captured = false;
    bool holdsClass = false; // this window counts in the class's registration
};

// The density of the screen showing window (an HWND, e.g. the host's): what
// GetDpiForWindow reports where the system has it, else the device's; 96
// when Windows says nothing.
int windowDpi(void* window);

} // namespace qgui
