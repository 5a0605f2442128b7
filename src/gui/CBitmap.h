#pragma once
// A decoded bitmap of the editor's artwork, held at the window's scale.
//
// Pixels are words 0xAARRGGBB with premultiplied alpha (see PngCodec.h). A
// bitmap loaded for scale 2 has twice the pixels in each direction, but all
// its sizes and offsets are given at scale 1, like every rectangle of the
// views: a 22 × 1210 knob filmstrip is 22 × 1210 at either scale.

#include "gui/CRect.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace qgui {

class CDrawContext;

class CBitmap {
public:
    // pixels: (width × scale) × (height × scale) premultiplied words.
    CBitmap(int width, int height, int scale, std::vector<std::uint32_t> pixels);

    // The embedded bitmap with this resource ID, drawn for scale (1 or 2).
    // Null when there is none or its PNG cannot be decoded. UI thread.
    static std::unique_ptr<CBitmap> load(int resourceId, int scale);
    // A bitmap from PNG bytes, whose pixels are scale times the sizes at scale 1.
    static std::unique_ptr<CBitmap> fromPng(const unsigned char* bytes, std::size_t size,
                                            int scale);

    // Sizes at scale 1.
    int getWidth() const { return width; }
    int getHeight() const { return height; }
    int getScale() const { return scale; }

    // Copies the part of the bitmap that starts at offset (scale 1, inside the
    // bitmap) to dest, blending by alpha; whatever would lie outside the bitmap
    // is left undrawn, so a frame index out of range never reads past the end.
    void draw(CDrawContext* context, const CRect& dest, const CPoint& offset = CPoint()) const;

    // Surface-sized pixels: (width × scale) wide, row after row.
    int pixelWidth() const { return width * scale; }
    int pixelHeight() const { return height * scale; }
    const std::uint32_t* pixels() const { return data.data(); }

private:
    int width;
    int height;
    int scale;
    std::vector<std::uint32_t> data;
};

} // namespace qgui
