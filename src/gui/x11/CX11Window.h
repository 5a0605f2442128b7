#pragma once
// The Linux window: a child of the host's X11 window, on a Display
// connection of its own (the host's toolkit keeps its own connection, and
// never sees ours). The surface is shown with XPutImage of a ZPixmap that
// points straight at the surface's words; events are read only when the frame
// idles, so an idle with nothing to do costs no request. The server grabs the
// pointer for us while a button is held, so the moves and the release of a
// press reach us even outside the window.
// UI thread only.

#include "gui/IPlatformWindow.h"

#include <string>

// Files dragged in from other programs arrive through the XDND protocol: the
// window announces itself as a drop target, accepts drags that offer a
// text/uri-list, and on a drop reads that list from the source's selection
// and reports the files with the pointer's last position.
//
// Xlib's own types, declared rather than included: Xlib's macros (None,
// Bool, Status...) must not leak into everything that includes this header.
struct _XDisplay;
struct _XGC;
struct _XImage;

namespace qgui {

class CX11Window : public IPlatformWindow {
public:
    CX11Window() = default;
    ~CX11Window() override;

    // parent: the host's Window id, cast to a pointer as the VST interface hands it.
    bool open(void* parent, const CSurface& surface) override;
    void close() override;
    void pumpEvents(IPlatformWindowEvents& events) override;
    void show(const std::vector<CRect>& rects) override;
    void* nativeHandle() const override;

    // The window's own connection (an Xlib Display*).
    _XDisplay* getDisplay() const { return display; }

private:
    void putRect(const CRect& r);
    // The XDND messages; each returns after answering the source.
    void dragEntered(const long* data);
    void dragMoved(const long* data);
    void dragDropped(const long* data);
    void selectionArrived(unsigned long property, IPlatformWindowEvents& events);
    void sendToSource(unsigned long type, long l1, long l2, long l3, long l4);
    void finishDrop(bool accepted);

    _XDisplay* display = nullptr;
    unsigned long window = 0; // an Xlib Window id
    _XGC* gc = nullptr;
    _XImage* image = nullptr;
    int width = 0;
    int height = 0;

    // The drag now over the window (XDND); source 0 while there is none.
    struct Atoms {
        unsigned long aware, enter, position, status, leave, drop, finished, selection, typeList,
            actionCopy, uriList, dropProperty;
    } atoms{};
    unsigned long dragSource = 0;
    int dragVersion = 0;
    bool dragOffersFiles = false;
    bool dropPending = false; // dropped; the source's selection is on its way
    // The last press, to tell a double-click: its button, server time and place.
    unsigned lastPressButton = 0;
    unsigned long lastPressTime = 0;
    int lastPressX = 0, lastPressY = 0;
    CPoint dragPoint;
    std::string hostName;
};

} // namespace qgui
