#include "gui/CBitmap.h"

#include "gui/CDrawContext.h"
#include "gui/EmbeddedBitmaps.h"
#include "gui/PngCodec.h"

namespace qgui {

CBitmap::CBitmap(int width_, int height_, int scale_, std::vector<std::uint32_t> pixels)
    : width(width_), height(height_), scale(scale_), data(std::move(pixels)) {}

std::unique_ptr<CBitmap> CBitmap::load(int resourceId, int scale) {
    const EmbeddedPng* png = findEmbeddedPng(resourceId, scale);
    if (!png || png->scale != scale) return nullptr;
    return fromPng(png->bytes, png->size, scale);
}

std::unique_ptr<CBitmap> CBitmap::fromPng(const unsigned char* bytes, std::size_t size, int scale) {
    if (scale < 1) return nullptr;
    DecodedPng image;
    if (!decodePng(bytes, size, image)) return nullptr;
    // A bitmap drawn for scale 2 must have whole scale-1 pixels.
    if (image.width % scale != 0 || image.height % scale != 0) return nullptr;
    int w = image.width / scale;
    int h = image.height / scale;
    return std::make_unique<CBitmap>(w, h, scale, std::move(image.pixels));
}

void CBitmap::draw(CDrawContext* context, const CRect& dest, const CPoint& offset) const {
    if (context) context->drawBitmap(*this, dest, offset);
}

} // namespace qgui
