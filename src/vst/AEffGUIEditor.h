// An editor with a fixed window rectangle that reports the user's edit
// gestures to the host. The drawing itself belongs to the derived editor;
// this class keeps the rectangle the host asks for and remembers the host's
// window.
//
// Threads: user-interface thread, except setParameter (see AEffEditor).
#pragma once

#include "vst/AEffEditor.h"

class AudioEffectX;

class AEffGUIEditor : public AEffEditor {
public:
    // width and height of the window in pixels.
    AEffGUIEditor(AudioEffectX* effect, VstInt16 width, VstInt16 height);
    ~AEffGUIEditor() override;

    bool getRect(ERect** rect) override;
    bool open(void* parent) override;
    void close() override;

    // The user starts / ends changing parameter index; the host groups the
    // automation in between into one gesture.
    void beginEdit(VstInt32 index);
    void endEdit(VstInt32 index);

    AudioEffectX* getEffectX() const { return effectX; }

protected:
    ERect rect;
    AudioEffectX* effectX;
};
