#include "gui/CHeadlessWindow.h"

#include "gui/MouseButtons.h"

namespace qgui {

bool CHeadlessWindow::open(void*, const CSurface& s) {
    if (refuseOpen) return false;
    surface = &s;
    return true;
}

void CHeadlessWindow::close() {
    surface = nullptr;
}

void CHeadlessWindow::pumpEvents(IPlatformWindowEvents& sink) {
    // A handler may queue more script; take only what is here now.
    std::deque<Event> now;
    now.swap(events);
    for (const Event& e : now) {
        if (!surface) return; // closed by a handler
        switch (e.kind) {
        case Kind::Down:
            last = e.where;
            sink.onMouseDown(e.where, e.buttons);
            deliverDrag(sink);
            break;
        case Kind::Moved:
            last = e.where;
            sink.onMouseMoved(e.where, e.buttons);
            break;
        case Kind::Wheel:
            sink.onMouseWheel(e.where, e.distance, e.buttons);
            break;
        case Kind::Key:
            sink.onKeyDown(e.key, e.buttons);
            break;
        case Kind::Cancel:
            break; // only ever in a drag
        }
    }
}

void CHeadlessWindow::deliverDrag(IPlatformWindowEvents& sink) {
    for (;;) {
        if (!surface) return;
        if (!drag.empty() && drag.front().kind == Kind::Cancel) {
            drag.pop_front();
            sink.onMouseCancelled();
            return;
        }
        CPoint p;
        long buttons = 0;
        currentMouse(p, buttons);
        if (!surface) return; // closed meanwhile: the window reports nothing more
        if (!(buttons & kMouseButtonsMask)) {
            sink.onMouseUp(p, buttons);
            return;
        }
        sink.onMouseMoved(p, buttons);
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
    events.push_back(Event{Kind::Down, where, buttons});
}

void CHeadlessWindow::mouseMove(const CPoint& where, long buttons) {
    events.push_back(Event{Kind::Moved, where, buttons});
}

void CHeadlessWindow::dragTo(const CPoint& where, long buttons) {
    drag.push_back(Event{Kind::Moved, where, buttons});
}

void CHeadlessWindow::wheel(const CPoint& where, float distance, long buttons) {
    events.push_back(Event{Kind::Wheel, where, buttons, distance});
}

void CHeadlessWindow::key(long character, long modifiers) {
    events.push_back(Event{Kind::Key, CPoint(), modifiers, 0.0f, character});
}

void CHeadlessWindow::cancel() {
    drag.push_back(Event{Kind::Cancel, CPoint(), 0});
}

} // namespace qgui
