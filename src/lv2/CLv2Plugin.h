// One instance of Quellor as an LV2 plug-in. It holds no sound logic: it owns
// the instance's renderer and editor, turns the host's atom events into MIDI
// for the renderer's event queue, its time position into the tempo, its
// control ports into host parameter changes, and the program into the
// state the host saves.
//
// The 43 host parameters are control ports, not patch properties: every LV2
// host shows, automates and stores control ports, while properties are left
// out by many. A port's value is taken only when the host changes it, so a
// program that the instance loads itself (at its start, from the window or
// from the saved state) is not undone by ports that still hold the old
// values; the window, when open, moves the host's ports along with the
// program.
//
// Threads: run on the host's audio thread (no allocation, no locks; the
// renderer only try-locks); activate, deactivate, the state calls and the
// window calls on the host's main or user-interface thread.
#pragma once

#include "engine/IRendererHost.h"
#include "lv2/EditorCalls.h"
#include "lv2/Lv2Names.h"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <atomic>
#include <cstdint>
#include <memory>

class CPluginFile;
class CPluginEditor;
class CSoundRenderer;

class CLv2Plugin : public IRendererHost {
public:
    // settings: the process-wide settings object (not owned). Check
    // isUsable() afterwards: without a renderer there is no instance.
    CLv2Plugin(CPluginFile* settings, double sampleRate, const LV2_URID_Map& map);
    virtual ~CLv2Plugin();
    CLv2Plugin(const CLv2Plugin&) = delete;
    CLv2Plugin& operator=(const CLv2Plugin&) = delete;

    bool isUsable() const { return renderer != nullptr; }

    // ---- the host's calls ----
    void connectPort(uint32_t port, void* data);
    // Both reset the engine, as the VST 2.4 suspend and resume do.
    void activate();
    void deactivate();
    // Audio thread: renders frames into the two outputs.
    void run(uint32_t frames);
    // Main thread. save may run while run does; restore never does.
    LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle);
    // A value that is not a program block is refused, the program left as it was.
    LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

    // ---- the window (user-interface thread) ----
    uintptr_t openEditor(uintptr_t parent, const Lv2EditorSink* sink, int* width, int* height);
    void idleEditor();
    void closeEditor();
    void editorPortChanged(uint32_t port, float value);

    // ---- IRendererHost ----
    void announceValue(int32_t id, float value) override;
    void beginValueEdit(int32_t id) override;
    void endValueEdit(int32_t id) override;
    bool hostTempo(double& bpm) override;

private:
    void readEvents(uint32_t frames);
    // The body of a time position object of size bytes.
    void readTimePosition(const uint8_t* object, uint32_t size);
    void takeControlPorts();
    // Hands the values the engine changed to the host's ports (UI thread).
    void sendAnnouncedValues();

    struct Uris {
        LV2_URID midiEvent, atomObject, atomBlank, atomChunk, atomFloat, atomDouble, atomInt,
            atomLong, timePosition, timeBeatsPerMinute, programKey;
    };
    Uris uris;

    std::unique_ptr<CSoundRenderer> renderer;
    std::unique_ptr<CPluginEditor> editor;

    const LV2_Atom_Sequence* events = nullptr;
    float* outputs[2] = {nullptr, nullptr};
    // The host's latency port: written at every block.
    float* latencyOut = nullptr;
    const float* controls[kHostParameterCount] = {};
    // The port values last taken; a port is taken again when it differs.
    float takenControls[kHostParameterCount] = {};
    // Set when the ports' current values are to be taken as seen without
    // applying them: after the state was restored, as they hold what the
    // host stored beside it.
    std::atomic<bool> resyncControls{false};

    std::atomic<double> tempoBpm{0.0};
    std::atomic<bool> tempoKnown{false};

    // Values the engine changed, waiting for the window to hand them on.
    std::atomic<uint64_t> announcedMask{0};
    std::atomic<float> announcedValues[kHostParameterCount] = {};
    const Lv2EditorSink* editorSink = nullptr;
};
