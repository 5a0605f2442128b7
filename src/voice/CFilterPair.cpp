#include "voice/CFilterPair.h"

void CFilterPair::load(const CVoiceFilter* filters, double* in, double* out, int32_t first) {
    for (int32_t lane = first; lane < first + kLanes; ++lane) {
        const int32_t f = lane - first;
        const CVoiceFilter& filter = filters[f];
        in[f] = filter.input;
        out[f] = filter.output;
        for (int32_t i = 0; i < 4; ++i)
            stage[i][lane] = filter.s[i];
        const bool pass = filter.modeValue == CVoiceFilter::kOff;
        passLanes[lane] = pass ? ~uint32_t(0) : 0;
        // A passing filter's lane runs with coefficient 0, so its stages stay.
        coefficient[lane] = pass ? 0.0f : filter.coefficient.current;
        coefficientStep[lane] = pass ? 0.0f : filter.coefficient.increment;
        feedback[lane] = filter.feedback;
        w0[lane] = filter.w0;
        w1[lane] = filter.w1;
        w4[lane] = filter.w4;
        leftGain[lane] = filter.leftGain.current;
        leftGainStep[lane] = filter.leftGain.increment;
        rightGain[lane] = filter.rightGain.current;
        rightGainStep[lane] = filter.rightGain.increment;
    }
    // Over every lane: a voice of several loaded side by side may load again
    // at its tick while the others' filters in mode Off go on passing.
    anyPass = false;
    for (uint32_t pass : passLanes)
        anyPass = anyPass || pass != 0;
}

void CFilterPair::store(CVoiceFilter* filters, const double* in, const double* out,
                        int32_t first) const {
    for (int32_t lane = first; lane < first + kLanes; ++lane) {
        const int32_t f = lane - first;
        CVoiceFilter& filter = filters[f];
        filter.input = in[f];
        filter.output = out[f];
        for (int32_t i = 0; i < 4; ++i)
            filter.s[i] = stage[i][lane];
        if (!passLanes[lane]) filter.coefficient.current = coefficient[lane];
        filter.leftGain.current = leftGain[lane];
        filter.rightGain.current = rightGain[lane];
    }
}
