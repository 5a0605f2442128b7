#include "gui/CDrawContext.h"

#include "gui/CBitmap.h"
#include "gui/CSurface.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace qgui {

namespace {

// Straight-alpha colour c at coverage (0..255) over an opaque pixel.
inline void blend(std::uint32_t& dst, const CColor& c, unsigned coverage) {
    unsigned a = (unsigned(c.alpha) * coverage + 127) / 255;
    if (a == 0) return;
    if (a == 255) {
        dst = CSurface::pack(c);
        return;
    }
    unsigned inv = 255 - a;
    unsigned r = (c.red * a + ((dst >> 16) & 0xff) * inv + 127) / 255;
    unsigned g = (c.green * a + ((dst >> 8) & 0xff) * inv + 127) / 255;
    unsigned b = (c.blue * a + (dst & 0xff) * inv + 127) / 255;
    dst = 0xff000000u | (r << 16) | (g << 8) | b;
}

// A premultiplied pixel over an opaque pixel.
inline void blendPremultiplied(std::uint32_t& dst, std::uint32_t src) {
    unsigned a = src >> 24;
    if (a == 255) {
        dst = src;
        return;
    }
    if (a == 0) return;
    unsigned inv = 255 - a;
    unsigned r = ((src >> 16) & 0xff) + (((dst >> 16) & 0xff) * inv + 127) / 255;
    unsigned g = ((src >> 8) & 0xff) + (((dst >> 8) & 0xff) * inv + 127) / 255;
    unsigned b = (src & 0xff) + ((dst & 0xff) * inv + 127) / 255;
    dst = 0xff000000u | (std::min(r, 255u) << 16) | (std::min(g, 255u) << 8) | std::min(b, 255u);
}

} // namespace

CDrawContext::CDrawContext(CSurface& surface_, CScale scale_, CFontRenderer* fonts_)
    : surface(surface_), scale(scale_), fonts(fonts_),
      windowRect(0, 0, 2 * surface_.width() / scale_.halves(),
                 2 * surface_.height() / scale_.halves()),
      clipRect(windowRect) {}

void CDrawContext::setClipRect(const CRect& clip) {
    clipRect = clip;
    clipRect.bound(windowRect);
}

void CDrawContext::resetClipRect() {
    clipRect = windowRect;
}

bool CDrawContext::clipDevice(int& x0, int& y0, int& x1, int& y1) const {
    x0 = std::max(x0, scale.toSurface(clipRect.left));
    y0 = std::max(y0, scale.toSurface(clipRect.top));
    x1 = std::min(x1, scale.toSurface(clipRect.right));
    y1 = std::min(y1, scale.toSurface(clipRect.bottom));
    return x0 < x1 && y0 < y1;
}

void CDrawContext::fillDevice(int x0, int y0, int x1, int y1, const CColor& c) {
    if (c.alpha == 0 || !clipDevice(x0, y0, x1, y1)) return;
    std::uint32_t* base = surface.data();
    const int w = surface.width();
    for (int y = y0; y < y1; ++y) {
        std::uint32_t* row = base + std::size_t(y) * w;
        if (c.alpha == 255) {
            std::fill(row + x0, row + x1, CSurface::pack(c));
        } else {
            for (int x = x0; x < x1; ++x)
                blend(row[x], c, 255);
        }
    }
}

void CDrawContext::fillRect(const CRect& r) {
    fillDevice(scale.toSurface(r.left), scale.toSurface(r.top), scale.toSurface(r.right),
               scale.toSurface(r.bottom), fillColor);
}

void CDrawContext::drawRect(const CRect& r) {
    if (r.isEmpty()) return;
    const int t = scale.thickness(lineWidth);
    const int x0 = scale.toSurface(r.left), y0 = scale.toSurface(r.top);
    const int x1 = scale.toSurface(r.right), y1 = scale.toSurface(r.bottom);
    fillDevice(x0, y0, x1, std::min(y0 + t, y1), frameColor);
    fillDevice(x0, std::max(y1 - t, y0 + t), x1, y1, frameColor);
    fillDevice(x0, y0 + t, std::min(x0 + t, x1), y1 - t, frameColor);
    fillDevice(std::max(x1 - t, x0 + t), y0 + t, x1, y1 - t, frameColor);
}

void CDrawContext::drawLine(const CPoint& a, const CPoint& b) {
    // A square pen of lineWidth scale-1 pixels whose top-left corner follows
    // the line; wider pens grow around the line.
    const int pen = scale.thickness(lineWidth);
    const int back = scale.thickness((lineWidth - 1) / 2);
    int x0 = scale.toSurface(a.h), y0 = scale.toSurface(a.v);
    int x1 = scale.toSurface(b.h), y1 = scale.toSurface(b.v);
    if (x0 == x1 || y0 == y1) {
        fillDevice(std::min(x0, x1) - back, std::min(y0, y1) - back, std::max(x0, x1) - back + pen,
                   std::max(y0, y1) - back + pen, frameColor);
        return;
    }
    const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        fillDevice(x0 - back, y0 - back, x0 - back + pen, y0 - back + pen, frameColor);
        if (x0 == x1 && y0 == y1) break;
        int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

void CDrawContext::fillPolygon(const CPoint* points, int count) {
    if (!points || count < 3 || fillColor.alpha == 0) return;
    int minY = points[0].v, maxY = points[0].v;
    for (int i = 1; i < count; ++i) {
        minY = std::min(minY, points[i].v);
        maxY = std::max(maxY, points[i].v);
    }
    int y0 = scale.toSurface(minY), y1 = scale.toSurface(maxY), x0 = 0, x1 = surface.width();
    const double f = scale.factor();
    if (!clipDevice(x0, y0, x1, y1)) return;

    std::vector<double> crossings;
    for (int y = y0; y < y1; ++y) {
        const double yc = y + 0.5;
        crossings.clear();
        for (int i = 0; i < count; ++i) {
            const CPoint& p = points[i];
            const CPoint& q = points[(i + 1) % count];
            double py = p.v * f, qy = q.v * f;
            if (py == qy) continue;
            if ((yc >= py && yc < qy) || (yc >= qy && yc < py)) {
                double px = p.h * f, qx = q.h * f;
                crossings.push_back(px + (yc - py) * (qx - px) / (qy - py));
            }
        }
        std::sort(crossings.begin(), crossings.end());
        for (std::size_t i = 0; i + 1 < crossings.size(); i += 2) {
            int from = int(std::ceil(crossings[i] - 0.5));
            int to = int(std::ceil(crossings[i + 1] - 0.5));
            fillDevice(from, y, to, y + 1, fillColor);
        }
    }
}

void CDrawContext::drawString(const char* text, const CRect& r, CHoriTxtAlign align) {
    if (!text || !*text || !fonts || !fonts->isOpen() || fontColor.alpha == 0) return;
    const int left = scale.toSurface(r.left), top = scale.toSurface(r.top);
    const int right = scale.toSurface(r.right), bottom = scale.toSurface(r.bottom);
    int cx0 = left, cy0 = top, cx1 = right, cy1 = bottom;
    if (!clipDevice(cx0, cy0, cx1, cy1)) return;

    // The pen moves in 1/64 pixel; each glyph is drawn for the pen's quarter pixel.
    const int width = fonts->textAdvance(font, text);
    int pen = left * 64;
    if (align == kCenterText)
        pen += ((right - left) * 64 - width) / 2;
    else if (align == kRightText)
        pen += (right - left) * 64 - width;
    const int baseline = top + (bottom - top + fonts->capHeight(font) + 1) / 2;

    std::uint32_t* base = surface.data();
    const int stride = surface.width();
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        const int quarters = (pen + 8) >> 4; // the pen in quarter pixels, rounded
        const CFontRenderer::Glyph& g =
            fonts->glyph(font, *p, quarters & (CFontRenderer::kPhases - 1));
        const int gx = (quarters >> 2) + g.left, gy = baseline - g.top;
        const int ya = std::max(gy, cy0), yb = std::min(gy + g.height, cy1);
        const int xa = std::max(gx, cx0), xb = std::min(gx + g.width, cx1);
        for (int y = ya; y < yb; ++y) {
            const std::uint8_t* cov = &g.coverage[std::size_t(y - gy) * g.width];
            std::uint32_t* row = base + std::size_t(y) * stride;
            for (int x = xa; x < xb; ++x)
                if (cov[x - gx]) blend(row[x], fontColor, cov[x - gx]);
        }
        pen += g.advance;
    }
}

double CDrawContext::getStringWidth(const char* text) {
    if (!fonts || !fonts->isOpen()) return 0;
    return double(fonts->textAdvance(font, text)) / 64.0 / scale.factor();
}

int CDrawContext::getFontHeight() const {
    if (!fonts || !fonts->isOpen()) return 0;
    return (2 * fonts->lineHeight(font) + scale.halves() - 1) / scale.halves();
}

void CDrawContext::drawBitmap(const CBitmap& bitmap, const CRect& dest, const CPoint& offset) {
    // The part of dest the bitmap covers (placed so that offset lands on
    // dest's top-left), in window pixels, then on the surface; and where on
    // the surface the bitmap's pixel offset is.
    CRect covered(dest.left - offset.h, dest.top - offset.v,
                  dest.left - offset.h + bitmap.getWidth(),
                  dest.top - offset.v + bitmap.getHeight());
    covered.bound(dest);
    if (covered.isEmpty()) return;
    int x0 = scale.toSurface(covered.left), y0 = scale.toSurface(covered.top);
    int x1 = scale.toSurface(covered.right), y1 = scale.toSurface(covered.bottom);
    if (!clipDevice(x0, y0, x1, y1)) return;
    const int originX = scale.toSurface(dest.left) - scale.toSurface(offset.h);
    const int originY = scale.toSurface(dest.top) - scale.toSurface(offset.v);

    // Same scale: one pixel for one; otherwise the nearest pixel. At 1.5 a
    // filmstrip frame and the place it is drawn at may differ by a pixel
    // column (both edges round down): the frame's last pixels stretch then,
    // and its neighbour's never show.
    const CScale b = bitmap.getScale();
    const int pw = bitmap.pixelWidth(), ph = bitmap.pixelHeight();
    const int lastX = std::min(b.toSurface(offset.h + dest.width()), pw) - 1;
    const int lastY = std::min(b.toSurface(offset.v + dest.height()), ph) - 1;
    const std::uint32_t* src = bitmap.pixels();
    std::uint32_t* base = surface.data();
    const int stride = surface.width();
    for (int y = y0; y < y1; ++y) {
        const int sy = std::clamp((y - originY) * b.halves() / scale.halves(), 0, lastY);
        const std::uint32_t* srow = src + std::size_t(sy) * pw;
        std::uint32_t* row = base + std::size_t(y) * stride;
        for (int x = x0; x < x1; ++x) {
            const int sx = std::clamp((x - originX) * b.halves() / scale.halves(), 0, lastX);
            blendPremultiplied(row[x], srow[sx]);
        }
    }
}

} // namespace qgui
