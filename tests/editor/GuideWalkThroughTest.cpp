// The guide's walk-throughs, played on the headless window with the factory
// data folder: what each step tells the user to look for is what the window
// shows, so that a change to a factory program or to a control cannot leave
// the guide telling something else.
#include "editor/CPluginEditor.h"
#include "editor/EditorLayout.h"
#include "editor/HeadlessEditor.h"
#include "engine/CSoundRenderer.h"
#include "engine/IRendererHost.h"
#include "gui/CHeadlessWindow.h"
#include "gui/MouseButtons.h"
#include "patch/CPluginFile.h"
#include "support/ScriptedPlatform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

using namespace qgui;
namespace layout = editorlayout;

namespace {

struct QuietHost : IRendererHost {
    void announceValue(int32_t, float) override {}
    void beginValueEdit(int32_t) override {}
    void endValueEdit(int32_t) override {}
    bool hostTempo(double&) override { return false; }
};

struct GuideWalkThrough : ::testing::Test, HeadlessEditor {
    QuietHost host;

    void load(const std::string& bank, const std::string& program) {
        if (editor) editor->close();
        editor.reset();
        renderer.reset();
        platform.rootFolder = std::string(QUELLOR_SOURCE_DIR) + "/data";
        settings = std::make_unique<CPluginFile>(platform);
        settings->init();
        renderer = std::make_unique<CSoundRenderer>(settings.get(), &host);
        const std::string path =
            platform.rootFolder + "/QuellorData/Banks/" + bank + "/" + program + ".qxlprg";
        ASSERT_TRUE(renderer->loadProgramFile(path.c_str(), bank.c_str())) << path;
        editor = std::make_unique<CPluginEditor>(nullptr, renderer.get());
        ASSERT_TRUE(open());
    }
    void TearDown() override {
        if (editor) editor->close();
        finish();
    }
    // A click in the middle of a control, then a drag upward by `up` pixels.
    void click(const layout::Placement& p, long buttons = kLButton, int up = 0) {
        const layout::Size s = layout::sizeOf(p);
        const CPoint at(p.x + s.w / 2, p.y + s.h / 2);
        window->mouseDown(at, buttons);
        if (up) window->dragTo(CPoint(at.h, at.v - up), buttons);
        editor->idle();
    }
    std::string text(const layout::Placement& p) {
        char t[128] = {0};
        editor->getTagText(p.tag, t, sizeof t);
        return t;
    }
    std::string programName() { return renderer->program().name; }
};

// The matrix cell in operator row `row` (0-based) and control column `i`.
layout::Placement cell(int row, int i) {
    return layout::operatorRowControl(row, i);
}
constexpr int kColumn1 = 1, kColumn4 = 4, kPanColumn = 11, kMixColumn = 12;

} // namespace

TEST_F(GuideWalkThrough, TopBarStepsThroughTheKeysBank) {
    load("01 Keys", "Amber Tines");
    EXPECT_EQ(programName(), "Amber Tines");
    ASSERT_STREQ(layout::kMasterControls[12].name, "next program");
    click(layout::kMasterControls[12]);
    EXPECT_EQ(programName(), "Bright Tines");
    click(layout::kMasterControls[11]); // previous program
    EXPECT_EQ(programName(), "Amber Tines");
}

TEST_F(GuideWalkThrough, MatrixMakesAmberTinesBark) {
    load("01 Keys", "Amber Tines");
    EXPECT_EQ(text(cell(1, kColumn1)), "0.45");
    EXPECT_EQ(text(cell(1, kColumn4)), "0.35");
    click(cell(1, kColumn1), kLButton, 70); // 35 steps of 0.01, two pixels each
    EXPECT_EQ(text(cell(1, kColumn1)), "0.80");
    EXPECT_EQ(text(cell(2, kMixColumn)), "0.08");
    click(cell(2, kMixColumn), kRButton);
    const std::string silent = text(cell(2, kMixColumn));
    EXPECT_TRUE(silent == "zero" || silent == "0.00") << silent;
    click(cell(0, kPanColumn), kLButton, -100);
    EXPECT_EQ(text(cell(0, kPanColumn)), "-0.50");
}

TEST_F(GuideWalkThrough, FilterModeKeyReachesHighInTwoClicks) {
    load("02 Basses", "Acid Bass");
    const layout::Placement& mode = layout::kFilters[6];
    ASSERT_STREQ(mode.name, "Flt1: Mode");
    EXPECT_EQ(text(layout::kFilters[0]), "0.22");
    EXPECT_EQ(text(layout::kFilters[2]), "0.78");
    const double low = renderer->getParameter(int32_t(mode.tag));
    click(mode);
    click(mode);
    EXPECT_DOUBLE_EQ(renderer->getParameter(int32_t(mode.tag)), 1.0) << "from " << low;
    click(mode);
    click(mode);
    EXPECT_NEAR(renderer->getParameter(int32_t(mode.tag)), low, 1e-6);
}

TEST_F(GuideWalkThrough, NamedValuesOfTheFactoryProgramsAreWhatTheGuideSays) {
    load("02 Basses", "Acid Bass");
    EXPECT_EQ(text(layout::kMasterControls[4]), "1");    // VOICES
    EXPECT_EQ(text(layout::kMasterControls[5]), "0.20"); // SLIDE

    load("03 Pads", "Choir Pad");
    EXPECT_EQ(text(layout::kSamplerLayer[0]), "0.80");
    EXPECT_EQ(text(layout::samplerRowControl(0, 0)), "Vowel Ah.wav");

    load("07 Sequenced", "Arp Pluck");
    std::string steps;
    for (int s = 0; s < 8; ++s)
        steps += text(layout::stepCell(0, s)) + " ";
    EXPECT_EQ(steps, "0 4 7 12 16 19 24 19 ");

    load("01 Keys", "Amber Tines");
    EXPECT_EQ(text(layout::routingRowControl(0, 0)), "1. Amplitude");
    EXPECT_EQ(text(layout::routingRowControl(0, 1)), "1.00");
    EXPECT_EQ(text(layout::routingRowControl(0, 4)), "1.00");
}

// "19-Tone Piano" plays in its own tuning as soon as it loads; a tuning
// chosen afterwards replaces it until the program is loaded again.
TEST_F(GuideWalkThrough, MicrotonalProgramBringsItsTuning) {
    const auto keyRatio = [&](int from, int to) {
        const double* r = renderer->program().tuningRatios;
        return std::pow(2.0, (to - from) / 12.0) * r[to] / r[from];
    };
    load("10 Microtonal", "19-Tone Piano");
    EXPECT_EQ(std::string(renderer->program().tuningName), "19-TET");
    EXPECT_EQ(text(layout::kTuningField), "19-TET");
    EXPECT_NEAR(keyRatio(60, 61), std::pow(2.0, 1.0 / 19.0), 1e-9);
    EXPECT_NEAR(keyRatio(60, 66), std::pow(2.0, 6.0 / 19.0), 1e-9); // the major third

    const std::string standard = std::string(QUELLOR_SOURCE_DIR) + "/data/Microtuning/standard.TUN";
    ASSERT_TRUE(renderer->loadTuningFile(standard.c_str()));
    EXPECT_NEAR(keyRatio(60, 61), std::pow(2.0, 1.0 / 12.0), 1e-9);

    const std::string piano = std::string(QUELLOR_SOURCE_DIR) +
                              "/data/QuellorData/Banks/10 Microtonal/19-Tone Piano.qxlprg";
    ASSERT_TRUE(renderer->loadProgramFile(piano.c_str(), "10 Microtonal"));
    EXPECT_NEAR(keyRatio(60, 61), std::pow(2.0, 1.0 / 19.0), 1e-9);
}
