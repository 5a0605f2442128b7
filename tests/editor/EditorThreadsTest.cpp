// The editor under a host that misbehaves with its threads: the window
// closed in the middle of a drag (from the window's own thread, as a host
// does from a message it handles during the drag, or from another thread),
// a host that stops calling idle in the middle of a drag, and idle and
// setParameter from other threads. With the sanitizers, a frame deleted under
// a running control shows as a use after free.
#include "base/ValueIds.h"
#include "editor/CPluginEditor.h"
#include "editor/EditorLayout.h"
#include "engine/CSoundRenderer.h"
#include "engine/IRendererHost.h"
#include "gui/CFrame.h"
#include "gui/CHeadlessWindow.h"
#include "gui/MouseButtons.h"
#include "patch/CPluginFile.h"
#include "support/ScriptedPlatform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace qgui;

namespace {

// A headless window that runs an action as it reads the drag's second move
// and tells when it is deleted.
class InterruptedWindow : public CHeadlessWindow {
public:
    InterruptedWindow(std::function<void()> a, bool& alive) : action(std::move(a)), alive(alive) {
        alive = true;
    }
    ~InterruptedWindow() override { alive = false; }
    void currentMouse(CPoint& where, long& buttons) override {
        if (++queries == 2 && action) action();
        CHeadlessWindow::currentMouse(where, buttons);
    }

private:
    std::function<void()> action;
    bool& alive;
    int queries = 0;
};

// The host's begin and end of edits, from whatever thread.
struct GestureHost : IRendererHost {
    std::mutex lock;
    std::vector<std::string> calls;
    std::function<void()> onBegin; // the host acts as it hears of an edit
    void announceValue(int32_t, float) override {}
    void beginValueEdit(int32_t id) override {
        record("begin " + std::to_string(id));
        if (onBegin) std::exchange(onBegin, nullptr)();
    }
    void endValueEdit(int32_t id) override { record("end " + std::to_string(id)); }
    bool hostTempo(double&) override { return false; }
    void record(std::string call) {
        std::lock_guard<std::mutex> guard(lock);
        calls.push_back(std::move(call));
    }
    std::vector<std::string> take() {
        std::lock_guard<std::mutex> guard(lock);
        return std::exchange(calls, {});
    }
};

struct EditorThreads : ::testing::Test {
    ScriptedPlatform platform;
    CPluginFile settings{platform};
    GestureHost host;
    std::unique_ptr<CSoundRenderer> renderer;
    std::unique_ptr<CPluginEditor> editor;
    int parent = 0;

    void SetUp() override {
        settings.init();
        renderer = std::make_unique<CSoundRenderer>(&settings, &host);
        editor = std::make_unique<CPluginEditor>(nullptr, renderer.get());
    }
};

const std::vector<std::string> kMasterGesture{"begin 0", "end 0"};

TEST_F(EditorThreads, WindowClosedDuringADragIsDeletedWhenTheDragIsDone) {
    const editorlayout::Placement& knob = editorlayout::kMasterControls[0];
    const CPoint at(knob.x + 10, knob.y + 10);
    struct Case {
        const char* who;
        bool otherThread;
        // The knob moves 2 pixels per step of 0.01; the drag goes up 4 pixels
        // per move. Closed on its own thread as the second move comes, the
        // window ends the drag at once; closed from another thread, it goes
        // when its own thread next handles its events, after this drag.
        double change;
    } cases[] = {{"the window's thread", false, 0.02}, {"another thread", true, 0.08}};
    for (const Case& c : cases) {
        bool alive = false;
        auto close = [&] {
            if (c.otherThread)
                std::thread([&] { editor->close(); }).join();
            else
                editor->close();
        };
        auto window = std::make_unique<InterruptedWindow>(close, alive);
        InterruptedWindow& w = *window;
        ASSERT_TRUE(editor->openWith(&parent, std::move(window), 1)) << c.who;
        editor->idle();
        renderer->setParameter(kMasterLevelId, 0.3);
        w.mouseDown(at, kLButton);
        for (int i = 1; i <= 4; ++i)
            w.dragTo(CPoint(at.h, at.v - 4 * i), kLButton);
        editor->idle();
        EXPECT_FALSE(editor->isOpen()) << c.who;
        EXPECT_FALSE(alive) << c.who << ": the frame and its window are deleted after the drag";
        EXPECT_NEAR(renderer->getParameter(kMasterLevelId), 0.3 + c.change, 1e-9) << c.who;
        EXPECT_EQ(host.take(), kMasterGesture) << c.who;
        // The editor opens again as new.
        ASSERT_TRUE(editor->openWith(&parent, std::make_unique<CHeadlessWindow>(), 1)) << c.who;
        editor->idle();
        editor->close();
    }
}

TEST_F(EditorThreads, APressWithoutItsReleaseEndsItsEditWhenTheWindowGoes) {
    const editorlayout::Placement& knob = editorlayout::kMasterControls[0];
    const CPoint at(knob.x + 10, knob.y + 10);
    // A host that stops calling idle in the middle of a drag: the press and a
    // move were handled, the release never comes. Closing the window, from
    // its own thread or another, ends the edit; the host's value stays where
    // the drag left it.
    for (bool otherThread : {false, true}) {
        auto window = std::make_unique<CHeadlessWindow>();
        CHeadlessWindow& w = *window;
        ASSERT_TRUE(editor->openWith(&parent, std::move(window), 1));
        editor->idle();
        renderer->setParameter(kMasterLevelId, 0.3);
        CFrame* frame = editor->getFrame();
        frame->onMouseDown(at, kLButton);
        frame->onMouseMoved(CPoint(at.h, at.v - 10), kLButton);
        EXPECT_EQ(host.take(), std::vector<std::string>{"begin 0"});
        // Automation meanwhile only notes the change.
        std::thread([&] { editor->setParameter(kMasterLevelId, 0.9f); }).join();
        if (otherThread) {
            std::thread([&] { editor->close(); }).join();
            EXPECT_FALSE(editor->isOpen());
            // The window's thread finds the request with its next idle.
            w.mouseMove(CPoint(at.h, at.v - 30), kLButton);
            editor->idle();
        } else {
            editor->close();
        }
        EXPECT_EQ(host.take(), std::vector<std::string>{"end 0"}) << otherThread;
        EXPECT_NEAR(renderer->getParameter(kMasterLevelId), 0.35, 1e-9) << otherThread;
    }
    // A host that closes the editor as it hears of the edit a press begins:
    // the knob's drag never starts, and its edit ends.
    {
        auto window = std::make_unique<CHeadlessWindow>();
        CHeadlessWindow& w = *window;
        ASSERT_TRUE(editor->openWith(&parent, std::move(window), 1));
        editor->idle();
        host.onBegin = [&] { editor->close(); };
        w.mouseDown(at, kLButton);
        w.dragTo(CPoint(at.h, at.v - 10), kLButton);
        editor->idle();
        EXPECT_FALSE(editor->isOpen());
        EXPECT_EQ(host.take(), kMasterGesture);
    }
    // The system taking the mouse away ends the edit as well; the window stays.
    auto window = std::make_unique<CHeadlessWindow>();
    CHeadlessWindow& w = *window;
    ASSERT_TRUE(editor->openWith(&parent, std::move(window), 1));
    editor->idle();
    w.mouseDown(at, kLButton);
    w.dragTo(CPoint(at.h, at.v - 4), kLButton);
    w.cancel();
    editor->idle();
    EXPECT_EQ(host.take(), kMasterGesture);
    EXPECT_EQ(editor->getFrame()->getMouseView(), nullptr);
    EXPECT_TRUE(editor->isOpen());
    editor->close();
}

TEST_F(EditorThreads, IdleAndParametersFromOtherThreadsLeaveTheWindowToItsThread) {
    auto window = std::make_unique<CHeadlessWindow>();
    CHeadlessWindow& w = *window;
    ASSERT_TRUE(editor->openWith(&parent, std::move(window), 1));
    editor->idle();
    const int shown = w.showCalls;
    // Another thread's idle draws nothing, even with the window dirty.
    std::thread([&] {
        editor->setParameter(kMasterLevelId, 0.7f);
        editor->idle();
    }).join();
    EXPECT_EQ(w.showCalls, shown);
    editor->idle();
    EXPECT_EQ(w.showCalls, shown + 1);
    editor->close();

    // Parameters arriving from another thread while the window opens and
    // closes again and again.
    std::atomic<bool> done{false};
    std::thread automation([&] {
        while (!done)
            editor->setParameter(kMasterLevelId, 0.5f);
    });
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(editor->openWith(&parent, std::make_unique<CHeadlessWindow>(), 1)) << i;
        editor->idle();
        editor->close();
    }
    done = true;
    automation.join();
}

} // namespace
