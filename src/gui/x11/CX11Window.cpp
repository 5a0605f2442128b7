#include "gui/x11/CX11Window.h"

#include <X11/Xlib.h>

#include "gui/CSurface.h"
#include "gui/EditorScale.h"
#include "gui/KeyCodes.h"
#include "gui/MouseButtons.h"
#include "gui/x11/UriList.h"

#include <X11/Xatom.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iterator>

namespace qgui {

namespace {

// Two presses of a button this close in time (ms) and place (pixels) are a double-click.
constexpr unsigned long kDoubleClickMs = 400;
constexpr int kDoubleClickSlop = 4;

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

// The wheel's notches come as presses of buttons 4 (away from the user) and 5.
constexpr unsigned kWheelAway = 4;
constexpr unsigned kWheelToward = 5;

// The XDND protocol version we speak; sources of later versions are ignored,
// as the protocol asks.
constexpr unsigned long kXdndVersion = 5;
// An XdndEnter whose first data word has this bit offers more than three
// types, listed in the source's XdndTypeList property.
constexpr long kXdndMoreTypes = 1;
// XdndStatus flags: the drop would be taken; send every move, not only those
// leaving a rectangle.
constexpr long kXdndAccept = 1;
constexpr long kXdndSendMoves = 2;
// The longest list of types and of dropped files read, in 32-bit units.
constexpr long kMaxTypeCount = 1024;
constexpr long kMaxUriListWords = 1L << 18; // 1 MiB of text

// The surface's words are 0xAARRGGBB; a TrueColor visual with these masks
// takes them unchanged.
bool visualTakesSurfaceWords(const Visual* visual, int depth) {
    return visual && visual->c_class == TrueColor && (depth == 24 || depth == 32) &&
           visual->red_mask == 0xff0000 && visual->green_mask == 0x00ff00 &&
           visual->blue_mask == 0x0000ff;
}

// The movement keys a list follows (they type no character); 0 for others.
long movementKey(KeySym symbol) {
    switch (symbol) {
    case XK_Up:
    case XK_KP_Up:
        return kKeyUp;
    case XK_Down:
    case XK_KP_Down:
        return kKeyDown;
    case XK_Page_Up:
    case XK_KP_Page_Up:
        return kKeyPageUp;
    case XK_Page_Down:
    case XK_KP_Page_Down:
        return kKeyPageDown;
    default:
        return 0;
    }
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
                            StructureNotifyMask | KeyPressMask;
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
    // A drop target for other programs' file drags.
    const char* atomNames[] = {"XdndAware",    "XdndEnter",      "XdndPosition",  "XdndStatus",
                               "XdndLeave",    "XdndDrop",       "XdndFinished",  "XdndSelection",
                               "XdndTypeList", "XdndActionCopy", "text/uri-list", "QUELLOR_DROP"};
    Atom interned[std::size(atomNames)];
    XInternAtoms(display, const_cast<char**>(atomNames), int(std::size(atomNames)), False,
                 interned);
    atoms = {interned[0], interned[1], interned[2], interned[3], interned[4],  interned[5],
             interned[6], interned[7], interned[8], interned[9], interned[10], interned[11]};
    const Atom version = kXdndVersion;
    XChangeProperty(display, window, atoms.aware, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&version), 1);
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) == 0) hostName = name;

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
    dragSource = 0;
    dropPending = false;
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
        case ButtonPress: {
            const CPoint at(e.xbutton.x, e.xbutton.y);
            const long modifiers = buttonsFromState(e.xbutton.state) & ~kMouseButtonsMask;
            if (long bit = buttonBit(e.xbutton.button)) {
                const bool twice = e.xbutton.button == lastPressButton &&
                                   e.xbutton.time - lastPressTime <= kDoubleClickMs &&
                                   std::abs(e.xbutton.x - lastPressX) <= kDoubleClickSlop &&
                                   std::abs(e.xbutton.y - lastPressY) <= kDoubleClickSlop;
                // A third click starts counting again.
                lastPressButton = twice ? 0 : e.xbutton.button;
                lastPressTime = e.xbutton.time;
                lastPressX = e.xbutton.x;
                lastPressY = e.xbutton.y;
                events.onMouseDown(at, bit | modifiers | (twice ? long(kDoubleClick) : 0L));
            } else if (e.xbutton.button == kWheelAway || e.xbutton.button == kWheelToward)
                events.onMouseWheel(at, e.xbutton.button == kWheelAway ? 1.0f : -1.0f, modifiers);
            break;
        }
        case ButtonRelease:
            // The state is the one before the release: the button is still in it.
            if (long bit = buttonBit(e.xbutton.button))
                events.onMouseUp(CPoint(e.xbutton.x, e.xbutton.y),
                                 buttonsFromState(e.xbutton.state) & ~bit);
            break;
        case MotionNotify: {
            // Without a button held only the latest of a run of moves
            // matters; a drag sees every one (the bar editor draws each
            // column it crosses).
            XEvent next;
            const unsigned held = Button1Mask | Button2Mask | Button3Mask;
            while (!(e.xmotion.state & held) && XEventsQueued(display, QueuedAlready) > 0) {
                XPeekEvent(display, &next);
                if (next.type != MotionNotify || next.xmotion.window != window) break;
                XNextEvent(display, &e);
            }
            events.onMouseMoved(CPoint(e.xmotion.x, e.xmotion.y),
                                buttonsFromState(e.xmotion.state));
            break;
        }
        case KeyPress: {
            char typed[8] = {};
            KeySym symbol = 0;
            const long modifiers = buttonsFromState(e.xkey.state) & ~kMouseButtonsMask;
            if (XLookupString(&e.xkey, typed, sizeof typed - 1, &symbol, nullptr) > 0)
                events.onKeyDown(long(static_cast<unsigned char>(typed[0])), modifiers);
            else if (const long key = movementKey(symbol))
                events.onKeyDown(key, modifiers);
            break;
        }
        case ClientMessage: {
            const long* data = e.xclient.data.l;
            const Atom type = e.xclient.message_type;
            if (e.xclient.format != 32) break;
            if (type == atoms.enter)
                dragEntered(data);
            else if (type == atoms.position)
                dragMoved(data);
            else if (type == atoms.drop)
                dragDropped(data);
            else if (type == atoms.leave && Window(data[0]) == dragSource && !dropPending)
                dragSource = 0;
            break;
        }
        case SelectionNotify:
            if (dropPending && e.xselection.requestor == window &&
                e.xselection.selection == atoms.selection)
                selectionArrived(e.xselection.property, events);
            break;
        case DestroyNotify:
            // Gone with the host's window: nothing more to show or destroy,
            // and a press in progress will never see its release.
            if (e.xdestroywindow.window == window) {
                window = 0;
                events.onMouseCancelled();
            }
            break;
        default:
            break;
        }
        if (!window) return;
    }
    if (blitted) XFlush(display);
}

void CX11Window::dragEntered(const long* data) {
    const unsigned long version = static_cast<unsigned long>(data[1]) >> 24;
    dragSource = 0;
    dropPending = false;
    dragOffersFiles = false;
    if (version > kXdndVersion) return;
    dragSource = Window(data[0]);
    dragVersion = int(version);
    if (data[1] & kXdndMoreTypes) {
        Atom actual = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* list = nullptr;
        if (XGetWindowProperty(display, dragSource, atoms.typeList, 0, kMaxTypeCount, False,
                               XA_ATOM, &actual, &format, &count, &after, &list) == Success &&
            list) {
            if (actual == XA_ATOM && format == 32) {
                const auto* types = reinterpret_cast<const Atom*>(list);
                dragOffersFiles = std::find(types, types + count, atoms.uriList) != types + count;
            }
            XFree(list);
        }
    } else {
        for (int i = 2; i <= 4; ++i)
            if (Atom(data[i]) == atoms.uriList) dragOffersFiles = true;
    }
}

void CX11Window::dragMoved(const long* data) {
    if (!dragSource || Window(data[0]) != dragSource || dropPending) return;
    const int rootX = int((static_cast<unsigned long>(data[2]) >> 16) & 0xffff);
    const int rootY = int(static_cast<unsigned long>(data[2]) & 0xffff);
    Window child = 0;
    int x = 0, y = 0;
    XTranslateCoordinates(display, DefaultRootWindow(display), window, rootX, rootY, &x, &y,
                          &child);
    dragPoint = CPoint(x, y);
    const bool accept = dragOffersFiles && x >= 0 && y >= 0 && x < width && y < height;
    sendToSource(atoms.status, (accept ? kXdndAccept : 0) | kXdndSendMoves, 0, 0,
                 accept ? long(atoms.actionCopy) : 0);
}

void CX11Window::dragDropped(const long* data) {
    if (!dragSource || Window(data[0]) != dragSource || dropPending) return;
    if (!dragOffersFiles) {
        finishDrop(false);
        return;
    }
    // The list comes as our own property, announced by a SelectionNotify.
    const Time time = dragVersion >= 1 ? Time(data[2]) : CurrentTime;
    XDeleteProperty(display, window, atoms.dropProperty);
    XConvertSelection(display, atoms.selection, atoms.uriList, atoms.dropProperty, window, time);
    XFlush(display);
    dropPending = true;
}

void CX11Window::selectionArrived(unsigned long property, IPlatformWindowEvents& events) {
    std::vector<std::string> paths;
    if (property != None) {
        Atom actual = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* text = nullptr;
        if (XGetWindowProperty(display, window, property, 0, kMaxUriListWords, True,
                               AnyPropertyType, &actual, &format, &count, &after,
                               &text) == Success &&
            text) {
            // Only a whole list: a cut one could end inside a name.
            if (format == 8 && after == 0)
                paths = filePathsFromUriList(reinterpret_cast<const char*>(text), count, hostName);
            XFree(text);
        }
    }
    const CPoint where = dragPoint;
    // The source hears first, so that it does not wait while the files load.
    finishDrop(!paths.empty());
    if (!paths.empty()) events.onFilesDropped(paths, where);
}

void CX11Window::sendToSource(unsigned long type, long l1, long l2, long l3, long l4) {
    XEvent message{};
    message.xclient.type = ClientMessage;
    message.xclient.display = display;
    message.xclient.window = dragSource;
    message.xclient.message_type = type;
    message.xclient.format = 32;
    message.xclient.data.l[0] = long(window);
    message.xclient.data.l[1] = l1;
    message.xclient.data.l[2] = l2;
    message.xclient.data.l[3] = l3;
    message.xclient.data.l[4] = l4;
    XSendEvent(display, dragSource, False, NoEventMask, &message);
    XFlush(display);
}

void CX11Window::finishDrop(bool accepted) {
    if (dragSource)
        sendToSource(atoms.finished, accepted ? kXdndAccept : 0,
                     accepted ? long(atoms.actionCopy) : 0, 0, 0);
    dragSource = 0;
    dropPending = false;
    dragOffersFiles = false;
}

void CX11Window::show(const std::vector<CRect>& rects) {
    if (!display || !window || rects.empty()) return;
    for (const CRect& r : rects)
        putRect(r);
    XFlush(display);
}

void* CX11Window::nativeHandle() const {
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(window));
}

} // namespace qgui
