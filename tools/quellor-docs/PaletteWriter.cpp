#include "PaletteWriter.h"

#include <png.h>

#include <cstdio>
#include <map>

namespace docs {

namespace {

struct File {
    FILE* f;
    explicit File(const std::string& path) : f(std::fopen(path.c_str(), "wb")) {}
    ~File() {
        if (f) std::fclose(f);
    }
};

} // namespace

bool writePalettePng(const std::string& path, const std::vector<std::uint32_t>& pixels, int width,
                     int height) {
    constexpr std::size_t kPaletteColours = 256;
    std::map<std::uint32_t, int> index;
    for (std::uint32_t p : pixels) {
        if (index.size() > kPaletteColours) break;
        index.emplace(p, 0);
    }
    const bool indexed = index.size() <= kPaletteColours;
    std::vector<png_color> palette;
    if (indexed)
        for (auto& [colour, i] : index) {
            i = int(palette.size());
            palette.push_back(
                png_color{png_byte(colour >> 16), png_byte(colour >> 8), png_byte(colour)});
        }

    File file(path);
    if (!file.f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    std::vector<png_byte> row(std::size_t(width) * (indexed ? 1 : 3));
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file.f);
    png_set_compression_level(png, 9);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8,
                 indexed ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (indexed) png_set_PLTE(png, info, palette.data(), int(palette.size()));
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        const std::uint32_t* src = pixels.data() + std::size_t(y) * std::size_t(width);
        for (int x = 0; x < width; ++x) {
            if (indexed) {
                row[std::size_t(x)] = png_byte(index[src[x]]);
            } else {
                row[3 * std::size_t(x)] = png_byte(src[x] >> 16);
                row[3 * std::size_t(x) + 1] = png_byte(src[x] >> 8);
                row[3 * std::size_t(x) + 2] = png_byte(src[x]);
            }
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace docs
