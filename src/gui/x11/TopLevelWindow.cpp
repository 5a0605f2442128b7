#include "gui/x11/TopLevelWindow.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

// A window manager marks the windows it manages with WM_STATE.
bool isManaged(Display* display, Window window, Atom wmState) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display, window, wmState, 0, 0, False, AnyPropertyType,
                                          &type, &format, &items, &after, &data);
    if (data) XFree(data);
    return status == Success && type != None;
}

int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

} // namespace

unsigned long topLevelWindow(unsigned long window) {
    if (window == 0) return 0;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return window;
    // A window that went meanwhile is answered by the window itself.
    XErrorHandler previous = XSetErrorHandler(ignoreErrors);
    const Atom wmState = XInternAtom(display, "WM_STATE", False);
    Window managed = 0;  // the highest ancestor the window manager manages
    Window topChild = 0; // the ancestor just below the root (a frame, without a manager)
    Window current = window;
    for (int depth = 0; depth < 64; ++depth) {
        if (isManaged(display, current, wmState)) managed = current;
        Window root = 0, parent = 0, *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, current, &root, &parent, &children, &count)) break;
        if (children) XFree(children);
        if (parent == 0 || parent == root) {
            topChild = current;
            break;
        }
        current = parent;
    }
    XSync(display, False);
    XSetErrorHandler(previous);
    XCloseDisplay(display);
    if (managed) return managed;
    return topChild ? topChild : window;
}
