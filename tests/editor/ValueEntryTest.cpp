// Typed values, the wheel and the help line's readout, through the whole
// window on a headless surface.
#include "base/ValueIds.h"
#include "editor/CEnvelopeCtrl.h"
#include "editor/CHelpLine.h"
#include "editor/CPluginEditor.h"
#include "editor/ControlTags.h"
#include "editor/HeadlessEditor.h"
#include "engine/CSoundRenderer.h"
#include "engine/IRendererHost.h"
#include "gui/CFrame.h"
#include "gui/CHeadlessWindow.h"
#include "gui/CTextField.h"
#include "gui/MouseButtons.h"
#include "gui/PngCodec.h"
#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "support/ScriptedPlatform.h"
#include "voice/CEnvelope.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using namespace qgui;
namespace fs = std::filesystem;

namespace {

constexpr long kChorusTimeId = kChorusFirstId + kChorusTimeOffset;
const CPoint kChorusTimeKnob{32, 472}, kEnvelopePlot{300, 300};

struct GestureHost : IRendererHost {
    std::vector<std::string> calls;
    void announceValue(int32_t, float) override {}
    void beginValueEdit(int32_t id) override { calls.push_back("begin " + std::to_string(id)); }
    void endValueEdit(int32_t id) override { calls.push_back("end " + std::to_string(id)); }
    bool hostTempo(double&) override { return false; }
};

struct ValueEntry : ::testing::Test, HeadlessEditor {
    GestureHost host;

    void SetUp() override {
        makeRoot("quellor-entry");
        fs::create_directories(root / "QuellorData/Banks/Keys");
        start(&host);
        ASSERT_TRUE(open());
    }
    void TearDown() override { finish(); }
    std::string shown(long tag) {
        char text[100] = {};
        editor->getTagText(tag, text, sizeof text);
        return text;
    }
    double shownNumber(long tag) { return std::strtod(shown(tag).c_str(), nullptr); }
    void type(const std::string& keys) {
        for (char c : keys)
            window->key(c);
        editor->idle();
    }
};

} // namespace

TEST_F(ValueEntry, TypedValuesLandInTheControlsOwnUnits) {
    struct Case {
        long tag;
        const char* typed;
        double lands; // the number the control then shows
    };
    const Case cases[] = {
        {kChorusTimeId, "0.35", 0.35},                         // plain 0..1
        {kChorusTimeId, "0,6", 0.6},                           // a decimal comma
        {kMasterPitchId, "-12", -12.0},                        // semitones
        {kEqFrequencyFirstId + 1, "440", 440.0},               // hertz
        {kOperatorFirstId + kOperatorMixOffset, "-0.5", -0.5}, // bipolar
        {kChorusTimeId, "7", 1.0},                             // clamped above
        {kMasterPitchId, "-99", -24.0},                        // clamped below
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.typed) + " for tag " + std::to_string(c.tag));
        host.calls.clear();
        ASSERT_TRUE(editor->applyTypedValue(c.tag, c.typed)) << shown(c.tag);
        EXPECT_DOUBLE_EQ(shownNumber(c.tag), c.lands) << shown(c.tag);
        if (c.tag < kHostParameterCount) {
            EXPECT_EQ(host.calls, (std::vector<std::string>{"begin " + std::to_string(c.tag),
                                                            "end " + std::to_string(c.tag)}));
        }
    }
    // Text that is no number changes nothing and is no step.
    const double before = renderer->getParameter(kChorusTimeId);
    const size_t steps = editor->history().stepCount();
    for (const char* junk : {"", "abc", "12x", "0.3.4", "nan", "--1"})
        EXPECT_FALSE(editor->applyTypedValue(kChorusTimeId, junk)) << junk;
    EXPECT_EQ(renderer->getParameter(kChorusTimeId), before);
    EXPECT_EQ(editor->history().stepCount(), steps);
}

TEST_F(ValueEntry, TheEnvelopePointsValuesAreTypedAsThePointDisplayShowsThem) {
    const CEnvelope& e = renderer->program().currentCurve();
    const int k = e.selectedPoint;
    const double level = e.points[k].level, curve = e.points[k].curve;
    ASSERT_TRUE(editor->applyTypedValue(editortags::kPointDisplayTag, "Lev 0.25 Crv 0.7 Dlt 1.5"));
    EXPECT_DOUBLE_EQ(e.points[k].level, 0.25);
    EXPECT_DOUBLE_EQ(e.points[k].curve, 0.7);
    EXPECT_DOUBLE_EQ(e.points[k].delta, 1.5);
    ASSERT_TRUE(editor->applyTypedValue(editortags::kPointDisplayTag, "7")); // the level alone
    EXPECT_DOUBLE_EQ(e.points[k].level, 1.0);
    EXPECT_DOUBLE_EQ(e.points[k].curve, 0.7);
    for (const char* junk : {"", "Lev", "abc", "0.2 0.3 0.4 0.5", "Lev x"})
        EXPECT_FALSE(editor->applyTypedValue(editortags::kPointDisplayTag, junk)) << junk;
    ASSERT_TRUE(editor->undo());
    ASSERT_TRUE(editor->undo());
    EXPECT_EQ(e.points[k].level, level);
    EXPECT_EQ(e.points[k].curve, curve);
}

TEST_F(ValueEntry, ADoubleClickOpensAFieldThatEnterAppliesAndEscapeCancels) {
    const double before = renderer->getParameter(kChorusTimeId);
    window->mouseDown(kChorusTimeKnob, kLButton | kDoubleClick);
    editor->idle();
    ASSERT_NE(editor->typingField(), nullptr);
    EXPECT_EQ(editor->getFrame()->getFocusView(), editor->typingField());
    // The field starts with the shown value; Backspace clears it.
    type(std::string(8, '\b') + "0.35\r");
    EXPECT_EQ(editor->typingField(), nullptr);
    EXPECT_EQ(shown(kChorusTimeId), "0.35");
    // The value itself, not merely one that rounds to it.
    EXPECT_NEAR(renderer->getParameter(kChorusTimeId), 0.35, 1e-9);
    ASSERT_TRUE(editor->undo());
    EXPECT_EQ(renderer->getParameter(kChorusTimeId), before);

    window->mouseDown(kChorusTimeKnob, kLButton | kDoubleClick);
    editor->idle();
    type("9\x1b");
    EXPECT_EQ(editor->typingField(), nullptr);
    EXPECT_EQ(renderer->getParameter(kChorusTimeId), before);
}

TEST_F(ValueEntry, TheWheelStepsAsADragWouldAsOneEdit) {
    const double start = renderer->getParameter(kChorusTimeId);
    window->wheel(kChorusTimeKnob, 1.0f);
    editor->idle();
    EXPECT_NEAR(renderer->getParameter(kChorusTimeId), start + 0.01, 1e-12);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"begin " + std::to_string(kChorusTimeId),
                                                    "end " + std::to_string(kChorusTimeId)}));
    window->wheel(kChorusTimeKnob, -1.0f, kAlt);
    editor->idle();
    EXPECT_NEAR(renderer->getParameter(kChorusTimeId), start + 0.009, 1e-12);
    EXPECT_EQ(editor->history().stepCount(), 2u);

    CEnvelopeCtrl* envelope = nullptr;
    CFrame* f = editor->getFrame();
    for (int i = 0; i < f->getNbViews() && !envelope; ++i)
        envelope = dynamic_cast<CEnvelopeCtrl*>(f->getView(i));
    ASSERT_NE(envelope, nullptr);
    const double zoom = envelope->getZoom();
    window->wheel(kEnvelopePlot, 1.0f);
    editor->idle();
    EXPECT_NEAR(envelope->getZoom(), zoom + 0.02, 1e-12);
    window->wheel(kEnvelopePlot, -1.0f, kAlt);
    editor->idle();
    EXPECT_NEAR(envelope->getZoom(), zoom + 0.018, 1e-12);
}

TEST_F(ValueEntry, TheHelpLineReadsTheHoveredOrDraggedControl) {
    renderer->setParameter(kChorusTimeId, 0.35);
    window->mouseMove(kChorusTimeKnob);
    editor->idle();
    editor->idle();
    EXPECT_EQ(editor->getHelpLine()->text(), "Chorus: Time 0.35");
    EXPECT_EQ(editor->readout(kEqLevelFirstId + 2).rfind("EQ: Band 3 Lev ", 0), 0u)
        << editor->readout(kEqLevelFirstId + 2);
    // Away from any control, the hints show again.
    window->mouseMove(CPoint(960, 560));
    editor->idle();
    editor->idle();
    EXPECT_EQ(editor->getHelpLine()->text(), "");
}

TEST_F(ValueEntry, PicturesOfTheReadoutAndTheTypingField) {
    for (CScale scale : {CScale(1), CScale::oneAndAHalf(), CScale(2)}) {
        auto w = std::make_unique<CHeadlessWindow>();
        window = w.get();
        static int parent;
        ASSERT_TRUE(editor->openWith(&parent, std::move(w), scale));
        const CPoint knob(scale.toSurface(kChorusTimeKnob.h), scale.toSurface(kChorusTimeKnob.v));
        window->mouseMove(knob);
        editor->idle();
        window->mouseDown(knob, kLButton | kDoubleClick);
        editor->idle();
        type("\b\b\b\b0.4");
        const std::string path =
            std::string(QUELLOR_SCREENSHOT_DIR) + "/editor-typing-" + scale.text() + "x.png";
        EXPECT_TRUE(writePng(*editor->getFrame()->getSurface(), path)) << path;
        editor->close();
    }
}
