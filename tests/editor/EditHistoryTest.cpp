// Undo and redo in the whole window on a headless surface: every kind of
// gesture as one step, back to the first program byte for byte and forward
// again, the history's memory bound, and what stays out of it.
#include "base/ValueIds.h"
#include "editor/CEditHistory.h"
#include "editor/CMenuCtrl.h"
#include "editor/CPluginEditor.h"
#include "editor/HeadlessEditor.h"
#include "engine/CSoundRenderer.h"
#include "gui/CControl.h"
#include "gui/CFrame.h"
#include "gui/CHeadlessWindow.h"
#include "gui/COptionMenu.h"
#include "gui/MouseButtons.h"
#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "patch/PatchFiles.h"
#include "support/ScriptedPlatform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace qgui;
namespace fs = std::filesystem;

namespace {

constexpr long kChorusTimeId = kChorusFirstId + kChorusTimeOffset;
constexpr long kChorusEnableId = kChorusFirstId + kChorusEnableOffset;
const CPoint kChorusTimeKnob{32, 472}, kChorusEnableButton{30, 422}, kRoutingMenu{487, 220},
    kEnvelopePlot{60, 300}, kAmplitudeBars{700, 90};
constexpr int kAddEnvelopeEntry = 0;

struct EditHistory : ::testing::Test, HeadlessEditor {
    void SetUp() override {
        makeRoot("quellor-history");
        const fs::path bank = root / "QuellorData/Banks/Keys";
        fs::create_directories(bank);
        {
            CPluginFile writer(platform);
            CProgram alpha, beta;
            alpha.setValue(kMasterLevelId, 0.2);
            beta.setValue(kMasterLevelId, 0.7);
            beta.addEnvelope();
            ASSERT_TRUE(saveProgramFile(alpha, (bank / "Alpha.qxlprg").c_str(), writer));
            ASSERT_TRUE(saveProgramFile(beta, (bank / "Beta.qxlprg").c_str(), writer));
            CProgram shaped;
            shaped.currentEnvelope().points[1].level = 0.25;
            ASSERT_TRUE(saveEnvelopeFile(shaped, (root / "Shaped.qxlenv").c_str(), writer));
        }
        start(nullptr);
        ASSERT_TRUE(open());
    }
    void TearDown() override { finish(); }
    void click(CPoint at, long buttons = kLButton, std::vector<CPoint> path = {}) {
        window->mouseDown(at, buttons);
        for (const CPoint& p : path)
            window->dragTo(p, buttons);
        editor->idle();
    }
    void key(long character, long modifiers) {
        window->key(character, modifiers);
        editor->idle();
    }
    COptionMenu* menuAt(CPoint at) {
        CFrame* f = editor->getFrame();
        for (int i = 0; i < f->getNbViews(); ++i) {
            auto* m = dynamic_cast<COptionMenu*>(f->getView(i));
            if (m && m->getViewSize().left == at.h && m->getViewSize().top == at.v) return m;
        }
        return nullptr;
    }
    std::string chunk() {
        void* data = nullptr;
        const int32_t n = renderer->getChunk(&data);
        return std::string(static_cast<const char*>(data), size_t(n));
    }
    void renderBlock() {
        float left[64], right[64];
        float* out[2] = {left, right};
        renderer->processBlock(out, 64, true);
    }
    double value(int32_t id) { return renderer->getParameter(id); }
};

// Where two chunks first differ ("same" when they do not), for a short message.
std::string firstDifference(const std::string& a, const std::string& b) {
    if (a == b) return "same";
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i])
        ++i;
    std::string hex;
    for (size_t k = i > 16 ? i - 16 : 0; k < i + 16 && k < a.size() && k < b.size(); ++k) {
        char t[16];
        std::snprintf(t, sizeof t, " %02x/%02x", (unsigned char)a[k], (unsigned char)b[k]);
        hex += t;
    }
    return hex + " differ from byte " + std::to_string(i) + " (sizes " + std::to_string(a.size()) +
           ", " + std::to_string(b.size()) + ")";
}

} // namespace

TEST_F(EditHistory, EveryGestureIsOneStepAndUndoingAllOfThemRestoresTheProgramByteForByte) {
    const std::string start = chunk();
    const size_t startEnvelopes = size_t(renderer->program().envelopeCount);
    const double startLevel = value(kMasterLevelId);
    // One of each kind of gesture, each a step of its own.
    const std::vector<std::pair<const char*, std::function<void()>>> gestures = {
        {"knob drag",
         [&] {
             click(kChorusTimeKnob, kLButton, {{32, 466}, {32, 460}, {32, 450}});
         }},
        {"button click", [&] { click(kChorusEnableButton); }},
        {"routing menu command",
         [&] {
             menuAt(kRoutingMenu)->chooseEntry(kAddEnvelopeEntry);
             editor->idle();
         }},
        {"envelope point added", [&] { click(kEnvelopePlot, kRButton); }},
        {"spectrum bar drag",
         [&] {
             click(kAmplitudeBars, kLButton, {{710, 100}, {720, 110}});
         }},
        {"dropped side file",
         [&] {
             editor->filesDropped({(root / "Shaped.qxlenv").string()}, CPoint(300, 300));
             editor->idle();
         }},
        {"program chosen",
         [&] {
             editor->programMenu()->chooseEntry(1);
             editor->idle();
         }},
        {"knob after the load",
         [&] {
             click(kChorusTimeKnob, kLButton, {{32, 440}});
         }},
    };
    std::vector<std::string> after;
    for (const auto& [name, gesture] : gestures) {
        const size_t before = editor->history().stepCount();
        gesture();
        EXPECT_EQ(editor->history().stepCount(), before + 1) << name;
        after.push_back(chunk());
        EXPECT_NE(firstDifference(after.back(), after.size() > 1 ? after[after.size() - 2] : start),
                  "same")
            << name;
    }

    for (size_t i = gestures.size(); i-- > 0;) {
        ASSERT_TRUE(editor->undo()) << gestures[i].first;
        EXPECT_EQ(firstDifference(chunk(), i > 0 ? after[i - 1] : start), "same")
            << "undoing " << gestures[i].first;
    }
    EXPECT_FALSE(editor->undo());
    // The envelopes reach the sound as the undone edits left them.
    renderBlock();
    EXPECT_EQ(size_t(renderer->playingEnvelopes().count()), startEnvelopes);
    EXPECT_DOUBLE_EQ(value(kMasterLevelId), startLevel);
    // The sound took the value the undo restored, as if the window had set it.
    EXPECT_FLOAT_EQ(renderer->master().masterLevel(), float(startLevel * startLevel * 2.0));

    for (size_t i = 0; i < gestures.size(); ++i) {
        ASSERT_TRUE(editor->redo()) << gestures[i].first;
        EXPECT_EQ(firstDifference(chunk(), after[i]), "same") << "redoing " << gestures[i].first;
    }
    EXPECT_FALSE(editor->redo());
    renderBlock();
    EXPECT_EQ(renderer->playingEnvelopes().count(), renderer->program().envelopeCount);
}

TEST_F(EditHistory, KeysUndoAndRedoAndANewGestureEndsTheWayForward) {
    const double start = value(kChorusTimeId);
    click(kChorusTimeKnob, kLButton, {{32, 450}});
    const double dragged = value(kChorusTimeId);
    ASSERT_NE(dragged, start);
    const long kControlZ = 'z' - 'a' + 1; // as X11 and Windows report it with Control held
    key(kControlZ, kControl);
    EXPECT_EQ(value(kChorusTimeId), start);
    key(kControlZ, kControl | kShift);
    EXPECT_EQ(value(kChorusTimeId), dragged);
    key('z', kControl);
    EXPECT_EQ(value(kChorusTimeId), start);
    key('y', kControl);
    EXPECT_EQ(value(kChorusTimeId), dragged);
    key('z', 0); // without Control: nothing
    EXPECT_EQ(value(kChorusTimeId), dragged);

    key(kControlZ, kControl);
    click(kChorusEnableButton);
    EXPECT_FALSE(editor->history().canRedo());
    EXPECT_FALSE(editor->redo());
    EXPECT_EQ(value(kChorusTimeId), start);
}

TEST_F(EditHistory, HostAutomationStaysOutAndAHostProgramLoadStartsAgain) {
    click(kChorusTimeKnob, kLButton, {{32, 450}});
    ASSERT_EQ(editor->history().stepCount(), 1u);
    // The host moves a parameter: not a step, and an undo leaves it alone.
    renderer->setParameter(kMasterLevelId, 0.9);
    editor->setParameter(kMasterLevelId, 0.9f);
    editor->idle();
    EXPECT_EQ(editor->history().stepCount(), 1u);
    ASSERT_TRUE(editor->undo());
    EXPECT_DOUBLE_EQ(value(kMasterLevelId), 0.9);

    ASSERT_TRUE(editor->redo());
    const std::string loaded = chunk();
    ASSERT_EQ(renderer->setChunk(loaded.data(), int32_t(loaded.size())), 1);
    editor->idle();
    EXPECT_EQ(editor->history().stepCount(), 0u);
    EXPECT_FALSE(editor->undo());
}

TEST_F(EditHistory, SurvivesClosingAndReopeningTheWindow) {
    const double start = value(kChorusTimeId);
    click(kChorusTimeKnob, kLButton, {{32, 450}});
    editor->close();
    ASSERT_TRUE(open());
    ASSERT_TRUE(editor->undo());
    EXPECT_EQ(value(kChorusTimeId), start);
}

TEST_F(EditHistory, ThousandsOfEditsStayWithinTheMemoryBound) {
    CControl* knob = nullptr;
    CFrame* f = editor->getFrame();
    for (int i = 0; i < f->getNbViews() && !knob; ++i)
        if (auto* c = dynamic_cast<CControl*>(f->getView(i)); c && c->getTag() == kChorusTimeId)
            knob = c;
    ASSERT_NE(knob, nullptr);
    constexpr int kEdits = 12000;
    for (int i = 1; i <= kEdits; ++i) {
        editor->controlBeginEdit(knob);
        editor->setTagValue(kChorusTimeId, (i % 1000) / 1000.0);
        editor->controlEndEdit(knob);
        ASSERT_LE(editor->history().memoryUsed(), CEditHistory::kMemoryBound);
    }
    const size_t kept = editor->history().stepCount();
    EXPECT_GT(kept, 1000u);
    EXPECT_LT(kept, size_t(kEdits));
    std::printf("%zu knob steps kept in %zu KB\n", kept, editor->history().memoryUsed() / 1024);
    // The oldest step kept goes back to the value before it.
    while (editor->undo()) {
    }
    EXPECT_DOUBLE_EQ(value(kChorusTimeId), ((kEdits - int(kept)) % 1000) / 1000.0);
}
