#pragma once
// The Linux window: a child of the host's X11 window, on a Display
// connection of its own (the host's toolkit keeps its own connection, and
// never sees ours). The surface is shown with XPutImage of a ZPixmap that
// points straight at the surface's words; events are read only when the frame
// idles or a drag loop asks, so an idle with nothing to do costs no request.
// UI thread only.

#include "gui/IPlatformWindow.h"

#include <X11/Xlib.h>

namespace VSTGUI {

class CX11Window : public IPlatformWindow {
public:
    CX11Window() = default;
    ~CX11Window() override;

    // parent: the host's Window id, cast to a pointer as the VST interface hands it.
    bool open(void* parent, const CSurface& surface) override;
    void close() override;
    void pumpEvents(IPlatformWindowEvents& events) override;
    void show(const std::vector<CRect>& rects) override;
    void currentMouse(CPoint& where, long& buttons) override;
    void* nativeHandle() const override;

    Display* getDisplay() const { return display; }

private:
    void putRect(const CRect& r);

    Display* display = nullptr;
    Window window = 0;
    GC gc = nullptr;
    XImage* image = nullptr;
    int width = 0;
    int height = 0;
};

} // namespace VSTGUI
