#pragma once
// The Linux window: a child of the host's X11 window, on a Display
// connection of its own (the host's toolkit keeps its own connection, and
// never sees ours). The surface is shown with XPutImage of a ZPixmap that
// points straight at the surface's words; events are read only when the frame
// idles or a drag loop asks, so an idle with nothing to do costs no request.
// UI thread only.

#include "gui/IPlatformWindow.h"

// Xlib's own types, declared rather than included: Xlib's macros (None,
// Bool, Status...) must not leak into everything that includes this header.
struct _XDisplay;
struct _XGC;
struct _XImage;

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

    // The window's own connection (an Xlib Display*).
    _XDisplay* getDisplay() const { return display; }

private:
    void putRect(const CRect& r);

    _XDisplay* display = nullptr;
    unsigned long window = 0; // an Xlib Window id
    _XGC* gc = nullptr;
    _XImage* image = nullptr;
    int width = 0;
    int height = 0;
};

} // namespace VSTGUI
