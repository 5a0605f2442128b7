#pragma once
// A frame on a headless window for tests: 200 × 120 over the test
// background, at scale 1, 1.5 or 2, with helpers to read the window's pixels.

#include "gui/CBitmap.h"
#include "gui/CFrame.h"
#include "gui/CHeadlessWindow.h"
#include "gui/TestBitmaps.h"

#include <memory>

namespace guitest {

struct HeadlessFrame {
    std::unique_ptr<qgui::CBitmap> background;
    qgui::CHeadlessWindow* window = nullptr; // owned by the frame
    std::unique_ptr<qgui::CFrame> frame;

    explicit HeadlessFrame(qgui::CScale scale = 1, qgui::CRect size = qgui::CRect(0, 0, 200, 120)) {
        auto w = std::make_unique<qgui::CHeadlessWindow>();
        window = w.get();
        frame = std::make_unique<qgui::CFrame>(size, scale, std::move(w));
        background = qgui::CBitmap::load(testbitmaps::kBackground, scale);
        frame->setBackground(background.get());
        frame->open(nullptr);
    }
    ~HeadlessFrame() { frame.reset(); }

    qgui::CScale scale() const { return frame->getScale(); }
    int px(int windowCoordinate) const { return scale().toSurface(windowCoordinate); }
    // The surface's pixel at the top-left of window pixel (x, y), as 0xRRGGBB.
    std::uint32_t at(int x, int y, int dx = 0, int dy = 0) const {
        return frame->getSurface()->pixel(px(x) + dx, px(y) + dy) & 0xffffff;
    }
    // The background bitmap's colour at window pixel (x, y).
    std::uint32_t backgroundAt(int x, int y) const {
        return background
                   ->pixels()[std::size_t(px(y)) * background->pixelWidth() + std::size_t(px(x))] &
               0xffffff;
    }
    // A click at window coordinates (x, y), delivered by the next idle.
    void click(int x, int y, long buttons) {
        window->mouseDown(qgui::CPoint(px(x), px(y)), buttons);
        frame->idle();
    }
};

} // namespace guitest
