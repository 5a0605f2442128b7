#include "gui/CHeadlessWindow.h"

#include "gui/MouseButtons.h"

namespace VSTGUI {

bool CHeadlessWindow::open(void*, const CSurface& s) {
    if (refuseOpen) return false;
    surface = &s;
    return true;
}

void CHeadlessWindow::close() {
    surface = nullptr;
}

void CHeadlessWindow::pumpEvents(IPlatformWindowEvents& sink) {
    // A click's handler may queue more script; take only what is here now.
    std::deque<Event> now;
    now.swap(events);
    for (const Event& e : now) {
        last = e.where;
        if (e.down)
            sink.onMouseDown(e.where, e.buttons);
        else
            sink.onMouseMoved(e.where, e.buttons);
    }
}

void CHeadlessWindow::show(const std::vector<CRect>& rects) {
    ++showCalls;
    shown = rects;
}

void CHeadlessWindow::currentMouse(CPoint& where, long& buttons) {
    if (!drag.empty()) {
        last = drag.front().where;
        buttons = drag.front().buttons;
        drag.pop_front();
    } else {
        buttons = idleModifiers & ~kMouseButtonsMask;
    }
    where = last;
}

void CHeadlessWindow::mouseDown(const CPoint& where, long buttons) {
    events.push_back(Event{true, where, buttons});
}

void CHeadlessWindow::mouseMove(const CPoint& where, long buttons) {
    events.push_back(Event{false, where, buttons});
}

void CHeadlessWindow::dragTo(const CPoint& where, long buttons) {
    drag.push_back(Event{false, where, buttons});
}

} // namespace VSTGUI
