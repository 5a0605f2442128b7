#include "gui/CSurface.h"

namespace qgui {

CSurface::CSurface(int width, int height)
    : w(width > 0 ? width : 0), h(height > 0 ? height : 0),
      pixels(std::size_t(w) * std::size_t(h), 0xff000000u) {}

std::uint32_t CSurface::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= w || y >= h) return 0;
    return pixels[std::size_t(y) * std::size_t(w) + std::size_t(x)];
}

CColor CSurface::colorAt(int x, int y) const {
    std::uint32_t p = pixel(x, y);
    return CColor{std::uint8_t(p >> 16), std::uint8_t(p >> 8), std::uint8_t(p), 255};
}

} // namespace qgui
