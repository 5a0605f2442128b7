#include "gui/CFrame.h"

#include "gui/COptionMenu.h"
#include "gui/COptionMenuPopup.h"
#include "gui/MouseButtons.h"

#include <utility>

namespace qgui {

namespace {

// Beyond this many separate areas one rectangle around them all is cheaper
// to paint and blit than the list.
constexpr std::size_t kMaxAreas = 16;

// Joins overlapping or touching areas, so that no pixel is painted twice.
void mergeAreas(std::vector<CRect>& areas, const CRect& window) {
    std::vector<CRect> out;
    for (CRect r : areas) {
        r.bound(window);
        if (r.isEmpty()) continue;
        bool joined = true;
        while (joined) {
            joined = false;
            for (std::size_t i = 0; i < out.size(); ++i) {
                const CRect& o = out[i];
                if (r.left <= o.right && o.left <= r.right && r.top <= o.bottom &&
                    o.top <= r.bottom) {
                    r.unite(o);
                    out.erase(out.begin() + long(i));
                    joined = true;
                    break;
                }
            }
        }
        out.push_back(r);
    }
    if (out.size() > kMaxAreas) {
        CRect all;
        for (const CRect& r : out)
            all.unite(r);
        out.assign(1, all);
    }
    areas.swap(out);
}

} // namespace

CFrame::CFrame(const CRect& size_, CScale scale_, std::unique_ptr<IPlatformWindow> window_)
    : CViewContainer(size_), scale(scale_), window(std::move(window_)) {
    frame = this;
}

CFrame::~CFrame() {
    // A press in progress ends its edit while its view still has a window.
    releaseMouse(mouseView);
    // Children go while the frame is whole: a menu leaving the tree closes its pop-up.
    popup.reset();
    removeAll(true);
    if (window && opened) window->close();
}

bool CFrame::open(void* parentWindow) {
    if (opened) return true;
    if (!window) window = createNativeWindow();
    if (!window || size.isEmpty()) return false;
    auto s =
        std::make_unique<CSurface>(scale.toSurface(size.width()), scale.toSurface(size.height()));
    auto f = std::make_unique<CFontRenderer>();
    if (!f->open(scale)) return false;
    if (!window->open(parentWindow, *s)) return false;
    surface = std::move(s);
    fonts = std::move(f);
    context = std::make_unique<CDrawContext>(*surface, scale, fonts.get());
    opened = true;
    setDirty();
    return true;
}

void CFrame::closeWindow() {
    if (!opened) return;
    releaseMouse(mouseView);
    window->close();
    opened = false;
}

void CFrame::idle() {
    if (!opened) return;
    window->pumpEvents(*this);
    redraw();
}

void CFrame::redraw() {
    if (!opened) return;
    const bool anything = pending.exchange(false, std::memory_order_acq_rel);
    if (!anything && invalidAreas.empty()) return;

    std::vector<CRect> areas;
    areas.swap(invalidAreas);
    if (dirty.exchange(false, std::memory_order_acq_rel)) {
        areas.assign(1, size);
        std::vector<CRect> ignored;
        collectDirty(ignored);
    } else {
        collectDirty(areas);
    }
    mergeAreas(areas, size);
    if (areas.empty()) return;

    for (const CRect& a : areas) {
        context->resetClipRect();
        drawArea(context.get(), a);
        if (popup && popup->getRect().rectOverlap(a)) {
            context->setClipRect(a);
            popup->draw(context.get());
        }
    }
    context->resetClipRect();

    std::vector<CRect> pixels;
    pixels.reserve(areas.size());
    for (const CRect& a : areas)
        pixels.emplace_back(scale.toSurface(a.left), scale.toSurface(a.top),
                            scale.toSurface(a.right), scale.toSurface(a.bottom));
    window->show(pixels);
}

void CFrame::viewLeaving(CView* view) {
    if (view == pressing) pressing = nullptr; // it may be going for good
    if (view == focusView) focusView = nullptr;
    if (view == hoverView) hoverView = nullptr;
    releaseMouse(view);
}

void CFrame::releaseMouse(CView* view) {
    if (!view || view != mouseView) return;
    mouseView = nullptr;
    view->mouseCancelled();
}

void CFrame::setDirty(bool state) {
    dirty.store(state, std::memory_order_release);
    if (state) noteDirty();
}

void CFrame::invalidRect(const CRect& area) {
    if (area.isEmpty()) return;
    invalidAreas.push_back(area);
    noteDirty();
}

void CFrame::openPopup(COptionMenu* menu) {
    closePopup();
    if (!menu || !opened || menu->getNbEntries() == 0) return;
    popup = std::make_unique<COptionMenuPopup>(*menu, size, *context);
    invalidRect(popup->getRect());
}

void CFrame::closePopup() {
    if (!popup) return;
    invalidRect(popup->getRect());
    popup.reset();
}

COptionMenu* CFrame::getPopupMenu() const {
    return popup ? &popup->getMenu() : nullptr;
}

void CFrame::onMouseDown(const CPoint& devicePoint, long buttons) {
    // Another button pressed during a press belongs to that press.
    if (mouseView || !opened) return;
    CPoint where = toWindow(devicePoint);
    lastMouse = where;
    lastButtons = buttons;
    if (popup) {
        if (!popup->getRect().pointInside(where)) {
            closePopup();
            return;
        }
        int entry = popup->entryAt(where);
        if (entry < 0) return; // a separator: the pop-up stays
        COptionMenu& menu = popup->getMenu();
        closePopup();
        menu.chooseEntry(entry);
        return;
    }
    CView* view = getViewAt(where);
    if (!view) return;
    mouseView = view;
    pressing = view;
    view->mouse(context.get(), where, buttons);
    // A host may close the editor as it hears of the edit the press begins,
    // before the view has its drag in place: the cancel is sent again now
    // that the view is done (views end an edit only once).
    if (CView* pressed = std::exchange(pressing, nullptr); pressed && !opened)
        pressed->mouseCancelled();
    redraw();
}

void CFrame::onMouseMoved(const CPoint& devicePoint, long buttons) {
    if (!opened) return;
    CPoint where = toWindow(devicePoint);
    lastMouse = where;
    lastButtons = buttons;
    if (popup && popup->hover(where)) invalidRect(popup->getRect());
    if (!mouseView) {
        hoverView = popup ? nullptr : getViewAt(where);
        return;
    }
    mouseView->mouseMoved(where, buttons);
    redraw();
}

void CFrame::onMouseUp(const CPoint& devicePoint, long buttons) {
    if (!opened) return;
    // With another button still held the press goes on.
    if (buttons & kMouseButtonsMask) {
        onMouseMoved(devicePoint, buttons);
        return;
    }
    CPoint where = toWindow(devicePoint);
    lastMouse = where;
    lastButtons = buttons;
    CView* view = mouseView;
    if (!view) return;
    mouseView = nullptr;
    view->mouseUp(where, buttons);
    redraw();
}

void CFrame::onMouseCancelled() {
    lastButtons &= ~kMouseButtonsMask;
    releaseMouse(mouseView);
    redraw();
}

void CFrame::onMouseWheel(const CPoint& devicePoint, float distance, long buttons) {
    if (!opened || popup) return;
    const CPoint where = toWindow(devicePoint);
    CView* view = mouseView ? mouseView : getViewAt(where);
    if (view && view->mouseWheel(where, distance, buttons)) redraw();
}

void CFrame::onKeyDown(long key, long modifiers) {
    if (!opened || popup) return;
    CView* view = focusView ? focusView : mouseView ? mouseView : getViewAt(lastMouse);
    if (view && view->keyDown(key, modifiers))
        redraw();
    else if (keyTarget && keyTarget->keyTyped(key, modifiers))
        redraw();
}

void CFrame::onFilesDropped(const std::vector<std::string>& paths, const CPoint& devicePoint) {
    // A drop during a press or over an open pop-up would act on a window that
    // is in the middle of something else.
    if (!opened || mouseView || popup || !dropTarget || paths.empty()) return;
    dropTarget->filesDropped(paths, toWindow(devicePoint));
}

} // namespace qgui
