// The envelope editor driven by a scripted mouse on a headless window, over the real artwork.
// Screenshots (envelope-ctrl-env-1x.png, -2x, envelope-ctrl-kbd-1x.png, -2x) land in the build
// folder for a person to look at.
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
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace VSTGUI;

namespace {

constexpr int kBackgroundBitmap = 157;

struct CountingOwner : IEnvelopeCtrlOwner {
    int edits = 0;
    void envelopeEdited() override { ++edits; }
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

    explicit EnvelopeEditor(int scale = 1) {
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
    int scale() const { return frame->getScale(); }
    CPoint at(int x, int y) const { return CPoint(x * scale(), y * scale()); }

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
        return frame->getSurface()->pixel(px * scale(), py * scale()) & 0xffffff;
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
    ed.env().tempoSync = true;
    ed.rightClick(ed.nearestX(1.54), 40);
    EXPECT_DOUBLE_EQ(ed.env().endTime(2), 1.5);
}
