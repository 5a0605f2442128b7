#include "gui/CBitmap.h"

#include "gui/CDrawContext.h"
#include "gui/EmbeddedBitmaps.h"
#include "gui/PngCodec.h"

namespace qgui {

CBitmap::CBitmap(int width_, int height_, CScale scale_, std::vector<std::uint32_t> pixels)
    : width(width_), height(height_), scale(scale_), data(std::move(pixels)) {}

std::unique_ptr<CBitmap> CBitmap::load(int resourceId, CScale scale) {
    const EmbeddedPng* png = findEmbeddedPng(resourceId, scale.halves());
    if (!png || png->halves != scale.halves()) return nullptr;
    return fromPng(png->bytes, png->size, scale);
}

std::unique_ptr<CBitmap> CBitmap::fromPng(const unsigned char* bytes, std::size_t size,
                                          CScale scale) {
    DecodedPng image;
    if (!decodePng(bytes, size, image)) return nullptr;
    // A bitmap drawn for a scale must have whole scale-1 pixels.
    const int w = scale.windowLength(image.width);
    const int h = scale.windowLength(image.height);
    if (w < 0 || h < 0) return nullptr;
    return std::make_unique<CBitmap>(w, h, scale, std::move(image.pixels));
}

void CBitmap::draw(CDrawContext* context, const CRect& dest, const CPoint& offset) const {
    if (context) context->drawBitmap(*this, dest, offset);
}

} // namespace qgui
