#pragma once
// PNG files as small as a picture allows: an indexed palette when it has at
// most 256 colours, else plain 8-bit RGB, always at libpng's best compression.

#include <cstdint>
#include <string>
#include <vector>

namespace docs {

// pixels: 0xRRGGBB, width x height, row after row. False when the file cannot
// be written.
bool writePalettePng(const std::string& path, const std::vector<std::uint32_t>& pixels, int width,
                     int height);

} // namespace docs
