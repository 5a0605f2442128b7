// The audio thread's own copy of the program's envelopes: the records that a
// note on hands to the voices and that the free-running envelopes run in.
//
// The editor changes the program's envelope records in place on its own
// thread. Each change is staged here whole and handed over (CHandOver); the
// audio thread takes it at the start of a block. So the audio thread never
// reads a record halfway through an edit (a point count that disagrees with
// the points, a loop index past the end) and never waits for the editor.
//
// Each slot holds what a note on needs of the program's three records: the
// modulation envelope, carrying the key-scaling curve's table in its own key
// table, and the velocity curve read off once for every velocity. A record
// taken over keeps the running position of the same envelope before the edit,
// found by the program's envelope identity in whatever slot it was, so that
// free-running envelopes run on through edits, moves and deletions of others;
// a new envelope starts from the beginning.
#pragma once

#include "base/CHandOver.h"
#include "voice/CEnvelope.h"

#include <cstdint>

class CProgram;

class CLiveEnvelopes {
public:
    static constexpr int32_t kSlotCount = 32;
    static constexpr int32_t kVelocityCount = 128;

    CLiveEnvelopes();

    // ---- editing threads, one at a time (the renderer serialises them) ----
    // Stages the records between beginEdit and publish; until then the audio
    // thread goes on with what it has.
    void beginEdit() { handOver.beginWrite(); }
    // Slot index (0..31) of program: its envelope with its key and velocity curves.
    void stage(const CProgram& program, int32_t index);
    // The envelope count and every slot.
    void stageAll(const CProgram& program);
    void publish() { handOver.publish(); }

    // ---- audio thread, or a thread that holds the renderer's structure lock ----
    // Takes what was published since the last call, if anything; true when it did.
    bool take();
    // Every record back to its start (reset).
    void restart();
    // The envelopes for a note of this velocity (0..127): each one's depth is its
    // velocity curve's value there. count() of them.
    const CEnvelope* forNote(int32_t velocity);
    int32_t count() const { return liveCount; }
    // Advances the free-running envelopes among the first count() by seconds.
    void advanceFreeRunning(double seconds);
    const CEnvelope& envelope(int32_t index) const { return live[clampSlot(index)]; }

private:
    static int32_t clampSlot(int32_t i) {
        return i < 0 ? 0 : (i >= kSlotCount ? kSlotCount - 1 : i);
    }

    // The audio thread's.
    CEnvelope live[kSlotCount];
    uint32_t liveIdentities[kSlotCount];
    double liveDepths[kSlotCount][kVelocityCount];
    int32_t liveCount = 1;

    // The editing thread's while it writes, the audio thread's while it takes.
    CEnvelope staged[kSlotCount];
    uint32_t stagedIdentities[kSlotCount];
    double stagedDepths[kSlotCount][kVelocityCount];
    int32_t stagedCount = 1;
    uint32_t stagedSlots = 0; // slots changed since the audio thread last took them
    bool countStaged = false;
    CHandOver handOver;
};
