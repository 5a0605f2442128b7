// Quellor.clap's window on Windows, embedded as a CLAP host embeds it: the
// gui extension's answers, its refusals (a second window, a call from another
// thread), and the window itself, which must show
// exactly the pixels of the VST 2.4 plug-in's editor opened in the same
// process, at scale 1 and at the host's scales 1.5 and 2.
//
//   quellor_clap_window_check.exe DLL CLAP
//
// Both plug-ins read the same data root (the registry's), so both open on the
// same first program.
#include "clap/ClapAbi.h"
#include "vst/VstAbi.h"
#include "win32/WindowPixels.h"

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>

namespace {

using windowpixels::capture;
using windowpixels::countDifferences;
using windowpixels::pumpMessages;

constexpr int kWidth = 970;
constexpr int kHeight = 600;
constexpr clap::Id kTimerId = 7;

bool allOk = true;

void report(bool ok, const std::string& what) {
    std::printf("clap-window-check: %s%s\n", ok ? "" : "FAILED: ", what.c_str());
    allOk = allOk && ok;
}

// ---- a host window with room for the window at scale 2 ----

HWND makeHostWindow() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QuellorClapHost";
        wc.hbrBackground = HBRUSH(GetStockObject(BLACK_BRUSH));
        RegisterClassW(&wc);
        registered = true;
    }
    HWND host = CreateWindowExW(0, L"QuellorClapHost", L"Quellor CLAP window check",
                                WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 2 * kWidth,
                                2 * kHeight, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    pumpMessages();
    return host;
}

// ---- the VST 2.4 editor, the reference ----

VstIntPtr VSTCALLBACK vstHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// A scale as the user writes it ("1", "1.5", "2").
std::string scaleText(double scale) {
    char text[16];
    std::snprintf(text, sizeof text, "%g", scale);
    return text;
}

int scaled(int size, double scale) {
    return int(size * scale + 0.5);
}

// The VST 2.4 editor's pixels at the scale QUELLOR_SCALE asks for.
std::vector<std::uint32_t> vstPixels(const char* dll, double scale) {
    const std::string assignment = "QUELLOR_SCALE=" + scaleText(scale);
    _putenv(assignment.c_str()); // the plug-in reads it through the same msvcrt
    std::vector<std::uint32_t> pixels;
    HMODULE library = LoadLibraryA(dll);
    auto entry = library ? reinterpret_cast<AEffect* (*)(audioMasterCallback)>(
                               reinterpret_cast<void*>(GetProcAddress(library, "VSTPluginMain")))
                         : nullptr;
    AEffect* e = entry ? entry(vstHost) : nullptr;
    if (e) {
        e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
        HWND host = makeHostWindow();
        if (e->dispatcher(e, effEditOpen, 0, 0, host, 0.0f) == 1) {
            for (int i = 0; i < 5; ++i) {
                e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0.0f);
                pumpMessages();
            }
            pixels =
                capture(GetWindow(host, GW_CHILD), scaled(kWidth, scale), scaled(kHeight, scale));
            e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.0f);
        }
        DestroyWindow(host);
        e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    }
    _putenv("QUELLOR_SCALE=");
    return pixels;
}

// ---- the CLAP host ----

bool timerAsked = false;

bool CLAPCALL registerTimer(const clap::Host*, uint32_t, clap::Id* id) {
    timerAsked = true;
    *id = kTimerId;
    return true;
}
bool CLAPCALL unregisterTimer(const clap::Host*, clap::Id id) {
    return id == kTimerId;
}
const clap::HostTimerSupport kTimers = {registerTimer, unregisterTimer};

std::string lastLog;
void CLAPCALL hostLog(const clap::Host*, int32_t, const char* message) {
    lastLog = message ? message : "";
}
const clap::HostLog kLog = {hostLog};

const void* CLAPCALL hostExtension(const clap::Host*, const char* id) {
    if (std::string(id) == clap::kExtTimerSupport) return &kTimers;
    if (std::string(id) == clap::kExtLog) return &kLog;
    return nullptr;
}
void CLAPCALL noRequest(const clap::Host*) {}

struct ClapWindow {
    const clap::Plugin* plugin = nullptr;
    const clap::PluginGui* gui = nullptr;
    const clap::PluginTimerSupport* timer = nullptr;
};

// The window embedded in a host window at the host's scale, its pixels read
// after a few of the host's timer ticks.
std::vector<std::uint32_t> clapPixels(const ClapWindow& w, double scale) {
    std::vector<std::uint32_t> pixels;
    if (!w.gui->create(w.plugin, clap::kWindowApiWin32, false)) return pixels;
    uint32_t width = 0, height = 0;
    const bool taken = w.gui->setScale(w.plugin, scale);
    const bool sized = w.gui->getSize(w.plugin, &width, &height);
    report(taken && sized && width == uint32_t(scaled(kWidth, scale)) &&
               height == uint32_t(scaled(kHeight, scale)),
           "set_scale(" + scaleText(scale) + ") gives a window of " + std::to_string(width) +
               " x " + std::to_string(height));
    HWND host = makeHostWindow();
    clap::Window parent{};
    parent.api = clap::kWindowApiWin32;
    parent.win32 = host;
    if (w.gui->setParent(w.plugin, &parent) && w.gui->show(w.plugin)) {
        for (int i = 0; i < 5; ++i) {
            if (w.timer) w.timer->onTimer(w.plugin, kTimerId);
            pumpMessages();
        }
        pixels = capture(GetWindow(host, GW_CHILD), scaled(kWidth, scale), scaled(kHeight, scale));
    }
    w.gui->destroy(w.plugin);
    pumpMessages();
    DestroyWindow(host);
    return pixels;
}

// Colours in the picture: a window that drew nothing has one or two.
size_t colours(const std::vector<std::uint32_t>& pixels) {
    return std::set<std::uint32_t>(pixels.begin(), pixels.end()).size();
}

void compareWindows(const ClapWindow& w, const char* dll, double scale) {
    const std::vector<std::uint32_t> reference = vstPixels(dll, scale);
    const std::vector<std::uint32_t> shown = clapPixels(w, scale);
    std::string first;
    const long differences = countDifferences(shown, reference, scaled(kWidth, scale), first);
    report(!reference.empty() && !shown.empty() && differences == 0 && colours(shown) > 100,
           "at scale " + scaleText(scale) +
               ", the CLAP window shows the VST 2.4 editor's pixels (" +
               std::to_string(colours(shown)) + " colours)" +
               (reference.empty() ? " (no VST 2.4 editor to compare with)"
                : shown.empty()   ? " (no CLAP window)"
                : differences     ? " (" + std::to_string(differences) + " differ, " + first + ")"
                                  : ""));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s DLL CLAP\n", argv[0]);
        return 2;
    }
    HMODULE library = LoadLibraryA(argv[2]);
    const auto* entry = library
                            ? reinterpret_cast<const clap::PluginEntry*>(
                                  reinterpret_cast<void*>(GetProcAddress(library, "clap_entry")))
                            : nullptr;
    if (!entry || !entry->init(argv[2])) {
        std::printf("clap-window-check: cannot load %s\n", argv[2]);
        return 1;
    }
    const auto* factory =
        static_cast<const clap::PluginFactory*>(entry->getFactory(clap::kPluginFactoryId));
    const clap::PluginDescriptor* d = factory ? factory->getPluginDescriptor(factory, 0) : nullptr;
    clap::Host host = {clap::kVersion,
                       nullptr,
                       "Quellor CLAP Window Check",
                       "",
                       "",
                       "1.0.0",
                       hostExtension,
                       noRequest,
                       noRequest,
                       noRequest};
    ClapWindow w;
    w.plugin = d ? factory->createPlugin(factory, &host, d->id) : nullptr;
    if (!w.plugin || !w.plugin->init(w.plugin)) {
        std::printf("clap-window-check: no instance\n");
        return 1;
    }
    w.gui = static_cast<const clap::PluginGui*>(w.plugin->getExtension(w.plugin, clap::kExtGui));
    w.timer = static_cast<const clap::PluginTimerSupport*>(
        w.plugin->getExtension(w.plugin, clap::kExtTimerSupport));
    if (!w.gui) {
        std::printf("clap-window-check: FAILED: no gui extension\n");
        return 1;
    }

    const char* api = nullptr;
    bool floating = true;
    report(w.gui->isApiSupported(w.plugin, clap::kWindowApiWin32, false) &&
               !w.gui->isApiSupported(w.plugin, clap::kWindowApiX11, false) &&
               !w.gui->isApiSupported(w.plugin, clap::kWindowApiWin32, true) &&
               w.gui->getPreferredApi(w.plugin, &api, &floating) && api &&
               std::string(api) == clap::kWindowApiWin32 && !floating,
           "the window is offered embedded in a win32 parent only");

    // The refusals.
    const bool created = w.gui->create(w.plugin, clap::kWindowApiWin32, false);
    const bool twice = w.gui->create(w.plugin, clap::kWindowApiWin32, false);
    report(created && !twice && timerAsked, "a second window is refused (\"" + lastLog + "\")");
    bool fromOtherThread = true;
    std::thread other([&] {
        uint32_t width = 0, height = 0;
        fromOtherThread = w.gui->getSize(w.plugin, &width, &height);
    });
    other.join();
    report(!fromOtherThread, "a window call from another thread is refused (\"" + lastLog + "\")");
    w.gui->destroy(w.plugin);

    for (double scale : {1.0, 1.5, 2.0})
        compareWindows(w, argv[1], scale);

    w.plugin->destroy(w.plugin);
    entry->deinit();
    return allOk ? 0 : 1;
}
