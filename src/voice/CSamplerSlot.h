// One of the eight sampler slots: a loaded sample and how the voices' sample
// layer plays it. Values come from value IDs kSampleSlotFirstId + 8 * slot + k.
#pragma once

#include <cstdint>

class CWaveSample;

class CSamplerSlot {
public:
    CSamplerSlot() = default;
    virtual ~CSamplerSlot();
    CSamplerSlot(const CSamplerSlot&) = delete;
    CSamplerSlot& operator=(const CSamplerSlot&) = delete;

    // Between blocks (see CSamplerBank): read by the voices at their control ticks.
    // k is the member of the slot's value IDs (kSampleSlotLowKeyOffset ...).
    void applyValue(int32_t k, double x);

    // Owned; null when the slot is empty. Replaced only under the renderer's
    // structure lock.
    CWaveSample* sample = nullptr;
    float leftLevel = 0.0f;   // (1 - p) * level
    float rightLevel = 0.0f;  // p * level
    float sendFilter1 = 0.0f; // -1..1
    float sendFilter2 = 0.0f; // -1..1
    int32_t lowKey = 0;
    int32_t rootKey = 0;
    bool loop = false;
    bool keyboardFollow = false;

private:
    void updateLevels();
    double level = 0.0; // -1..1
    double pan = 0.5;   // 0 left .. 1 right
};
