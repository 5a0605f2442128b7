// What the renderer needs from the plug-in shell that hosts it. The shell
// implements it; the engine knows nothing else of the shell or of the plug-in
// interface behind it.
#pragma once

#include <cstdint>

class IRendererHost {
public:
    // Any thread: the engine itself (not the host) changed host parameter id
    // (0..42) to value, normalised 0..1; the host records it as automation.
    virtual void announceValue(int32_t id, float value) = 0;
    // UI thread: the user begins or ends dragging the control of host
    // parameter id, so that the host records the gesture as one edit.
    virtual void beginValueEdit(int32_t id) = 0;
    virtual void endValueEdit(int32_t id) = 0;
    // Audio thread, once per block: the host's tempo in BPM; false when the
    // host gives none, and the engine keeps its last tempo.
    virtual bool hostTempo(double& bpm) = 0;
    // Host or UI thread, never the audio thread: the output's delay in host
    // frames changed (a quality change), so the host can line it up again.
    virtual void latencyChanged(int32_t frames) { (void)frames; }

protected:
    ~IRendererHost() = default;
};
