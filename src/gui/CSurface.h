#pragma once
// The window's pixels: one software surface that everything draws into and
// the platform backend copies to the screen.
//
// Each pixel is one 32-bit word 0xAARRGGBB in the machine's own byte order,
// so on our little-endian targets the bytes in memory are B, G, R, A. That is
// exactly an X11 ZPixmap of 32 bits per pixel on a TrueColor visual with the
// masks 0xff0000 / 0x00ff00 / 0x0000ff (the usual 24- and 32-bit visuals), and
// a Windows top-down 32-bit DIB: the backends blit the words as they are. The
// window is opaque, so the surface's alpha is always 255.

#include "gui/CColor.h"

#include <cstdint>
#include <vector>

namespace qgui {

class CSurface {
public:
    // width and height in surface pixels (window size times scale), filled black.
    CSurface(int width, int height);

    int width() const { return w; }
    int height() const { return h; }
    // Row after row, width words each, no padding.
    std::uint32_t* data() { return pixels.data(); }
    const std::uint32_t* data() const { return pixels.data(); }

    // The pixel at (x, y) in surface pixels; 0 outside.
    std::uint32_t pixel(int x, int y) const;
    // The colour at (x, y), alpha always 255.
    CColor colorAt(int x, int y) const;

    static std::uint32_t pack(const CColor& c) {
        return 0xff000000u | (std::uint32_t(c.red) << 16) | (std::uint32_t(c.green) << 8) | c.blue;
    }

private:
    int w;
    int h;
    std::vector<std::uint32_t> pixels;
};

} // namespace qgui
