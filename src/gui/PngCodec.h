#pragma once
// PNG files in and out, through libpng: the editor's bitmaps come in, and
// screenshots of the surface go out (tests and tools look at those).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qgui {

class CSurface;

// A decoded image: width × height words 0xAARRGGBB with premultiplied alpha
// (each colour channel already multiplied by alpha / 255), row after row.
struct DecodedPng {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

// Largest width or height accepted; a PNG claiming more is treated as damaged
// rather than allowed to ask for gigabytes.
constexpr int kMaxPngSide = 8192;

// Decodes a whole PNG file held in memory. False (and out left empty) when the
// bytes are not a PNG libpng can read, or the image is empty or too large.
bool decodePng(const unsigned char* bytes, std::size_t size, DecodedPng& out);

// Writes the surface as an RGB PNG file; false when the file cannot be written.
bool writePng(const CSurface& surface, const std::string& path);

} // namespace qgui
