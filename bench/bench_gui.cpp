// Cost of the editor window's drawing, headless, on a window the editor's
// size (970 × 600) filled with 400 filmstrip controls like the editor's
// knobs and matrix cells, each with a number drawn over it:
// - idle with nothing dirty (what every host idle costs while nothing changes),
// - full redraw at scale 1 and 2 (opening the window, switching the layout),
// - one knob drag step (one control's value changes, then the idle).
#include "gui/CBitmap.h"
#include "gui/CControl.h"
#include "gui/CFrame.h"
#include "gui/CHeadlessWindow.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

using namespace qgui;

namespace {

constexpr int kFrames = 55; // a knob filmstrip's frames
constexpr int kSide = 24;   // a cell's size

// A knob-like cell: a filmstrip frame chosen by value, and its value as text.
struct Cell : CControl {
    using CControl::CControl;
    void draw(CDrawContext* c) override {
        int frame = int(getValue() * kFrames);
        frame = frame < 0 ? 0 : (frame >= kFrames ? kFrames - 1 : frame);
        background->draw(c, size, CPoint(0, frame * kSide));
        char text[16];
        std::snprintf(text, sizeof text, "%.2f", double(getValue()));
        c->setFont(kSmallFont);
        c->setFontColor(kBlackCColor);
        c->drawString(text, size);
    }
};

std::unique_ptr<CBitmap> gradient(int w, int h, int scale) {
    std::vector<std::uint32_t> pixels(std::size_t(w) * h * scale * scale);
    for (int y = 0; y < h * scale; ++y)
        for (int x = 0; x < w * scale; ++x)
            pixels[std::size_t(y) * w * scale + x] =
                0xff000000u | std::uint32_t((x * 255 / (w * scale)) << 16) |
                std::uint32_t((y * 255 / (h * scale)) << 8) | 0x60u;
    return std::make_unique<CBitmap>(w, h, scale, std::move(pixels));
}

struct Window {
    std::unique_ptr<CBitmap> background;
    std::unique_ptr<CBitmap> strip;
    std::unique_ptr<CFrame> frame;
    std::vector<Cell*> cells;

    explicit Window(int scale) {
        background = gradient(970, 600, scale);
        strip = gradient(kSide, kSide * kFrames, scale);
        frame = std::make_unique<CFrame>(CRect(0, 0, 970, 600), scale,
                                         std::make_unique<CHeadlessWindow>());
        frame->setBackground(background.get());
        for (int i = 0; i < 400; ++i) {
            const int x = 10 + (i % 32) * 30, y = 10 + (i / 32) * 40;
            cells.push_back(new Cell(CRect(x, y, x + kSide, y + kSide), nullptr, i, strip.get()));
            cells.back()->setValue(float(i % 100) / 100.0f);
            frame->addView(cells.back());
        }
        frame->open(nullptr);
        frame->idle();
    }
};

void BM_IdleNothingDirty(benchmark::State& state) {
    Window w(1);
    for (auto _ : state)
        w.frame->idle();
}
BENCHMARK(BM_IdleNothingDirty);

void BM_FullRedraw(benchmark::State& state) {
    Window w(int(state.range(0)));
    for (auto _ : state) {
        w.frame->setDirty();
        w.frame->idle();
    }
}
BENCHMARK(BM_FullRedraw)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_KnobDragStep(benchmark::State& state) {
    Window w(int(state.range(0)));
    Cell* knob = w.cells[200];
    int step = 0;
    for (auto _ : state) {
        knob->setValue(float(++step % 100) / 100.0f);
        w.frame->idle();
    }
}
BENCHMARK(BM_KnobDragStep)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
