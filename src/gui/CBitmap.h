#pragma once
// A decoded bitmap of the editor's artwork, held at the window's scale.
//
// Pixels are words 0xAARRGGBB with premultiplied alpha (see PngCodec.h). A
// bitmap loaded for scale 2 has twice the pixels in each direction, one for
// 1.5 the scale-1 size mapped as the window maps an edge (⌊1.5 n⌋, CScale.h),
// but all its sizes and offsets are given at scale 1, like every rectangle of
// the views: a 22 × 1210 knob filmstrip is 22 × 1210 at every scale.

#include "gui/CRect.h"
#include "gui/CScale.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace qgui {

class CDrawContext;

class CBitmap {
public:
    // pixels: scale.toSurface(width) × scale.toSurface(height) premultiplied words.
    CBitmap(int width, int height, CScale scale, std::vector<std::uint32_t> pixels);

    // The embedded bitmap with this resource ID, drawn for scale (1, 1.5 or 2).
    // Null when there is none or its PNG cannot be decoded. UI thread.
    static std::unique_ptr<CBitmap> load(int resourceId, CScale scale);
    // A bitmap from PNG bytes whose pixels are the sizes at scale 1 mapped by
    // scale; null when they are not.
    static std::unique_ptr<CBitmap> fromPng(const unsigned char* bytes, std::size_t size,
                                            CScale scale);

    // Sizes at scale 1.
    int getWidth() const { return width; }
    int getHeight() const { return height; }
    CScale getScale() const { return scale; }

    // Copies the part of the bitmap that starts at offset (scale 1, inside the
    // bitmap) to dest, blending by alpha; whatever would lie outside the bitmap
    // is left undrawn, so a frame index out of range never reads past the end.
    void draw(CDrawContext* context, const CRect& dest, const CPoint& offset = CPoint()) const;

    // Surface-sized pixels: scale.toSurface(width) wide, row after row.
    int pixelWidth() const { return scale.toSurface(width); }
    int pixelHeight() const { return scale.toSurface(height); }
    const std::uint32_t* pixels() const { return data.data(); }

private:
    int width;
    int height;
    CScale scale;
    std::vector<std::uint32_t> data;
};

} // namespace qgui
