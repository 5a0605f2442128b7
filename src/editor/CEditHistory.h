// The window's undo and redo: the changes a person made in the window, one
// step per gesture (a drag from press to release, a click, a menu command, a
// loaded file or program), newest last.
//
// A step holds only the 8-byte words of the program that the gesture changed,
// as they were before and after it: a knob's step is a few dozen bytes, a
// loaded program's the words it changed. The history keeps its steps within
// kMemoryBound bytes, dropping the oldest first; a new step drops the steps
// that were undone. What the program is now is kept as the baseline each step
// is measured from: a copy of the program, as is the scratch copy that an
// undo builds the earlier state in; both are made at the first use.
//
// Thread: the window's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

class CProgram;

class CEditHistory {
public:
    // Every step's words and bookkeeping together stay under this.
    static constexpr size_t kMemoryBound = size_t(1) << 20;

    CEditHistory();
    ~CEditHistory();
    CEditHistory(const CEditHistory&) = delete;
    CEditHistory& operator=(const CEditHistory&) = delete;

    // Forgets every step; now is what the next step is measured from.
    void reset(const CProgram& now);
    // Whether reset has given the history a baseline yet.
    bool started() const { return baseline != nullptr; }
    // Ends a step: what changed from the baseline to now is one step (nothing
    // changed: no step). The host parameters whose bit is set in ignored
    // (bit n: value ID n) are left out: the host's automation, not the
    // window's. True when a step was added.
    bool record(const CProgram& now, uint64_t ignored = 0);

    bool canUndo() const { return undone < steps.size(); }
    bool canRedo() const { return undone > 0; }
    // The program as it was before the newest step not undone (undo) or after
    // the oldest undone one (redo), built from now; null when there is none.
    // The caller makes the program so and then calls settle.
    const CProgram* undo(const CProgram& now);
    const CProgram* redo(const CProgram& now);
    // The program now is what the next step is measured from (after an undo
    // or redo is applied).
    void settle(const CProgram& now);

    size_t stepCount() const { return steps.size(); }
    size_t undoneCount() const { return undone; }
    // The bytes the steps hold, bookkeeping included.
    size_t memoryUsed() const { return used; }

private:
    struct Run {
        uint32_t word;  // first word of the run
        uint32_t count; // words in it
    };
    struct Step {
        std::vector<Run> runs;
        std::vector<uint64_t> before; // the runs' words, one after the other
        std::vector<uint64_t> after;
        size_t bytes() const;
    };
    const CProgram* build(const CProgram& now, const Step& step, bool before);
    void dropOldest();

    std::unique_ptr<CProgram> baseline;
    std::unique_ptr<CProgram> scratch;
    std::deque<Step> steps; // oldest first
    size_t undone = 0;      // steps at the end that were undone
    size_t used = 0;
};
