// One Quellor instance as a CLAP host sees it. It holds no sound logic: it
// owns the instance's sound renderer and editor, and translates the host's
// calls, events, parameters and state into the renderer's own interface, as
// the VST 2.4 shell does for its hosts.
//
// Threads, as the host must call (each call says which):
//   main thread  - init, destroy, activate, deactivate, on_main_thread, every
//                  query of ports and parameters, state, window and timer;
//                  a call from another thread is refused and logged.
//   audio thread - start/stop_processing, reset, process, and flush while
//                  active: no allocation, no locks (the renderer try-locks).
//   any thread   - get_extension.
#pragma once

#include "clap/CEditGestureQueue.h"
#include "clap/CHeldNotes.h"
#include "clap/ClapAbi.h"
#include "engine/IRendererHost.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

class AEffEditor;
class CClapWindow;
class CPluginFile;
class CSoundRenderer;

class CClapPlugin final : public IRendererHost {
public:
    static constexpr uint32_t kParameterCount = 43;
    // The window's idle and events run from the host's timer at about 30 Hz.
    static constexpr uint32_t kIdlePeriodMs = 30;

    // Any thread (the factory): nothing of the host is called yet.
    // settings: the process-wide settings object (not owned).
    CClapPlugin(const clap::PluginDescriptor* descriptor, const clap::Host* host,
                CPluginFile* settings);
    ~CClapPlugin();
    CClapPlugin(const CClapPlugin&) = delete;
    CClapPlugin& operator=(const CClapPlugin&) = delete;

    const clap::Plugin* record() const { return &pluginRecord; }
    static CClapPlugin* from(const clap::Plugin* plugin);

    // ---- IRendererHost ----
    void announceValue(int32_t id, float value) override;
    void beginValueEdit(int32_t id) override;
    void endValueEdit(int32_t id) override;
    bool hostTempo(double& bpm) override;
    void latencyChanged(int32_t frames) override;

    // ---- what the window and the extensions reach ----
    bool onMainThread() const;
    // Tells the host's log, when it has one.
    void log(int32_t severity, const char* message) const;
    const clap::Host* host() const { return hostRecord; }
    AEffEditor* editor() const { return editorObject.get(); }
    CClapWindow* windowObject() const { return window.get(); }
    const void* hostExtension(const char* id) const;

private:
    // ---- the plug-in record's calls ----
    bool init();
    void destroy();
    bool activate(double sampleRate, uint32_t minFrames, uint32_t maxFrames);
    void deactivate();
    bool startProcessing();
    void stopProcessing();
    void reset();
    int32_t process(const clap::Process* process);
    const void* extension(const char* id) const;
    void onMainThreadCallback() {}

    // ---- events ----
    // One input event at frame offset delta of the piece about to render.
    void handleEvent(const clap::EventHeader* event, int32_t delta);
    void handleNote(const clap::NoteEvent& note, int32_t delta);
    void handleMidi(const clap::MidiEvent& midi, int32_t delta);
    void setValueFromHost(const clap::ParamValueEvent& event);
    void queueMidi(uint8_t status, uint8_t data1, uint8_t data2, int32_t delta);
    // The window's edits, then the finished notes, to the host's list.
    void sendOutputEvents(const clap::OutputEvents* out, uint32_t lastFrame);
    void queueEdit(const CEditGestureQueue::Edit& edit);
    bool anyVoiceSounds() const;

    // ---- parameters ----
    uint32_t paramCount() const;
    bool paramInfo(uint32_t index, clap::ParamInfo* info) const;
    bool paramValue(clap::Id id, double* value) const;
    bool paramText(clap::Id id, double value, char* text, uint32_t capacity) const;
    bool paramFromText(clap::Id id, const char* text, double* value) const;
    void paramFlush(const clap::InputEvents* in, const clap::OutputEvents* out);

    // ---- state ----
    bool saveState(const clap::OutputStream* stream);
    bool loadState(const clap::InputStream* stream);

    // The record tables' functions find the instance through plugin_data.
    friend struct ClapCalls;

    clap::Plugin pluginRecord;
    const clap::Host* hostRecord;
    CPluginFile* settingsObject;
    std::unique_ptr<CSoundRenderer> renderer;
    std::unique_ptr<AEffEditor> editorObject;
    std::unique_ptr<CClapWindow> window;

    // The host's tables, fetched once in init (null when it has none).
    const clap::HostParams* hostParams = nullptr;
    const clap::HostLatency* hostLatency = nullptr;
    // The delay told to the host, fixed from one activation to the next: the
    // quality mode's decimator delays the output, and a change made while
    // active waits for the restart the host is asked for.
    uint32_t reportedLatency = 0;
    const clap::HostThreadCheck* hostThreadCheck = nullptr;
    const clap::HostLog* hostLog = nullptr;

    std::thread::id mainThread;
    bool initialised = false;
    bool active = false;
    std::atomic<bool> processing{false};
    // Set while a state loads: its values reach the host as one rescan, not
    // as 43 edits.
    bool loadingState = false;
    // The values a fresh instance starts with (the host's reset values).
    std::array<double, kParameterCount> defaults{};

    // Audio thread.
    CEditGestureQueue edits;
    CHeldNotes heldNotes;
    double transportTempo = 0.0;
    bool transportHasTempo = false;
};
