// The whole editor window on a headless surface: a renderer with a small bank
// of programs behind it, a scripted mouse in front, the host's calls recorded.
#include "base/ValueIds.h"
#include "editor/CEnvelopeCtrl.h"
#include "editor/CMenuCtrl.h"
#include "editor/CPluginEditor.h"
#include "editor/EditorLayout.h"
#include "editor/HeadlessEditor.h"
#include "engine/CProgramEdit.h"
#include "engine/CSoundRenderer.h"
#include "engine/IRendererHost.h"
#include "gui/CBitmap.h"
#include "gui/CControl.h"
#include "gui/CFrame.h"
#include "gui/CHeadlessWindow.h"
#include "gui/COptionMenu.h"
#include "gui/CSurface.h"
#include "gui/MouseButtons.h"
#include "gui/PngCodec.h"
#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "patch/PatchFiles.h"
#include "support/ScriptedPlatform.h"
#include "support/SndfileWriter.h"
#include "voice/CEnvelope.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using namespace qgui;
namespace fs = std::filesystem;

namespace {

struct RecordingHost : IRendererHost {
    std::vector<std::string> calls;
    void announceValue(int32_t id, float) override { calls.push_back("set " + std::to_string(id)); }
    void beginValueEdit(int32_t id) override { calls.push_back("begin " + std::to_string(id)); }
    void endValueEdit(int32_t id) override { calls.push_back("end " + std::to_string(id)); }
    bool hostTempo(double&) override { return false; }
};

// Free-running and synced lengths of the delay in ms at tempo t.
double preMs(double p, bool synced, double t) {
    return synced ? p * 8 * 15000 / t : 1298 * p * p;
}
double timeMs(double x, bool synced, double t) {
    return synced ? (1 + 7 * x) * 15000 / t : 1298 * x * x + 1;
}

struct EditorWindow : ::testing::Test, HeadlessEditor {
    RecordingHost host;

    void SetUp() override {
        makeRoot("quellor-editor");
        const fs::path bank = root / "QuellorData/Banks/Keys";
        fs::create_directories(bank);
        // Three programs told apart by their master level.
        const std::pair<const char*, double> programs[] = {
            {"Alpha", 0.2}, {"Beta", 0.4}, {"Gamma", 0.6}};
        for (auto [name, level] : programs) {
            CPluginFile writer(platform);
            CProgram program;
            program.setValue(kMasterLevelId, level);
            ASSERT_TRUE(
                saveProgramFile(program, (bank / (std::string(name) + ".qxlprg")).c_str(), writer));
        }
        start(&host);
    }
    void TearDown() override { finish(); }

    CFrame* frame() { return editor->getFrame(); }
    // A click at window coordinates, then a drag through the given points.
    void click(int x, int y, long buttons = kLButton, std::vector<CPoint> path = {}) {
        window->mouseDown(CPoint(scale.toSurface(x), scale.toSurface(y)), buttons);
        for (const CPoint& p : path)
            window->dragTo(CPoint(scale.toSurface(p.h), scale.toSurface(p.v)), buttons);
        editor->idle();
    }
    std::vector<CView*> views() {
        std::vector<CView*> all;
        for (int i = 0; i < frame()->getNbViews(); ++i)
            all.push_back(frame()->getView(i));
        return all;
    }
    CControl* control(long tag) {
        for (CView* v : views())
            if (auto* c = dynamic_cast<CControl*>(v); c && c->getTag() == tag) return c;
        return nullptr;
    }
    double value(int32_t id) { return renderer->getParameter(id); }
    // Which frame of its bitmap (frames stacked top to bottom) the cell shows: the
    // one whose pixel at probe, a window point of the cell away from its text, the
    // window shows there; -1 for none.
    int frameShown(int bitmapId, int frames, const CRect& cell, const CPoint& probe) {
        const CBitmap* b = editor->bitmap(bitmapId);
        if (!b) return -1;
        const int h = b->getHeight() / frames;
        const std::uint32_t shown =
            frame()->getSurface()->pixel(scale.toSurface(probe.h), scale.toSurface(probe.v)) &
            0xffffff;
        for (int f = 0; f < frames; ++f) {
            const int bx = scale.toSurface(probe.h) - scale.toSurface(cell.left);
            const int by =
                scale.toSurface(f * h) + scale.toSurface(probe.v) - scale.toSurface(cell.top);
            if ((b->pixels()[std::size_t(by) * b->pixelWidth() + bx] & 0xffffff) == shown) return f;
        }
        return -1;
    }
    // Three envelopes, the second selected, and a sample in the first slot: every
    // state a routing row and a sample slot can show.
    void fillRoutingAndSlots() {
        CProgram& program = renderer->program();
        program.addEnvelope();
        program.addEnvelope();
        program.envelopes[2].targetKind = kTargetCutoff;
        program.selectedEnvelope = 1;
        CProgramEdit(*renderer).restructure();
        std::vector<float> cycle(256);
        for (std::size_t i = 0; i < cycle.size(); ++i)
            cycle[i] = float(0.5 * std::sin(6.283185307 * double(i) / double(cycle.size())));
        const fs::path wav = root / "Kick 808.wav";
        ASSERT_TRUE(writeSndfile(wav.string(), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100, cycle));
        renderer->loadSample(0, wav.c_str());
        ASSERT_TRUE(renderer->slotHasSample(0));
    }
    std::string shot(const char* name) {
        const std::string path = std::string(QUELLOR_SCREENSHOT_DIR) + "/" + name;
        EXPECT_TRUE(writePng(*frame()->getSurface(), path)) << path;
        return path;
    }
};

} // namespace

TEST_F(EditorWindow, OpensWithEveryControlInsideTheWindowAndClosesClean) {
    for (int layoutRun = 0; layoutRun < 2; ++layoutRun) {
        ASSERT_TRUE(open());
        const CRect window(0, 0, CPluginEditor::kWidth, CPluginEditor::kHeight);
        int controls = 0;
        for (CView* v : views()) {
            CRect r = v->getViewSize();
            if (auto* c = dynamic_cast<CControl*>(v); c && c->getTag() == 461) continue; // splash
            EXPECT_FALSE(r.isEmpty());
            EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= window.right &&
                        r.bottom <= window.bottom)
                << r.left << "," << r.top << " " << r.right << "," << r.bottom;
            ++controls;
        }
        EXPECT_GT(controls, 300);
        // Only one matrix is there: its tags do not meet the other's.
        const bool sampler = editor->getLayout() == 1;
        EXPECT_EQ(control(kSamplePathLeafFirstId) != nullptr, sampler);
        EXPECT_EQ(control(kOperatorFirstId) != nullptr, !sampler);
        editor->setTagValue(453, 1.0); // the other layout for the second run
        editor->close();
        EXPECT_FALSE(editor->isOpen());
        EXPECT_EQ(editor->bitmap(120), nullptr); // bitmaps released with the window
        editor->setTagValue(453, 1.0);           // closed: no toggle
        EXPECT_EQ(editor->getLayout(), layoutRun == 0 ? 1 : 0);
    }
}

TEST_F(EditorWindow, LayoutToggledTwiceRestoresTheMixMatrixAndSurvivesReopening) {
    ASSERT_TRUE(open());
    const int count = frame()->getNbViews();
    CView* firstCell = editor->matrixEntry(1);
    click(420, 185); // the layout button
    EXPECT_EQ(editor->getLayout(), 1);
    EXPECT_EQ(frame()->getBackground(), editor->bitmap(176));
    for (int i = 0; i < CPluginEditor::kSamplerEntriesFirst; ++i)
        EXPECT_EQ(editor->matrixEntry(i), nullptr);
    EXPECT_NE(editor->matrixEntry(CPluginEditor::kSamplerEntriesFirst), nullptr);

    editor->close();
    ASSERT_TRUE(open());
    EXPECT_EQ(editor->getLayout(), 1); // the window's choice, not the program's
    EXPECT_EQ(frame()->getBackground(), editor->bitmap(176));

    click(420, 185);
    EXPECT_EQ(editor->getLayout(), 0);
    EXPECT_EQ(frame()->getBackground(), editor->bitmap(120));
    EXPECT_EQ(frame()->getNbViews(), count);
    EXPECT_NE(editor->matrixEntry(1), nullptr);
    (void)firstCell;
    for (int i = CPluginEditor::kSamplerEntriesFirst; i < CPluginEditor::kMatrixEntries; ++i)
        EXPECT_EQ(editor->matrixEntry(i), nullptr);
}

TEST_F(EditorWindow, PreviousAndNextStepThroughTheBankAndStopAtItsEnds) {
    ASSERT_TRUE(open());
    ASSERT_EQ(renderer->banks().fileCount(), 3);
    ASSERT_EQ(editor->programMenu()->getNbEntries(), 3);
    editor->selectProgram(0);
    click(605, 18); // previous at the first program
    EXPECT_STREQ(renderer->program().name, "Alpha");
    click(644, 18); // next
    EXPECT_STREQ(renderer->program().name, "Beta");
    EXPECT_NEAR(value(kMasterLevelId), 0.4, 1e-6);
    click(644, 18);
    click(644, 18); // next at the last program
    EXPECT_STREQ(renderer->program().name, "Gamma");
    EXPECT_EQ(renderer->banks().currentFile(), 2);
    editor->selectProgram(3); // outside the bank: ignored
    editor->selectProgram(-1);
    EXPECT_STREQ(renderer->program().name, "Gamma");
    editor->idle();
    EXPECT_STREQ(editor->programMenu()->getText(), "Gamma");
    // Choosing from the program menu loads that program.
    editor->programMenu()->chooseEntry(1);
    EXPECT_STREQ(renderer->program().name, "Beta");
    EXPECT_EQ(editor->programMenu()->getCurrent(), 1);
    ASSERT_EQ(editor->bankMenu()->getNbEntries(), 1);
    EXPECT_STREQ(editor->bankMenu()->getEntryText(0), "Keys");
}

// A window pixel as its three colour channels.
struct Rgb {
    int r, g, b;
    explicit Rgb(std::uint32_t p) : r(int(p >> 16) & 255), g(int(p >> 8) & 255), b(int(p) & 255) {}
    int sum() const { return r + g + b; }
};

TEST_F(EditorWindow, WhileADialogWaitsTheWindowIsDimmedTakesNoInputAndThenActsOnTheAnswer) {
    platform.answerLater = true;
    const fs::path gamma = root / "QuellorData/Banks/Keys/Gamma.qxlprg";
    for (int s : {1, 2}) {
        ASSERT_TRUE(open(s));
        editor->selectProgram(0);
        editor->idle();
        const CPoint probe(100 * s, 300 * s);
        const std::uint32_t before = frame()->getSurface()->pixel(probe.h, probe.v);
        platform.fileChoices.push_back(gamma.string());
        click(626, 18); // Load Program
        ASSERT_TRUE(editor->isDialogOpen());
        EXPECT_EQ(platform.dialogs.back().title, "Load Program");
        editor->idle();
        EXPECT_STREQ(renderer->program().name, "Alpha");
        // Dimmed: every channel darker where nothing else changed.
        const Rgb dim(frame()->getSurface()->pixel(probe.h, probe.v)), lit(before);
        EXPECT_LT(dim.sum(), lit.sum());
        EXPECT_LE(dim.r, lit.r);
        EXPECT_LE(dim.g, lit.g);
        EXPECT_LE(dim.b, lit.b);
        shot(s == 1 ? "editor-dialog-open-1x.png" : "editor-dialog-open-2x.png");

        // Clicks, a drop and a menu choice meanwhile change nothing.
        const double level = value(kMasterLevelId);
        click(644, 18); // Next
        click(30, 440, kLButton, {CPoint(30, 400)});
        editor->filesDropped({(root / "QuellorData/Banks/Keys/Beta.qxlprg").string()},
                             CPoint(400, 300));
        editor->programMenu()->chooseEntry(1);
        editor->idle();
        EXPECT_STREQ(renderer->program().name, "Alpha");
        EXPECT_EQ(value(kMasterLevelId), level);
        EXPECT_EQ(platform.dialogs.size(), std::size_t(s)); // no second dialog opened

        // The answer comes: the command acts as it always did, and the window is itself again.
        platform.answerHeldDialogs();
        editor->idle();
        EXPECT_FALSE(editor->isDialogOpen());
        EXPECT_STREQ(renderer->program().name, "Gamma");
        EXPECT_NEAR(value(kMasterLevelId), 0.6, 1e-6);
        EXPECT_STREQ(editor->programMenu()->getText(), "Gamma");
        EXPECT_EQ(frame()->getSurface()->pixel(probe.h, probe.v), before);
        editor->close();
    }
}

TEST_F(EditorWindow, ClosingTheWindowEndsItsDialogUnanswered) {
    platform.answerLater = true;
    ASSERT_TRUE(open());
    editor->selectProgram(0);
    platform.fileChoices.push_back((root / "QuellorData/Banks/Keys/Beta.qxlprg").string());
    click(626, 18);
    ASSERT_TRUE(editor->isDialogOpen());
    editor->close();
    platform.answerHeldDialogs();
    ASSERT_TRUE(open());
    editor->idle();
    EXPECT_FALSE(editor->isDialogOpen());
    EXPECT_STREQ(renderer->program().name, "Alpha");
    // The window works again at once.
    click(644, 18);
    EXPECT_STREQ(renderer->program().name, "Beta");
}

TEST_F(EditorWindow, ABankLoadsItsCurrentProgramAndEveryProgramChangeShowsItsEnvelope) {
    // A second bank whose first program's envelope drives the pitch from the
    // pitch bend, and whose second is as new.
    const fs::path pads = root / "QuellorData/Banks/Pads";
    fs::create_directories(pads);
    {
        CPluginFile writer(platform);
        CProgram echo;
        echo.envelopes[0].targetKind = kTargetPitch;
        echo.envelopes[0].controller = 1;
        echo.setValue(kMasterLevelId, 0.3);
        ASSERT_TRUE(saveProgramFile(echo, (pads / "Echo.qxlprg").c_str(), writer));
        CProgram fog;
        ASSERT_TRUE(saveProgramFile(fog, (pads / "Fog.qxlprg").c_str(), writer));
    }
    editor.reset();
    renderer = std::make_unique<CSoundRenderer>(settings.get(), &host);
    editor = std::make_unique<CPluginEditor>(nullptr, renderer.get());
    ASSERT_TRUE(open());
    auto menuAt = [&](int x, int y) -> COptionMenu* {
        for (CView* v : views())
            if (auto* m = dynamic_cast<COptionMenu*>(v);
                m && m->getViewSize().left == x && m->getViewSize().top == y)
                return m;
        return nullptr;
    };
    COptionMenu* target = menuAt(155, 220);
    COptionMenu* controller = menuAt(242, 220);
    ASSERT_TRUE(target && controller);
    ASSERT_EQ(editor->bankMenu()->getNbEntries(), 2);
    ASSERT_STREQ(editor->bankMenu()->getEntryText(1), "Pads");
    EXPECT_STREQ(renderer->program().name, "Alpha");

    editor->bankMenu()->chooseEntry(1);
    editor->idle();
    EXPECT_STREQ(renderer->program().name, "Echo");
    EXPECT_NEAR(value(kMasterLevelId), 0.3, 1e-6);
    EXPECT_STREQ(editor->programMenu()->getText(), "Echo");
    EXPECT_EQ(editor->programMenu()->getNbEntries(), 2);
    EXPECT_EQ(editor->bankMenu()->getCurrent(), 1);
    EXPECT_EQ(target->getCurrent(), kTargetPitch);
    EXPECT_EQ(controller->getCurrent(), 2);

    // Next, Previous and the program menu each show the new program's envelope.
    click(644, 18);
    EXPECT_STREQ(renderer->program().name, "Fog");
    EXPECT_EQ(target->getCurrent(), kTargetAmplitude);
    EXPECT_EQ(controller->getCurrent(), 0);
    click(605, 18);
    EXPECT_STREQ(renderer->program().name, "Echo");
    EXPECT_EQ(target->getCurrent(), kTargetPitch);
    editor->programMenu()->chooseEntry(1);
    EXPECT_EQ(target->getCurrent(), kTargetAmplitude);
    EXPECT_EQ(controller->getCurrent(), 0);
}

TEST_F(EditorWindow, SplashCoversTheWindowUntilClickedAgain) {
    ASSERT_TRUE(open());
    const std::uint32_t before = frame()->getSurface()->pixel(100, 100);
    click(700, 385);
    CControl* splash = control(461);
    ASSERT_NE(splash, nullptr);
    EXPECT_GE(splash->getValue(), 0.5f);
    EXPECT_NE(frame()->getSurface()->pixel(100, 100), before);
    click(100, 100);
    EXPECT_LT(splash->getValue(), 0.5f);
    EXPECT_EQ(frame()->getSurface()->pixel(100, 100), before);
}

TEST_F(EditorWindow, KnobDragReachesTheHostAsOneGesture) {
    ASSERT_TRUE(open());
    renderer->setParameter(kMasterLevelId, 0.3);
    host.calls.clear();
    click(850, 470, kLButton, {CPoint(850, 460), CPoint(850, 450)}); // "Master Level" up 20 px
    EXPECT_NEAR(value(kMasterLevelId), 0.4, 1e-6);
    ASSERT_GE(host.calls.size(), 3u);
    EXPECT_EQ(host.calls.front(), "begin 0");
    EXPECT_EQ(host.calls.back(), "end 0");
    EXPECT_EQ(host.calls[host.calls.size() - 2], "set 0");
    // IDs beyond the host's parameters are no automation.
    host.calls.clear();
    click(860, 165, kLButton, {CPoint(860, 155)}); // VOICES
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(EditorWindow, HostChangesRedrawOnlyTheControlsShowingThem) {
    ASSERT_TRUE(open());
    // The area of the controls that show a value (scale 1: window pixels).
    auto areaOf = [&](const std::vector<long>& tags) {
        CRect all;
        for (CView* v : views())
            if (auto* c = dynamic_cast<CControl*>(v))
                for (long t : tags)
                    if (c->getTag() == t) all.unite(c->getDrawRect());
        return all;
    };
    auto shownArea = [&] {
        CRect all;
        for (const CRect& r : window->shown)
            all.unite(r);
        return all;
    };
    const long delaySync = kDelayFirstId + kDelaySyncOffset;
    const struct {
        int32_t id;
        std::vector<long> shows;
    } cases[] = {
        {kMasterLevelId, {kMasterLevelId}},
        {kDistortionId, {kDistortionId}},
        // Synced or not, the delay times read differently.
        {delaySync,
         {delaySync, kDelayFirstId + kDelayPreTimeOffset, kDelayFirstId + kDelayLeftTimeOffset,
          kDelayFirstId + kDelayRightTimeOffset}},
    };
    for (const auto& c : cases) {
        const CRect expected = areaOf(c.shows);
        ASSERT_FALSE(expected.isEmpty()) << c.id;
        renderer->setParameter(c.id, 0.9);
        editor->setParameter(c.id, 0.9f);
        EXPECT_FALSE(frame()->isDirty()) << c.id;
        const int shown = window->showCalls;
        editor->idle();
        EXPECT_EQ(window->showCalls, shown + 1) << c.id;
        EXPECT_EQ(shownArea(), expected) << c.id;
        // Nothing is left to draw.
        editor->idle();
        EXPECT_EQ(window->showCalls, shown + 1) << c.id;
    }
    // A burst of changes of one value draws it once.
    for (int i = 0; i < 100; ++i)
        editor->setParameter(kMasterLevelId, float(i) / 100.0f);
    const int shown = window->showCalls;
    editor->idle();
    EXPECT_EQ(window->showCalls, shown + 1);
    EXPECT_EQ(shownArea(), areaOf({kMasterLevelId}));
    // A number outside the host's parameters redraws the whole window.
    editor->setParameter(kHostParameterCount + 5, 0.5f);
    editor->idle();
    EXPECT_EQ(shownArea(), CRect(0, 0, CPluginEditor::kWidth, CPluginEditor::kHeight));
}

TEST_F(EditorWindow, DelayTimesDraggedLandOnTheGridWhileTheHostsAreKept) {
    ASSERT_TRUE(open());
    struct Case {
        int x, y;
        int32_t id;
        double grid;
    } cases[] = {{270, 470, 3, 64.0}, {335, 440, 4, 56.0}, {368, 440, 6, 56.0}};
    for (const Case& c : cases) {
        renderer->setParameter(c.id, 0.3); // as the host sets it: not snapped
        EXPECT_DOUBLE_EQ(value(c.id), 0.3);
        for (int dy : {2, 6, 14}) {
            click(c.x, c.y, kLButton, {CPoint(c.x, c.y - dy)});
            const double steps = value(c.id) * c.grid;
            EXPECT_NEAR(steps, std::round(steps), 1e-9) << c.id << " " << value(c.id);
        }
    }
}

TEST_F(EditorWindow, DelaySyncKeepsTheDelayLengths) {
    ASSERT_TRUE(open());
    const double t = renderer->tempo();
    const double pre = 0.3, left = 0.4, right = 0.5;
    renderer->setParameter(3, pre);
    renderer->setParameter(4, left);
    renderer->setParameter(6, right);
    renderer->setParameter(11, 0.0);
    click(230, 470); // "Delay: Sync" on
    ASSERT_GE(value(11), 0.5);
    EXPECT_NEAR(preMs(value(3), true, t), preMs(pre, false, t), 1e-6);
    EXPECT_NEAR(timeMs(value(4), true, t), timeMs(left, false, t), 1e-6);
    EXPECT_NEAR(timeMs(value(6), true, t), timeMs(right, false, t), 1e-6);
    click(230, 470); // and off again
    EXPECT_NEAR(value(3), pre, 1e-9);
    EXPECT_NEAR(value(4), left, 1e-9);
    EXPECT_NEAR(value(6), right, 1e-9);
}

TEST_F(EditorWindow, StepCellsFormTwoRowsOfSixteenInGroupsOfFour) {
    ASSERT_TRUE(open());
    for (int s = 0; s < 2; ++s) {
        const long first = s == 0 ? 249 : 288;
        const int x0 = s == 0 ? 20 : 492;
        for (int i = 0; i < 32; ++i) {
            CControl* c = control(first + i);
            ASSERT_NE(c, nullptr) << first + i;
            const CRect& r = c->getViewSize();
            EXPECT_EQ(r.top, i < 16 ? 529 : 552);
            const int column = i % 16;
            EXPECT_EQ(r.left, x0 + 26 * column + 14 * (column / 4)) << i;
            EXPECT_EQ(r.width(), 26);
        }
    }
}

TEST_F(EditorWindow, RoutingListFollowsTheEnvelopeGroupAndSelection) {
    ASSERT_TRUE(open());
    // The group selector: click in its third quarter shows envelopes 17..24.
    CControl* group = control(kEnvelopePageId);
    ASSERT_NE(group, nullptr);
    const CRect& g = group->getViewSize();
    click(g.left + g.width() * 5 / 8, g.top + 3);
    EXPECT_EQ(renderer->program().envelopePage, 2);
    // The operator selector picks the operator the spectrum bars edit.
    CControl* op = control(kSelectedOperatorId);
    ASSERT_NE(op, nullptr);
    const CRect& o = op->getViewSize();
    click(o.left + 5, o.top + o.height() * 3 / 8 + 2);
    EXPECT_EQ(renderer->program().selectedOperator, 3);
    click(651, 90, kLButton, {CPoint(651, 60)}); // the first amplitude bar, dragged above its top
    EXPECT_DOUBLE_EQ(renderer->program().operators[3].harmonicAmplitudes[0], 1.0);
    // A bar changes the program as one edit: never while a host takes the chunk.
    std::atomic<bool> held{false};
    double seen = -1.0;
    std::thread host([&] {
        std::lock_guard<std::recursive_mutex> chunk(renderer->editLock());
        held = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        seen = renderer->program().operators[3].harmonicAmplitudes[0];
    });
    while (!held)
        std::this_thread::yield();
    click(651, 90);
    host.join();
    EXPECT_DOUBLE_EQ(seen, 1.0) << "the bar changed the program under the host's chunk";
    EXPECT_LT(renderer->program().operators[3].harmonicAmplitudes[0], 1.0);
}

TEST_F(EditorWindow, CellsWithNothingToShowDrawUnlit) {
    fillRoutingAndSlots();
    for (CScale s : {CScale(1), CScale::oneAndAHalf(), CScale(2)}) {
        ASSERT_TRUE(open(s));
        // Routing rows: lit while they hold an envelope, the selected one in its own
        // frame, unlit past the last envelope.
        const int rowFrames[8] = {1, 2, 1, 0, 0, 0, 0, 0};
        for (int r = 0; r < 8; ++r) {
            const int y = 237 + 14 * r;
            EXPECT_EQ(frameShown(161, 3, CRect(488, y, 570, y + 14), CPoint(491, y + 7)),
                      rowFrames[r])
                << "row " << r << " at scale " << s.text();
        }
        // Sample slots: lit with a sample, unlit without; probed right of the name, short of
        // the clear button that covers the field's end.
        click(420, 185);
        ASSERT_EQ(editor->getLayout(), 1);
        for (int slot : {0, 1, 7}) {
            const int y = 53 + 14 * slot;
            EXPECT_EQ(frameShown(178 + slot, 2, CRect(21, y, 171, y + 14), CPoint(152, y + 7)),
                      slot == 0 ? 1 : 0)
                << "slot " << slot << " at scale " << s.text();
        }
        click(420, 185);
        editor->close();
    }
}

TEST_F(EditorWindow, CommandMenusShowTheirCaptionBeforeAndAfterACommand) {
    ASSERT_TRUE(open());
    // The spectrum, envelope list and both pattern menus: (x, y, bitmap).
    const int menus[4][3] = {{489, 53, 165}, {487, 220, 162}, {99, 503, 170}, {571, 503, 170}};
    // Every pixel inside the key's edge is the artwork's: nothing drawn over it.
    auto plainKey = [&](const int* m) {
        const CBitmap* b = editor->bitmap(m[2]);
        int differing = 0;
        for (int y = 2; y < b->getHeight() - 2; ++y)
            for (int x = 2; x < b->getWidth() - 2; ++x)
                differing += (frame()->getSurface()->pixel(m[0] + x, m[1] + y) & 0xffffff) !=
                             (b->pixels()[std::size_t(y) * b->pixelWidth() + x] & 0xffffff);
        return differing;
    };
    for (const auto& m : menus) {
        EXPECT_EQ(plainKey(m), 0) << m[2];
        // A command that opens no dialog ("Copy Spectrum", "Copy View", "Shift Left"), then
        // the key as it was: no title of the command left in it.
        click(m[0] + 5, m[1] + 4);
        COptionMenu* menu = frame()->getPopupMenu();
        ASSERT_NE(menu, nullptr) << m[2];
        frame()->closePopup();
        menu->chooseEntry(m[2] == 165 ? 0 : m[2] == 162 ? 6 : 5);
        editor->idle();
        EXPECT_EQ(plainKey(m), 0) << m[2];
    }
}

TEST_F(EditorWindow, ScreenshotsAtEveryScale) {
    fillRoutingAndSlots();
    for (CScale s : {CScale(1), CScale::oneAndAHalf(), CScale(2)}) {
        ASSERT_TRUE(open(s));
        EXPECT_EQ(frame()->getSurface()->width(), int(970 * s.factor()));
        EXPECT_EQ(frame()->getSurface()->height(), int(600 * s.factor()));
        shot(("editor-default-" + std::string(s.text()) + "x.png").c_str());
        click(420, 185);
        editor->idle();
        shot(("editor-sampler-" + std::string(s.text()) + "x.png").c_str());
        click(420, 185);
        // The envelope target menu's pop-up, drawn by the window itself.
        click(editorlayout::kTargetMenu.x + 5, editorlayout::kTargetMenu.y + 4);
        EXPECT_NE(frame()->getPopupMenu(), nullptr);
        shot(("editor-menu-" + std::string(s.text()) + "x.png").c_str());
        frame()->closePopup();
        editor->close();
    }
}

// At 1.5 the window is 1455 × 900 and the host is told so; a click and a
// drag reach the same control with the same result as at scale 1, also
// from the last surface pixel of a window pixel.
TEST_F(EditorWindow, AtOneAndAHalfClicksAndDragsLandAsAtOne) {
    ERect* rect = nullptr;
    double level[2] = {};
    int layout[2] = {};
    const CScale scales[2] = {CScale(1), CScale::oneAndAHalf()};
    for (int i = 0; i < 2; ++i) {
        const CScale s = scales[i];
        ASSERT_TRUE(open(s));
        ASSERT_TRUE(editor->getRect(&rect));
        EXPECT_EQ(rect->right - rect->left, i == 0 ? 970 : 1455);
        EXPECT_EQ(rect->bottom - rect->top, i == 0 ? 600 : 900);
        // The master level knob dragged up 30 pixels.
        renderer->setParameter(kMasterLevelId, 0.2f);
        editor->idle();
        const editorlayout::Placement& master = editorlayout::kMasterControls[0];
        const CPoint knob(master.x + 11, master.y + 11);
        click(knob.h, knob.v, kLButton, {CPoint(knob.h, knob.v - 15), CPoint(knob.h, knob.v - 30)});
        level[i] = value(kMasterLevelId);
        // The layout key pressed at its right edge: the surface pixel
        // furthest right that still belongs to its last window column.
        const int right = editorlayout::kLayoutButton.x + 59;
        const int before = editor->getLayout();
        window->mouseDown(CPoint(s.toSurface(right + 1) - 1, s.toSurface(185)), kLButton);
        editor->idle();
        layout[i] = editor->getLayout() != before;
        editor->close();
    }
    EXPECT_NE(level[0], 0.2f) << "the drag moved the knob";
    EXPECT_EQ(level[1], level[0]);
    EXPECT_EQ(layout[0], 1) << "the press switched the layout";
    EXPECT_EQ(layout[1], 1);
}

TEST_F(EditorWindow, QualityMenuSwitchesTheInstanceAndKeepsTheSetting) {
    ASSERT_TRUE(open());
    ASSERT_NE(editor->qualityMenu(), nullptr);
    EXPECT_EQ(editor->qualityMenu()->getCurrent(), 0);
    auto choose = [&](int entry) {
        click(editorlayout::kQualityMenu.x + 5, editorlayout::kTopMenuY + 4);
        COptionMenu* menu = frame()->getPopupMenu();
        ASSERT_EQ(menu, editor->qualityMenu());
        frame()->closePopup();
        menu->chooseEntry(entry);
        editor->idle();
    };
    choose(CPluginEditor::kHighQualityEntry);
    EXPECT_EQ(renderer->quality(), CSoundRenderer::kHighQuality);
    EXPECT_EQ(platform.quality, "2");
    EXPECT_TRUE(platform.errors.empty());
    EXPECT_EQ(CPluginFile(platform).qualitySetting(), CPluginFile::kHighQuality);
    shot("editor-quality-1x.png");

    // A setting that cannot be kept: the instance still switches, and says so.
    platform.qualityStorable = false;
    choose(0);
    EXPECT_EQ(renderer->quality(), CSoundRenderer::kPlainQuality);
    EXPECT_EQ(editor->qualityMenu()->getCurrent(), 0);
    EXPECT_EQ(platform.quality, "2");
    ASSERT_EQ(platform.errors.size(), 1u);
    EXPECT_NE(platform.errors[0].find("could not be saved"), std::string::npos);

    // A new window shows the instance's quality.
    editor->close();
    renderer->setQuality(CSoundRenderer::kHighQuality);
    ASSERT_TRUE(open(2));
    EXPECT_EQ(editor->qualityMenu()->getCurrent(), CPluginEditor::kHighQualityEntry);
    shot("editor-quality-2x.png");
}

TEST_F(EditorWindow, RefusedWindowOrMissingRendererLeavesNothingOpen) {
    auto w = std::make_unique<CHeadlessWindow>();
    w->refuseOpen = true;
    static int parent;
    EXPECT_FALSE(editor->openWith(&parent, std::move(w), 1));
    EXPECT_FALSE(editor->isOpen());
    EXPECT_EQ(editor->bitmap(120), nullptr);
    EXPECT_FALSE(editor->open(nullptr));
    CPluginEditor none(nullptr, nullptr);
    EXPECT_FALSE(none.openWith(&parent, std::make_unique<CHeadlessWindow>(), 1));
}

TEST_F(EditorWindow, FileControlsCallTheCommandEntryOncePerClick) {
    struct Recorder : IEditorCommands {
        std::vector<long> tags;
        void runCommand(CPluginEditor&, long tag) override { tags.push_back(tag); }
        void menuChosen(CPluginEditor&, EditorMenu, int) override {}
        void fileDropped(CPluginEditor&, const char*, const qgui::CPoint&) override {}
    } commands;
    editor = std::make_unique<CPluginEditor>(nullptr, renderer.get(), &commands);
    ASSERT_TRUE(open());
    click(626, 18);                                            // load program
    click(663, 18);                                            // save program
    click(800, 20);                                            // microtuning field
    click(420, 185);                                           // the sampler layout
    click(60, 60, kLButton, {CPoint(60, 40), CPoint(60, 20)}); // slot 1's name, dragged
    click(165, 74);                                            // slot 2's clear button
    EXPECT_EQ(commands.tags, (std::vector<long>{454, 455, 460, 330, 339}));
}

TEST_F(EditorWindow, TuningNumberDragsInFineStepsAndShowsCents) {
    ASSERT_TRUE(open());
    char text[32];
    ASSERT_TRUE(editor->getTagText(kFineTuneId, text, sizeof text));
    EXPECT_STREQ(text, "0");
    click(905, 20, kLButton, {CPoint(905, 10), CPoint(905, 0)}); // up 20 pixels: ten steps
    EXPECT_NEAR(value(kFineTuneId), 0.55, 1e-9);
    editor->getTagText(kFineTuneId, text, sizeof text);
    EXPECT_STREQ(text, "10");
    click(905, 20, kRButton); // back to no detuning
    EXPECT_DOUBLE_EQ(value(kFineTuneId), 0.5);
}

TEST_F(EditorWindow, EnvelopeEditorEditsTheSelectedRecordAndThePointDisplayFollows) {
    CProgram& program = renderer->program();
    program.envelopeCount = 2;
    ASSERT_TRUE(open());
    click(490, 252); // the second row's name selects envelope 2
    ASSERT_EQ(program.selectedEnvelope, 1);
    CEnvelopeCtrl* ctrl = nullptr;
    for (CView* v : views())
        if (auto* c = dynamic_cast<CEnvelopeCtrl*>(v)) ctrl = c;
    ASSERT_NE(ctrl, nullptr);
    EXPECT_EQ(ctrl->getViewSize(), CRect(19, 235, 19 + 453, 235 + 130));

    CEnvelope& e = program.envelopes[1];
    const int before = e.pointCount;
    const EnvelopePlot p = ctrl->plot();
    const int x = (p.x(e.endTime(0)) + p.x(e.endTime(1))) / 2;
    click(x, p.y(0.75), kRButton);
    ASSERT_EQ(e.pointCount, before + 1);
    EXPECT_EQ(program.envelopes[0].pointCount, before) << "only the selected envelope changes";
    char shown[64], expected[64];
    ASSERT_TRUE(editor->getTagText(kPointTextId, shown, sizeof shown));
    e.pointText(expected, sizeof expected, '.');
    EXPECT_STREQ(shown, expected);
    EXPECT_EQ(std::string(shown).substr(0, 8), "Lev 0.75");

    // The curve selector shows the key curve, which the same clicks edit.
    program.envelopeView = kViewKeyCurve;
    const int keyPoints = program.keyCurves[1].pointCount;
    click(p.left() + 200, p.y(0.5), kRButton);
    EXPECT_EQ(program.keyCurves[1].pointCount, keyPoints + 1);
    EXPECT_EQ(e.pointCount, before + 1);
}

TEST_F(EditorWindow, RoutingListShowsEachTargetKindsDestinations) {
    CProgram& program = renderer->program();
    program.envelopeCount = 2;
    program.envelopes[1].targetKind = kTargetCutoff;
    program.envelopes[1].setDepth(kEnvelopeFilterDestination, 0.5);
    ASSERT_TRUE(open());
    const long row1 = kEnvelopeRowFirstId + kEnvelopeRowIdStride;
    const long row2 = row1 + kEnvelopeRowIdStride;
    const std::pair<long, const char*> cells[] = {
        {kEnvelopeRowFirstId, "1. Amplitude"},
        {kEnvelopeRowFirstId + 1, "zero"},        // OSC 1 of an amplitude envelope
        {kEnvelopeRowFirstId + 9, "n/a"},         // FILT 1 of an amplitude envelope
        {kEnvelopeSampleDepthFirstId, "zero"},    // SAMP
        {row1, "2. Cutoff   "},                   // the short label, padded
        {row1 + 1, "n/a"},                        // a cutoff envelope reaches no oscillator
        {row1 + 9, "0.50"},                       // FILT 1
        {row1 + 10, "zero"},                      // FILT 2
        {kEnvelopeSampleDepthFirstId + 1, "n/a"}, // nor the sample layer
        {row2, ""},                               // past the last envelope
        {row2 + 1, "n/a"},
    };
    for (auto [tag, text] : cells) {
        char shown[64];
        editor->getTagText(tag, shown, sizeof shown);
        EXPECT_STREQ(shown, text) << tag;
    }
}

// While the window is open, a MIDI program change goes the program menu's way
// on the window's thread: the program loads and the menus show it.
TEST_F(EditorWindow, ProgramChangeChoosesAsTheProgramMenuDoes) {
    ASSERT_TRUE(open());
    const uint8_t change[4] = {0xc5, 2, 0, 0};
    renderer->queueMidiEvent(change, 0);
    editor->idle();
    char name[64] = {};
    renderer->getProgramName(name, sizeof name);
    EXPECT_STREQ(name, "Gamma");
    EXPECT_EQ(editor->programMenu()->getCurrent(), 2);
    EXPECT_NEAR(value(kMasterLevelId), 0.6, 1e-9);
    // Past the bank's end: nothing changes.
    const uint8_t past[4] = {0xc0, 3, 0, 0};
    renderer->queueMidiEvent(past, 0);
    editor->idle();
    renderer->getProgramName(name, sizeof name);
    EXPECT_STREQ(name, "Gamma");
}
