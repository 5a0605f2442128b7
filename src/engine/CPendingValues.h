// Values set outside the audio thread, waiting for it.
//
// A setter stores the value in the program and marks its ID here; the audio
// thread takes the marks at the start of its next block and applies each marked
// value, read afresh from the program, to the parts that play it. So every
// field the voices, the master section and the effects read is written by the
// audio thread alone, and a value that derives several fields (a filter's or an
// equaliser band's coefficients) derives them all between two blocks, never
// halfway through one.
//
// Marks cannot overflow: a value set many times between two blocks is applied
// once, with its latest setting. The selected operator's own values are marked
// per operator, since the selection may move before the block starts.
//
// Threads: mark from any thread; take on the audio thread (or where no block
// can run). No allocation, no lock.
#pragma once

#include "base/ValueIds.h"

#include <atomic>
#include <cstdint>

class CPendingValues {
public:
    // The selected-operator IDs, kSelectedStartPhaseId..kSelectedTuneModeId.
    static constexpr int32_t kOperatorValueCount = kSelectedTuneModeId - kSelectedStartPhaseId + 1;

    // Value ID id (0..kAppliedIdCount-1) waits to be applied; others are ignored.
    void markValue(int32_t id) {
        if (id >= 0 && id < kAppliedIdCount) mark(id);
    }
    // Operator op's value named by selected-operator ID selectedId waits.
    void markOperatorValue(int32_t op, int32_t selectedId) {
        const int32_t k = selectedId - kSelectedStartPhaseId;
        if (op >= 0 && op < kOperatorCount && k >= 0 && k < kOperatorValueCount)
            mark(kAppliedIdCount + op * kOperatorValueCount + k);
    }

    // Calls value(id) for each marked value ID, in ascending order, then
    // operatorValue(op, selectedId) for each marked operator value; clears the marks.
    template <class Value, class OperatorValue>
    void take(Value value, OperatorValue operatorValue) {
        for (int32_t w = 0; w < kWordCount; ++w) {
            if (words[w].load(std::memory_order_relaxed) == 0) continue;
            uint32_t bits = words[w].exchange(0, std::memory_order_acquire);
            for (int32_t b = 0; bits != 0; ++b, bits >>= 1) {
                if (!(bits & 1u)) continue;
                const int32_t m = w * kWordBits + b;
                if (m < kAppliedIdCount)
                    value(m);
                else
                    operatorValue((m - kAppliedIdCount) / kOperatorValueCount,
                                  kSelectedStartPhaseId +
                                      (m - kAppliedIdCount) % kOperatorValueCount);
            }
        }
    }

private:
    static constexpr int32_t kMarkCount = kAppliedIdCount + kOperatorCount * kOperatorValueCount;
    static constexpr int32_t kWordBits = 32;
    static constexpr int32_t kWordCount = (kMarkCount + kWordBits - 1) / kWordBits;

    // The value was stored before: whoever takes the mark reads it.
    void mark(int32_t m) {
        words[m / kWordBits].fetch_or(1u << (m % kWordBits), std::memory_order_release);
    }

    std::atomic<uint32_t> words[kWordCount] = {};
};
