// The draw context: shapes, alpha, clipping and text, all given in window
// coordinates and multiplied by the scale.
#include "gui/CDrawContext.h"
#include "gui/CFontRenderer.h"
#include "gui/CSurface.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace qgui;

namespace {

// The bounding box (surface pixels) of every pixel that differs from black.
CRect inkBox(const CSurface& s) {
    CRect box;
    for (int y = 0; y < s.height(); ++y)
        for (int x = 0; x < s.width(); ++x)
            if ((s.pixel(x, y) & 0xffffff) != 0) box.unite(CRect(x, y, x + 1, y + 1));
    return box;
}

int countColor(const CSurface& s, std::uint32_t color) {
    return int(std::count(s.data(), s.data() + s.width() * s.height(), color));
}

} // namespace

TEST(CDrawContext, FillsRectanglesAtTheScaleWithAlpha) {
    for (int scale : {1, 2}) {
        CSurface s(30 * scale, 20 * scale);
        CDrawContext c(s, scale, nullptr);
        c.setFillColor(CColor{255, 255, 255, 255});
        c.fillRect(CRect(2, 3, 12, 8));
        EXPECT_EQ(countColor(s, 0xffffffffu), 10 * 5 * scale * scale);
        EXPECT_EQ(inkBox(s), CRect(2 * scale, 3 * scale, 12 * scale, 8 * scale));
        // A quarter-opaque red over white and over black.
        c.setFillColor(CColor{255, 0, 0, 64});
        c.fillRect(CRect(0, 0, 30, 20));
        EXPECT_EQ(s.pixel(5 * scale, 5 * scale), 0xffffbfbfu);
        EXPECT_EQ(s.pixel(20 * scale, 15 * scale), 0xff400000u);
    }
}

TEST(CDrawContext, ClipsEveryShapeToTheClipRectangle) {
    CSurface s(40, 40);
    CDrawContext c(s, 1, nullptr);
    c.setClipRect(CRect(10, 10, 20, 20));
    c.setFillColor(kWhiteCColor);
    c.setFrameColor(kWhiteCColor);
    c.fillRect(CRect(0, 0, 40, 40));
    c.drawLine(CPoint(0, 0), CPoint(39, 39));
    const CPoint triangle[] = {CPoint(0, 0), CPoint(40, 0), CPoint(0, 40)};
    c.fillPolygon(triangle, 3);
    EXPECT_EQ(inkBox(s), CRect(10, 10, 20, 20));
    // A clip outside the surface is cut to it.
    c.setClipRect(CRect(-50, -50, 500, 500));
    EXPECT_EQ(c.getClipRect(), CRect(0, 0, 40, 40));
}

TEST(CDrawContext, LinesIncludeBothEndsAndThickenWithTheScale) {
    for (int scale : {1, 2}) {
        CSurface s(20 * scale, 20 * scale);
        CDrawContext c(s, scale, nullptr);
        c.setFrameColor(kWhiteCColor);
        c.drawLine(CPoint(2, 5), CPoint(9, 5));
        EXPECT_EQ(countColor(s, 0xffffffffu), 8 * scale * scale);
        c.drawLine(CPoint(3, 8), CPoint(10, 15)); // 45°: eight pixels at scale 1
        EXPECT_EQ(s.pixel(3 * scale, 8 * scale), 0xffffffffu);
        EXPECT_EQ(s.pixel(10 * scale, 15 * scale), 0xffffffffu);
        EXPECT_EQ(inkBox(s), CRect(2 * scale, 5 * scale, 11 * scale, 16 * scale));
    }
}

TEST(CDrawContext, PolygonsFillPixelsWhoseCentresAreInside) {
    CSurface s(20, 20);
    CDrawContext c(s, 1, nullptr);
    c.setFillColor(kWhiteCColor);
    // A square through pixel corners fills exactly the square's pixels.
    const CPoint square[] = {CPoint(2, 2), CPoint(12, 2), CPoint(12, 12), CPoint(2, 12)};
    c.fillPolygon(square, 4);
    EXPECT_EQ(countColor(s, 0xffffffffu), 100);
    // A right triangle over 10 × 10 covers half of it, give or take the diagonal.
    CSurface t(20, 20);
    CDrawContext ct(t, 1, nullptr);
    ct.setFillColor(kWhiteCColor);
    const CPoint triangle[] = {CPoint(0, 0), CPoint(10, 0), CPoint(0, 10)};
    ct.fillPolygon(triangle, 3);
    EXPECT_EQ(countColor(t, 0xffffffffu), 45);
    EXPECT_EQ(t.pixel(0, 8), 0xffffffffu);
    EXPECT_EQ(t.pixel(0, 9), 0xff000000u);
    EXPECT_EQ(t.pixel(9, 1), 0xff000000u);
    // Fewer than three points draw nothing.
    ct.fillPolygon(triangle, 2);
    ct.fillPolygon(nullptr, 3);
}

TEST(CDrawContext, TextIsAntiAliasedAlignedAndClipped) {
    double standardWidth[3] = {};
    for (int scale : {1, 2}) {
        CFontRenderer fonts;
        ASSERT_TRUE(fonts.open(scale));
        const CRect field(10, 10, 110, 24);
        for (CHoriTxtAlign align : {kLeftText, kCenterText, kRightText}) {
            CSurface s(120 * scale, 34 * scale);
            CDrawContext c(s, scale, &fonts);
            c.setFont(kStandardFont);
            c.setFontColor(kWhiteCColor);
            c.drawString("0.500 ms", field, align);
            const CRect ink = inkBox(s);
            ASSERT_FALSE(ink.isEmpty());
            const int width = int(c.getStringWidth("0.500 ms") * scale);
            const int fieldLeft = field.left * scale, fieldRight = field.right * scale;
            const int slack = 2 * scale; // glyph side bearings
            if (align == kLeftText) {
                EXPECT_NEAR(ink.left, fieldLeft, slack);
            } else if (align == kRightText) {
                EXPECT_NEAR(ink.right, fieldRight, slack);
            } else {
                EXPECT_NEAR(ink.left - fieldLeft, fieldRight - ink.right, slack);
            }
            EXPECT_NEAR(ink.width(), width, slack);
            // Digits are centred vertically in the field.
            EXPECT_NEAR(ink.top - field.top * scale, field.bottom * scale - ink.bottom, scale + 1);
            // Anti-aliased: edges carry grey levels between black and white.
            bool grey = false;
            for (int y = ink.top; y < ink.bottom && !grey; ++y)
                for (int x = ink.left; x < ink.right && !grey; ++x) {
                    std::uint32_t g = s.pixel(x, y) & 0xff;
                    grey = g > 30 && g < 220;
                }
            EXPECT_TRUE(grey);
        }
        // The small font is smaller.
        CSurface s(120 * scale, 34 * scale);
        CDrawContext c(s, scale, &fonts);
        c.setFont(kStandardFont);
        const double standard = c.getStringWidth("Quellor 123");
        c.setFont(kSmallFont);
        const double small = c.getStringWidth("Quellor 123");
        EXPECT_GT(standard, small * 1.1);
        standardWidth[scale] = standard;
        // Text longer than its field stays inside it.
        c.setFontColor(kWhiteCColor);
        c.drawString("a text much too long for a field of twenty pixels", CRect(50, 5, 70, 20),
                     kLeftText);
        const CRect ink = inkBox(s);
        EXPECT_GE(ink.left, 50 * scale);
        EXPECT_LE(ink.right, 70 * scale);
    }
    // Text set at twice the size at scale 2 takes the same room in the window.
    EXPECT_NEAR(standardWidth[2], standardWidth[1], 1.5);
}

// At 1.5 edges land on ⌊1.5 x⌋, so shapes that touch at scale 1 still touch;
// a line or an outline is 2 pixels thick wherever it lies; text is set by
// FreeType at 15 and 13.5 pixels, half as large again as at scale 1.
TEST(CDrawContext, OneAndAHalfLandsOnWholePixelsEvenly) {
    const CScale k15 = CScale::oneAndAHalf();
    CSurface s(k15.toSurface(30), k15.toSurface(20));
    ASSERT_EQ(s.width(), 45);
    CDrawContext c(s, k15, nullptr);
    c.setFillColor(kWhiteCColor);
    c.fillRect(CRect(1, 1, 4, 3)); // 1.5..6 × 1.5..4.5: pixels 1..5 × 1..3
    EXPECT_EQ(inkBox(s), CRect(1, 1, 6, 4));
    c.setFillColor(CColor{255, 0, 0, 255});
    c.fillRect(CRect(4, 1, 7, 3)); // touches the first: no gap, no overlap
    EXPECT_EQ(countColor(s, 0xffffffffu), 5 * 3);
    EXPECT_EQ(countColor(s, 0xffff0000u), 4 * 3);

    for (int at : {10, 11}) { // an even and an odd position
        CSurface t(45, 45);
        CDrawContext ct(t, k15, nullptr);
        ct.setFrameColor(kWhiteCColor);
        ct.drawLine(CPoint(at, 2), CPoint(at, 20));
        const CRect ink = inkBox(t);
        EXPECT_EQ(ink.width(), 2) << at;
        EXPECT_EQ(ink.left, k15.toSurface(at)) << at;
        CSurface u(45, 45);
        CDrawContext cu(u, k15, nullptr);
        cu.setFrameColor(kWhiteCColor);
        cu.drawRect(CRect(at, at, at + 9, at + 9));
        const CRect box = inkBox(u);
        for (int inset : {0, 1})
            EXPECT_EQ(u.pixel(box.left + inset, box.top + 6), 0xffffffffu) << at;
        EXPECT_EQ(u.pixel(box.left + 2, box.top + 6), 0xff000000u) << at;
        EXPECT_EQ(u.pixel(box.right - 2, box.top + 6), 0xffffffffu) << at;
        EXPECT_EQ(u.pixel(box.right - 3, box.top + 6), 0xff000000u) << at;
    }

    CFontRenderer one, fifteen;
    ASSERT_TRUE(one.open(1));
    ASSERT_TRUE(fifteen.open(k15));
    for (CFontId font : {kStandardFont, kSmallFont}) {
        const double ratio = double(fifteen.textAdvance(font, "Chorus: Time 0.35")) /
                             one.textAdvance(font, "Chorus: Time 0.35");
        EXPECT_NEAR(ratio, 1.5, 0.01) << "unrounded advances scale exactly";
        EXPECT_NEAR(fifteen.capHeight(font), one.capHeight(font) * 1.5, 1.0);
    }
    // Glyphs are rendered at the size, not enlarged: a capital's stem is as
    // sharp as at scale 1 (a full-coverage column), never smeared.
    const CFontRenderer::Glyph& h = fifteen.glyph(kStandardFont, 'H');
    int solid = 0;
    for (int x = 0; x < h.width; ++x)
        solid = std::max(solid, int(h.coverage[std::size_t(h.height / 4) * h.width + x] > 240));
    EXPECT_EQ(solid, 1);
    EXPECT_GE(h.height, 10);
}

TEST(CFontRenderer, AFontThatCannotLoadFailsCleanly) {
    CFontRenderer fonts;
    const unsigned char garbage[] = "this is no TrueType file, though it is long enough to look";
    EXPECT_FALSE(fonts.open(1, garbage, sizeof garbage));
    EXPECT_FALSE(fonts.isOpen());
    // Text without fonts draws nothing and measures nothing.
    CSurface s(20, 20);
    CDrawContext c(s, 1, &fonts);
    c.setFontColor(kWhiteCColor);
    c.drawString("abc", CRect(0, 0, 20, 20));
    EXPECT_EQ(inkBox(s), CRect());
    EXPECT_EQ(c.getStringWidth("abc"), 0.0);
    // The embedded font still opens afterwards.
    EXPECT_TRUE(fonts.open(2));
}
