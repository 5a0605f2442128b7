// A per-sample float quantity that moves linearly from one control tick's
// value to the next. The voice retargets it once per tick; the sample loop
// only adds the increment, so no per-sample arithmetic beyond one add.
#pragma once

#include "base/Denormal.h"
#include "base/SameBits.h"

struct CRamp {
    float current = 0.0f;
    float increment = 0.0f;
    float target = 0.0f;

    // Audio thread, control tick. r is 1 / tick length in samples. On a note's
    // first tick the ramp jumps to the new value; otherwise it starts from the
    // previous target (where the last ramp ended exactly) and reaches newTarget
    // after one tick. Zero and denormal values are stored as 0.
    void retarget(float newTarget, float r, bool firstTick) {
        newTarget = flushDenormal(newTarget);
        current = firstTick ? newTarget : target;
        increment = flushDenormal((newTarget - current) * r);
        target = newTarget;
    }

    // Whether the ramp stands still at its target, so that retargeting it to
    // the same target (bit for bit) after the first tick would change nothing.
    bool standsStill() const { return increment == 0.0f && current == target; }
    // Whether retarget(newTarget, r, false) would change nothing.
    bool keeps(float newTarget) const {
        return standsStill() && sameBits(flushDenormal(newTarget), target);
    }

    // Holds a fixed value with no movement.
    void set(float value) {
        current = target = flushDenormal(value);
        increment = 0.0f;
    }

    void clear() { current = increment = target = 0.0f; }

    // Audio thread, per sample.
    void advance() { current += increment; }
};
