// How the window binary reaches the editor of an instance. The editor lives
// in the plug-in binary beside its renderer; the window binary finds these
// calls through the plug-in's extension data (kEditorCallsUri) and the
// instance through the host's instance access. Plain C types only: the two
// binaries share nothing else.
//
// Threads: every call comes from the host's user-interface thread.
#pragma once

#include <cstdint>

// What the editor asks of the host through the window binary.
struct Lv2EditorSink {
    void* context;
    // The editor changed a parameter's value: the host's control port follows.
    void (*writeValue)(void* context, uint32_t port, float value);
    // The user grabs (true) or lets go of (false) the control of a port.
    void (*gesture)(void* context, uint32_t port, bool grabbed);
};

struct Lv2EditorCalls {
    // Opens the editor inside parent (an X11 window id). Answers the editor's
    // own window id and its size in pixels, or 0 when it cannot open (the
    // window is already open elsewhere, or it could not be made). sink stays
    // valid until close.
    uintptr_t (*open)(void* instance, uintptr_t parent, const Lv2EditorSink* sink, int* width,
                      int* height);
    // Pumps the window's events, redraws, and passes the editor's value
    // changes on to the sink.
    void (*idle)(void* instance);
    void (*close)(void* instance);
    // The host's control port of a parameter changed (from automation or a
    // generic control): the window redraws what shows it.
    void (*portChanged)(void* instance, uint32_t port, float value);
};
