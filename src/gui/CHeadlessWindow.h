#pragma once
// A platform window without a screen, for tests and tools: the frame draws
// into its surface as usual, and a script stands in for the user's mouse.
// Positions are surface pixels (at scale 2, twice the window coordinates).
//
// A click queued with mouseDown reaches the frame at its next idle. A control
// that then runs a drag loop reads the positions queued with dragTo, one per
// query; when they run out the buttons read as released, so every drag ends.

#include "gui/IPlatformWindow.h"

#include <deque>
#include <vector>

namespace VSTGUI {

class CHeadlessWindow : public IPlatformWindow {
public:
    bool open(void* parent, const CSurface& surface) override;
    void close() override;
    void pumpEvents(IPlatformWindowEvents& events) override;
    void show(const std::vector<CRect>& rects) override;
    void currentMouse(CPoint& where, long& buttons) override;
    void* nativeHandle() const override { return const_cast<CHeadlessWindow*>(this); }

    // The script.
    void mouseDown(const CPoint& where, long buttons);
    void mouseMove(const CPoint& where, long buttons = 0);
    void dragTo(const CPoint& where, long buttons);
    // Modifier keys reported with the released buttons after a drag.
    void setModifiers(long modifiers) { idleModifiers = modifiers; }

    // What the frame showed: the rectangles of the latest show, and the calls.
    std::vector<CRect> shown;
    int showCalls = 0;
    // Makes open fail, as a window system that refuses the window would.
    bool refuseOpen = false;
    bool isOpen() const { return surface != nullptr; }

private:
    struct Event {
        bool down;
        CPoint where;
        long buttons;
    };
    std::deque<Event> events;
    std::deque<Event> drag;
    const CSurface* surface = nullptr;
    CPoint last;
    long idleModifiers = 0;
};

} // namespace VSTGUI
