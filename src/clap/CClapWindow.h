// The CLAP gui extension: the plug-in's one editor window embedded in the
// host's window (X11 on Linux, Win32 on Windows), at the scale the host asks
// for where the editor has it. The host's timer drives the window's idle
// (events and repaints): no thread of ours ever touches the host's windows.
//
// The host's scale becomes the nearest of those the editor draws at (1, 1.5,
// 2).
//
// Threads: main thread only. A call from another thread, a second create,
// a scale that is no positive number, or one that differs from the open
// window's, is refused (false), never followed.
#pragma once

#include "clap/ClapAbi.h"
#include "gui/CScale.h"

#include <cstdint>

class CClapPlugin;

class CClapWindow {
public:
    explicit CClapWindow(CClapPlugin& plugin) : plugin(plugin) {}
    ~CClapWindow();
    CClapWindow(const CClapWindow&) = delete;
    CClapWindow& operator=(const CClapWindow&) = delete;

    // The extension's table, the same for every instance.
    static const clap::PluginGui* table();

    // The host's timer fired: the window handles its events and repaints.
    void onTimer(clap::Id timerId);

    bool isCreated() const { return created; }
    qgui::CScale scale() const;

private:
    bool apiSupported(const char* api, bool floating) const;
    bool create(const char* api, bool floating);
    void destroy();
    bool setScale(double factor);
    bool size(uint32_t* width, uint32_t* height) const;
    bool setParent(const clap::Window* parent);
    bool show();
    bool hide();

    friend struct ClapWindowCalls;

    CClapPlugin& plugin;
    bool created = false;
    bool opened = false;
    bool shown = false;
    // The host's scale, while it has set one.
    qgui::CScale hostScale;
    bool hostScaleSet = false;
    clap::Id timer = clap::kInvalidId;
};
