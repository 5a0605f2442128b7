// The editor side of the host boundary: the host asks for the window size,
// opens the editor inside its own window, idles it and closes it. The plug-in
// object owns its editor and forwards the editor opcodes here.
//
// Threads: every call comes from the host's user-interface thread, except
// setParameter, which follows host automation from any host thread and must
// only record the value (no drawing, no allocation, no locks).
#pragma once

#include "vst/VstAbi.h"

class AudioEffect;

class AEffEditor {
public:
    explicit AEffEditor(AudioEffect* effect) : effect(effect) {}
    virtual ~AEffEditor() = default;
    AEffEditor(const AEffEditor&) = delete;
    AEffEditor& operator=(const AEffEditor&) = delete;

    // Stores a pointer to the editor's rectangle (pixels) in *rect; the
    // rectangle lives as long as the editor. True when one was stored.
    virtual bool getRect(ERect** rect) {
        *rect = nullptr;
        return false;
    }
    // parent: the host's window (HWND on Windows, the X11 window id on Linux).
    virtual bool open(void* parent) {
        systemWindow = parent;
        return false;
    }
    virtual void close() { systemWindow = nullptr; }
    virtual bool isOpen() const { return systemWindow != nullptr; }
    // The host's periodic idle call: pump events, redraw what changed.
    virtual void idle() {}
    // A host parameter changed (index 0..numParams-1, value normalised 0..1).
    virtual void setParameter(VstInt32 index, float value) {
        (void)index;
        (void)value;
    }

    AudioEffect* getEffect() const { return effect; }
    void* getSystemWindow() const { return systemWindow; }

protected:
    AudioEffect* effect;
    void* systemWindow = nullptr;
};
