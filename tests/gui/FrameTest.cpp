// The frame: repainting only what is dirty, values set from other threads,
// mouse positions at either scale, drags, the splash, failing opens.
#include "gui/CControl.h"
#include "gui/CControlListener.h"
#include "gui/CSplashScreen.h"
#include "gui/GuiFixture.h"
#include "gui/MouseButtons.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace qgui;
using guitest::HeadlessFrame;

namespace {

// A control that fills itself with a grey of its value and counts its draws.
struct Swatch : CControl {
    int draws = 0;
    using CControl::CControl;
    void draw(CDrawContext* c) override {
        ++draws;
        std::uint8_t g = std::uint8_t(getValue() * 255.0f);
        c->setFillColor(CColor{g, g, g, 255});
        c->fillRect(size);
    }
};

// A control that drags as the editor's knobs do: the value follows the
// vertical distance from the click, one step per 2 pixels, ten times finer
// with Alt held at the click.
struct DragKnob : Swatch {
    std::vector<CPoint> seen; // the click's and the moves' positions
    long clickButtons = 0;
    bool dragging = false;
    CPoint from;
    float start = 0.0f;
    float step = 0.0f;
    using Swatch::Swatch;
    void mouse(CDrawContext*, CPoint& where, long buttons) override {
        clickButtons = buttons;
        seen.push_back(where);
        beginEdit();
        from = where;
        start = getValue();
        step = (buttons & kAlt) ? 0.001f : 0.01f;
        dragging = (buttons & kLButton) != 0;
        if (!dragging) endEdit();
    }
    void mouseMoved(const CPoint& p, long buttons) override {
        if (!dragging) return;
        if (!(buttons & kLButton)) return mouseCancelled();
        seen.push_back(p);
        setValue(start + float((from.v - p.v) / 2) * step);
    }
    void mouseUp(const CPoint&, long) override { mouseCancelled(); }
    void mouseCancelled() override {
        if (!dragging) return;
        dragging = false;
        endEdit();
    }
};

struct Recorder : CControlListener {
    std::vector<std::string> calls;
    void valueChanged(CControl* c) override {
        calls.push_back("changed " + std::to_string(c->getTag()));
    }
    void controlBeginEdit(CControl* c) override {
        calls.push_back("begin " + std::to_string(c->getTag()));
    }
    void controlEndEdit(CControl* c) override {
        calls.push_back("end " + std::to_string(c->getTag()));
    }
};

} // namespace

TEST(CFrame, IdleRepaintsOnlyWhatIsDirty) {
    HeadlessFrame h;
    auto* a = new Swatch(CRect(10, 10, 30, 30));
    auto* b = new Swatch(CRect(50, 10, 70, 30));
    h.frame->addView(a);
    h.frame->addView(b);
    h.frame->idle();
    EXPECT_EQ(h.window->showCalls, 1);
    EXPECT_EQ(h.window->shown.back(), CRect(0, 0, 200, 120)); // the first paint is whole
    EXPECT_EQ(h.at(5, 5), h.backgroundAt(5, 5));

    // Nothing dirty: no drawing, nothing shown.
    h.frame->idle();
    h.frame->idle();
    EXPECT_EQ(a->draws, 1);
    EXPECT_EQ(h.window->showCalls, 1);

    // One value changes: only that control is drawn and shown.
    b->setValue(1.0f);
    h.frame->idle();
    EXPECT_EQ(a->draws, 1);
    EXPECT_EQ(b->draws, 2);
    EXPECT_EQ(h.window->shown.back(), CRect(50, 10, 70, 30));
    EXPECT_EQ(h.at(60, 20), 0xffffffu);
    // The same value again is no change.
    b->setValue(1.0f);
    h.frame->idle();
    EXPECT_EQ(h.window->showCalls, 2);

    // Removing a view repaints the background where it was.
    h.frame->removeView(b);
    h.frame->idle();
    EXPECT_EQ(h.window->shown.back(), CRect(50, 10, 70, 30));
    EXPECT_EQ(h.at(60, 20), h.backgroundAt(60, 20));
    EXPECT_EQ(a->draws, 1);

    // The whole frame marked dirty repaints everything.
    h.frame->setDirty();
    h.frame->idle();
    EXPECT_EQ(a->draws, 2);
    EXPECT_EQ(h.window->shown.back(), CRect(0, 0, 200, 120));
}

TEST(CFrame, AtScaleTwoEverythingIsTwiceTheSurfacePixels) {
    HeadlessFrame h(2);
    ASSERT_EQ(h.frame->getSurface()->width(), 400);
    ASSERT_EQ(h.frame->getSurface()->height(), 240);
    auto* a = new Swatch(CRect(10, 10, 30, 30));
    h.frame->addView(a);
    h.frame->idle();
    a->setValue(1.0f);
    h.frame->idle();
    EXPECT_EQ(h.window->shown.back(), CRect(20, 20, 60, 60));
    EXPECT_EQ(h.frame->getSurface()->pixel(59, 59) & 0xffffff, 0xffffffu);
    EXPECT_EQ(h.frame->getSurface()->pixel(60, 59) & 0xffffff, h.backgroundAt(30, 29));
}

TEST(CFrame, ValuesSetFromOtherThreadsOnlyMarkDirty) {
    HeadlessFrame h;
    std::vector<Swatch*> swatches;
    for (int i = 0; i < 8; ++i) {
        swatches.push_back(new Swatch(CRect(10 + 20 * i, 50, 25 + 20 * i, 65)));
        h.frame->addView(swatches.back());
    }
    h.frame->idle();
    const int shownBefore = h.window->showCalls;

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int n = 0; n < 1000; ++n)
                swatches[std::size_t(t * 2 + n % 2)]->setValue(n / 999.0f);
            h.frame->setDirty();
        });
    for (std::thread& t : threads)
        t.join();

    // Nothing was drawn or shown by the other threads.
    EXPECT_EQ(h.window->showCalls, shownBefore);
    for (Swatch* s : swatches)
        EXPECT_EQ(s->draws, 1);
    h.frame->idle();
    EXPECT_EQ(h.window->showCalls, shownBefore + 1);
    EXPECT_EQ(h.at(35, 55), 0xffffffu); // the odd swatches' last value: 1.0
}

TEST(CFrame, MousePositionsReachViewsInWindowCoordinates) {
    for (int scale : {1, 2}) {
        HeadlessFrame h(scale);
        Recorder listener;
        auto* knob = new DragKnob(CRect(20, 20, 40, 60), &listener, 7);
        knob->setValue(0.5f);
        h.frame->addView(knob);
        h.frame->idle();

        // Click at window (30, 40), then drag up 10 and 21 pixels, then release.
        // Surface pixels at scale 2 are halved: (61, 81) is window (30, 40).
        h.window->mouseDown(CPoint(30 * scale + scale - 1, 40 * scale + scale - 1), kLButton);
        h.window->dragTo(CPoint(30 * scale, 30 * scale), kLButton);
        h.window->dragTo(CPoint(30 * scale, 19 * scale + scale - 1), kLButton);
        // Beyond the window's top-left corner the drag goes on, pixel for pixel.
        h.window->dragTo(CPoint(-1, -2 * scale - 1), kLButton);
        const int shown = h.window->showCalls;
        h.frame->idle();

        ASSERT_EQ(knob->seen.size(), 4u) << scale;
        EXPECT_EQ(knob->seen[0], CPoint(30, 40));
        EXPECT_EQ(knob->seen[1], CPoint(30, 30));
        EXPECT_EQ(knob->seen[2], CPoint(30, 19));
        EXPECT_EQ(knob->seen[3], CPoint(-1, -3));
        EXPECT_FLOAT_EQ(knob->getValue(), 0.5f + 21 * 0.01f);
        // The window was repainted inside the drag, once per step.
        EXPECT_EQ(h.window->showCalls, shown + 3);
        EXPECT_EQ(listener.calls, (std::vector<std::string>{"begin 7", "end 7"}));
    }
}

TEST(CFrame, ModifiersComeWithTheClick) {
    HeadlessFrame h;
    auto* knob = new DragKnob(CRect(20, 20, 40, 60));
    knob->setValue(0.5f);
    h.frame->addView(knob);
    h.window->mouseDown(CPoint(30, 40), kLButton | kAlt);
    h.window->dragTo(CPoint(30, 20), kLButton); // Alt let go during the drag
    h.frame->idle();
    EXPECT_EQ(knob->clickButtons, kLButton | kAlt);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.5f + 10 * 0.001f);

    h.click(30, 40, kRButton | kControl);
    EXPECT_EQ(knob->clickButtons, kRButton | kControl);
    // Clicks outside every view, and outside the window, go nowhere.
    h.click(150, 100, kLButton);
    h.click(500, 500, kLButton);
    EXPECT_EQ(knob->clickButtons, kRButton | kControl);
}

TEST(CFrame, APressEndsWithItsReleaseOrACancelAndNothingElseWaits) {
    HeadlessFrame h;
    Recorder listener;
    auto* knob = new DragKnob(CRect(20, 20, 40, 60), &listener, 7);
    knob->setValue(0.5f);
    h.frame->addView(knob);
    const std::vector<std::string> gesture{"begin 7", "end 7"};

    // The system takes the mouse away after one move: the edit ends there.
    h.window->mouseDown(CPoint(30, 40), kLButton);
    h.window->dragTo(CPoint(30, 30), kLButton);
    h.window->cancel();
    h.frame->idle();
    EXPECT_EQ(listener.calls, gesture);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.55f);
    EXPECT_EQ(h.frame->getMouseView(), nullptr);

    // A press whose release has not come yet: the frame returns at once and
    // the knob keeps its drag; another button meanwhile belongs to it.
    listener.calls.clear();
    h.frame->onMouseDown(CPoint(30, 40), kLButton);
    h.frame->onMouseMoved(CPoint(30, 20), kLButton);
    h.frame->onMouseUp(CPoint(30, 20), kLButton); // the right button went up, the left is held
    h.frame->onMouseDown(CPoint(150, 100), kRButton);
    EXPECT_EQ(h.frame->getMouseView(), knob);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.65f);
    EXPECT_EQ(listener.calls, std::vector<std::string>{"begin 7"});
    // Taken out of the window in the middle of it, the knob ends its edit and hears no more.
    ASSERT_TRUE(h.frame->removeView(knob, false));
    EXPECT_EQ(listener.calls, gesture);
    h.frame->onMouseMoved(CPoint(30, 0), kLButton);
    h.frame->onMouseUp(CPoint(30, 0), 0);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.65f);
    delete knob;

    // Closing the window in the middle of a press ends its edit.
    auto* other = new DragKnob(CRect(20, 20, 40, 60), &listener, 8);
    h.frame->addView(other);
    listener.calls.clear();
    h.frame->onMouseDown(CPoint(30, 40), kLButton);
    h.frame->closeWindow();
    EXPECT_EQ(listener.calls, (std::vector<std::string>{"begin 8", "end 8"}));
}

TEST(CFrame, WheelAndKeysReachTheViewUnderTheMouse) {
    struct Listening : Swatch {
        using Swatch::Swatch;
        std::vector<std::string> heard;
        bool mouseWheel(const CPoint& p, float distance, long) override {
            heard.push_back("wheel " + std::to_string(p.h) + "," + std::to_string(p.v) + " " +
                            std::to_string(int(distance)));
            return true;
        }
        bool keyDown(long key, long modifiers) override {
            heard.push_back("key " + std::string(1, char(key)) + " " + std::to_string(modifiers));
            return true;
        }
    };
    for (int scale : {1, 2}) {
        HeadlessFrame h(scale);
        auto* view = new Listening(CRect(10, 10, 50, 50));
        h.frame->addView(view);
        h.window->wheel(CPoint(20 * scale, 30 * scale), -1.0f);
        h.window->wheel(CPoint(100 * scale, 100 * scale), 1.0f); // over no view
        h.window->mouseMove(CPoint(20 * scale, 20 * scale));
        h.window->key('q', kShift);
        h.frame->idle();
        EXPECT_EQ(view->heard,
                  (std::vector<std::string>{"wheel 20,30 -1", "key q " + std::to_string(kShift)}))
            << scale;
    }
}

TEST(CFrame, ClicksGoToTheTopMostVisibleView) {
    HeadlessFrame h;
    auto* below = new DragKnob(CRect(10, 10, 50, 50));
    auto* above = new DragKnob(CRect(30, 30, 70, 70));
    h.frame->addView(below);
    h.frame->addView(above);
    h.click(40, 40, kLButton);
    EXPECT_EQ(above->seen.size(), 1u);
    EXPECT_EQ(below->seen.size(), 0u);
    above->setVisible(false);
    h.click(40, 40, kLButton);
    EXPECT_EQ(below->seen.size(), 1u);
    above->setVisible(true);
    above->setMouseEnabled(false);
    h.click(40, 40, kLButton);
    EXPECT_EQ(below->seen.size(), 2u);
}

TEST(CFrame, NestedContainersDrawAndRouteClicks) {
    HeadlessFrame h;
    auto* panel = new CViewContainer(CRect(100, 20, 180, 100));
    panel->setBackgroundColor(CColor{10, 20, 30, 255});
    auto* knob = new DragKnob(CRect(110, 30, 130, 50));
    panel->addView(knob);
    h.frame->addView(panel);
    h.frame->idle();
    EXPECT_EQ(h.at(150, 90), 0x0a141eu);
    EXPECT_EQ(knob->draws, 1);
    h.click(120, 40, kLButton);
    EXPECT_EQ(knob->seen.size(), 1u);
    EXPECT_EQ(knob->getFrame(), h.frame.get());
    // A view taken out of the tree forgets the frame; the caller owns it again.
    ASSERT_TRUE(panel->removeView(knob, false));
    EXPECT_EQ(knob->getFrame(), nullptr);
    delete knob;
}

TEST(CSplashScreen, ShowsItsBitmapOverTheWholeWindowUntilClicked) {
    HeadlessFrame h;
    auto splashBitmap = CBitmap::load(testbitmaps::kSplash, 1);
    Recorder listener;
    auto* other = new DragKnob(CRect(100, 60, 120, 80));
    h.frame->addView(other);
    auto* splash = new CSplashScreen(CRect(5, 5, 25, 15), &listener, 9, splashBitmap.get(),
                                     CRect(0, 0, 200, 120));
    h.frame->addView(splash);
    h.frame->idle();
    EXPECT_EQ(h.at(150, 100), h.backgroundAt(150, 100));

    h.click(10, 10, kLButton);
    EXPECT_TRUE(splash->isOn());
    EXPECT_EQ(h.at(150, 100), 0x202040u);
    EXPECT_EQ(h.at(1, 1), 0xe0c020u);
    // While on, a click anywhere (even on another control) turns it off.
    h.click(110, 70, kLButton);
    EXPECT_FALSE(splash->isOn());
    EXPECT_TRUE(other->seen.empty());
    EXPECT_EQ(h.at(150, 100), h.backgroundAt(150, 100));
    EXPECT_EQ(listener.calls, (std::vector<std::string>{"begin 9", "changed 9", "end 9", "begin 9",
                                                        "changed 9", "end 9"}));
}

TEST(CFrame, OpenFailsCleanlyWhenTheWindowIsRefused) {
    auto window = std::make_unique<CHeadlessWindow>();
    window->refuseOpen = true;
    auto frame = std::make_unique<CFrame>(CRect(0, 0, 200, 120), 1, std::move(window));
    frame->addView(new Swatch(CRect(0, 0, 10, 10)));
    EXPECT_FALSE(frame->open(nullptr));
    EXPECT_FALSE(frame->isOpen());
    EXPECT_EQ(frame->getSurface(), nullptr);
    // Idle and mouse queries on a closed frame do nothing.
    frame->idle();
    EXPECT_EQ(frame->getCurrentMouseButtons(), 0);
    // An empty frame cannot open either.
    CFrame empty(CRect(), 1, std::make_unique<CHeadlessWindow>());
    EXPECT_FALSE(empty.open(nullptr));
}
