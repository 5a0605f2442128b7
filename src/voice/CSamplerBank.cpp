#include "voice/CSamplerBank.h"

bool CSamplerBank::applyValue(int32_t id, double x) {
    if (id < kSampleSlotFirstId ||
        id >= kSampleSlotFirstId + kSampleSlotCount * kSampleSlotIdStride)
        return false;
    const int32_t k = id - kSampleSlotFirstId;
    slots[k / kSampleSlotIdStride].applyValue(k % kSampleSlotIdStride, x);
    return true;
}

const CSamplerSlot* CSamplerBank::slotForKey(int32_t key) const {
    const CSamplerSlot* best = nullptr;
    for (const CSamplerSlot& s : slots)
        if (s.sample && s.lowKey <= key && (!best || s.lowKey > best->lowKey)) best = &s;
    return best;
}

bool CSamplerBank::hasSample(int32_t slot) const {
    return slot >= 0 && slot < kSampleSlotCount && slots[slot].sample != nullptr;
}

CWaveSample* CSamplerBank::exchange(int32_t slot, CWaveSample* sample) {
    if (slot < 0 || slot >= kSampleSlotCount) return sample;
    CWaveSample* held = slots[slot].sample;
    slots[slot].sample = sample;
    return held;
}
