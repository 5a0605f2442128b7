#include "gui/PngCodec.h"

#include "gui/CSurface.h"

#include <png.h>

#include <cstring>

namespace qgui {

bool decodePng(const unsigned char* bytes, std::size_t size, DecodedPng& out) {
    out = DecodedPng();
    if (!bytes || size < 8) return false;

    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes, size)) return false;
    if (image.width == 0 || image.height == 0 || image.width > unsigned(kMaxPngSide) ||
        image.height > unsigned(kMaxPngSide)) {
        png_image_free(&image);
        return false;
    }
    image.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> rgba(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }

    out.width = int(image.width);
    out.height = int(image.height);
    out.pixels.resize(std::size_t(out.width) * std::size_t(out.height));
    const unsigned char* p = rgba.data();
    for (std::uint32_t& word : out.pixels) {
        std::uint32_t a = p[3];
        // Premultiplied with rounding: c * a / 255.
        auto mul = [a](std::uint32_t c) { return (c * a + 127) / 255; };
        word = (a << 24) | (mul(p[0]) << 16) | (mul(p[1]) << 8) | mul(p[2]);
        p += 4;
    }
    return true;
}

bool writePng(const CSurface& surface, const std::string& path) {
    if (surface.width() <= 0 || surface.height() <= 0) return false;
    std::vector<unsigned char> rgb(std::size_t(surface.width()) * surface.height() * 3);
    unsigned char* p = rgb.data();
    const std::uint32_t* src = surface.data();
    for (std::size_t i = 0, n = std::size_t(surface.width()) * surface.height(); i < n; ++i) {
        *p++ = std::uint8_t(src[i] >> 16);
        *p++ = std::uint8_t(src[i] >> 8);
        *p++ = std::uint8_t(src[i]);
    }

    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(surface.width());
    image.height = png_uint_32(surface.height());
    image.format = PNG_FORMAT_RGB;
    return png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
}

} // namespace qgui
