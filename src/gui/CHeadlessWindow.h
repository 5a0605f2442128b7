#pragma once
// A platform window without a screen, for tests and tools: the frame draws
// into its surface as usual, and a script stands in for the user's mouse.
// Positions are surface pixels (at scale 2, twice the window coordinates;
// CScale.h maps them at 1.5).
//
// A click queued with mouseDown reaches the frame at its next idle, followed
// by the positions queued with dragTo as moves, each read through
// currentMouse. A position queued without a mouse button releases there;
// when they run out the buttons are released at the last position, so every
// press ends. Wheel turns and keys queue in order with the clicks.

#include "gui/IPlatformWindow.h"

#include <deque>
#include <vector>

namespace qgui {

class CHeadlessWindow : public IPlatformWindow {
public:
    bool open(void* parent, const CSurface& surface) override;
    void close() override;
    void pumpEvents(IPlatformWindowEvents& events) override;
    void show(const std::vector<CRect>& rects) override;
    void* nativeHandle() const override { return const_cast<CHeadlessWindow*>(this); }

    // The script.
    void mouseDown(const CPoint& where, long buttons);
    void mouseMove(const CPoint& where, long buttons = 0);
    void dragTo(const CPoint& where, long buttons);
    void wheel(const CPoint& where, float distance, long buttons = 0);
    void key(long character, long modifiers = 0);
    // The system takes the mouse away after the drag positions queued so far.
    void cancel();
    // Modifier keys reported with the release that ends a drag.
    void setModifiers(long modifiers) { idleModifiers = modifiers; }

    // What the frame showed: the rectangles of the latest show, and the calls.
    std::vector<CRect> shown;
    int showCalls = 0;
    // Makes open fail, as a window system that refuses the window would.
    bool refuseOpen = false;
    bool isOpen() const { return surface != nullptr; }

protected:
    // The next step of the drag: its position and buttons; without one the
    // last position, buttons released.
    virtual void currentMouse(CPoint& where, long& buttons);

private:
    enum class Kind { Down, Moved, Wheel, Key, Cancel };
    struct Event {
        Kind kind;
        CPoint where;
        long buttons;
        float distance = 0.0f;
        long key = 0;
    };
    // Delivers the drag that follows a click, up to its release.
    void deliverDrag(IPlatformWindowEvents& sink);

    std::deque<Event> events;
    std::deque<Event> drag;
    const CSurface* surface = nullptr;
    CPoint last;
    long idleModifiers = 0;
};

} // namespace qgui
