// The editor in a real X server (Xvfb, started here): a host-like program
// makes a top-level window, opens the editor in it through the plug-in's
// entry point and keeps idling it while xdotool, a separate process, clicks
// and drags with the real pointer. Skipped, with a message, where Xvfb or
// xdotool cannot run.
#include "base/ValueIds.h"
#include "editor/CBrowserView.h"
#include "editor/CEnvelopeCtrl.h"
#include "editor/CPluginEditor.h"
#include "editor/EditorLayout.h"
#include "engine/CSoundRenderer.h"
#include "gui/CFrame.h"
#include "gui/CHeadlessWindow.h"
#include "gui/COptionMenu.h"
#include "gui/CSurface.h"
#include "gui/PngCodec.h"
#include "host/VstTestHost.h"
#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "patch/PatchFiles.h"
#include "support/ScopedEnv.h"
#include "support/ScriptedPlatform.h"
#include "support/XvfbServer.h"
#include "voice/CEnvelope.h"

#include <gtest/gtest.h>
// After gtest: Xlib's macros (None, Bool) would break its headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// Every scale the window draws at.
const qgui::CScale kScales[] = {qgui::CScale(1), qgui::CScale::oneAndAHalf(), qgui::CScale(2)};

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
    void xdotoolWhileIdling(const std::vector<std::string>& args) {
        ASSERT_TRUE(runXdotool(args, [this] {
            host.dispatch(effEditIdle);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }));
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

TEST_F(EditorX11, RealClicksAndDragsEditTheProgramAtEveryScale) {
    void* parent = reinterpret_cast<void*>(std::uintptr_t(top));
    for (qgui::CScale scale : kScales) {
        setenv("QUELLOR_SCALE", scale.text(), 1);
        // Window coordinates as the screen has them at this scale.
        auto at = [scale](int v) { return std::to_string(scale.toSurface(v)); };
        ASSERT_EQ(host.dispatch(effEditOpen, 0, 0, parent), 1);
        host.setParameter(0, 0.3f);  // "Master Level"
        host.setParameter(19, 0.0f); // "Chorus: Enable"
        for (int i = 0; i < 20; ++i)
            host.dispatch(effEditIdle);
        xdotoolWhileIdling({"mousemove", "--sync", at(40), at(426), "sleep", "0.2", "click", "1"});
        EXPECT_EQ(host.effect()->getParameter(host.effect(), 19), 1.0f) << scale.text();

        // Up 20 window pixels: ten steps of 0.01.
        xdotoolWhileIdling({"mousemove", "--sync", at(852),     at(473),  "mousedown", "1",
                            "sleep",     "0.2",    "mousemove", "--sync", at(852),     at(463),
                            "sleep",     "0.2",    "mousemove", "--sync", at(852),     at(453),
                            "sleep",     "0.2",    "mouseup",   "1"});
        EXPECT_NEAR(host.effect()->getParameter(host.effect(), 0), 0.4f, 1e-5) << scale.text();
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

// A file dialog that takes two seconds to answer: the host's own loop runs
// on meanwhile, its idle calls reach the window, which shows that a dialog
// is open, and the chosen program loads once the answer is there.
TEST_F(EditorX11, AFileDialogNeverHoldsUpTheHost) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(::testing::TempDir()) / "quellor-slow-dialog";
    fs::remove_all(dir);
    fs::create_directories(dir / "bin");
    const fs::path chosen = dir / "Slow Answer.qxlprg";
    {
        ScriptedPlatform platform;
        CPluginFile writer(platform);
        CProgram program;
        program.setValue(kMasterLevelId, 0.77);
        ASSERT_TRUE(saveProgramFile(program, chosen.c_str(), writer));
    }
    // The stand-in zenity notes its arguments and that it started, waits, answers.
    const fs::path fake = dir / "bin" / "zenity";
    std::ofstream(fake) << "#!/bin/sh\n"
                        << "printf '%s\\n' \"$@\" > '" << (dir / "args").string() << "'\n"
                        << "sleep 2\n"
                        << "printf '%s\\n' '" << chosen.string() << "'\n";
    fs::permissions(fake, fs::perms::owner_all);
    const std::string path = (dir / "bin").string() + ":" + std::getenv("PATH");
    ScopedEnv onPath("PATH", path.c_str());
    ScopedEnv desktop("XDG_CURRENT_DESKTOP", "GNOME");
    ScopedEnv kde("KDE_FULL_SESSION", nullptr);

    void* parent = reinterpret_cast<void*>(std::uintptr_t(top));
    ASSERT_EQ(host.dispatch(effEditOpen, 0, 0, parent), 1);
    for (int i = 0; i < 10; ++i)
        host.dispatch(effEditIdle);
    Window root, parentOut, *children = nullptr;
    unsigned count = 0;
    XQueryTree(x, top, &root, &parentOut, &children, &count);
    ASSERT_EQ(count, 1u);
    const Window editorWindow = children[0];
    XFree(children);
    // The left edge of the line that says a dialog is open.
    auto showsDialogOpen = [&] {
        XImage* image = XGetImage(x, editorWindow, 320, 300, 1, 1, AllPlanes, ZPixmap);
        if (!image) return false;
        const bool edge = (XGetPixel(image, 0, 0) & 0xffffff) == 0xc8c8c8;
        XDestroyImage(image);
        return edge;
    };
    const float level = host.effect()->getParameter(host.effect(), 0);
    ASSERT_NE(level, 0.77f);
    EXPECT_FALSE(showsDialogOpen());

    xdotoolWhileIdling({"mousemove", "--sync", "628", "19", "sleep", "0.2", "click", "1"});
    // The dialog program runs; the host goes on idling and handling its own
    // events, and the window draws its waiting state, before the answer.
    XSelectInput(x, top, ExposureMask);
    int idles = 0, ownEvents = 0;
    bool sawDialogOpen = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (host.effect()->getParameter(host.effect(), 0) != 0.77f &&
           std::chrono::steady_clock::now() < deadline) {
        host.dispatch(effEditIdle);
        ++idles;
        XClearArea(x, top, 1500, 1000, 8, 8, True); // an expose of the host's own window
        XSync(x, False);
        while (XPending(x)) {
            XEvent e;
            XNextEvent(x, &e);
            ++ownEvents;
        }
        if (!sawDialogOpen && showsDialogOpen()) {
            sawDialogOpen = true;
            // Not answered yet: the program is the old one.
            EXPECT_EQ(host.effect()->getParameter(host.effect(), 0), level);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(sawDialogOpen);
    EXPECT_GT(idles, 20);
    EXPECT_GT(ownEvents, 0);
    EXPECT_NEAR(host.effect()->getParameter(host.effect(), 0), 0.77f, 1e-6);
    // The dialog was tied to the host's window.
    std::ifstream args(dir / "args");
    const std::string all((std::istreambuf_iterator<char>(args)), {});
    EXPECT_NE(all.find("--attach=" + std::to_string(top)), std::string::npos) << all;
    for (int i = 0; i < 10 && showsDialogOpen(); ++i) {
        host.dispatch(effEditIdle);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_FALSE(showsDialogOpen());
    host.dispatch(effEditClose);
    fs::remove_all(dir);
}

TEST_F(EditorX11, RealWindowShowsWhatTheHeadlessWindowDrawsAtEveryScale) {
    void* parent = reinterpret_cast<void*>(std::uintptr_t(top));
    for (qgui::CScale scale : kScales) {
        setenv("QUELLOR_SCALE", scale.text(), 1);
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
            editor.openWith(&headlessParent, std::make_unique<qgui::CHeadlessWindow>(), scale));
        editor.idle();
        const qgui::CSurface& s = *editor.getFrame()->getSurface();

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
        EXPECT_EQ(differing, 0) << scale.text();
        host.dispatch(effEditClose);
    }
    setenv("QUELLOR_SCALE", "1", 1);
}

namespace {

// The pop-up menu and the files dropped, as the editor hands them to its commands.
struct RecordingCommands : IEditorCommands {
    std::vector<std::pair<EditorMenu, int>> menus;
    std::vector<std::pair<std::string, qgui::CPoint>> drops;
    void runCommand(CPluginEditor&, long) override {}
    void menuChosen(CPluginEditor&, EditorMenu menu, int index) override {
        menus.emplace_back(menu, index);
    }
    void fileDropped(CPluginEditor&, const char* path, const qgui::CPoint& where) override {
        drops.emplace_back(path, where);
    }
};

// The editor itself on the real X11 window, opened by the test (not through the plug-in's
// entry) so that the test reaches its program and sees what it hands to its commands.
class EditorOnX11 : public ::testing::Test {
protected:
    static std::unique_ptr<XvfbServer> server;

    static void SetUpTestSuite() { server = std::make_unique<XvfbServer>("2048x1280x24"); }
    static void TearDownTestSuite() { server.reset(); }

    void SetUp() override {
        if (server->display().empty())
            GTEST_SKIP() << "Xvfb could not start here; the window is not tested";
        x = XOpenDisplay(server->display().c_str());
        ASSERT_NE(x, nullptr);
        top = XCreateSimpleWindow(x, DefaultRootWindow(x), 0, 0, 1940, 1200, 0, 0, 0);
        XMapWindow(x, top);
        XSync(x, False);
        settings = std::make_unique<CPluginFile>(platform);
        settings->init();
        renderer = std::make_unique<CSoundRenderer>(settings.get(), nullptr);
        editor = std::make_unique<CPluginEditor>(nullptr, renderer.get(), &commands);
    }
    void TearDown() override {
        if (!x) return;
        editor.reset();
        XDestroyWindow(x, top);
        XCloseDisplay(x);
    }

    bool open(qgui::CScale s) {
        scale = s;
        if (!editor->openWith(reinterpret_cast<void*>(std::uintptr_t(top)), nullptr, s))
            return false;
        idle(20);
        return true;
    }
    void idle(int times = 1) {
        for (int i = 0; i < times; ++i) {
            editor->idle();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    // The editor's own window under the test's top-level window.
    Window editorWindow() {
        Window root, parent, *children = nullptr;
        unsigned count = 0;
        XQueryTree(x, top, &root, &parent, &children, &count);
        const Window w = count == 1 ? children[0] : 0;
        if (children) XFree(children);
        return w;
    }
    // Screen coordinates of a window point (the top-level window sits at the screen's origin).
    std::string at(int v) const { return std::to_string(scale.toSurface(v)); }

    // Runs xdotool with args while the editor idles, as a host's UI loop does.
    void xdotool(const std::vector<std::string>& args) {
        ASSERT_TRUE(runXdotool(args, [this] { idle(); }));
    }
    bool haveXdotool() const { return std::system("xdotool version >/dev/null 2>&1") == 0; }
    void shot(const std::string& name) {
        const std::string path = std::string(QUELLOR_SCREENSHOT_DIR) + "/" + name;
        EXPECT_TRUE(writePng(*editor->getFrame()->getSurface(), path)) << path;
    }
    // The real window's pixel at a window point, 0xRRGGBB: what the screen shows.
    unsigned long screenPixel(int wx, int wy) {
        unsigned long pixel = 0;
        if (XImage* image = XGetImage(x, editorWindow(), scale.toSurface(wx), scale.toSurface(wy),
                                      1, 1, AllPlanes, ZPixmap)) {
            pixel = XGetPixel(image, 0, 0) & 0xffffff;
            XDestroyImage(image);
        }
        return pixel;
    }
    template <class View> View* viewAt(int left, int top) {
        qgui::CFrame* f = editor->getFrame();
        for (int i = 0; i < f->getNbViews(); ++i)
            if (auto* v = dynamic_cast<View*>(f->getView(i));
                v && v->getViewSize().left == left && v->getViewSize().top == top)
                return v;
        return nullptr;
    }

    Display* x = nullptr;
    Window top = 0;
    qgui::CScale scale = 1;
    ScriptedPlatform platform;
    std::unique_ptr<CPluginFile> settings;
    std::unique_ptr<CSoundRenderer> renderer;
    RecordingCommands commands;
    std::unique_ptr<CPluginEditor> editor;
};

std::unique_ptr<XvfbServer> EditorOnX11::server;

// The colour of the selected point's square.
constexpr unsigned long kSelectedPointColour = 0xffc900;

// On a connection of its own, waits until the real pointer rests at (px, py) with the left
// button held, then reads the window's pixel there: what the screen shows in the middle of a drag.
unsigned long pixelWhileDragging(const std::string& display, Window w, int px, int py) {
    Display* d = XOpenDisplay(display.c_str());
    if (!d) return 0;
    unsigned long pixel = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
        Window root, child;
        int rootX, rootY, wx = 0, wy = 0;
        unsigned state = 0;
        XQueryPointer(d, w, &root, &child, &rootX, &rootY, &wx, &wy, &state);
        if (wx == px && wy == py && (state & Button1Mask)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            if (XImage* image = XGetImage(d, w, px, py, 1, 1, AllPlanes, ZPixmap)) {
                pixel = XGetPixel(image, 0, 0) & 0xffffff;
                XDestroyImage(image);
            }
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    XCloseDisplay(d);
    return pixel;
}

} // namespace

TEST_F(EditorOnX11, EnvelopePointAddedDraggedAndDeletedByRealClicksAtEveryScale) {
    if (!haveXdotool()) GTEST_SKIP() << "xdotool is not installed; real clicks are not tested";
    for (qgui::CScale s : kScales) {
        // Points at t 0.5, 1.5 and 2.5: on screen at x 78, 189 and 301 (111.25 pixels a unit).
        CEnvelope& e = renderer->program().envelopes[0];
        ASSERT_EQ(e.pointCount, 3);
        const double deltas[] = {0.5, 1.0, 1.0}, levels[] = {0.8, 0.5, 0.0};
        for (int k = 0; k < 3; ++k) {
            e.setDelta(k, deltas[k]);
            e.setLevel(k, levels[k]);
        }
        ASSERT_TRUE(open(s));
        auto* ctrl = viewAt<CEnvelopeCtrl>(19, 235);
        ASSERT_NE(ctrl, nullptr);
        const EnvelopePlot p = ctrl->plot();
        ASSERT_EQ(p.x(e.endTime(1)), 189);

        // A right-click between the first two points adds one there.
        const int ax = 130, ay = p.y(0.6);
        xdotool({"mousemove", "--sync", at(ax), at(ay), "sleep", "0.2", "click", "3"});
        ASSERT_EQ(e.pointCount, 4) << s.text();
        EXPECT_EQ(e.selectedPoint, 1);
        EXPECT_NEAR(p.x(e.endTime(1)), ax, 1);
        EXPECT_EQ(p.y(e.level(1)), ay);

        // Dragged, it follows the pointer, and the screen shows it there before the button
        // is let go.
        const int bx = 160, by = p.y(0.4);
        unsigned long midDrag = 0;
        std::thread watcher([&] {
            midDrag = pixelWhileDragging(server->display(), editorWindow(), s.toSurface(bx),
                                         s.toSurface(by));
        });
        // The pointer rests where it clicked (xdotool's --sync would wait for a move that never
        // comes).
        xdotool({"mousedown", "1", "sleep", "0.2", "mousemove", "--sync", at(145), at(ay + 10),
                 "sleep", "0.1", "mousemove", "--sync", at(bx), at(by), "sleep", "1.0", "mouseup",
                 "1"});
        watcher.join();
        EXPECT_EQ(midDrag, kSelectedPointColour) << s.text();
        EXPECT_NEAR(p.x(e.endTime(1)), bx, 1) << s.text();
        EXPECT_EQ(p.y(e.level(1)), by) << s.text();
        EXPECT_EQ(e.pointCount, 4);
        shot("editor-x11-envelope-" + std::string(s.text()) + "x.png");

        // A right-click on it deletes it and selects the point before.
        xdotool(
            {"mousemove", "--sync", at(p.x(e.endTime(1))), at(by), "sleep", "0.2", "click", "3"});
        EXPECT_EQ(e.pointCount, 3) << s.text();
        EXPECT_EQ(e.selectedPoint, 0);
        editor->close();
    }
}

TEST_F(EditorOnX11, EnvelopeListMenuChosenByClicksAddsAnEnvelopeShownInTheList) {
    if (!haveXdotool()) GTEST_SKIP() << "xdotool is not installed; real clicks are not tested";
    // The window's own commands this time, not the recording double.
    editor = std::make_unique<CPluginEditor>(nullptr, renderer.get());
    ASSERT_TRUE(open(1));
    const CProgram& program = renderer->program();
    const int before = program.envelopeCount;
    ASSERT_LT(before, kEnvelopesPerPage); // the new row lies in the group shown
    auto* list = viewAt<qgui::COptionMenu>(487, 220);
    ASSERT_NE(list, nullptr);
    ASSERT_STREQ(list->getEntryText(0), "Add Envelope");

    // The name cell of the row the new envelope takes, as the screen shows it: a point left of
    // its centred text.
    const long nameTag = kEnvelopeRowFirstId + kEnvelopeRowIdStride * before;
    const int cellX = 491, cellY = 237 + 14 * before + 7;
    char text[64];
    editor->getTagText(nameTag, text, sizeof text);
    EXPECT_STREQ(text, ""); // no envelope there yet
    const unsigned long unused = screenPixel(cellX, cellY);

    xdotool({"mousemove", "--sync", at(500), at(224), "sleep", "0.2", "click", "1"});
    ASSERT_EQ(editor->getFrame()->getPopupMenu(), list);
    shot("editor-x11-envelope-list-open-1x.png");
    // The first entry lies just below the field.
    xdotool({"mousemove", "--sync", at(510), at(236), "sleep", "0.2", "click", "1"});
    EXPECT_EQ(editor->getFrame()->getPopupMenu(), nullptr);

    EXPECT_EQ(program.envelopeCount, before + 1);
    EXPECT_EQ(program.selectedEnvelope, before);
    editor->getTagText(nameTag, text, sizeof text);
    EXPECT_EQ(std::string(text).rfind(std::to_string(before + 1) + ". ", 0), 0u) << text;
    // The row lit up as the selected one: amber where it was an unlit cell.
    const unsigned long shown = screenPixel(cellX, cellY);
    EXPECT_NE(shown, unused);
    EXPECT_EQ(shown, editor->getFrame()->getSurface()->pixel(cellX, cellY) & 0xffffff);
    EXPECT_GT(shown >> 16 & 0xff, 0xc0u);
    EXPECT_LT(shown & 0xff, 0x60u);
    shot("editor-x11-envelope-added-1x.png");
}

namespace {

// The dragging side of the XDND protocol, as a file manager plays it: it owns the drag's
// selection, sends the client messages to the window under the pointer and answers the
// request for the dropped list.
class XdndSource {
public:
    explicit XdndSource(Display* d) : x(d) {
        window = XCreateSimpleWindow(x, DefaultRootWindow(x), 0, 0, 1, 1, 0, 0, 0);
        selection = XInternAtom(x, "XdndSelection", False);
        uriList = XInternAtom(x, "text/uri-list", False);
        XSetSelectionOwner(x, selection, window, CurrentTime);
        XSync(x, False);
    }
    ~XdndSource() { XDestroyWindow(x, window); }

    void send(Window target, const char* type, long l1, long l2, long l3, long l4) {
        XEvent m{};
        m.xclient.type = ClientMessage;
        m.xclient.window = target;
        m.xclient.message_type = XInternAtom(x, type, False);
        m.xclient.format = 32;
        m.xclient.data.l[0] = long(window);
        m.xclient.data.l[1] = l1;
        m.xclient.data.l[2] = l2;
        m.xclient.data.l[3] = l3;
        m.xclient.data.l[4] = l4;
        XSendEvent(x, target, False, NoEventMask, &m);
        XFlush(x);
    }
    // Offers one type, moves to the screen point, and drops.
    void enterAndMove(Window target, Atom offered, int rootX, int rootY) {
        send(target, "XdndEnter", 5L << 24, long(offered), 0, 0);
        send(target, "XdndPosition", 0, (long(rootX) << 16) | rootY, CurrentTime,
             long(XInternAtom(x, "XdndActionCopy", False)));
    }
    void drop(Window target) { send(target, "XdndDrop", 0, CurrentTime, 0, 0); }

    // Handles what arrives for the source while pump runs the target's side; returns the
    // first client message of the given type (its data words), or nothing after a while.
    template <class Pump> std::vector<long> await(const char* type, Pump pump) {
        const Atom wanted = XInternAtom(x, type, False);
        for (int i = 0; i < 1000; ++i) {
            pump();
            while (XPending(x) > 0) {
                XEvent e;
                XNextEvent(x, &e);
                if (e.type == SelectionRequest) answer(e.xselectionrequest);
                if (e.type == ClientMessage && e.xclient.message_type == wanted)
                    return std::vector<long>(e.xclient.data.l, e.xclient.data.l + 5);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return {};
    }
    std::string list; // the dropped text/uri-list
    Window window = 0;
    Atom uriList = 0;

private:
    void answer(const XSelectionRequestEvent& r) {
        XEvent reply{};
        reply.xselection.type = SelectionNotify;
        reply.xselection.requestor = r.requestor;
        reply.xselection.selection = r.selection;
        reply.xselection.target = r.target;
        reply.xselection.time = r.time;
        reply.xselection.property = None;
        if (r.target == uriList) {
            XChangeProperty(x, r.requestor, r.property, uriList, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(list.data()), int(list.size()));
            reply.xselection.property = r.property;
        }
        XSendEvent(x, r.requestor, False, NoEventMask, &reply);
        XFlush(x);
    }

    Display* x;
    Atom selection = 0;
};

} // namespace

TEST_F(EditorOnX11, FilesDroppedFromAnotherProgramReachTheCommandsAtEveryScale) {
    for (qgui::CScale s : kScales) {
        ASSERT_TRUE(open(s));
        const Window target = editorWindow();
        ASSERT_NE(target, 0u);
        // The window says it takes drops.
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* version = nullptr;
        XGetWindowProperty(x, target, XInternAtom(x, "XdndAware", False), 0, 1, False,
                           AnyPropertyType, &type, &format, &count, &after, &version);
        ASSERT_NE(version, nullptr);
        EXPECT_EQ(*reinterpret_cast<unsigned long*>(version), 5u);
        XFree(version);

        XdndSource source(x);
        source.list = "file:///tmp/quellor%20drop/Warm%20Pad.qxlprg\r\n"
                      "# a comment\r\n"
                      "http://example.com/Kick.wav\r\n"
                      "file://localhost/tmp/caf%C3%A9%FF.tun\r\n";
        auto pump = [this] { editor->idle(); };
        commands.drops.clear();
        source.enterAndMove(target, source.uriList, s.toSurface(100), s.toSurface(300));
        const std::vector<long> status = source.await("XdndStatus", pump);
        ASSERT_EQ(status.size(), 5u) << s.text();
        EXPECT_EQ(Window(status[0]), target);
        EXPECT_EQ(status[1] & 1, 1) << "accepted";
        EXPECT_EQ(Atom(status[4]), XInternAtom(x, "XdndActionCopy", False));
        source.drop(target);
        const std::vector<long> finished = source.await("XdndFinished", pump);
        ASSERT_EQ(finished.size(), 5u) << s.text();
        EXPECT_EQ(finished[1] & 1, 1);

        ASSERT_EQ(commands.drops.size(), 2u) << s.text();
        EXPECT_EQ(commands.drops[0].first, "/tmp/quellor drop/Warm Pad.qxlprg");
        EXPECT_EQ(commands.drops[1].first, "/tmp/caf\xC3\xA9\xFF.tun");
        for (const auto& [path, where] : commands.drops)
            EXPECT_EQ(where, qgui::CPoint(100, 300)) << path << " at scale " << s.text();

        // A drag of plain text is turned down, and its drop does nothing.
        commands.drops.clear();
        source.enterAndMove(target, XInternAtom(x, "text/plain", False), s.toSurface(100),
                            s.toSurface(300));
        const std::vector<long> refused = source.await("XdndStatus", pump);
        ASSERT_EQ(refused.size(), 5u);
        EXPECT_EQ(refused[1] & 1, 0);
        source.drop(target);
        const std::vector<long> notTaken = source.await("XdndFinished", pump);
        ASSERT_EQ(notTaken.size(), 5u);
        EXPECT_EQ(notTaken[1] & 1, 0);
        EXPECT_TRUE(commands.drops.empty());
        editor->close();
    }
}

// The program browser by a real click and real keys: opened from the top bar,
// filtered by typing, a program chosen with the arrow key and loaded with
// Return, closed with Escape.
TEST_F(EditorOnX11, BrowserOpenedFilteredAndLoadedByRealKeysAtEveryScale) {
    if (!haveXdotool()) GTEST_SKIP() << "xdotool is not installed; real keys are not tested";
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / "quellor-x11-browser";
    fs::remove_all(root);
    for (const auto& [bank, name] : {std::pair<const char*, const char*>{"A Bank", "Warm Pad"},
                                     {"A Bank", "Bright Lead"},
                                     {"B Bank", "Warm Bass"}}) {
        fs::create_directories(root / "QuellorData/Banks" / bank);
        CPluginFile writer(platform);
        CProgram program;
        ASSERT_TRUE(saveProgramFile(
            program,
            (root / "QuellorData/Banks" / bank / (std::string(name) + ".qxlprg")).string().c_str(),
            writer));
    }
    editor.reset();
    platform.rootFolder = root.string();
    settings = std::make_unique<CPluginFile>(platform);
    settings->init();
    renderer = std::make_unique<CSoundRenderer>(settings.get(), nullptr);
    editor = std::make_unique<CPluginEditor>(nullptr, renderer.get(), &commands);
    const editorlayout::Placement& button = editorlayout::kBrowserButton;
    for (qgui::CScale s : kScales) {
        SCOPED_TRACE(std::string("scale ") + s.text());
        ASSERT_TRUE(open(s));
        xdotool({"mousemove", "--sync", at(button.x + 10), at(button.y + 6), "sleep", "0.2",
                 "click", "1"});
        ASSERT_NE(editor->browserView(), nullptr);
        ASSERT_TRUE(editor->browserView()->isVisible());
        xdotool({"type", "--delay", "50", "warm"});
        EXPECT_EQ(editor->browserView()->query(), "warm");
        EXPECT_EQ(editor->browserView()->shownEntries().size(), 2u);
        xdotool({"key", "--delay", "50", "Down", "Return"});
        char name[128] = {};
        renderer->getProgramName(name, sizeof name);
        EXPECT_STREQ(name, "Warm Bass");
        shot("browser-x11-" + std::string(s.text()) + "x.png");
        xdotool({"key", "Escape"});
        EXPECT_FALSE(editor->browserView()->isVisible());
        editor->close();
        ASSERT_TRUE(renderer->loadProgramFile(
            (root / "QuellorData/Banks/A Bank/Bright Lead.qxlprg").string().c_str(), "A Bank"));
    }
    editor.reset();
    fs::remove_all(root);
}

TEST_F(EditorOnX11, UndoKeysTypedValuesAndTheWheelByRealInputAtEveryScale) {
    if (!haveXdotool()) GTEST_SKIP() << "xdotool is not installed; real input is not tested";
    constexpr int32_t kChorusTime = kChorusFirstId + kChorusTimeOffset;
    const int kx = 32, ky = 472; // the chorus time knob
    for (qgui::CScale s : kScales) {
        renderer->setParameter(kChorusTime, 0.2);
        ASSERT_TRUE(open(s));
        // A drag, then Control+Z takes it back.
        xdotool({"mousemove", "--sync", at(kx), at(ky), "sleep", "0.2", "mousedown", "1", "sleep",
                 "0.2", "mousemove", "--sync", at(kx), at(ky - 20), "sleep", "0.2", "mouseup",
                 "1"});
        EXPECT_NEAR(renderer->getParameter(kChorusTime), 0.3, 1e-9) << s.text();
        xdotool({"key", "ctrl+z"});
        EXPECT_NEAR(renderer->getParameter(kChorusTime), 0.2, 1e-9) << s.text();
        xdotool({"key", "ctrl+shift+z"});
        EXPECT_NEAR(renderer->getParameter(kChorusTime), 0.3, 1e-9) << s.text();

        // A double-click opens the field; the value typed lands.
        xdotool({"mousemove", "--sync", at(kx), at(ky), "sleep", "0.5", "click", "--repeat", "2",
                 "--delay", "80", "1"});
        ASSERT_NE(editor->typingField(), nullptr) << s.text();
        xdotool({"key", "BackSpace", "BackSpace", "BackSpace", "BackSpace", "type", "0.35"});
        xdotool({"key", "Return"});
        EXPECT_EQ(editor->typingField(), nullptr);
        char text[32] = {};
        editor->getTagText(kChorusTime, text, sizeof text);
        EXPECT_STREQ(text, "0.35") << s.text();

        // A turn of the wheel away from the user: one step up.
        xdotool({"click", "4"});
        EXPECT_NEAR(renderer->getParameter(kChorusTime), 0.36, 1e-6) << s.text();
        shot("editor-x11-typed-" + std::string(s.text()) + "x.png");
        editor->close();
    }
}
