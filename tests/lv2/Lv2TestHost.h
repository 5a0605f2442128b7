// A small LV2 host for tests: loads the built bundle's binaries with dlopen,
// instantiates the plug-in through lv2_descriptor with a URID map of its own,
// connects every port, plays MIDI and time positions through the events
// port, and saves and restores the state through the plug-in's interface.
#pragma once

#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class Lv2TestHost {
public:
    static constexpr double kSampleRate = 44100.0;
    static constexpr uint32_t kMaxFrames = 4096;

    struct MidiEvent {
        uint32_t frame;
        uint8_t bytes[3];
        uint32_t size;
    };

    Lv2TestHost();
    ~Lv2TestHost();
    Lv2TestHost(const Lv2TestHost&) = delete;
    Lv2TestHost& operator=(const Lv2TestHost&) = delete;

    // Loads the plug-in binary, and the control ports' defaults from the
    // bundle's description (the ports hold them, as in any host, until a
    // test sets them); "" on success, else what failed.
    std::string load(const std::string& bundle);
    // Instantiates and activates; false when the plug-in refused.
    bool start(double rate = kSampleRate);
    const LV2_Descriptor* descriptor() const { return plugin; }
    LV2_Handle handle() const { return instance; }

    // The value the host holds in host parameter id's control port.
    float& control(int32_t id) { return controls[size_t(id)]; }
    // The tempo sent as a time position with the next block (<= 0: none).
    double tempo = 0.0;
    // The event sequence placed 4 bytes off 8-byte alignment, as some hosts
    // place it.
    bool misalignEvents = false;

    // One run of frames (at most kMaxFrames) with the given events; the
    // output lands in left and right.
    void run(uint32_t frames, const std::vector<MidiEvent>& events = {});
    std::vector<float> left, right;
    // The plug-in's latency port, written at every run.
    float latency = -1.0f;

    // The saved state: key URI -> (type URI, bytes).
    struct Value {
        std::string type;
        std::vector<uint8_t> bytes;
    };
    LV2_State_Status save(std::map<std::string, Value>& out);
    LV2_State_Status restore(const std::map<std::string, Value>& values);
    // Shortcuts for the program key.
    std::vector<uint8_t> saveProgram();
    LV2_State_Status restoreProgram(const std::vector<uint8_t>& bytes,
                                    const char* type = "http://lv2plug.in/ns/ext/atom#Chunk");

    // The URID map the plug-in sees.
    LV2_URID map(const char* uri);
    const char* unmap(LV2_URID urid) const;
    const LV2_Feature* const* features() const { return featureList; }

private:
    bool loadDefaults(const std::string& bundle);
    static LV2_URID mapUri(LV2_URID_Map_Handle handle, const char* uri);
    static const char* unmapUri(LV2_URID_Unmap_Handle handle, LV2_URID urid);

    void* library = nullptr;
    const LV2_Descriptor* plugin = nullptr;
    LV2_Handle instance = nullptr;
    bool active = false;
    std::vector<std::string> uris;
    LV2_URID_Map mapFeature;
    LV2_URID_Unmap unmapFeature;
    LV2_Feature mapEntry, unmapEntry;
    const LV2_Feature* featureList[3];
    std::vector<float> controls;
    std::vector<uint64_t> eventBuffer; // 8-byte aligned atom sequence
};
