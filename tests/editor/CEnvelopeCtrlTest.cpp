// The envelope editor driven by a scripted mouse on a headless window, over the real artwork.
// Screenshots (envelope-ctrl-env-, envelope-ctrl-env-scrolled- and envelope-ctrl-kbd-, each 1x.png
// and 2x.png) land in the build folder for a person to look at.
#include "editor/CEnvelopeCtrl.h"

#include "gui/CBitmap.h"
#include "gui/CFrame.h"
#include "gui/CHeadlessWindow.h"
#include "gui/MouseButtons.h"
#include "gui/PngCodec.h"
#include "patch/CProgram.h"
#include "voice/CEnvelope.h"

#include <gtest/gtest.h>

#include <cmath>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

using namespace qgui;

namespace {

constexpr int kBackgroundBitmap = 157;

// Counts the edits, and those that another thread could have seen halfway: any the control
// made without holding the owner's record lock.
struct CountingOwner : IEnvelopeCtrlOwner {
    int edits = 0;
    int unlockedEdits = 0;
    std::recursive_mutex lock;
    void envelopeEdited() override {
        ++edits;
        const bool free = std::async(std::launch::async, [this] {
                              const bool got = lock.try_lock();
                              if (got) lock.unlock();
                              return got;
                          }).get();
        if (free) ++unlockedEdits;
    }
    std::recursive_mutex* recordLock() override { return &lock; }
};

// The control at (10, 5) in a small window: the plot spans x 14..459 and y 9..117, so at the
// initial zoom a time unit is 111.25 pixels and x(t) = 14 + 111.25 t.
struct EnvelopeEditor {
    std::unique_ptr<CProgram> program = std::make_unique<CProgram>();
    CountingOwner owner;
    std::unique_ptr<CBitmap> background;
    CHeadlessWindow* window = nullptr;
    std::unique_ptr<CFrame> frame;
    CEnvelopeCtrl* ctrl = nullptr;

    explicit EnvelopeEditor(CScale scale = 1) {
        auto w = std::make_unique<CHeadlessWindow>();
        window = w.get();
        frame = std::make_unique<CFrame>(CRect(0, 0, 473, 140), scale, std::move(w));
        background = CBitmap::load(kBackgroundBitmap, scale);
        ctrl =
            new CEnvelopeCtrl(CRect(10, 5, 463, 135), program.get(), &owner, 458, background.get());
        frame->addView(ctrl);
        frame->open(nullptr);
        frame->idle();
    }
    ~EnvelopeEditor() { frame.reset(); }

    CEnvelope& env() { return program->currentCurve(); }
    CScale scale() const { return frame->getScale(); }
    CPoint at(int x, int y) const { return CPoint(scale().toSurface(x), scale().toSurface(y)); }

    // Presses at `from`, moves through `path` holding the buttons, then lets go.
    void drag(CPoint from, const std::vector<CPoint>& path, long buttons = kLButton,
              long pathButtons = kLButton) {
        window->mouseDown(at(from.h, from.v), buttons);
        for (const CPoint& p : path)
            window->dragTo(at(p.h, p.v), pathButtons);
        frame->idle();
    }
    void click(int x, int y, long buttons) { drag(CPoint(x, y), {}, buttons); }
    void rightClick(int x, int y) { click(x, y, kRButton); }

    // Four points ending at 0.5, 1, 2 and 3 with levels 0.8, 0.5, 0.5 and 0: the segments rise,
    // fall, hold and fall. On screen the points sit at x 69, 125, 236 and 347.
    void fourPoints() {
        CEnvelope& e = env();
        e.insertPoint(2);
        const double deltas[] = {0.5, 0.5, 1.0, 1.0};
        const double levels[] = {0.8, 0.5, 0.5, 0.0};
        for (int k = 0; k < 4; ++k) {
            e.setDelta(k, deltas[k]);
            e.setLevel(k, levels[k]);
            e.setCurve(k, 0.5);
        }
        frame->idle();
    }
    int x(double t) const { return ctrl->plot().x(t); }
    // The pixel column whose time is nearest t (x(t) truncates).
    int nearestX(double t) const {
        const EnvelopePlot p = ctrl->plot();
        return int(std::lround(p.left() + (t - p.viewStart) * p.pixelsPerUnit()));
    }
    int y(double level) const { return ctrl->plot().y(level); }
    std::uint32_t pixel(int px, int py) const {
        return frame->getSurface()->pixel(scale().toSurface(px), scale().toSurface(py)) & 0xffffff;
    }
};

} // namespace

TEST(CEnvelopeCtrl, RightClickAddsAndDeletesPointsLeftOfTheLastOne) {
    EnvelopeEditor ed;
    ed.fourPoints();
    CEnvelope& e = ed.env();
    ASSERT_EQ(ed.x(3.0), 347);
    ASSERT_EQ(ed.x(1.0), 125);

    // Right of the last point, or within its square's reach on the right: nothing.
    for (int x : {400, 344}) {
        ed.rightClick(x, 60);
        EXPECT_EQ(e.pointCount, 4) << x;
    }
    // Outside the plot: nothing either.
    ed.rightClick(200, 125);
    EXPECT_EQ(e.pointCount, 4);
    EXPECT_EQ(ed.owner.edits, 0);

    // On a point: deleted, the one before it selected; later points keep their times.
    ed.rightClick(236, ed.y(0.5));
    ASSERT_EQ(e.pointCount, 3);
    EXPECT_EQ(e.selectedPoint, 1);
    EXPECT_DOUBLE_EQ(e.endTime(2), 3.0);
    char text[64];
    ed.ctrl->pointText(text, sizeof text);
    EXPECT_STREQ(text, "Lev 0.50  Crv 0.50  Dlt 0.50");
    ed.rightClick(69, ed.y(0.8));
    ASSERT_EQ(e.pointCount, 3) << "the minimum of three points stays";
    EXPECT_EQ(e.selectedPoint, 0);

    // In the empty plot: a point at the pointer's time and level, selected.
    ed.rightClick(180, 63);
    ASSERT_EQ(e.pointCount, 4);
    EXPECT_EQ(e.selectedPoint, 2);
    EXPECT_NEAR(ed.x(e.endTime(2)), 180, 1); // times keep to the envelope's 0.001 grid
    EXPECT_EQ(ed.y(e.level(2)), 63);
    EXPECT_DOUBLE_EQ(e.endTime(3), 3.0);
    EXPECT_GT(ed.owner.edits, 0);
    EXPECT_EQ(ed.owner.unlockedEdits, 0);
    // The selected point is drawn in its own colour.
    EXPECT_EQ(ed.pixel(180, 63), 0xffc900u);
}

TEST(CEnvelopeCtrl, TempoSyncSnapsToEighthBeats) {
    // 1.06 lies below half an eighth past 1.0, 1.07 above it.
    const std::pair<double, double> cases[] = {{1.06, 1.0}, {1.07, 1.125}};
    for (auto [target, expected] : cases) {
        EnvelopeEditor ed;
        ed.fourPoints();
        CEnvelope& e = ed.env();
        e.tempoSync = true;
        const int px = ed.nearestX(target);
        ASSERT_NEAR(ed.ctrl->plot().t(px), target, 0.005);
        ed.drag(CPoint(125, ed.y(0.5)), {CPoint(px, ed.y(0.5))});
        EXPECT_DOUBLE_EQ(e.endTime(1), expected) << target;
    }
    // A point added with a right-click lands on the grid too.
    EnvelopeEditor ed;
    ed.fourPoints();
    CEnvelope& e = ed.env();
    e.tempoSync = true;
    ed.rightClick(ed.nearestX(1.54), 40);
    EXPECT_DOUBLE_EQ(e.endTime(2), 1.5);
    ASSERT_EQ(e.pointCount, 5);

    // Close before a last point that is off the grid, the snapped time would pass it: nothing.
    e.setDelta(4, 1.12); // the last point now ends at 3.12, at x 361
    ASSERT_EQ(ed.x(3.12), 361);
    ed.rightClick(357, 40); // t 3.083 snaps to 3.125
    EXPECT_EQ(e.pointCount, 5);
    EXPECT_DOUBLE_EQ(e.endTime(4), 3.12);
    EXPECT_DOUBLE_EQ(e.level(4), 0.0);
}

TEST(CEnvelopeCtrl, FullEnvelopeTakesNoMorePoints) {
    EnvelopeEditor ed;
    CEnvelope& e = ed.env();
    while (e.pointCount < kEnvelopeMaxPoints)
        e.insertPoint(1);
    for (int k = 0; k < kEnvelopeMaxPoints; ++k)
        e.setDelta(k, k < kEnvelopeMaxPoints - 1 ? 0.048 : 0.096); // the last one ends at 3.12
    const auto before = std::make_unique<CEnvelope>(e);
    ed.rightClick(ed.nearestX(1.01), 60);
    // With tempo sync, a click just before the last point snaps past it.
    e.tempoSync = true;
    ed.rightClick(357, 60);
    EXPECT_EQ(e.pointCount, kEnvelopeMaxPoints);
    for (int k = 0; k < kEnvelopeMaxPoints; ++k) {
        EXPECT_DOUBLE_EQ(e.level(k), before->level(k)) << k;
        EXPECT_DOUBLE_EQ(e.endTime(k), before->endTime(k)) << k;
    }
}

TEST(CEnvelopeCtrl, PointDragFollowsThePointerUnlessAltOrControlLocksIt) {
    struct Case {
        const char* name;
        long atPress;
        long whileDragging;
        bool levelMoves;
        bool timeMoves;
    };
    const Case cases[] = {
        {"free", 0, 0, true, true},
        {"Alt keeps the level", kAlt, kAlt, false, true},
        {"Control keeps the time", kControl, kControl, true, false},
        {"both", kAlt | kControl, kAlt | kControl, false, false},
        // The keys are read on every step, not only at the press.
        {"Alt let go", kAlt, 0, true, true},
        {"Control pressed", 0, kControl, true, false},
    };
    for (const Case& c : cases) {
        EnvelopeEditor ed;
        ed.fourPoints();
        CEnvelope& e = ed.env();
        ed.drag(CPoint(125, 63), {CPoint(140, 50), CPoint(150, 40)}, kLButton | c.atPress,
                kLButton | c.whileDragging);
        EXPECT_EQ(e.selectedPoint, 1) << c.name;
        if (c.levelMoves)
            EXPECT_NEAR(ed.y(e.level(1)), 40, 1) << c.name;
        else
            EXPECT_DOUBLE_EQ(e.level(1), 0.5) << c.name;
        if (c.timeMoves)
            EXPECT_NEAR(ed.x(e.endTime(1)), 150, 1) << c.name;
        else
            EXPECT_DOUBLE_EQ(e.endTime(1), 1.0) << c.name;
        // Later points move along, keeping their segments' lengths.
        EXPECT_DOUBLE_EQ(e.delta(2), 1.0) << c.name;
        EXPECT_EQ(ed.owner.edits, 3) << c.name; // the pick and both steps
        EXPECT_EQ(ed.owner.unlockedEdits, 0) << c.name;
    }

    // A point dragged left past the one before it stops one time step after it.
    EnvelopeEditor ed;
    ed.fourPoints();
    ed.drag(CPoint(125, 63), {CPoint(30, 63)});
    EXPECT_DOUBLE_EQ(ed.env().endTime(1), 0.5 + ed.env().timeGrid);
}

TEST(CEnvelopeCtrl, CurveHandleBendsItsSegmentWhateverTheKeys) {
    // Segment 0 rises from the last level (0) to 0.8, segment 3 falls from 0.5 to 0; their
    // handles sit in the columns at t 0.25 and 2.5. Dragging up 20 pixels bends either upward.
    struct Case {
        int point;
        double curve;
    };
    for (Case c : {Case{0, 0.7}, Case{3, 0.3}}) {
        EnvelopeEditor ed;
        ed.fourPoints();
        CEnvelope& e = ed.env();
        const int xm = ed.x(e.endTime(c.point) - e.delta(c.point) / 2);
        // The column counts at any height above the plot's floor.
        ed.drag(CPoint(xm + 3, 20), {CPoint(xm + 40, 10), CPoint(xm - 20, 0)},
                kLButton | kAlt | kControl, kLButton | kAlt | kControl);
        EXPECT_NEAR(e.curve(c.point), c.curve, 1e-9) << c.point;
        EXPECT_EQ(e.selectedPoint, c.point);
        EXPECT_DOUBLE_EQ(e.endTime(c.point), c.point == 0 ? 0.5 : 3.0);
        EXPECT_DOUBLE_EQ(e.level(c.point), c.point == 0 ? 0.8 : 0.0);
    }
}

TEST(CEnvelopeCtrl, KeyTableViewsKeepTheirAxisAndTheLastTwoTimes) {
    EnvelopeEditor ed;
    ed.program->envelopeView = kViewKeyCurve;
    CEnvelope& k = ed.env();
    ASSERT_TRUE(k.keyTableCurve);
    ASSERT_EQ(ed.x(1.0), 458); // time 1 just inside the plot's right edge
    ed.rightClick(236, 60);
    ASSERT_EQ(k.pointCount, 3);
    EXPECT_EQ(k.selectedPoint, 0);
    EXPECT_NEAR(ed.x(k.endTime(0)), 236, 2); // on the key table's 1/128 grid

    // The last two points move only up and down.
    ed.drag(CPoint(458, 9), {CPoint(300, 80)});
    EXPECT_DOUBLE_EQ(k.endTime(1), 1.0);
    EXPECT_NEAR(ed.y(k.level(1)), 80, 1);
    // Earlier ones move freely.
    ed.drag(CPoint(ed.x(k.endTime(0)), ed.y(k.level(0))), {CPoint(100, 90)});
    EXPECT_NEAR(ed.x(k.endTime(0)), 100, 2);
    EXPECT_NEAR(ed.y(k.level(0)), 90, 1);
    // The start-level handle sets the last point's level, which starts the curve.
    ed.drag(CPoint(14, 9), {CPoint(14, 63)});
    EXPECT_EQ(k.selectedPoint, 2);
    EXPECT_DOUBLE_EQ(k.lastLevel(), 0.5);
    EXPECT_DOUBLE_EQ(k.endTime(1), 1.0);
    EXPECT_DOUBLE_EQ(k.endTime(2), 2.0);

    // No zoom, no scroll.
    ed.drag(CPoint(200, 100), {CPoint(200, 50)});
    EXPECT_EQ(ed.ctrl->getDragMode(), CEnvelopeCtrl::kDragNothing);
    ed.drag(CPoint(200, 125), {CPoint(50, 125)});
    EXPECT_DOUBLE_EQ(ed.ctrl->getZoom(), 0.3);
    EXPECT_DOUBLE_EQ(ed.ctrl->getViewStart(), 0.0);
    EXPECT_EQ(ed.x(1.0), 458);

    // The velocity curve is the same kind of record, shown the same way.
    ed.program->envelopeView = kViewVelocityCurve;
    EXPECT_TRUE(ed.env().keyTableCurve);
    EXPECT_NE(&ed.env(), &k);
}

TEST(CEnvelopeCtrl, EmptyPlotZoomsAndAxisStripScrolls) {
    EnvelopeEditor ed;
    ed.fourPoints();
    const double before = ed.ctrl->plot().pixelsPerUnit();
    ed.drag(CPoint(200, 100),
            {CPoint(200, 90), CPoint(210, 80), CPoint(200, 70), CPoint(200, 60), CPoint(200, 50)});
    EXPECT_EQ(ed.ctrl->getDragMode(), CEnvelopeCtrl::kDragZoom);
    EXPECT_NEAR(ed.ctrl->getZoom(), 0.4, 1e-12);
    EXPECT_NEAR(ed.ctrl->plot().pixelsPerUnit() / before, 2.0, 1e-9);
    // Zoom stays within 0..1 however far the pointer goes.
    ed.drag(CPoint(200, 100), {CPoint(200, -900)});
    EXPECT_DOUBLE_EQ(ed.ctrl->getZoom(), 1.0);
    ed.drag(CPoint(200, 10), {CPoint(200, 1200)});
    EXPECT_DOUBLE_EQ(ed.ctrl->getZoom(), 0.0);

    // Scrolling: the curve follows the pointer, and the view never starts before time 0.
    EnvelopeEditor s;
    s.fourPoints();
    s.drag(CPoint(200, 125), {CPoint(150, 125), CPoint(100, 126)});
    EXPECT_EQ(s.ctrl->getDragMode(), CEnvelopeCtrl::kDragScroll);
    EXPECT_NEAR(s.ctrl->getViewStart(), 100 / 111.25, 1e-12);
    EXPECT_NEAR(s.x(1.0), 25, 1);
    EXPECT_EQ(s.owner.edits, 2);
    // The start-level handle is gone while the view starts later: a click there zooms.
    s.click(14, s.y(0.0), kLButton);
    EXPECT_EQ(s.ctrl->getDragMode(), CEnvelopeCtrl::kDragZoom);
    s.drag(CPoint(100, 125), {CPoint(400, 125)});
    EXPECT_DOUBLE_EQ(s.ctrl->getViewStart(), 0.0);
    s.click(14, s.y(0.0), kLButton);
    EXPECT_EQ(s.ctrl->getDragMode(), 3);
}

TEST(CEnvelopeCtrl, LoopMarkersJumpToTheNearestPoint) {
    EnvelopeEditor ed;
    ed.fourPoints();
    CEnvelope& e = ed.env();
    e.setLoopEnd(3);
    e.setLevel(3, 0.2); // a point on the floor would be picked before the marker under it
    struct Step {
        bool startMarker;
        int toX;
        int loopStart;
        int loopEnd;
    };
    const Step steps[] = {
        {false, 130, 1, 1}, // E near point 1 (t 1.04)
        {false, 400, 1, 2}, // E past the last point: the point before the last
        {true, 400, 2, 2},  // S past the last point: point count - 2
        {true, 20, 1, 2},   // S before the first point
        {true, 200, 2, 2},  // S nearest point 2 would pass E: it stops at E
    };
    for (const Step& s : steps) {
        const int from = ed.x(e.endTime(s.startMarker ? e.loopStart - 1 : e.loopEnd));
        ed.drag(CPoint(from, 117), {CPoint(s.toX, 110)});
        EXPECT_EQ(ed.ctrl->getDragMode(),
                  s.startMarker ? CEnvelopeCtrl::kDragLoopStart : CEnvelopeCtrl::kDragLoopEnd);
        EXPECT_EQ(e.loopStart, s.loopStart) << s.toX;
        EXPECT_EQ(e.loopEnd, s.loopEnd) << s.toX;
    }
    EXPECT_EQ(e.pointCount, 4);
}

TEST(CEnvelopeCtrl, LoopBackSegmentKeepsItsShapeWhereThePlotCutsIt) {
    // The loop runs from point 2 (ending at 2.0) back from point 3's level 0 to point 2's 0.5:
    // a straight line over t 1..2, of which the zoomed view shows the first part.
    EnvelopeEditor ed;
    ed.fourPoints();
    CEnvelope& e = ed.env();
    e.setLoopEnd(3);
    e.setLoopStart(2);
    ed.drag(CPoint(300, 100), {CPoint(300, 25)}); // zoom 0.45
    ASSERT_EQ(ed.x(1.0), 328);
    ASSERT_GT(ed.x(2.0), 459);
    const double width = ed.ctrl->plot().pixelsPerUnit();
    for (int x : {400, 459}) {
        const double level = 0.5 * (x - 328) / (ed.x(2.0) - 328.0);
        EXPECT_NEAR(level, 0.5 * (x - 328) / width, 0.002);
        EXPECT_EQ(ed.pixel(x, ed.y(level)), 0x004261u) << x;
    }
}

TEST(CEnvelopeCtrl, ScreenshotsOfBothAxesAtEveryScale) {
    for (CScale scale : {CScale(1), CScale::oneAndAHalf(), CScale(2)}) {
        EnvelopeEditor ed(scale);
        ed.fourPoints();
        CEnvelope& e = ed.env();
        e.tempoSync = true;
        e.setLoopEnd(3);
        e.setLoopStart(2);
        e.setCurve(0, 0.8);
        e.setCurve(3, 0.3);
        e.selectedPoint = 1;
        ed.ctrl->setDirty();
        ed.frame->idle();
        const std::string dir = QUELLOR_SCREENSHOT_DIR;
        const std::string suffix = std::string(scale.text()) + "x.png";
        EXPECT_TRUE(writePng(*ed.frame->getSurface(), dir + "/envelope-ctrl-env-" + suffix));
        EXPECT_EQ(ed.pixel(125, 63), 0xffc900u); // the selected point

        // Bipolar, zoomed in and scrolled so that the loop starts left of the view.
        e.bipolar = true;
        ed.drag(CPoint(300, 100), {CPoint(300, 75)});
        ed.drag(CPoint(300, 125), {CPoint(135, 125)});
        ASSERT_LT(ed.x(1.0), 14);
        ASSERT_GT(ed.x(2.0), 14);
        EXPECT_TRUE(
            writePng(*ed.frame->getSurface(), dir + "/envelope-ctrl-env-scrolled-" + suffix));

        ed.program->envelopeView = kViewKeyCurve;
        CEnvelope& k = ed.env();
        k.addPointAtTime(0.4);
        k.setLevel(1, 0.3);
        k.setLevel(2, 0.6);
        k.setCurve(1, 0.2);
        ed.ctrl->setDirty();
        ed.frame->idle();
        EXPECT_TRUE(writePng(*ed.frame->getSurface(), dir + "/envelope-ctrl-kbd-" + suffix));
    }
}
