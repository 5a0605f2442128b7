// The renderer's 24 voices and how notes are given to them: the voice choice
// (a free voice, else the lowest key, released voices first), unison (every
// voice of the count plays the note, spread in pitch), and the note a new
// note glides from (the last note played, or the highest held key).
//
// Threads: notes and rendering on the audio thread (no allocation, no locks);
// the value setters too, at the start of a block (or while no block renders).
#pragma once

#include "voice/CVoice.h"

#include <cstdint>

class CEnvelope;
class CWaveManager;
class CWaveSample;
class IVoiceContext;

class CVoiceAllocator {
public:
    static constexpr int32_t kVoiceCount = 24;

    // Main thread, once: what every voice reads, and the shared wave tables.
    void attach(const IVoiceContext* context, const CWaveManager* waves);
    void setSampleRate(double rate, int32_t oversampling = 1);
    // Forgets the last note and the start order.
    void reset();

    // Value 47 (1..24), 45, 44 (raw 0..1), 46.
    void setVoiceCount(int32_t count) { voiceCountValue = count; }
    void setUnison(bool on) { unisonOn = on; }
    void setUnisonSpread(float spread) { unisonSpreadValue = spread; }
    void setGlideFromHeld(bool on) { glideFromHeld = on; }
    // Every voice's apply step (CVoice::applyValue); true when the voices
    // took the ID.
    bool applyValue(int32_t id, double x, int32_t selectedOperator);

    // A note on: key and velocity as received (0..127); masterPitch in
    // semitones; glideFactor the renderer's current glide speed; envelopes
    // the program's, already scaled for this note's velocity and key.
    void noteOn(int32_t key, int32_t velocity, float masterPitch, float glideFactor,
                const CEnvelope* envelopes, int32_t envelopeCount);
    // Every voice: note off for key (-1: every key) with or without hold.
    void noteOff(int32_t key, bool hold);
    void holdEnded();
    // hard silences every voice at once; every voice is then released.
    void stop(bool hard);
    // A sample is about to be deleted: no voice may go on playing it.
    void forgetSample(const CWaveSample* sample);

    // Adds the active voices' output to left and right (n samples).
    void render(float* left, float* right, int32_t n);

    const CVoice& voice(int32_t i) const {
        return voices[i < 0 ? 0 : (i >= kVoiceCount ? kVoiceCount - 1 : i)];
    }
    int32_t voiceCount() const { return voiceCountValue; }
    bool unison() const { return unisonOn; }
    float unisonSpread() const { return unisonSpreadValue; }
    bool glideFromHeldNote() const { return glideFromHeld; }

private:
    int32_t chooseVoice();

    int32_t voiceCountValue = kVoiceCount;
    bool glideFromHeld = false;
    bool unisonOn = false;
    float unisonSpreadValue = 0.0f;
    int32_t startCounter = 0;
    int32_t lastNote = 67;
    CVoice voices[kVoiceCount];
};
