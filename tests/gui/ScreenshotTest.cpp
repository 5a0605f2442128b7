// Screenshots of a sample window at scale 1 and 2, written as PNG files into
// the build folder (gui-screenshot-1x.png, gui-screenshot-2x.png) for a person
// to look at: text crisp and well placed, bitmaps and shapes sharp at 2×. The
// test checks that the two agree: every window pixel at scale 1 has the colour
// of its 2 × 2 block at scale 2 wherever the drawing is flat.
#include "gui/CControl.h"
#include "gui/COptionMenu.h"
#include "gui/GuiFixture.h"
#include "gui/MouseButtons.h"
#include "gui/PngCodec.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using namespace qgui;
using guitest::HeadlessFrame;

namespace {

// Fields like the editor's: numbers on a black box, labels, a filmstrip
// frame, a triangle and a line, half-transparent shading.
struct Sampler : CView {
    CBitmap* strip;
    Sampler(const CRect& r, CBitmap* s) : CView(r), strip(s) {}
    void draw(CDrawContext* c) override {
        c->setFillColor(CColor{1, 1, 1, 255});
        c->fillRect(CRect(10, 20, 44, 34));
        c->setFont(kStandardFont);
        c->setFontColor(CColor{255, 0, 0, 255});
        c->drawString("0.735", CRect(10, 20, 44, 34), kCenterText);
        c->fillRect(CRect(48, 20, 98, 34));
        c->drawString("-99.9999", CRect(48, 20, 98, 34), kRightText);
        c->setFont(kSmallFont);
        c->setFontColor(kWhiteCColor);
        c->drawString("Delay: Sync 1/16", CRect(10, 40, 98, 52), kLeftText);
        c->setFont(kStandardFont);
        c->drawString("Master Level", CRect(10, 54, 98, 68), kCenterText);
        strip->draw(c, CRect(10, 74, 22, 86), CPoint(0, 24));
        c->setFillColor(CColor{255, 255, 0, 160});
        const CPoint triangle[] = {CPoint(40, 100), CPoint(70, 80), CPoint(60, 115)};
        c->fillPolygon(triangle, 3);
        c->setFrameColor(CColor{0, 255, 128, 255});
        c->drawLine(CPoint(10, 95), CPoint(100, 110));
    }
};

} // namespace

TEST(Screenshot, SampleWindowAtBothScales) {
    std::unique_ptr<CSurface> shots[3];
    for (int scale : {1, 2}) {
        HeadlessFrame h(scale);
        auto strip = CBitmap::load(testbitmaps::kFilmstrip, scale);
        h.frame->addView(new Sampler(CRect(0, 0, 200, 120), strip.get()));
        auto* menu = new COptionMenu(CRect(104, 8, 194, 21));
        menu->setFont(kSmallFont);
        menu->setFontColor(kWhiteCColor);
        menu->setBackColor(CColor{40, 40, 40, 255});
        for (const char* name : {"Factory Bank", "-", "Pads & Strings", "Bass"})
            menu->addEntry(name);
        h.frame->addView(menu);
        h.frame->idle();
        shots[scale] = std::make_unique<CSurface>(*h.frame->getSurface());
        h.click(120, 12, kLButton); // the pop-up, with the mouse over its third entry
        h.window->mouseMove(CPoint(130 * scale, 50 * scale));
        h.frame->idle();
        const std::string name = std::string(QUELLOR_SCREENSHOT_DIR) + "/gui-screenshot-" +
                                 std::to_string(scale) + "x.png";
        EXPECT_TRUE(writePng(*h.frame->getSurface(), name)) << name;
    }
    // Flat areas agree between the scales: the background, the number boxes' fill.
    for (auto [x, y] : {std::pair{5, 5}, {11, 21}, {97, 33}, {190, 110}})
        EXPECT_EQ(shots[1]->pixel(x, y), shots[2]->pixel(2 * x + 1, 2 * y + 1)) << x << "," << y;
    EXPECT_FALSE(writePng(*shots[1], "/nonexistent-folder/shot.png"));
}
