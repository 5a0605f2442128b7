// The editor's controls on their own: a fake editor holds the values, and
// filmstrips whose frames are solid colours show which frame a control drew.
#include "editor/CButtonCtrl.h"
#include "editor/CKnobCtrl.h"
#include "editor/CNumberPrcCtrl.h"
#include "editor/CRowCtrl.h"
#include "editor/CTouchCtrl.h"
#include "gui/CBitmap.h"
#include "gui/CFrame.h"
#include "gui/CHeadlessWindow.h"
#include "gui/MouseButtons.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

using namespace qgui;

namespace {

struct FakeEditor : IEditorBinding {
    std::map<long, double> values;
    std::vector<std::pair<long, double>> sets;
    double amplitudes[32] = {};
    double phases[32] = {};
    int spectrumChanges = 0;

    double getTagValue(long tag) override { return values[tag]; }
    void setTagValue(long tag, double v) override {
        values[tag] = v;
        sets.emplace_back(tag, v);
    }
    bool getTagText(long tag, char* text, std::size_t capacity) override {
        std::snprintf(text, capacity, "%.4f", values[tag]);
        return true;
    }
    double* spectrum(bool p) override { return p ? phases : amplitudes; }
    void spectrumChanged() override { ++spectrumChanges; }
    float waveSample(double) override { return 0.0f; }
};

// A filmstrip of `frames` frames, frame i filled with colour i + 1 (blue channel).
std::unique_ptr<CBitmap> strip(int w, int h, int frames, bool sideBySide) {
    const int W = sideBySide ? w * frames : w, H = sideBySide ? h : h * frames;
    std::vector<std::uint32_t> px(std::size_t(W) * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            px[std::size_t(y) * W + x] =
                0xff000000u | std::uint32_t((sideBySide ? x / w : y / h) + 1);
    return std::make_unique<CBitmap>(W, H, 1, std::move(px));
}

struct ControlFrame {
    CHeadlessWindow* window;
    std::unique_ptr<CFrame> frame;
    FakeEditor editor;
    ControlFrame() {
        auto w = std::make_unique<CHeadlessWindow>();
        window = w.get();
        frame = std::make_unique<CFrame>(CRect(0, 0, 200, 200), 1, std::move(w));
        EXPECT_TRUE(frame->open(nullptr));
    }
    // Which frame of a strip() bitmap the surface shows at (x, y).
    int frameAt(int x, int y) {
        frame->idle();
        return int(frame->getSurface()->pixel(x, y) & 0xff) - 1;
    }
    // Click at (x, y) with buttons, then drag through the positions.
    void drag(int x, int y, long buttons, std::vector<CPoint> path = {}) {
        window->mouseDown(CPoint(x, y), buttons);
        for (const CPoint& p : path)
            window->dragTo(p, buttons & ~(kAlt | kControl));
        frame->idle();
    }
};

} // namespace

TEST(Knob, FramePickedByValueAndClampedIntoTheStrip) {
    ControlFrame f;
    auto bitmap = strip(10, 4, CKnobCtrl::kFrames, false);
    f.frame->addView(new CKnobCtrl(CRect(10, 10, 20, 14), &f.editor, nullptr, 5, bitmap.get()));
    const std::pair<double, int> cases[] = {{0.0, 0},  {0.5, 27}, {0.99, 54}, {1.0, 54},
                                            {7.0, 54}, {-3.0, 0}, {NAN, 0}};
    for (auto [value, frame] : cases) {
        f.editor.values[5] = value;
        f.frame->setDirty();
        EXPECT_EQ(f.frameAt(12, 11), frame) << value;
    }
}

TEST(Knob, DragUpRaisesFromTheStartValueAndStaysInRange) {
    ControlFrame f;
    auto bitmap = strip(10, 4, CKnobCtrl::kFrames, false);
    auto* knob = new CKnobCtrl(CRect(10, 10, 20, 14), &f.editor, nullptr, 5, bitmap.get(), 0.3);
    f.frame->addView(knob);
    f.editor.values[5] = 0.5;
    // 2 pixels per step of 0.01: 20 pixels up = +0.1; back down is counted from the start.
    f.drag(12, 12, kLButton, {CPoint(12, -8), CPoint(12, 22)});
    EXPECT_NEAR(f.editor.sets[1].second, 0.6, 1e-12);
    EXPECT_NEAR(f.editor.values[5], 0.45, 1e-12);
    // Far up clamps at the maximum.
    f.drag(12, 12, kLButton, {CPoint(12, -400)});
    EXPECT_DOUBLE_EQ(f.editor.values[5], 1.0);
}

TEST(Knob, ResetByRightOrControlClickIsNotClampedToTheRange) {
    for (long buttons : {long(kRButton), long(kLButton | kControl)}) {
        ControlFrame f;
        auto bitmap = strip(10, 4, CKnobCtrl::kFrames, false);
        auto* knob =
            new CKnobCtrl(CRect(10, 10, 20, 14), &f.editor, nullptr, 5, bitmap.get(), -251.0);
        f.frame->addView(knob);
        f.editor.values[5] = 0.5;
        f.drag(12, 12, buttons, {CPoint(12, -40)});
        EXPECT_DOUBLE_EQ(f.editor.values[5], -251.0) << buttons;
    }
}

TEST(Knob, AltCountsOnlyAsItWasAtTheClick) {
    ControlFrame f;
    auto bitmap = strip(10, 4, CKnobCtrl::kFrames, false);
    f.frame->addView(new CKnobCtrl(CRect(10, 10, 20, 14), &f.editor, nullptr, 5, bitmap.get()));
    // Alt at the click, released during the drag: still ten times finer.
    f.editor.values[5] = 0.5;
    f.window->mouseDown(CPoint(12, 12), kLButton | kAlt);
    f.window->dragTo(CPoint(12, 2), kLButton);
    f.frame->idle();
    EXPECT_NEAR(f.editor.values[5], 0.505, 1e-12);
    // Alt pressed only during the drag: full steps.
    f.editor.values[5] = 0.5;
    f.window->mouseDown(CPoint(12, 12), kLButton);
    f.window->dragTo(CPoint(12, 2), kLButton | kAlt);
    f.frame->idle();
    EXPECT_NEAR(f.editor.values[5], 0.55, 1e-12);
}

TEST(DigitNumber, StepFollowsTheDigitUnderTheClick) {
    // x measured from the right edge of a 50-pixel field at 100..150.
    const struct {
        int fromRight;
        bool multiplied;
        double perTwoPixels;
    } cases[] = {{10, false, 0.0001}, {10, true, 0.01}, {20, false, 0.01},
                 {20, true, 1.0},     {40, false, 1.0}, {40, true, 100.0}};
    for (const auto& c : cases) {
        ControlFrame f;
        auto* n = new CNumberPrcCtrl(CRect(100, 10, 150, 24), &f.editor, nullptr, 326, 0.0);
        if (c.multiplied) {
            n->setRange(-9999, 9999);
            n->setDigitMultiplier(1.0);
        }
        f.frame->addView(n);
        f.editor.values[326] = 1.0;
        f.drag(150 - c.fromRight, 17, kLButton, {CPoint(150 - c.fromRight, 15)});
        EXPECT_NEAR(f.editor.values[326], 1.0 + c.perTwoPixels, 1e-9)
            << c.fromRight << " " << c.multiplied;
    }
}

TEST(Button, FourStatesCycleBackToTheFirst) {
    ControlFrame f;
    auto bitmap = strip(10, 6, 4, false);
    f.frame->addView(
        new CButtonCtrl(CRect(10, 10, 20, 16), &f.editor, nullptr, 39, bitmap.get(), 4));
    std::vector<int> frames;
    for (int i = 0; i < 4; ++i) {
        f.drag(12, 12, kLButton);
        frames.push_back(f.frameAt(12, 12));
    }
    EXPECT_EQ(frames, (std::vector<int>{1, 2, 3, 0}));
    EXPECT_DOUBLE_EQ(f.editor.values[39], 0.0);
}

TEST(Touch, ClickInPositionKSelectsK) {
    ControlFrame f;
    auto bitmap = strip(10, 40, 8, true); // 8 frames of 10 x 40: a tall, vertical selector
    auto* t =
        new CTouchCtrl(CRect(10, 10, 20, 50), &f.editor, nullptr, 452, bitmap.get(), 8, false);
    f.frame->addView(t);
    EXPECT_TRUE(t->isVertical());
    for (int k = 0; k < 8; ++k) {
        f.drag(15, 10 + 5 * k, kLButton);
        EXPECT_EQ(f.frameAt(15, 20), k);
    }
}

TEST(Row, DragDrawsBarsClampedAndCubicAndRightButtonErases) {
    ControlFrame f;
    auto bitmap = strip(3, 50, CRowCtrl::kLevels, true); // columns 3 wide, 50 high
    auto* amps = new CRowCtrl(CPoint(10, 100), &f.editor, nullptr, bitmap.get(), false, true);
    auto* phases = new CRowCtrl(CPoint(110, 100), &f.editor, nullptr, bitmap.get(), true, false);
    f.frame->addView(amps);
    f.frame->addView(phases);
    // Above the top stores 1; half height stores 0.5 cubed.
    f.drag(11, 125, kLButton, {CPoint(14, 90)});
    EXPECT_DOUBLE_EQ(f.editor.amplitudes[0], 0.125);
    EXPECT_DOUBLE_EQ(f.editor.amplitudes[1], 1.0);
    EXPECT_EQ(f.frameAt(14, 120), 99);
    EXPECT_EQ(f.frameAt(11, 120), 49); // the cube root of 0.125 again
    f.drag(111, 125, kLButton);
    EXPECT_DOUBLE_EQ(f.editor.phases[0], 0.5);
    // Beside the bars nothing is stored; the right button erases.
    f.drag(14, 125, kRButton, {CPoint(300, 125)});
    EXPECT_DOUBLE_EQ(f.editor.amplitudes[1], 0.0);
    EXPECT_GE(f.editor.spectrumChanges, 3);
}
