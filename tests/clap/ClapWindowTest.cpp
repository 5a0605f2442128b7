// Quellor.clap's window in a real X server (Xvfb), embedded in a window of
// the test host's and idled by the host's timer: the host's scale, refusals
// of what the window cannot do, pictures at every scale, and a knob dragged
// with xdotool reaching the host as one gesture with its values.
#include "clap/ClapTestHost.h"
#include "gui/CSurface.h"
#include "gui/PngCodec.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

namespace {

constexpr uint32_t kWidth = 970;
constexpr uint32_t kHeight = 600;

class ClapWindow : public testing::Test {
protected:
    static std::unique_ptr<XvfbServer> server;

    static void SetUpTestSuite() { server = std::make_unique<XvfbServer>("2048x1280x24"); }
    static void TearDownTestSuite() { server.reset(); }

    void SetUp() override {
        if (server->display().empty())
            GTEST_SKIP() << "Xvfb could not start here; the CLAP window is not tested";
        setenv("QUELLOR_SCALE", "1", 1);
        ASSERT_NE(ClapTestHost::entry(), nullptr) << ClapTestHost::error();
        x = XOpenDisplay(server->display().c_str());
        ASSERT_NE(x, nullptr);
        top = XCreateSimpleWindow(x, DefaultRootWindow(x), 0, 0, 2 * kWidth, 2 * kHeight, 0, 0, 0);
        XMapWindow(x, top);
        XSync(x, False);
        ASSERT_NE(host.open(), nullptr);
        gui = host.extension<clap::PluginGui>(clap::kExtGui);
        ASSERT_NE(gui, nullptr);
    }
    void TearDown() override {
        if (!x) return;
        host.close();
        EXPECT_EQ(host.timerCount(), 0u) << "the window's timer outlived it";
        EXPECT_EQ(host.violations(), std::vector<std::string>());
        XDestroyWindow(x, top);
        XCloseDisplay(x);
    }

    clap::Window parent() const {
        clap::Window w = {};
        w.api = clap::kWindowApiX11;
        w.x11 = top;
        return w;
    }
    // The host's usual order for an embedded window; scale 0 sets none.
    bool openWindow(double scale) {
        if (!gui->isApiSupported(host.plugin(), "x11", false)) return false;
        if (!gui->create(host.plugin(), "x11", false)) return false;
        if (scale > 0 && !gui->setScale(host.plugin(), scale)) return false;
        const clap::Window w = parent();
        return gui->setParent(host.plugin(), &w) && gui->show(host.plugin());
    }
    void idle(int rounds) {
        for (int i = 0; i < rounds; ++i) {
            host.fireTimers();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    Window editorWindow() {
        Window root, parentOut, *children = nullptr;
        unsigned count = 0;
        XQueryTree(x, top, &root, &parentOut, &children, &count);
        const Window w = count == 1 ? children[0] : 0;
        if (children) XFree(children);
        return w;
    }
    // Runs xdotool while the host's timer idles the window.
    void xdotool(const std::vector<std::string>& args) {
        ASSERT_TRUE(runXdotool(args, [this] { idle(1); }));
    }

    Display* x = nullptr;
    Window top = 0;
    ClapTestHost host;
    const clap::PluginGui* gui = nullptr;
};

std::unique_ptr<XvfbServer> ClapWindow::server;

} // namespace

TEST_F(ClapWindow, RefusesWhatItCannotDoAndStaysWhole) {
    EXPECT_TRUE(gui->isApiSupported(host.plugin(), "x11", false));
    EXPECT_FALSE(gui->isApiSupported(host.plugin(), "x11", true)) << "no floating window";
    EXPECT_FALSE(gui->isApiSupported(host.plugin(), "wayland", false));
    const char* api = nullptr;
    bool floating = true;
    ASSERT_TRUE(gui->getPreferredApi(host.plugin(), &api, &floating));
    EXPECT_STREQ(api, "x11");
    EXPECT_FALSE(floating);

    uint32_t w = 0, h = 0;
    EXPECT_FALSE(gui->getSize(host.plugin(), &w, &h)) << "no size before create";
    // From another thread than the main one: refused.
    bool createdElsewhere = true;
    std::thread([&] { createdElsewhere = gui->create(host.plugin(), "x11", false); }).join();
    EXPECT_FALSE(createdElsewhere);

    ASSERT_TRUE(gui->create(host.plugin(), "x11", false));
    EXPECT_FALSE(gui->create(host.plugin(), "x11", false)) << "the window exists already";
    // Any other factor becomes the nearest scale the window draws at.
    ASSERT_TRUE(gui->setScale(host.plugin(), 1.25));
    ASSERT_TRUE(gui->getSize(host.plugin(), &w, &h));
    EXPECT_EQ(w, 1455u);
    EXPECT_EQ(h, 900u);
    ASSERT_TRUE(gui->setScale(host.plugin(), 1.2));
    ASSERT_TRUE(gui->getSize(host.plugin(), &w, &h));
    EXPECT_EQ(w, kWidth);
    EXPECT_FALSE(gui->setScale(host.plugin(), std::nan("")));
    EXPECT_FALSE(gui->setScale(host.plugin(), -2.0));
    ASSERT_TRUE(gui->setScale(host.plugin(), 2.0));
    ASSERT_TRUE(gui->getSize(host.plugin(), &w, &h));
    EXPECT_EQ(w, 2 * kWidth);
    EXPECT_EQ(h, 2 * kHeight);
    EXPECT_FALSE(gui->canResize(host.plugin()));
    clap::GuiResizeHints hints{true, true, true, 1, 1};
    ASSERT_TRUE(gui->getResizeHints(host.plugin(), &hints)) << "asked even so by some hosts";
    EXPECT_FALSE(hints.canResizeHorizontally || hints.canResizeVertically);
    EXPECT_FALSE(gui->setSize(host.plugin(), 800, 500));
    EXPECT_TRUE(gui->setSize(host.plugin(), 2 * kWidth, 2 * kHeight));

    clap::Window wrong = parent();
    wrong.api = "win32";
    EXPECT_FALSE(gui->setParent(host.plugin(), &wrong));
    const clap::Window right = parent();
    ASSERT_TRUE(gui->setParent(host.plugin(), &right));
    EXPECT_FALSE(gui->setParent(host.plugin(), &right)) << "the window is open already";
    EXPECT_FALSE(gui->setScale(host.plugin(), 1.0)) << "the open window keeps its scale";
    EXPECT_TRUE(gui->setScale(host.plugin(), 2.0));
    EXPECT_TRUE(gui->show(host.plugin()));
    EXPECT_EQ(host.timerCount(), 1u);
    idle(10);
    EXPECT_NE(editorWindow(), 0u);
    EXPECT_TRUE(gui->hide(host.plugin()));
    gui->destroy(host.plugin());
    EXPECT_EQ(host.timerCount(), 0u);
    XSync(x, False);
    EXPECT_EQ(editorWindow(), 0u) << "the window went with destroy";

    // Made again after that, and left open for the instance's end to close.
    EXPECT_TRUE(openWindow(0));
    idle(5);
}

// Without the host's timers nothing would read the window's events: it is
// refused, with a word in the host's log.
TEST_F(ClapWindow, NeedsTheHostsTimer) {
    host.close();
    host.offerTimers = false;
    ASSERT_NE(host.open(), nullptr);
    gui = host.extension<clap::PluginGui>(clap::kExtGui);
    EXPECT_FALSE(gui->create(host.plugin(), "x11", false));
    EXPECT_FALSE(host.logged.empty());
    const clap::Window w = parent();
    EXPECT_FALSE(gui->setParent(host.plugin(), &w));
}

// The window at every scale, as the host shows it; the pictures land in the
// build folder (clap-window-1x.png, clap-window-1.5x.png, clap-window-2x.png).
TEST_F(ClapWindow, ShowsTheEditorAtEveryScale) {
    for (double scale : {1.0, 1.5, 2.0}) {
        SCOPED_TRACE(scale);
        ASSERT_TRUE(openWindow(scale));
        uint32_t w = 0, h = 0;
        ASSERT_TRUE(gui->getSize(host.plugin(), &w, &h));
        EXPECT_EQ(w, uint32_t(kWidth * scale));
        EXPECT_EQ(h, uint32_t(kHeight * scale));
        idle(40);
        const Window child = editorWindow();
        ASSERT_NE(child, 0u);
        XWindowAttributes a = {};
        XGetWindowAttributes(x, child, &a);
        EXPECT_EQ(uint32_t(a.width), w);
        EXPECT_EQ(uint32_t(a.height), h);
        XImage* image = XGetImage(x, child, 0, 0, w, h, AllPlanes, ZPixmap);
        ASSERT_NE(image, nullptr);
        qgui::CSurface picture{int(w), int(h)};
        int lit = 0;
        for (uint32_t py = 0; py < h; ++py)
            for (uint32_t px = 0; px < w; ++px) {
                const uint32_t p = uint32_t(XGetPixel(image, int(px), int(py))) & 0xffffff;
                picture.data()[py * w + px] = 0xff000000u | p;
                lit += p != 0;
            }
        XDestroyImage(image);
        EXPECT_GT(lit, int(w * h / 2)) << "the window shows the editor, not black";
        const std::string path = std::string(QUELLOR_SCREENSHOT_DIR) + "/clap-window-" +
                                 (scale == 1.0   ? "1"
                                  : scale == 1.5 ? "1.5"
                                                 : "2") +
                                 "x.png";
        EXPECT_TRUE(qgui::writePng(picture, path)) << path;
        gui->destroy(host.plugin());
    }
}

// A knob dragged in the window reaches the host as gesture begin, values,
// gesture end, carried by the next process call after a flush request.
TEST_F(ClapWindow, AKnobDragReachesTheHostAsOneGesture) {
    if (std::system("xdotool version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xdotool is not installed; the drag is not tested";
    ASSERT_TRUE(host.start());
    EventBuffer in, out;
    in.add(paramEvent(0, 0, 0.3)); // "Master Level"
    std::vector<float> left(ClapTestHost::kBlockFrames), right(ClapTestHost::kBlockFrames);
    host.process(left.data(), right.data(), ClapTestHost::kBlockFrames, in, out);
    ASSERT_TRUE(openWindow(1));
    idle(20);

    // Up 20 window pixels on the "Master Level" knob: ten steps of 0.01.
    xdotool({"mousemove", "--sync", "852",   "473", "mousedown", "1",   "sleep",     "0.2",
             "mousemove", "--sync", "852",   "463", "sleep",     "0.2", "mousemove", "--sync",
             "852",       "453",    "sleep", "0.2", "mouseup",   "1"});
    EXPECT_GT(host.flushRequests(), 0);
    in.clear();
    out.clear();
    host.process(left.data(), right.data(), ClapTestHost::kBlockFrames, in, out);

    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ(out.at(0)->type, clap::kEventParamGestureBegin);
    EXPECT_EQ(out.at(0)->size, sizeof(clap::ParamGestureEvent));
    EXPECT_EQ(out.as<clap::ParamGestureEvent>(0).paramId, 0u);
    EXPECT_EQ(out.at(out.size() - 1)->type, clap::kEventParamGestureEnd);
    EXPECT_EQ(out.as<clap::ParamGestureEvent>(out.size() - 1).paramId, 0u);
    double last = -1.0;
    for (size_t i = 1; i + 1 < out.size(); ++i) {
        ASSERT_EQ(out.at(i)->type, clap::kEventParamValue) << i;
        EXPECT_EQ(out.at(i)->size, sizeof(clap::ParamValueEvent));
        EXPECT_EQ(out.as<clap::ParamValueEvent>(i).paramId, 0u);
        last = out.as<clap::ParamValueEvent>(i).value;
    }
    EXPECT_NEAR(last, 0.4, 1e-5);
    const auto* params = host.extension<clap::PluginParams>(clap::kExtParams);
    double now = 0.0;
    ASSERT_TRUE(params->getValue(host.plugin(), 0, &now));
    EXPECT_NEAR(now, 0.4, 1e-5);
}
