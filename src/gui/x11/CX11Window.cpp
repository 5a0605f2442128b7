#include "gui/x11/CX11Window.h"

#include <X11/Xlib.h>

#include "gui/CSurface.h"
#include "gui/EditorScale.h"
#include "gui/MouseButtons.h"

#include <X11/Xresource.h>
#include <X11/Xutil.h>

#include <poll.h>

#include <algorithm>
#include <cstdint>

namespace VSTGUI {

namespace {

// X errors arrive through a process-wide handler, which by default ends the
// process. While we create the window a handler of ours notes them instead,
// so a parent that is gone or a server that refuses makes open fail.
// Our connection reads (and so reports errors) only inside our own calls,
// which each hold a trap for as long as they run.
int trappedErrors = 0;
int trapError(Display*, XErrorEvent*) {
    ++trappedErrors;
    return 0;
}

struct ErrorTrap {
    XErrorHandler previous;
    ErrorTrap() : previous(XSetErrorHandler(trapError)) {}
    ~ErrorTrap() { XSetErrorHandler(previous); }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;
};

// Longest wait of one mouse query in a drag loop: well under a screen frame.
constexpr int kDragWaitMilliseconds = 8;

long buttonsFromState(unsigned state) {
    long b = 0;
    if (state & Button1Mask) b |= kLButton;
    if (state & Button2Mask) b |= kMButton;
    if (state & Button3Mask) b |= kRButton;
    if (state & ShiftMask) b |= kShift;
    if (state & ControlMask) b |= kControl;
    if (state & Mod1Mask) b |= kAlt;
    return b;
}

long buttonBit(unsigned button) {
    switch (button) {
    case Button1:
        return kLButton;
    case Button2:
        return kMButton;
    case Button3:
        return kRButton;
    default:
        return 0; // the wheel and extra buttons
    }
}

// The surface's words are 0xAARRGGBB; a TrueColor visual with these masks
// takes them unchanged.
bool visualTakesSurfaceWords(const Visual* visual, int depth) {
    return visual && visual->c_class == TrueColor && (depth == 24 || depth == 32) &&
           visual->red_mask == 0xff0000 && visual->green_mask == 0x00ff00 &&
           visual->blue_mask == 0x0000ff;
}

} // namespace

std::unique_ptr<IPlatformWindow> createNativeWindow() {
    return std::make_unique<CX11Window>();
}

int nativeScreenDpi() {
    Display* d = XOpenDisplay(nullptr);
    if (!d) return 96;
    int dpi = parseXftDpi(XResourceManagerString(d));
    XCloseDisplay(d);
    return dpi > 0 ? dpi : 96;
}

CX11Window::~CX11Window() {
    close();
}

bool CX11Window::open(void* parent, const CSurface& surface) {
    close();
    const Window parentWindow = Window(reinterpret_cast<std::uintptr_t>(parent));
    if (!parentWindow || surface.width() <= 0 || surface.height() <= 0) return false;
    display = XOpenDisplay(nullptr);
    if (!display) return false;

    const int screen = DefaultScreen(display);
    Visual* visual = DefaultVisual(display, screen);
    const int depth = DefaultDepth(display, screen);
    if (!visualTakesSurfaceWords(visual, depth)) {
        close();
        return false;
    }

    ErrorTrap trap;
    XSync(display, False);
    trappedErrors = 0;
    XSetWindowAttributes attributes{};
    attributes.colormap = DefaultColormap(display, screen);
    attributes.border_pixel = 0;
    // No background: the server leaves exposed parts as they are until we
    // blit the surface there, instead of flashing them black first.
    attributes.background_pixmap = None;
    attributes.event_mask = ButtonPressMask | ButtonReleaseMask | PointerMotionMask | ExposureMask |
                            StructureNotifyMask;
    // Visual and colormap given, not copied from the parent: the host's window
    // may use another visual (32-bit with alpha, for instance).
    window = XCreateWindow(display, parentWindow, 0, 0, unsigned(surface.width()),
                           unsigned(surface.height()), 0, depth, InputOutput, visual,
                           CWColormap | CWBorderPixel | CWBackPixmap | CWEventMask, &attributes);
    XMapWindow(display, window);
    XSync(display, False);
    if (trappedErrors != 0) {
        close();
        return false;
    }

    gc = XCreateGC(display, window, 0, nullptr);
    image = XCreateImage(display, visual, unsigned(depth), ZPixmap, 0,
                         reinterpret_cast<char*>(const_cast<std::uint32_t*>(surface.data())),
                         unsigned(surface.width()), unsigned(surface.height()), 32,
                         surface.width() * 4);
    if (!gc || !image) {
        close();
        return false;
    }
    // The words are in this machine's byte order; Xlib swaps if the server's differs.
    const std::uint32_t probe = 1;
    image->byte_order = *reinterpret_cast<const unsigned char*>(&probe) ? LSBFirst : MSBFirst;
    width = surface.width();
    height = surface.height();
    XFlush(display);
    return true;
}

void CX11Window::close() {
    if (!display) return;
    ErrorTrap trap; // the host may have destroyed its window, and ours with it
    if (image) {
        image->data = nullptr; // the surface's words are not Xlib's to free
        XDestroyImage(image);
        image = nullptr;
    }
    if (gc) XFreeGC(display, gc);
    gc = nullptr;
    if (window) XDestroyWindow(display, window);
    window = 0;
    XSync(display, False);
    XCloseDisplay(display);
    display = nullptr;
}

void CX11Window::putRect(const CRect& r) {
    const int x0 = std::max(r.left, 0), y0 = std::max(r.top, 0);
    const int x1 = std::min(r.right, width), y1 = std::min(r.bottom, height);
    if (!window || x0 >= x1 || y0 >= y1) return;
    XPutImage(display, window, gc, image, x0, y0, x0, y0, unsigned(x1 - x0), unsigned(y1 - y0));
}

void CX11Window::pumpEvents(IPlatformWindowEvents& events) {
    if (!display || !window) return;
    ErrorTrap trap;
    bool blitted = false;
    // QueuedAfterReading looks at the socket without flushing: nothing is sent.
    while (XEventsQueued(display, QueuedAfterReading) > 0) {
        XEvent e;
        XNextEvent(display, &e);
        switch (e.type) {
        case Expose:
            // The surface still holds the picture: show it again, no redraw.
            putRect(CRect(e.xexpose.x, e.xexpose.y, e.xexpose.x + e.xexpose.width,
                          e.xexpose.y + e.xexpose.height));
            blitted = true;
            break;
        case ButtonPress:
            if (long bit = buttonBit(e.xbutton.button))
                events.onMouseDown(CPoint(e.xbutton.x, e.xbutton.y),
                                   bit | (buttonsFromState(e.xbutton.state) & ~kMouseButtonsMask));
            break;
        case MotionNotify:
            // Only the latest position matters.
            while (XCheckTypedWindowEvent(display, window, MotionNotify, &e)) {
            }
            events.onMouseMoved(CPoint(e.xmotion.x, e.xmotion.y),
                                buttonsFromState(e.xmotion.state));
            break;
        case DestroyNotify:
            // Gone with the host's window: nothing more to show or destroy.
            if (e.xdestroywindow.window == window) window = 0;
            break;
        default:
            break;
        }
        if (!window) return;
    }
    if (blitted) XFlush(display);
}

void CX11Window::show(const std::vector<CRect>& rects) {
    if (!display || !window || rects.empty()) return;
    for (const CRect& r : rects)
        putRect(r);
    XFlush(display);
}

void CX11Window::currentMouse(CPoint& where, long& buttons) {
    buttons = 0;
    if (!display || !window) return;
    ErrorTrap trap;
    // A drag loop asks again and again; while the mouse rests, wait a little
    // for the server to report a move or a release instead of spinning.
    if (XEventsQueued(display, QueuedAlready) == 0) {
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, kDragWaitMilliseconds);
    }
    Window root, child;
    int rootX, rootY, x = 0, y = 0;
    unsigned state = 0;
    if (XQueryPointer(display, window, &root, &child, &rootX, &rootY, &x, &y, &state)) {
        where = CPoint(x, y);
        buttons = buttonsFromState(state);
    }
}

void* CX11Window::nativeHandle() const {
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(window));
}

} // namespace VSTGUI
