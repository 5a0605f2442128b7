// The editor in a real X server (Xvfb, started here): a host-like program
// makes a top-level window, opens the editor in it through the plug-in's
// entry point and keeps idling it while xdotool, a separate process, clicks
// and drags with the real pointer. Skipped, with a message, where Xvfb or
// xdotool cannot run.
#include "editor/CPluginEditor.h"
#include "engine/CSoundRenderer.h"
#include "gui/CFrame.h"
#include "gui/CHeadlessWindow.h"
#include "host/VstTestHost.h"
#include "patch/CPluginFile.h"
#include "support/ScriptedPlatform.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>
// After gtest: Xlib's macros (None, Bool) would break its headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

pid_t startProcess(const std::vector<std::string>& args) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

class EditorX11 : public ::testing::Test {
protected:
    static std::unique_ptr<XvfbServer> server;
    static std::string display;

    static void SetUpTestSuite() {
        server = std::make_unique<XvfbServer>("2048x1280x24");
        display = server->display();
        setenv("QUELLOR_SCALE", "1", 1);
    }
    static void TearDownTestSuite() { server.reset(); }

    void SetUp() override {
        if (display.empty()) GTEST_SKIP() << "Xvfb could not start here; the window is not tested";
        if (std::system("xdotool version >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "xdotool is not installed; real clicks are not tested";
        x = XOpenDisplay(display.c_str());
        ASSERT_NE(x, nullptr);
        top = XCreateSimpleWindow(x, DefaultRootWindow(x), 0, 0, 1940, 1200, 0, 0, 0);
        XMapWindow(x, top);
        XSync(x, False);
        ASSERT_NE(host.open(), nullptr);
        host.start();
    }
    void TearDown() override {
        if (!x) return;
        host.close();
        XDestroyWindow(x, top);
        XCloseDisplay(x);
    }

    // Runs xdotool with args while the host idles the editor, as a host's UI loop does.
    void xdotoolWhileIdling(std::vector<std::string> args) {
        args.insert(args.begin(), "xdotool");
        const pid_t tool = startProcess(args);
        ASSERT_GT(tool, 0);
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (waitpid(tool, &status, WNOHANG) == 0 &&
               std::chrono::steady_clock::now() < deadline) {
            host.dispatch(effEditIdle);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        for (int i = 0; i < 20; ++i) {
            host.dispatch(effEditIdle);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    Display* x = nullptr;
    Window top = 0;
    VstTestHost host;
};

// A user may open and close the window this often in one session.
constexpr int kOpenCloseRounds = 100;

std::unique_ptr<XvfbServer> EditorX11::server;
std::string EditorX11::display;

} // namespace

TEST_F(EditorX11, RealClicksAndDragsEditTheProgramAtBothScales) {
    void* parent = reinterpret_cast<void*>(std::uintptr_t(top));
    for (int scale : {1, 2}) {
        setenv("QUELLOR_SCALE", scale == 2 ? "2" : "1", 1);
        // Window coordinates as the screen has them at this scale.
        auto at = [scale](int v) { return std::to_string(v * scale); };
        ASSERT_EQ(host.dispatch(effEditOpen, 0, 0, parent), 1);
        host.setParameter(0, 0.3f);  // "Master Level"
        host.setParameter(19, 0.0f); // "Chorus: Enable"
        for (int i = 0; i < 20; ++i)
            host.dispatch(effEditIdle);
        xdotoolWhileIdling({"mousemove", "--sync", at(40), at(426), "sleep", "0.2", "click", "1"});
        EXPECT_EQ(host.effect()->getParameter(host.effect(), 19), 1.0f) << scale;

        // Up 20 window pixels: ten steps of 0.01.
        xdotoolWhileIdling({"mousemove", "--sync", at(852),     at(473),  "mousedown", "1",
                            "sleep",     "0.2",    "mousemove", "--sync", at(852),     at(463),
                            "sleep",     "0.2",    "mousemove", "--sync", at(852),     at(453),
                            "sleep",     "0.2",    "mouseup",   "1"});
        EXPECT_NEAR(host.effect()->getParameter(host.effect(), 0), 0.4f, 1e-5) << scale;
        host.dispatch(effEditClose);
    }
    setenv("QUELLOR_SCALE", "1", 1);
}

TEST_F(EditorX11, OpenAndCloseAHundredTimes) {
    void* parent = reinterpret_cast<void*>(std::uintptr_t(top));
    for (int i = 0; i < kOpenCloseRounds; ++i) {
        ASSERT_EQ(host.dispatch(effEditOpen, 0, 0, parent), 1) << i;
        host.dispatch(effEditIdle);
        host.dispatch(effEditClose);
    }
    // No stray window is left under the host's.
    Window root, parentOut, *children = nullptr;
    unsigned count = 0;
    XQueryTree(x, top, &root, &parentOut, &children, &count);
    if (children) XFree(children);
    EXPECT_EQ(count, 0u);
}

TEST_F(EditorX11, RealWindowShowsWhatTheHeadlessWindowDrawsAtBothScales) {
    void* parent = reinterpret_cast<void*>(std::uintptr_t(top));
    for (int scale : {1, 2}) {
        setenv("QUELLOR_SCALE", scale == 2 ? "2" : "1", 1);
        ASSERT_EQ(host.dispatch(effEditOpen, 0, 0, parent), 1);
        for (int i = 0; i < 10; ++i)
            host.dispatch(effEditIdle);

        // The same default program in an editor of our own, drawn offscreen.
        ScriptedPlatform platform;
        CPluginFile settings(platform);
        settings.init();
        CSoundRenderer renderer(&settings, nullptr);
        CPluginEditor editor(nullptr, &renderer);
        static int headlessParent;
        ASSERT_TRUE(
            editor.openWith(&headlessParent, std::make_unique<VSTGUI::CHeadlessWindow>(), scale));
        editor.idle();
        const VSTGUI::CSurface& s = *editor.getFrame()->getSurface();

        Window root, parentOut, *children = nullptr;
        unsigned count = 0;
        XQueryTree(x, top, &root, &parentOut, &children, &count);
        ASSERT_EQ(count, 1u);
        const Window child = children[0];
        XFree(children);
        int differing = -1;
        for (int attempt = 0; attempt < 100 && differing != 0; ++attempt) {
            host.dispatch(effEditIdle);
            XImage* image = XGetImage(x, child, 0, 0, unsigned(s.width()), unsigned(s.height()),
                                      AllPlanes, ZPixmap);
            ASSERT_NE(image, nullptr);
            differing = 0;
            for (int py = 0; py < s.height(); ++py)
                for (int px = 0; px < s.width(); ++px)
                    differing +=
                        (XGetPixel(image, px, py) & 0xffffff) != (s.pixel(px, py) & 0xffffff);
            XDestroyImage(image);
            if (differing) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_EQ(differing, 0) << scale;
        host.dispatch(effEditClose);
    }
    setenv("QUELLOR_SCALE", "1", 1);
}
