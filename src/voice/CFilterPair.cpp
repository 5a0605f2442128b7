#include "voice/CFilterPair.h"

void CFilterPair::load(const CVoiceFilter* filters, double* in, double* out) {
    anyPass = false;
    for (int32_t f = 0; f < kLanes; ++f) {
        const CVoiceFilter& filter = filters[f];
        in[f] = filter.input;
        out[f] = filter.output;
        for (int32_t i = 0; i < 4; ++i)
            stage[i][f] = filter.s[i];
        const bool pass = filter.modeValue == CVoiceFilter::kOff;
        passLanes[f] = pass ? ~uint32_t(0) : 0;
        anyPass = anyPass || pass;
        // A passing filter's lane runs with coefficient 0, so its stages stay.
        coefficient[f] = pass ? 0.0f : filter.coefficient.current;
        coefficientStep[f] = pass ? 0.0f : filter.coefficient.increment;
        feedback[f] = filter.feedback;
        w0[f] = filter.w0;
        w1[f] = filter.w1;
        w4[f] = filter.w4;
        leftGain[f] = filter.leftGain.current;
        leftGainStep[f] = filter.leftGain.increment;
        rightGain[f] = filter.rightGain.current;
        rightGainStep[f] = filter.rightGain.increment;
    }
}

void CFilterPair::store(CVoiceFilter* filters, const double* in, const double* out) const {
    for (int32_t f = 0; f < kLanes; ++f) {
        CVoiceFilter& filter = filters[f];
        filter.input = in[f];
        filter.output = out[f];
        for (int32_t i = 0; i < 4; ++i)
            filter.s[i] = stage[i][f];
        if (!passLanes[f]) filter.coefficient.current = coefficient[f];
        filter.leftGain.current = leftGain[f];
        filter.rightGain.current = rightGain[f];
    }
}

CFilterPair CFilterPair::join(const CFilterPair& a, const CFilterPair& b) {
    CFilterPair j = a;
    for (int32_t f = 0; f < kLanes; ++f) {
        const int32_t to = kLanes + f;
        for (int32_t i = 0; i < 4; ++i)
            j.stage[i][to] = b.stage[i][f];
        j.coefficient[to] = b.coefficient[f];
        j.coefficientStep[to] = b.coefficientStep[f];
        j.feedback[to] = b.feedback[f];
        j.w0[to] = b.w0[f];
        j.w1[to] = b.w1[f];
        j.w4[to] = b.w4[f];
        j.leftGain[to] = b.leftGain[f];
        j.leftGainStep[to] = b.leftGainStep[f];
        j.rightGain[to] = b.rightGain[f];
        j.rightGainStep[to] = b.rightGainStep[f];
        j.passLanes[to] = b.passLanes[f];
    }
    j.anyPass = a.anyPass || b.anyPass;
    return j;
}

void CFilterPair::split(CFilterPair& a, CFilterPair& b) const {
    for (int32_t f = 0; f < kLanes; ++f) {
        const int32_t from = kLanes + f;
        for (int32_t i = 0; i < 4; ++i) {
            a.stage[i][f] = stage[i][f];
            b.stage[i][f] = stage[i][from];
        }
        a.coefficient[f] = coefficient[f];
        b.coefficient[f] = coefficient[from];
        a.leftGain[f] = leftGain[f];
        b.leftGain[f] = leftGain[from];
        a.rightGain[f] = rightGain[f];
        b.rightGain[f] = rightGain[from];
    }
}
