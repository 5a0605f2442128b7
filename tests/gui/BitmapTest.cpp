// Bitmaps: decoding the embedded PNGs, refusing damaged ones, and drawing
// filmstrip frames with alpha at either scale without reading outside.
#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/CSurface.h"
#include "gui/PngCodec.h"
#include "gui/TestBitmaps.h"

#include <gtest/gtest.h>

using namespace qgui;

TEST(PngCodec, DecodesToPremultipliedWords) {
    // Opaque blue, half-transparent white, fully transparent red.
    std::vector<std::uint8_t> rgba = {0, 0, 255, 255, 255, 255, 255, 128, 255, 0, 0, 0};
    std::vector<unsigned char> png = testbitmaps::makePng(3, 1, rgba);
    DecodedPng image;
    ASSERT_TRUE(decodePng(png.data(), png.size(), image));
    ASSERT_EQ(image.width, 3);
    ASSERT_EQ(image.height, 1);
    EXPECT_EQ(image.pixels[0], 0xff0000ffu);
    EXPECT_EQ(image.pixels[1], 0x80808080u);
    EXPECT_EQ(image.pixels[2], 0x00000000u);
}

TEST(PngCodec, RefusesDamagedInput) {
    std::vector<unsigned char> good =
        testbitmaps::makePng(4, 4, std::vector<std::uint8_t>(4 * 4 * 4, 200));
    std::vector<unsigned char> wrongMagic = good;
    wrongMagic[1] = 'Q';
    std::vector<unsigned char> truncated(good.begin(), good.begin() + long(good.size() / 2));
    std::vector<unsigned char> headerOnly(good.begin(), good.begin() + 8);
    // A header claiming 100000 × 1 pixels: larger than any artwork may be.
    std::vector<unsigned char> huge = good;
    huge[16] = 0x00, huge[17] = 0x01, huge[18] = 0x86, huge[19] = 0xa0;

    struct Case {
        const char* name;
        const unsigned char* bytes;
        std::size_t size;
    };
    const Case cases[] = {
        {"null", nullptr, 10},
        {"empty", good.data(), 0},
        {"wrong magic", wrongMagic.data(), wrongMagic.size()},
        {"truncated", truncated.data(), truncated.size()},
        {"signature only", headerOnly.data(), headerOnly.size()},
        {"oversized", huge.data(), huge.size()},
    };
    for (const Case& c : cases) {
        DecodedPng image;
        EXPECT_FALSE(decodePng(c.bytes, c.size, image)) << c.name;
        EXPECT_TRUE(image.pixels.empty()) << c.name;
    }
}

TEST(CBitmap, LoadsByIdAtScaleWithScaleOneSizes) {
    for (int scale : {1, 2}) {
        auto bitmap = CBitmap::load(testbitmaps::kFilmstrip, scale);
        ASSERT_TRUE(bitmap) << scale;
        EXPECT_EQ(bitmap->getWidth(), testbitmaps::kFilmstripSide);
        EXPECT_EQ(bitmap->getHeight(), testbitmaps::kFilmstripSide * testbitmaps::kFilmstripFrames);
        EXPECT_EQ(bitmap->pixelWidth(), testbitmaps::kFilmstripSide * scale);
    }
    EXPECT_FALSE(CBitmap::load(testbitmaps::kTruncated, 1));
    EXPECT_FALSE(CBitmap::load(testbitmaps::kNotPng, 1));
    EXPECT_FALSE(CBitmap::load(12345, 1)); // no such resource
    // An odd-sized image cannot be the 2× drawing of anything, nor a side of
    // 2 pixels the 1.5× drawing (1 maps to 1 pixel, 2 to 3).
    std::vector<unsigned char> odd = testbitmaps::makePng(3, 4, std::vector<std::uint8_t>(48, 9));
    EXPECT_FALSE(CBitmap::fromPng(odd.data(), odd.size(), 2));
    std::vector<unsigned char> two = testbitmaps::makePng(3, 2, std::vector<std::uint8_t>(24, 9));
    EXPECT_FALSE(CBitmap::fromPng(two.data(), two.size(), CScale::oneAndAHalf()));
    auto third = CBitmap::fromPng(odd.data(), odd.size(), CScale::oneAndAHalf());
    ASSERT_TRUE(third);
    EXPECT_EQ(third->getWidth(), 2);
    EXPECT_EQ(third->getHeight(), 3);
}

TEST(CBitmap, FilmstripFrameCopiedAtEitherScale) {
    const int side = testbitmaps::kFilmstripSide;
    for (int scale : {1, 2}) {
        auto strip = CBitmap::load(testbitmaps::kFilmstrip, scale);
        CSurface surface(40 * scale, 40 * scale);
        CDrawContext context(surface, scale, nullptr);
        const CRect dest(10, 10, 10 + side, 10 + side);
        for (int frame = 0; frame < testbitmaps::kFilmstripFrames; ++frame) {
            strip->draw(&context, dest, CPoint(0, frame * side));
            EXPECT_EQ(surface.pixel(15 * scale, 15 * scale), testbitmaps::filmstripColor(frame))
                << "scale " << scale << " frame " << frame;
            EXPECT_EQ(surface.pixel((10 + side - 1) * scale + scale - 1,
                                    (10 + side - 1) * scale + scale - 1),
                      testbitmaps::filmstripColor(frame));
            // Nothing outside the destination.
            EXPECT_EQ(surface.pixel(10 * scale - 1, 15 * scale), 0xff000000u);
            EXPECT_EQ(surface.pixel((10 + side) * scale, 15 * scale), 0xff000000u);
        }
        // At scale 2 the 2× drawing's one-pixel detail arrives whole: it was
        // drawn finer, not upscaled.
        if (scale == 2) {
            EXPECT_EQ(surface.pixel(20, 20), 0xffffffffu);
            EXPECT_EQ(surface.pixel(21, 20), testbitmaps::filmstripColor(4));
            EXPECT_EQ(surface.pixel(20, 21), testbitmaps::filmstripColor(4));
        }
    }
}

// At 1.5 a frame of odd size starts on the pixel its offset maps to, and
// fills the place it is drawn at exactly: where that place is a row taller
// than the frame, the frame's last row repeats, and the next frame's first
// row never shows.
TEST(CBitmap, FramesAtOneAndAHalfNeverShowTheirNeighbours) {
    const CScale k15 = CScale::oneAndAHalf();
    // Three frames of 3 × 3 stacked: rows 0..3, 4..8 and 9..12 of 13.
    const int w = k15.toSurface(3), h = k15.toSurface(9);
    std::vector<std::uint8_t> rgba(std::size_t(w) * h * 4, 255);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int frame = k15.toWindow(y) / 3;
            rgba[(std::size_t(y) * w + x) * 4 + std::size_t(frame)] = 0; // cyan, magenta, yellow
        }
    const std::vector<unsigned char> png = testbitmaps::makePng(w, h, rgba);
    auto strip = CBitmap::fromPng(png.data(), png.size(), k15);
    ASSERT_TRUE(strip);
    EXPECT_EQ(strip->getHeight(), 9);
    const std::uint32_t colours[3] = {0xff00ffffu, 0xffff00ffu, 0xffffff00u};
    for (int top : {10, 11}) {
        for (int frame = 0; frame < 3; ++frame) {
            CSurface surface(k15.toSurface(20), k15.toSurface(20));
            CDrawContext context(surface, k15, nullptr);
            strip->draw(&context, CRect(4, top, 7, top + 3), CPoint(0, 3 * frame));
            for (int y = k15.toSurface(top); y < k15.toSurface(top + 3); ++y)
                EXPECT_EQ(surface.pixel(7, y), colours[frame]) << top << " " << frame << " " << y;
            EXPECT_EQ(surface.pixel(7, k15.toSurface(top + 3)), 0xff000000u);
            EXPECT_EQ(surface.pixel(7, k15.toSurface(top) - 1), 0xff000000u);
        }
    }
    // The test filmstrip drawn for 1.5 has its one-pixel dot at each frame's
    // first surface pixel, where the context puts it.
    auto film = CBitmap::load(testbitmaps::kFilmstrip, k15);
    ASSERT_TRUE(film);
    EXPECT_EQ(film->pixelWidth(), 18);
    CSurface surface(k15.toSurface(40), k15.toSurface(40));
    CDrawContext context(surface, k15, nullptr);
    const int side = testbitmaps::kFilmstripSide;
    film->draw(&context, CRect(11, 11, 11 + side, 11 + side), CPoint(0, 3 * side));
    EXPECT_EQ(surface.pixel(16, 16), 0xffffffffu);
    EXPECT_EQ(surface.pixel(17, 16), testbitmaps::filmstripColor(3));
    EXPECT_EQ(surface.pixel(33, 33), testbitmaps::filmstripColor(3));
    EXPECT_EQ(surface.pixel(34, 33), 0xff000000u);
}

TEST(CBitmap, FrameOffsetsBeyondTheBitmapDrawOnlyWhatExists) {
    // Offsets past either end: what lies outside the bitmap stays undrawn
    // (and AddressSanitizer sees no read outside its pixels).
    auto strip = CBitmap::load(testbitmaps::kFilmstrip, 1);
    const int side = testbitmaps::kFilmstripSide;
    CSurface surface(40, 40);
    CDrawContext context(surface, 1, nullptr);
    strip->draw(&context, CRect(0, 0, side, side), CPoint(0, 5 * side));
    strip->draw(&context, CRect(0, 0, side, side), CPoint(0, 1000000));
    strip->draw(&context, CRect(0, 0, side, side), CPoint(-1000000, -5));
    EXPECT_EQ(surface.pixel(3, 3), 0xff000000u);
    // Half a frame past the end: the last frame's lower half is drawn, the rest not.
    strip->draw(&context, CRect(20, 0, 20 + side, side), CPoint(0, 4 * side + side / 2));
    EXPECT_EQ(surface.pixel(25, 0), testbitmaps::filmstripColor(4));
    EXPECT_EQ(surface.pixel(25, side / 2), 0xff000000u);
}

TEST(CBitmap, AlphaBlendsOverWhatIsBelow) {
    auto half = CBitmap::load(testbitmaps::kHalfRed, 1);
    CSurface surface(20, 20);
    CDrawContext context(surface, 1, nullptr);
    context.setFillColor(CColor{0, 0, 255, 255});
    context.fillRect(CRect(0, 0, 20, 20));
    half->draw(&context, CRect(5, 5, 15, 15));
    // 128/255 red over blue.
    EXPECT_EQ(surface.pixel(7, 7), 0xff80007fu);
    EXPECT_EQ(surface.pixel(2, 2), 0xff0000ffu);
}
