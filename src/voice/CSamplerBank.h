// The eight sampler slots and which of them plays a key.
//
// Threads: applyValue on the audio thread between blocks (the renderer applies
// the values set meanwhile) or under the structure lock; exchange only under
// the renderer's structure lock; slotForKey on the audio thread (the voices'
// control ticks).
#pragma once

#include "base/ValueIds.h"
#include "voice/CSamplerSlot.h"

#include <cstdint>

class CWaveSample;

class CSamplerBank {
public:
    // A slot's values by value ID (kSampleSlotFirstId + 8 * slot + k); false
    // for any other ID.
    bool applyValue(int32_t id, double x);

    // The slot that plays a key: the highest low key at or below it among the
    // slots holding a sample (the lower slot on equal low keys); null if none.
    const CSamplerSlot* slotForKey(int32_t key) const;
    bool hasSample(int32_t slot) const;
    const CSamplerSlot& slot(int32_t i) const { return slots[i & (kSampleSlotCount - 1)]; }

    // Puts sample (owned from now on; may be null) into slot 0..7 and hands
    // back the one it held, for the caller to delete once no voice plays it.
    // Outside 0..7 nothing changes and sample comes back.
    CWaveSample* exchange(int32_t slot, CWaveSample* sample);

private:
    CSamplerSlot slots[kSampleSlotCount];
};
