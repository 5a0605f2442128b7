// The LV2 window binary under a real X server (Xvfb), opened by a host of
// our own as an X11 host does: the host's window as ui:parent, the instance
// through instance access, the plug-in's extension data through data access,
// idle calls through the idle interface and the size through ui:resize. It
// writes a picture of the window at every scale (lv2-window-1x.png,
// lv2-window-1.5x.png, lv2-window-2x.png in the build folder).
#include "gui/CSurface.h"
#include "gui/PngCodec.h"
#include "lv2/Lv2Names.h"
#include "lv2/Lv2TestHost.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <lv2/data-access/data-access.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/ui/ui.h>

#include <chrono>
#include <cstdlib>
#include <dlfcn.h>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <thread>

namespace {

constexpr int kWidth = 970;
constexpr int kHeight = 600;

struct HostWindow {
    int width = 0, height = 0;
    std::vector<std::pair<uint32_t, float>> writes;
};

int resize(LV2UI_Feature_Handle handle, int width, int height) {
    HostWindow* w = static_cast<HostWindow*>(handle);
    w->width = width;
    w->height = height;
    return 0;
}

void write(LV2UI_Controller controller, uint32_t port, uint32_t size, uint32_t format,
           const void* buffer) {
    if (format == 0 && size == sizeof(float))
        static_cast<HostWindow*>(controller)
            ->writes.push_back({port, *static_cast<const float*>(buffer)});
}

LV2_Descriptor const* dataAccessPlugin = nullptr;
const void* dataAccess(const char* uri) {
    return dataAccessPlugin->extension_data(uri);
}

// The window binary, loaded once.
const LV2UI_Descriptor* windowDescriptor(std::string& failure) {
    const std::string path = std::string(QUELLOR_LV2_BUNDLE) + "/" + lv2names::kUiBinary;
    static void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        failure = dlerror();
        return nullptr;
    }
    auto entry =
        reinterpret_cast<const LV2UI_Descriptor* (*)(uint32_t)>(dlsym(library, "lv2ui_descriptor"));
    const LV2UI_Descriptor* d = entry ? entry(0) : nullptr;
    if (!d) failure = "no lv2ui_descriptor(0)";
    return d;
}

class Lv2Window : public testing::Test {
protected:
    void SetUp() override {
        const std::string root = testing::TempDir() + "quellor-lv2-window-root";
        setenv("QUELLOR_ROOT", root.c_str(), 1);
        server = std::make_unique<XvfbServer>("2048x1300x24");
        if (server->display().empty()) GTEST_SKIP() << "Xvfb cannot start on this machine";
        display = XOpenDisplay(server->display().c_str());
        ASSERT_NE(display, nullptr);
        std::string failure;
        ui = windowDescriptor(failure);
        ASSERT_NE(ui, nullptr) << failure;
        startPlugin();
        parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 2 * kWidth,
                                     2 * kHeight, 0, 0, 0);
        XMapWindow(display, parent);
        XSync(display, False);
    }
    void startPlugin() {
        plugin = std::make_unique<Lv2TestHost>();
        ASSERT_EQ(plugin->load(QUELLOR_LV2_BUNDLE), "");
        ASSERT_TRUE(plugin->start());
        dataAccessPlugin = plugin->descriptor();
    }
    void TearDown() override {
        if (display) {
            if (parent) XDestroyWindow(display, parent);
            XCloseDisplay(display);
        }
    }

    // The window opened as an X11 host opens it; null when refused.
    LV2UI_Handle open(HostWindow& host, LV2UI_Widget& widget) {
        parentFeatureData = reinterpret_cast<void*>(parent);
        resizeData = {&host, resize};
        accessData = {dataAccess};
        parentFeature = {LV2_UI__parent, parentFeatureData};
        instanceFeature = {LV2_INSTANCE_ACCESS_URI, plugin->handle()};
        accessFeature = {LV2_DATA_ACCESS_URI, &accessData};
        resizeFeature = {LV2_UI__resize, &resizeData};
        const LV2_Feature* features[] = {&parentFeature, &instanceFeature,      &accessFeature,
                                         &resizeFeature, plugin->features()[0], nullptr};
        widget = nullptr;
        return ui->instantiate(ui, lv2names::kPluginUri, QUELLOR_LV2_BUNDLE, write, &host, &widget,
                               features);
    }

    void idle(LV2UI_Handle handle, int times) {
        const auto* idleInterface =
            static_cast<const LV2UI_Idle_Interface*>(ui->extension_data(LV2_UI__idleInterface));
        ASSERT_NE(idleInterface, nullptr);
        for (int i = 0; i < times; ++i) {
            EXPECT_EQ(idleInterface->idle(handle), 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    // The window's pixels as a surface; the number of distinct colours seen.
    size_t capture(Window child, int width, int height, qgui::CSurface& out) {
        XSync(display, False);
        XImage* image =
            XGetImage(display, child, 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
        if (!image) return 0;
        std::set<uint32_t> colours;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const uint32_t p = uint32_t(XGetPixel(image, x, y)) & 0xffffff;
                out.data()[y * width + x] = p | 0xff000000u;
                if (colours.size() < 64) colours.insert(p);
            }
        XDestroyImage(image);
        return colours.size();
    }

    std::unique_ptr<XvfbServer> server;
    Display* display = nullptr;
    Window parent = 0;
    const LV2UI_Descriptor* ui = nullptr;
    std::unique_ptr<Lv2TestHost> plugin;
    void* parentFeatureData = nullptr;
    LV2UI_Resize resizeData{};
    LV2_Extension_Data_Feature accessData{};
    LV2_Feature parentFeature{}, instanceFeature{}, accessFeature{}, resizeFeature{};
};

TEST_F(Lv2Window, ShowsTheEditorAtEveryScale) {
    for (const char* scale : {"1", "1.5", "2"}) {
        // A new instance each time: its editor chooses its scale at the first open.
        setenv("QUELLOR_SCALE", scale, 1);
        const double factor = std::atof(scale);
        startPlugin();

        HostWindow host;
        LV2UI_Widget widget = nullptr;
        LV2UI_Handle handle = open(host, widget);
        ASSERT_NE(handle, nullptr) << scale;
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(host.width, int(kWidth * factor));
        EXPECT_EQ(host.height, int(kHeight * factor));
        idle(handle, 10);

        qgui::CSurface picture(host.width, host.height);
        const Window child = Window(reinterpret_cast<uintptr_t>(widget));
        EXPECT_GT(capture(child, host.width, host.height, picture), 8u)
            << "the window shows no editor at scale " << scale;
        const std::string path =
            std::string(QUELLOR_SCREENSHOT_DIR) + "/lv2-window-" + scale + "x.png";
        EXPECT_TRUE(qgui::writePng(picture, path)) << path;

        ui->cleanup(handle);
    }
    unsetenv("QUELLOR_SCALE");
}

TEST_F(Lv2Window, ASecondWindowIsRefusedAndTheFirstClosesCleanly) {
    HostWindow first, second;
    LV2UI_Widget widget = nullptr;
    LV2UI_Handle handle = open(first, widget);
    ASSERT_NE(handle, nullptr);
    idle(handle, 2);
    LV2UI_Widget other = nullptr;
    EXPECT_EQ(open(second, other), nullptr);
    ui->cleanup(handle);

    // Closed, it opens again.
    handle = open(first, widget);
    ASSERT_NE(handle, nullptr);
    idle(handle, 2);
    ui->cleanup(handle);
}

TEST_F(Lv2Window, MovesTheHostsPortsWithAProgramTheInstanceLoads) {
    HostWindow host;
    LV2UI_Widget widget = nullptr;
    LV2UI_Handle handle = open(host, widget);
    ASSERT_NE(handle, nullptr);
    idle(handle, 2);
    host.writes.clear();

    // The host restores a program: the window hands its 43 values to the
    // host's ports at the next idle.
    std::ifstream file(std::string(QUELLOR_SOURCE_DIR) + "/examples/demo.qxlprg", std::ios::binary);
    const std::vector<uint8_t> program((std::istreambuf_iterator<char>(file)),
                                       std::istreambuf_iterator<char>());
    ASSERT_FALSE(program.empty());
    ASSERT_EQ(plugin->restoreProgram(program), LV2_STATE_SUCCESS);
    idle(handle, 1);
    std::set<uint32_t> ports;
    for (const auto& [port, value] : host.writes) {
        ports.insert(port);
        EXPECT_TRUE(value >= 0.0f && value <= 1.0f) << port << " " << value;
    }
    EXPECT_EQ(ports.size(), size_t(kHostParameterCount));
    EXPECT_EQ(*ports.begin(), lv2names::parameterPort(0));
    EXPECT_EQ(*ports.rbegin(), lv2names::parameterPort(kHostParameterCount - 1));

    // The host's own port changes reach the window; other ports and other
    // formats are ignored.
    const float value = 0.25f;
    ui->port_event(handle, lv2names::parameterPort(kMasterLevelId), sizeof value, 0, &value);
    ui->port_event(handle, lv2names::kEventsPort, sizeof value, 0, &value);
    ui->port_event(handle, lv2names::parameterPort(0), sizeof value, 1, &value);
    idle(handle, 1);
    ui->cleanup(handle);
}

TEST_F(Lv2Window, RefusesAHostWithoutInstanceAccess) {
    HostWindow host;
    LV2UI_Widget widget = nullptr;
    void* parentId = reinterpret_cast<void*>(parent);
    const LV2_Feature parentOnly = {LV2_UI__parent, parentId};
    const LV2_Feature* features[] = {&parentOnly, nullptr};
    EXPECT_EQ(ui->instantiate(ui, lv2names::kPluginUri, QUELLOR_LV2_BUNDLE, write, &host, &widget,
                              features),
              nullptr);
}

} // namespace
