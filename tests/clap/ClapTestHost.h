// A small CLAP host for tests: loads the built Quellor.clap with dlopen,
// creates instances through clap_entry and its factory, and drives them only
// through the plug-in's records and extensions, as a real host does. Audio
// calls run on a thread of their own; the test's thread is the main thread.
// Every call the plug-in makes into the host is checked against the thread
// the interface assigns it, and each breach is noted in violations().
#pragma once

#include "clap/ClapAbi.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Events as flat records, for the plug-in's input list or from its output list.
class EventBuffer {
public:
    template <typename Event> void add(const Event& e) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(&e);
        offsets.push_back(storage.size());
        storage.insert(storage.end(), bytes, bytes + e.header.size);
        // Records stay 8-byte aligned.
        storage.resize((storage.size() + 7) & ~size_t(7));
    }
    void addRaw(const clap::EventHeader* e);
    size_t size() const { return offsets.size(); }
    const clap::EventHeader* at(size_t i) const {
        return reinterpret_cast<const clap::EventHeader*>(storage.data() + offsets[i]);
    }
    template <typename Event> const Event& as(size_t i) const {
        return *reinterpret_cast<const Event*>(at(i));
    }
    void clear() {
        storage.clear();
        offsets.clear();
    }
    const clap::InputEvents* inputList();
    const clap::OutputEvents* outputList();

private:
    std::vector<uint8_t> storage;
    std::vector<size_t> offsets;
    clap::InputEvents in{};
    clap::OutputEvents out{};
};

// Event makers with the interface's sizes and the core space.
clap::NoteEvent noteEvent(uint16_t type, uint32_t time, int16_t key, double velocity,
                          int32_t noteId = -1, int16_t channel = 0);
clap::MidiEvent midiEvent(uint32_t time, uint8_t status, uint8_t data1, uint8_t data2);
clap::ParamValueEvent paramEvent(uint32_t time, clap::Id id, double value);

class ClapTestHost {
public:
    static constexpr double kSampleRate = 44100.0;
    static constexpr uint32_t kBlockFrames = 512;

    ClapTestHost();
    ~ClapTestHost(); // destroys the instance if one is open
    ClapTestHost(const ClapTestHost&) = delete;
    ClapTestHost& operator=(const ClapTestHost&) = delete;

    // The library's entry record, null when it cannot be loaded (error() says why).
    static const clap::PluginEntry* entry();
    static const std::string& error();
    static const char* path();

    // Creates and initialises the instance; null when the plug-in refused.
    const clap::Plugin* open();
    // Deactivates when active and destroys.
    void close();
    const clap::Plugin* plugin() const { return instance; }
    template <typename T> const T* extension(const char* id) const {
        return instance ? static_cast<const T*>(instance->getExtension(instance, id)) : nullptr;
    }

    // activate on the main thread, start_processing on the audio thread.
    bool start(double sampleRate = kSampleRate);
    // One process call on the audio thread; the output events land in out.
    int32_t process(float* left, float* right, uint32_t frames, EventBuffer& in, EventBuffer& out);
    // Runs f on the audio thread and waits for it.
    void onAudioThread(const std::function<void()>& f);

    // State through streams that move at most `piece` bytes per call.
    bool saveState(std::vector<uint8_t>& bytes, size_t piece = 1u << 20);
    bool loadState(const std::vector<uint8_t>& bytes, size_t piece = 1u << 20,
                   bool failMidway = false);

    // Fires the window's timers, as the host's main loop does.
    void fireTimers();

    // What the plug-in did to the host.
    std::vector<std::string> violations() const;
    int flushRequests() const { return flushRequestCount; }
    int rescans() const { return rescanCount; }
    int latencyChanges() const { return latencyChangeCount; }
    size_t timerCount() const { return timers.size(); }
    std::vector<std::string> logged;
    // Whether the host offers timers to the plug-in's window.
    bool offerTimers = true;
    // The tempo the transport says (0: no transport).
    double tempo = 120.0;

private:
    friend struct HostCalls;
    void note(const std::string& breach);
    bool isMain() const { return std::this_thread::get_id() == mainThread; }
    bool isAudio() const { return std::this_thread::get_id() == audioThread.get_id(); }
    void audioLoop();

    clap::Host record{};
    const clap::Plugin* instance = nullptr;
    bool active = false;
    bool initialising = false;
    bool activating = false;
    std::thread::id mainThread;
    std::vector<std::string> breaches;
    mutable std::mutex breachLock;
    int flushRequestCount = 0;
    int rescanCount = 0;
    int latencyChangeCount = 0;
    std::vector<clap::Id> timers;
    clap::Id nextTimer = 1;

    std::thread audioThread;
    std::mutex audioLock;
    std::condition_variable audioWake;
    std::function<void()> audioTask;
    bool audioBusy = false;
    bool audioQuit = false;
};
