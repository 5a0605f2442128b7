// One edit of the program while the synth plays: the only way the window (or
// anything else) changes the program's records in place.
//
// Made on the stack around the edit: the constructor takes the engine's edit
// lock, program() hands out the program, the touch calls record what the edit
// changed, and the destructor hands exactly that over to the audio thread,
// whole, and releases the lock. So no edit can forget the lock, and none can
// forget to publish what it touched: a touched envelope, pattern or operator
// wave reaches the sound with the audio thread's next block, without silencing
// one. Edits nest (the lock is recursive); each publishes its own touches.
//
// Threads: the window's or the host's, never the audio thread.
#pragma once

#include "engine/IEditorEngine.h"

#include <cstdint>
#include <mutex>

class CProgram;
class CSoundRenderer;

class CProgramEdit {
public:
    explicit CProgramEdit(IEditorEngine& engine);
    ~CProgramEdit();
    CProgramEdit(const CProgramEdit&) = delete;
    CProgramEdit& operator=(const CProgramEdit&) = delete;

    CProgram& program();
    // Envelope index's records (envelope, key and velocity curves: points,
    // loop, flags, routing) were changed in place; a free-running envelope goes
    // on from where it was. Indices outside 0..31 are ignored.
    void touchEnvelope(int32_t index);
    // The values of sequencer n (0 or 1) changed together (cleared, shifted,
    // reversed, loaded); others are ignored.
    void touchPattern(int32_t sequencer);
    // The spectrum of operator index changed: its wave table is built again
    // (-1: the selected operator; above 7: operator 8).
    void touchWave(int32_t index);
    // Envelopes were added, deleted, moved, cloned, pasted, reset or loaded:
    // the count and every record are taken whole.
    void restructure();

    // The renderer's side of the hand-over: what an edit touched reaches the
    // audio thread's copies, whole.
    static void handOver(CSoundRenderer& renderer, const ProgramTouches& touched);

private:
    IEditorEngine& engine;
    std::lock_guard<std::recursive_mutex> lock;
    ProgramTouches touched;
};
