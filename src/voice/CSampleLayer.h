// The voice's sample layer: plays the sample of one sampler slot beside the
// operators, from the slot chosen for the note's played key.
//
// Units: position and loop lengths in sample frames; step in frames per
// output sample; pitches in semitones; gains linear.
//
// Threads: audio thread only (the voice's control tick and sample loop): no
// allocation, no locks. forget() is called by the renderer when it clears a
// slot.
#pragma once

#include "base/SameBits.h"
#include "base/SemitoneRatio.h"
#include "voice/CRamp.h"

#include <cstdint>

class CSamplerSlot;
class CWaveSample;

class CSampleLayer {
public:
    // Fresh note: silent until begin().
    void clear();

    // First control tick of a note. slot may be null; the layer stays silent for
    // the note when the slot or its sample is missing, or the sample is empty.
    // rateFactor is the tuning factor of the current note; keyOffset the
    // pitch bend + current note - the slot's root key (semitones), used when the
    // slot follows the keyboard. outputRateReciprocal is 1 / output rate (Hz).
    void begin(const CSamplerSlot* slot, double outputRateReciprocal, double rateFactor,
               double bendPlusNote);

    // Every control tick (after begin on the first): new step and gain targets
    // from the modulation sums, ramped over the tick with r = 1 / tick length.
    void updateTick(double outputRateReciprocal, double rateFactor, double bendPlusNote, float r,
                    bool firstTick);

    // Per sample while playing(): adds the layer into left and right and its
    // sends into the two filter inputs, then advances; at the end of a
    // one-shot sample the layer stops for the rest of the note.
    void process(float& left, float& right, double& filter1Input, double& filter2Input);

    // The renderer is about to destroy this sample: stop using it at once.
    void forget(const CWaveSample* sample);

    bool playing() const { return sample != nullptr; }
    double position() const { return framePosition; }
    double step() const { return stepValue; }
    const CSamplerSlot* slot() const { return slotPointer; }

    // Bases set by the renderer for every voice (value IDs 176 and 177).
    double amplitudeBase = 1.0; // 0..1
    double panBase = 0.0;       // -1..1

    // Modulation sums rebuilt every tick from the bases by the envelopes.
    struct Modulation {
        double amplitude = 1.0;
        double pan = 0.0;
        double pitch = 0.0; // semitones
    };
    Modulation modulation;
    void beginModulation() {
        startedAmplitude = amplitudeBase;
        startedPan = panBase;
        modulation = {startedAmplitude, startedPan, 0.0};
    }
    // Whether beginModulation would start from other bases than last time.
    bool basesMoved() const {
        return !sameBits(amplitudeBase, startedAmplitude) || !sameBits(panBase, startedPan);
    }

private:
    double targetStep(double outputRateReciprocal, double rateFactor, double bendPlusNote);
    void retargetGains(float r, bool firstTick);

    const CSamplerSlot* slotPointer = nullptr;
    const CWaveSample* sample = nullptr;
    double framePosition = 0.0;
    double stepValue = 0.0;
    double stepIncrement = 0.0;
    double endPosition = 0.0;
    double loopLength = 0.0;
    CRamp leftGain;
    CRamp rightGain;
    bool stereo = false;
    SemitoneRatio pitchRatio; // of the step's semitones, kept while they hold
    // The bases the modulation sums were last started from.
    double startedAmplitude = 1.0;
    double startedPan = 0.0;
};
