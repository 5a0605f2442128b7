// A small VST 2.4 host for tests: loads the built plug-in library, creates
// instances through its entry point and drives them only through the AEffect
// record, as a real host does. Its callback records what the plug-in asks
// for, with counters only, so that it allocates nothing on the audio path.
#pragma once

#include "vst/VstAbi.h"

#include <string>
#include <vector>

struct HostCounters {
    int automate = 0;
    int beginEdit = 0;
    int endEdit = 0;
    int wantMidi = 0;
    int getTime = 0;
    VstInt32 lastAutomateIndex = -1;
    float lastAutomateValue = 0.0f;
};

class VstTestHost {
public:
    // What the host answers. version 0 makes an unusable host.
    VstIntPtr version = 2400;
    std::string product = "Quellor Test Host";
    // Time information: null answer when giveTime is false.
    bool giveTime = true;
    VstTimeInfo time = {};
    HostCounters counters;

    VstTestHost();
    ~VstTestHost(); // closes the instance if one is open
    VstTestHost(const VstTestHost&) = delete;
    VstTestHost& operator=(const VstTestHost&) = delete;

    // Creates an instance through VSTPluginMain; null when the plug-in refused.
    AEffect* open();
    // Sends effClose; the instance is gone afterwards.
    void close();
    AEffect* effect() const { return instance; }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    // The usual start: sample rate, block size, resume.
    void start(float sampleRate = 44100.0f, VstInt32 blockSize = 512);

    // Restores a program that sounds on every note (effSetChunk); true on success.
    bool loadSoundingProgram();

    std::string parameterName(VstInt32 index);
    std::string parameterDisplay(VstInt32 index);
    void setParameter(VstInt32 index, float value);

    // The library's exported symbols, for checks of the entry names.
    static void* symbol(const char* name);

private:
    static VstIntPtr VSTCALLBACK callback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                          VstIntPtr value, void* ptr, float opt);
    VstIntPtr answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

    AEffect* instance = nullptr;
};

// Owns a VstEvents record with room for any number of events.
class EventList {
public:
    void addMidi(uint8_t status, uint8_t data1, uint8_t data2, VstInt32 deltaFrames);
    // A system-exclusive event whose dump the plug-in must never read.
    void addSysex(VstInt32 deltaFrames);
    // The record for effProcessEvents; valid until the list changes.
    VstEvents* record();

private:
    std::vector<VstMidiEvent> midi;
    std::vector<VstMidiSysexEvent> sysex;
    // In host order: true = sysex, with the index into its vector.
    std::vector<std::pair<bool, size_t>> order;
    std::vector<unsigned char> storage;
};
