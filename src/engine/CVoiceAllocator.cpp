#include "engine/CVoiceAllocator.h"

#include <cstring>

namespace {
// A voice glides tick length x 12 x glide factor semitones per tick; no two
// keys lie further apart than this.
constexpr double kTicksToSemitones = 12.0;
constexpr double kKeySpan = 127.0;
// The glide source before any note: the G above middle C.
constexpr int32_t kFirstGlideSource = 67;

int32_t clampKey(int32_t key) {
    return key < 0 ? 0 : (key > 127 ? 127 : key);
}
} // namespace

void CVoiceAllocator::attach(const IVoiceContext* context, const CWaveManager* waves) {
    for (CVoice& v : voices)
        v.attach(context, waves);
}

void CVoiceAllocator::setSampleRate(double rate, int32_t oversampling) {
    for (CVoice& v : voices)
        v.setSampleRate(rate, oversampling);
}

void CVoiceAllocator::reset() {
    startCounter = 0;
    lastNote = kFirstGlideSource;
}

bool CVoiceAllocator::applyValue(int32_t id, double x, int32_t selectedOperator) {
    bool taken = false;
    for (CVoice& v : voices)
        taken = v.applyValue(id, x, selectedOperator);
    return taken;
}

void CVoiceAllocator::noteOn(int32_t key, int32_t velocity, float masterPitch, float glideFactor,
                             const CEnvelope* envelopes, int32_t envelopeCount) {
    const int32_t transposed = clampKey(int32_t(key + masterPitch));

    // Glide source: the highest held key, or the last note played.
    int32_t glideFrom;
    if (glideFromHeld) {
        glideFrom = -1;
        for (int32_t i = 0; i < voiceCountValue; ++i) {
            const CVoice& v = voices[i];
            if (v.active && !v.isReleased()) {
                const int32_t k = int32_t(v.key() + masterPitch);
                if (k > glideFrom) glideFrom = k;
            }
        }
        if (glideFrom < 0) glideFrom = transposed;
    } else {
        glideFrom = lastNote;
    }
    glideFrom = clampKey(glideFrom);

    for (int32_t i = 0; i < voiceCountValue; ++i) {
        CVoice& r = unisonOn ? voices[i] : voices[chooseVoice()];
        if (unisonOn) {
            if (glideFromHeld && r.active && r.isReleased()) glideFrom = transposed;
            if (r.active && !r.isReleased()) glideFrom = -1;
        }
        const double detune = double(i) * unisonSpreadValue / voiceCountValue;
        r.start(double(key), uint8_t(velocity), envelopes, envelopeCount, masterPitch + detune);
        // A glide that covers any key distance within its first tick is no
        // glide: starting from the source would sound the old pitch for the
        // two ticks before the operators take the new one.
        const bool glides = r.tickLength() * kTicksToSemitones * glideFactor < kKeySpan;
        if (glideFrom >= 0 && glides) r.setCurrentNote(glideFrom);
        r.setTargetNote(transposed + detune);
        r.startStamp = startCounter++;
        if (!unisonOn) break;
    }
    lastNote = transposed;
}

int32_t CVoiceAllocator::chooseVoice() {
    for (int32_t i = 0; i < voiceCountValue; ++i)
        if (!voices[i].active) return i;
    // Steal the lowest key, released voices first; a stolen voice retriggers hard.
    int32_t best = -1;
    for (int32_t i = 0; i < voiceCountValue; ++i)
        if (voices[i].isReleased() && (best < 0 || voices[i].key() < voices[best].key())) best = i;
    if (best < 0) {
        best = 0;
        for (int32_t i = 1; i < voiceCountValue; ++i)
            if (voices[i].key() < voices[best].key()) best = i;
    }
    voices[best].requestHardRetrigger();
    return best;
}

void CVoiceAllocator::noteOff(int32_t key, bool hold) {
    for (CVoice& v : voices)
        v.noteOff(key, hold);
}

void CVoiceAllocator::holdEnded() {
    for (CVoice& v : voices)
        v.holdEnded();
}

void CVoiceAllocator::stop(bool hard) {
    if (hard)
        for (CVoice& v : voices)
            v.active = false;
    for (CVoice& v : voices)
        v.release();
}

void CVoiceAllocator::forgetSample(const CWaveSample* sample) {
    for (CVoice& v : voices)
        v.forgetSample(sample);
}

void CVoiceAllocator::render(float* left, float* right, int32_t n) {
    static_assert(CVoice::kVoicesAcross == 4, "what is left of a four: a pair and one");
    // Active voices in fours, then a pair and one, in voice order (voices run
    // faster side by side than one after the other, with the same output).
    CVoice* group[CVoice::kVoicesAcross];
    int32_t count = 0;
    for (CVoice& v : voices) {
        if (!v.active) continue;
        group[count++] = &v;
        if (count == CVoice::kVoicesAcross) {
            CVoice::renderFour(group, left, right, n);
            count = 0;
        }
    }
    if (count >= 2) CVoice::renderTogether(*group[0], *group[1], left, right, n);
    if (count == 1 || count == 3) group[count - 1]->render(left, right, n);
}
