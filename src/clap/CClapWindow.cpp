#include "clap/CClapWindow.h"

#include "clap/CClapPlugin.h"
#include "editor/CPluginEditor.h"
#include "vst/AEffEditor.h"

#include <cmath>
#include <cstring>

namespace {

#if defined(_WIN32)
constexpr const char* kOwnApi = clap::kWindowApiWin32;
#else
constexpr const char* kOwnApi = clap::kWindowApiX11;
#endif

const clap::HostTimerSupport* hostTimers(const CClapPlugin& plugin) {
    return static_cast<const clap::HostTimerSupport*>(plugin.hostExtension(clap::kExtTimerSupport));
}

} // namespace

struct ClapWindowCalls {
    static CClapWindow* window(const clap::Plugin* p) {
        CClapPlugin* plugin = CClapPlugin::from(p);
        if (!plugin || !plugin->windowObject()) return nullptr;
        // Every call of the extension belongs to the main thread.
        if (!plugin->onMainThread()) {
            plugin->log(clap::kLogHostMisbehaving,
                        "Quellor: a window call came from another thread than the main one");
            return nullptr;
        }
        return plugin->windowObject();
    }
    static bool CLAPCALL isApiSupported(const clap::Plugin* p, const char* api, bool floating) {
        CClapWindow* w = window(p);
        return w && w->apiSupported(api, floating);
    }
    static bool CLAPCALL preferredApi(const clap::Plugin* p, const char** api, bool* floating) {
        if (!window(p) || !api || !floating) return false;
        *api = kOwnApi;
        *floating = false;
        return true;
    }
    static bool CLAPCALL create(const clap::Plugin* p, const char* api, bool floating) {
        CClapWindow* w = window(p);
        return w && w->create(api, floating);
    }
    static void CLAPCALL destroy(const clap::Plugin* p) {
        if (CClapWindow* w = window(p)) w->destroy();
    }
    static bool CLAPCALL setScale(const clap::Plugin* p, double factor) {
        CClapWindow* w = window(p);
        return w && w->setScale(factor);
    }
    static bool CLAPCALL getSize(const clap::Plugin* p, uint32_t* width, uint32_t* height) {
        CClapWindow* w = window(p);
        return w && w->size(width, height);
    }
    static bool CLAPCALL canResize(const clap::Plugin*) { return false; }
    static bool CLAPCALL resizeHints(const clap::Plugin* p, clap::GuiResizeHints* hints) {
        // Some hosts ask even of a window that cannot resize: the answer is
        // that it cannot.
        if (!window(p) || !hints) return false;
        *hints = clap::GuiResizeHints{false, false, false, 0, 0};
        return true;
    }
    static bool CLAPCALL adjustSize(const clap::Plugin* p, uint32_t* width, uint32_t* height) {
        // The one size the window has is the nearest.
        CClapWindow* w = window(p);
        return w && w->size(width, height);
    }
    static bool CLAPCALL setSize(const clap::Plugin* p, uint32_t width, uint32_t height) {
        CClapWindow* w = window(p);
        uint32_t ownWidth = 0, ownHeight = 0;
        return w && w->size(&ownWidth, &ownHeight) && width == ownWidth && height == ownHeight;
    }
    static bool CLAPCALL setParent(const clap::Plugin* p, const clap::Window* parent) {
        CClapWindow* w = window(p);
        return w && w->setParent(parent);
    }
    static bool CLAPCALL setTransient(const clap::Plugin*, const clap::Window*) { return false; }
    static void CLAPCALL suggestTitle(const clap::Plugin*, const char*) {}
    static bool CLAPCALL show(const clap::Plugin* p) {
        CClapWindow* w = window(p);
        return w && w->show();
    }
    static bool CLAPCALL hide(const clap::Plugin* p) {
        CClapWindow* w = window(p);
        return w && w->hide();
    }

    static constexpr clap::PluginGui table = {isApiSupported, preferredApi, create,    destroy,
                                              setScale,       getSize,      canResize, resizeHints,
                                              adjustSize,     setSize,      setParent, setTransient,
                                              suggestTitle,   show,         hide};
};

const clap::PluginGui* CClapWindow::table() {
    return &ClapWindowCalls::table;
}

CClapWindow::~CClapWindow() {
    destroy();
}

bool CClapWindow::apiSupported(const char* api, bool floating) const {
    // Embedded only: the window lives inside the host's.
    return api && !floating && std::strcmp(api, kOwnApi) == 0 && plugin.editor();
}

bool CClapWindow::create(const char* api, bool floating) {
    if (created) {
        plugin.log(clap::kLogHostMisbehaving, "Quellor: the window exists already");
        return false;
    }
    if (!apiSupported(api, floating)) return false;
    const clap::HostTimerSupport* timers = hostTimers(plugin);
    clap::Id id = clap::kInvalidId;
    if (!timers || !timers->registerTimer ||
        !timers->registerTimer(plugin.host(), CClapPlugin::kIdlePeriodMs, &id)) {
#if defined(_WIN32)
        // The host's message loop serves the window; without the timer it
        // only misses the redraws of values the host changes.
        plugin.log(clap::kLogWarning,
                   "Quellor: no timer from the host; the window will not follow automation");
        id = clap::kInvalidId;
#else
        // The window's X11 events are read only in its idle.
        plugin.log(clap::kLogError, "Quellor: the window needs the host's timer support");
        return false;
#endif
    }
    timer = id;
    created = true;
    return true;
}

void CClapWindow::destroy() {
    if (!created) return;
    if (opened && plugin.editor()) plugin.editor()->close();
    const clap::HostTimerSupport* timers = hostTimers(plugin);
    if (timer != clap::kInvalidId && timers && timers->unregisterTimer)
        timers->unregisterTimer(plugin.host(), timer);
    timer = clap::kInvalidId;
    created = opened = shown = false;
    hostScaleSet = false;
}

qgui::CScale CClapWindow::scale() const {
    if (hostScaleSet) return hostScale;
    ERect* rect = nullptr;
    if (!plugin.editor() || !plugin.editor()->getRect(&rect) || !rect) return qgui::CScale(1);
    // The editor's width names its scale: 970, 1455 or 1940.
    const int width = rect->right - rect->left;
    for (int halves = qgui::CScale::kMaxHalves; halves > qgui::CScale::kMinHalves; --halves)
        if (width >= qgui::CScale::fromHalves(halves).toSurface(CPluginEditor::kWidth))
            return qgui::CScale::fromHalves(halves);
    return qgui::CScale(1);
}

bool CClapWindow::setScale(double factor) {
    if (!created || !std::isfinite(factor) || factor <= 0) return false;
    // The nearest of the scales the editor draws at: a host on a 125 % or
    // 175 % screen still gets a window of about the size it asked for.
    const qgui::CScale s = qgui::CScale::nearest(factor);
    // An open window keeps the scale it was drawn at.
    if (opened && s != scale()) return false;
    hostScale = s;
    hostScaleSet = true;
    return true;
}

bool CClapWindow::size(uint32_t* width, uint32_t* height) const {
    if (!created || !width || !height) return false;
    *width = uint32_t(scale().toSurface(CPluginEditor::kWidth));
    *height = uint32_t(scale().toSurface(CPluginEditor::kHeight));
    return true;
}

bool CClapWindow::setParent(const clap::Window* parent) {
    if (!created || opened || !parent || !parent->api || std::strcmp(parent->api, kOwnApi) != 0)
        return false;
#if defined(_WIN32)
    void* handle = parent->win32;
#else
    void* handle = reinterpret_cast<void*>(uintptr_t(parent->x11));
#endif
    if (!handle) return false;
    AEffEditor* editor = plugin.editor();
    auto* own = dynamic_cast<CPluginEditor*>(editor);
    opened = own ? own->openWith(handle, nullptr, scale()) : editor->open(handle);
    if (!opened) plugin.log(clap::kLogError, "Quellor: the window could not be opened");
    return opened;
}

bool CClapWindow::show() {
    if (!created) return false;
    shown = true;
    return true;
}

bool CClapWindow::hide() {
    if (!created) return false;
    shown = false;
    return true;
}

void CClapWindow::onTimer(clap::Id timerId) {
    if (!created || timerId != timer || !opened || !plugin.onMainThread()) return;
    plugin.editor()->idle();
}
