#include "voice/COperatorBank.h"

void COperatorBank::load(COperator* operators, uint32_t running, double* in, double* out) {
    runningMask = running & ((1u << kLanes) - 1);
    for (int32_t k = 0; k < kLanes; ++k) {
        const COperator& op = operators[k];
        in[k] = op.phaseInput;
        out[k] = op.output;
        basePhase[k] = op.basePhaseCycles;
        accumulator[k] = op.accumulator;
        table[k] = op.table;
        if ((runningMask >> k) & 1u) {
            runningLanes[k] = ~uint64_t(0);
            runningFloatLanes[k] = ~uint32_t(0);
            increment[k] = op.increment;
            amplitude[k] = op.amplitudeValue.current;
            amplitudeStep[k] = op.amplitudeValue.increment;
            leftGain[k] = op.leftGain.current;
            leftGainStep[k] = op.leftGain.increment;
            rightGain[k] = op.rightGain.current;
            rightGainStep[k] = op.rightGain.increment;
        } else { // still, silent and untouched
            runningLanes[k] = 0;
            runningFloatLanes[k] = 0;
            increment[k] = 0;
            amplitude[k] = amplitudeStep[k] = 0.0f;
            leftGain[k] = leftGainStep[k] = rightGain[k] = rightGainStep[k] = 0.0f;
        }
    }
}

void COperatorBank::store(COperator* operators, const double* in, const double* out) const {
    for (int32_t k = 0; k < kLanes; ++k) {
        COperator& op = operators[k];
        op.phaseInput = in[k];
        op.output = out[k];
        if (!((runningMask >> k) & 1u)) continue;
        op.accumulator = accumulator[k];
        op.amplitudeValue.current = amplitude[k];
        op.leftGain.current = leftGain[k];
        op.rightGain.current = rightGain[k];
    }
}
