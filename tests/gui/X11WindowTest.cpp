// The X11 window under a real X server (Xvfb, started here on a free
// display): the frame opens as a child of a host-like parent window, what it
// shows equals its surface pixel for pixel, clicks arrive with their
// modifiers, an idle with nothing dirty sends no request, and a parent that
// does not exist makes open fail without ending the process. Skipped, with a
// message, where Xvfb cannot start.
#include "gui/CControl.h"
#include "gui/CFrame.h"
#include "gui/EditorScale.h"
#include "gui/MouseButtons.h"
#include "gui/TestBitmaps.h"
#include "gui/x11/CX11Window.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>
// After gtest: Xlib's macros (None, Bool) would break its headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace qgui;

namespace {

struct Clicked : CControl {
    CPoint where{-1, -1};
    long buttons = 0;
    using CControl::CControl;
    void draw(CDrawContext* c) override {
        c->setFillColor(CColor{std::uint8_t(getValue() * 255), 30, 200, 255});
        c->fillRect(size);
        c->setFontColor(kWhiteCColor);
        c->drawString("X11", size);
    }
    void mouse(CDrawContext*, CPoint& p, long b) override {
        where = p;
        buttons = b;
    }
};

class X11Window : public ::testing::Test {
protected:
    static std::unique_ptr<XvfbServer> server;
    static std::string display;

    static void SetUpTestSuite() {
        server = std::make_unique<XvfbServer>("640x480x24");
        display = server->display();
    }
    static void TearDownTestSuite() { server.reset(); }

    void SetUp() override {
        if (display.empty())
            GTEST_SKIP() << "Xvfb could not start here; the X11 window is not tested";
        x = XOpenDisplay(display.c_str());
        ASSERT_NE(x, nullptr);
        // The host's window, as a host hands it to the plug-in.
        parent = XCreateSimpleWindow(x, DefaultRootWindow(x), 0, 0, 300, 200, 0, 0, 0);
        XMapWindow(x, parent);
        XSync(x, False);
    }

    void TearDown() override {
        if (!x) return;
        XDestroyWindow(x, parent);
        XCloseDisplay(x);
    }

    // True once the child window shows exactly the surface (the frame's
    // requests travel on its own connection, so give the server a moment).
    bool windowEqualsSurface(CFrame& frame) {
        const CSurface& s = *frame.getSurface();
        Window child =
            Window(reinterpret_cast<std::uintptr_t>(frame.getPlatformWindow()->nativeHandle()));
        for (int attempt = 0; attempt < 100; ++attempt) {
            XImage* image = XGetImage(x, child, 0, 0, unsigned(s.width()), unsigned(s.height()),
                                      AllPlanes, ZPixmap);
            bool same = image != nullptr;
            for (int py = 0; same && py < s.height(); ++py)
                for (int px = 0; same && px < s.width(); ++px)
                    same = (XGetPixel(image, px, py) & 0xffffff) == (s.pixel(px, py) & 0xffffff);
            if (image) XDestroyImage(image);
            if (same) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    Display* x = nullptr;
    Window parent = 0;
};

std::unique_ptr<XvfbServer> X11Window::server;
std::string X11Window::display;

void* asParent(Window w) {
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(w));
}

} // namespace

TEST_F(X11Window, ShowsTheSurfaceAndDeliversClicks) {
    for (int scale : {1, 2}) {
        CFrame frame(CRect(0, 0, 120, 80), scale);
        frame.setBackgroundColor(CColor{20, 120, 60, 255});
        auto* control = new Clicked(CRect(10, 10, 60, 40));
        frame.addView(control);
        ASSERT_TRUE(frame.open(asParent(parent))) << scale;
        frame.idle();
        EXPECT_TRUE(windowEqualsSurface(frame)) << scale;

        // A change repaints the control only, and the screen follows.
        control->setValue(1.0f);
        frame.idle();
        EXPECT_TRUE(windowEqualsSurface(frame)) << scale;

        // Nothing dirty: the idle sends no request at all.
        auto* window = static_cast<CX11Window*>(frame.getPlatformWindow());
        const unsigned long before = XNextRequest(window->getDisplay());
        frame.idle();
        frame.idle();
        EXPECT_EQ(XNextRequest(window->getDisplay()), before);

        // A click with Control held, at surface pixels (41, 31) × scale.
        XEvent e{};
        e.xbutton.type = ButtonPress;
        e.xbutton.display = x;
        e.xbutton.window = Window(reinterpret_cast<std::uintptr_t>(window->nativeHandle()));
        e.xbutton.x = 41 * scale;
        e.xbutton.y = 31 * scale;
        e.xbutton.button = Button3;
        e.xbutton.state = ControlMask | Mod1Mask;
        XSendEvent(x, e.xbutton.window, False, ButtonPressMask, &e);
        XSync(x, False);
        for (int i = 0; i < 100 && control->where.h < 0; ++i) {
            frame.idle();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(control->where, CPoint(41, 31));
        EXPECT_EQ(control->buttons, kRButton | kControl | kAlt);
    }
}

TEST_F(X11Window, ExposedPartsAreShownAgainWithoutARedraw) {
    CFrame frame(CRect(0, 0, 120, 80), 1);
    frame.setBackgroundColor(CColor{200, 40, 90, 255});
    auto* control = new Clicked(CRect(10, 10, 60, 40));
    frame.addView(control);
    ASSERT_TRUE(frame.open(asParent(parent)));
    frame.idle();
    ASSERT_TRUE(windowEqualsSurface(frame));
    // Hiding and showing the host's window loses what the server showed.
    XUnmapWindow(x, parent);
    XSync(x, False);
    XMapWindow(x, parent);
    XSync(x, False);
    for (int i = 0; i < 20; ++i) {
        frame.idle(); // nothing is dirty: only the exposed parts are blitted
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(windowEqualsSurface(frame));
}

TEST_F(X11Window, AParentThatIsGoneMakesOpenFail) {
    Window gone = XCreateSimpleWindow(x, DefaultRootWindow(x), 0, 0, 10, 10, 0, 0, 0);
    XDestroyWindow(x, gone);
    XSync(x, False);
    CFrame frame(CRect(0, 0, 120, 80), 1);
    EXPECT_FALSE(frame.open(asParent(gone)));
    EXPECT_FALSE(frame.open(nullptr));
    // The process lives on, and a good parent still works afterwards.
    CFrame good(CRect(0, 0, 120, 80), 1);
    EXPECT_TRUE(good.open(asParent(parent)));
}

TEST_F(X11Window, TheHostWindowClosingFirstIsSurvived) {
    Window host = XCreateSimpleWindow(x, DefaultRootWindow(x), 0, 0, 200, 100, 0, 0, 0);
    XMapWindow(x, host);
    XSync(x, False);
    CFrame frame(CRect(0, 0, 120, 80), 1);
    ASSERT_TRUE(frame.open(asParent(host)));
    frame.idle();
    XDestroyWindow(x, host);
    XSync(x, False);
    frame.setDirty();
    frame.idle();
    frame.idle();
} // the frame closes on a window the server already destroyed

TEST_F(X11Window, ScreenDensityFromXftDpi) {
    const char* resources = "Xft.dpi:\t192\n";
    XChangeProperty(x, DefaultRootWindow(x), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(resources), int(std::strlen(resources)));
    XSync(x, False);
    unsetenv("QUELLOR_SCALE");
    EXPECT_EQ(nativeScreenDpi(), 192);
    EXPECT_EQ(chooseScale(nullptr), 2);
    EXPECT_EQ(chooseScale("1"), 1);
    EXPECT_EQ(chooseScale("1.5"), CScale::oneAndAHalf());
    // A 150 % desktop announces 144.
    const char* medium = "Xft.antialias:\t1\nXft.dpi:\t144\n";
    XChangeProperty(x, DefaultRootWindow(x), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(medium), int(std::strlen(medium)));
    XSync(x, False);
    EXPECT_EQ(nativeScreenDpi(), 144);
    EXPECT_EQ(chooseScale(nullptr), CScale::oneAndAHalf());
    XDeleteProperty(x, DefaultRootWindow(x), XA_RESOURCE_MANAGER);
    XSync(x, False);
    EXPECT_EQ(nativeScreenDpi(), 96);
    EXPECT_EQ(chooseScale(nullptr), 1);
}
