// What a voice reads from the engine that plays it, at its control ticks:
// controllers, tuning, pitch-bend ranges, glide speed, tempo and the sampler
// slot that plays a key. The engine implements it; a voice without one plays
// with controllers at 0, standard tuning, glide at once, no pitch bend,
// 140 BPM and no sample layer.
//
// Threads: audio thread only (control tick): no allocation, no locks.
#pragma once

#include <cstdint>

class CSamplerSlot;

class IVoiceContext {
public:
    // Controller sources 0..10 for one key (2 is that key's poly aftertouch),
    // into values[0..10].
    virtual void controllerValues(int32_t key, double* values) const = 0;
    // Tuning factor of a fractional key (1.0 for standard tuning).
    virtual double keyFrequencyFactor(double key) const = 0;
    // Semitones of full pitch bend up and down.
    virtual float bendRangeUp() const = 0;
    virtual float bendRangeDown() const = 0;
    // Glide per sample, in units of 12 semitones.
    virtual float glideFactor() const = 0;
    virtual double tempo() const = 0; // BPM
    // The slot that plays a key; null if none holds a sample for it.
    virtual const CSamplerSlot* slotForKey(int32_t key) const = 0;

protected:
    ~IVoiceContext() = default;
};
