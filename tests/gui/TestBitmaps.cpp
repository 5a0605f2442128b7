// A test-only findEmbeddedPng: a few PNG files made with libpng on first use.
#include "gui/TestBitmaps.h"

#include "gui/CScale.h"
#include "gui/EmbeddedBitmaps.h"

#include <png.h>

#include <cstring>
#include <map>
#include <utility>

namespace testbitmaps {

std::uint32_t filmstripColor(int frame) {
    return 0xff000000u | (std::uint32_t(40 + 50 * frame) << 16) |
           (std::uint32_t(200 - 30 * frame) << 8) | 0x40u;
}

std::vector<unsigned char> makePng(int width, int height, const std::vector<std::uint8_t>& rgba) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr);
    std::vector<unsigned char> bytes(size);
    if (!png_image_write_to_memory(&image, bytes.data(), &size, 0, rgba.data(), 0, nullptr))
        bytes.clear();
    bytes.resize(size);
    return bytes;
}

namespace {

struct Image {
    int w, h;
    std::vector<std::uint8_t> rgba;
    Image(int w_, int h_) : w(w_), h(h_), rgba(std::size_t(w_) * h_ * 4, 0) {}
    void set(int x, int y, std::uint32_t argb) {
        std::uint8_t* p = &rgba[(std::size_t(y) * w + x) * 4];
        p[0] = std::uint8_t(argb >> 16);
        p[1] = std::uint8_t(argb >> 8);
        p[2] = std::uint8_t(argb);
        p[3] = std::uint8_t(argb >> 24);
    }
};

// Sizes are mapped as the window maps them (⌊1.5 n⌋ at 1.5); at scales 1.5
// and 2 each filmstrip frame has its white dot at its first surface pixel.
std::vector<unsigned char> drawn(int id, qgui::CScale s) {
    using namespace testbitmaps;
    switch (id) {
    case kFilmstrip: {
        Image im(s.toSurface(kFilmstripSide), s.toSurface(kFilmstripSide * kFilmstripFrames));
        for (int y = 0; y < im.h; ++y)
            for (int x = 0; x < im.w; ++x) {
                int frame = s.toWindow(y) / kFilmstripSide;
                bool dot =
                    s != qgui::CScale(1) && x == 0 && y == s.toSurface(frame * kFilmstripSide);
                im.set(x, y, dot ? 0xffffffffu : filmstripColor(frame));
            }
        return makePng(im.w, im.h, im.rgba);
    }
    case kBackground: {
        Image im(s.toSurface(200), s.toSurface(120));
        for (int y = 0; y < im.h; ++y)
            for (int x = 0; x < im.w; ++x)
                im.set(x, y,
                       0xff000000u | (std::uint32_t(40 + s.toWindow(x) / 4) << 16) |
                           (std::uint32_t(60 + s.toWindow(y) / 3) << 8) | 0x70u);
        return makePng(im.w, im.h, im.rgba);
    }
    case kSplash: {
        Image im(s.toSurface(200), s.toSurface(120));
        for (int y = 0; y < im.h; ++y)
            for (int x = 0; x < im.w; ++x) {
                bool edge = x < s.toSurface(4) || y < s.toSurface(4) || x >= s.toSurface(196) ||
                            y >= s.toSurface(116);
                im.set(x, y, edge ? 0xffe0c020u : 0xff202040u);
            }
        return makePng(im.w, im.h, im.rgba);
    }
    case kHalfRed: {
        Image im(s.toSurface(10), s.toSurface(10));
        for (int y = 0; y < im.h; ++y)
            for (int x = 0; x < im.w; ++x)
                im.set(x, y, 0x80ff0000u);
        return makePng(im.w, im.h, im.rgba);
    }
    case kTruncated: {
        Image im(s.toSurface(10), s.toSurface(10));
        std::vector<unsigned char> png = makePng(im.w, im.h, im.rgba);
        png.resize(png.size() / 2);
        return png;
    }
    case kNotPng: {
        const char text[] = "GIF89a this is not a PNG file at all";
        return std::vector<unsigned char>(text, text + sizeof text);
    }
    default:
        return {};
    }
}

} // namespace
} // namespace testbitmaps

namespace qgui {

const EmbeddedPng* findEmbeddedPng(int id, int halves) {
    // Made once per ID and scale, kept for the test run (as the real arrays are).
    static std::map<std::pair<int, int>, std::pair<std::vector<unsigned char>, EmbeddedPng>> made;
    if (halves < CScale::kMinHalves || halves > CScale::kMaxHalves) return nullptr;
    auto key = std::make_pair(id, halves);
    auto it = made.find(key);
    if (it == made.end()) {
        std::vector<unsigned char> bytes = testbitmaps::drawn(id, CScale::fromHalves(halves));
        if (bytes.empty()) return nullptr;
        it = made.emplace(key, std::make_pair(std::move(bytes), EmbeddedPng{})).first;
        it->second.second =
            EmbeddedPng{id, halves, it->second.first.data(), it->second.first.size()};
    }
    return &it->second.second;
}

} // namespace qgui
