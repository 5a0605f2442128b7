#pragma once
// The MIDI controller sources the modulation matrix and the envelopes read:
// the controller table (mod wheel, pitch bend, channel pressure, breath, foot,
// expression and controllers 16-19) and poly aftertouch per key. Written by
// the audio thread's event dispatch only, read by its voices.
#include "voice/CEnvelope.h"

#include <cstdint>

class CMidiControllers {
public:
    // The largest 7-bit MIDI data value, which reads as 1.
    static constexpr double kDataMax = 127.0;
    // The table entry that reads poly aftertouch of the voice's own key.
    static constexpr int32_t kPolyAftertouchIndex = 2;

    // Takes poly aftertouch, channel pressure or pitch bend (status without
    // its channel); false for every other message.
    bool takeMessage(int32_t status, int32_t data1, int32_t data2);
    // Takes a control change whose controller is a table entry; false for
    // the others, which the caller handles.
    bool takeControlChange(int32_t number, int32_t value);
    // Every table entry back to 0 (poly aftertouch stays, as the keys hold it).
    void reset();

    // Entry index as the voice with this key reads it; 1 for no entry.
    double value(int32_t index, int32_t key) const;
    // The whole table as the voice with this key reads it.
    void values(int32_t key, double* out) const;

private:
    double polyAftertouchOf(int32_t key) const {
        return (key >= 0 && key < kKeyCount) ? polyAftertouch[key] : 0.0;
    }

    static constexpr int32_t kKeyCount = 128;
    double controllers[kControllerCount] = {};
    double polyAftertouch[kKeyCount] = {};
};
