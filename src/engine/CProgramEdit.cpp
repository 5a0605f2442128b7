#include "engine/CProgramEdit.h"

#include "base/ValueIds.h"
#include "engine/CSoundRenderer.h"
#include "patch/CProgram.h"

#include <algorithm>

static_assert(CLiveEnvelopes::kSlotCount <= 32, "an envelope bit per slot");

CProgramEdit::CProgramEdit(IEditorEngine& e) : engine(e), lock(e.editLock()) {}

CProgram& CProgramEdit::program() {
    return engine.programForEdit();
}

void CProgramEdit::touchEnvelope(int32_t index) {
    if (index >= 0 && index < CLiveEnvelopes::kSlotCount) touched.envelopes |= 1u << index;
}

void CProgramEdit::touchPattern(int32_t sequencer) {
    if (sequencer >= 0 && sequencer < kSequencerCount) touched.patterns |= 1u << sequencer;
}

void CProgramEdit::touchWave(int32_t index) {
    if (index < 0) index = engine.program().selectedOperator;
    touched.waves |= 1u << std::clamp(index, 0, kOperatorCount - 1);
}

void CProgramEdit::restructure() {
    touched.restructured = true;
}

CProgramEdit::~CProgramEdit() {
    engine.publishEdit(touched);
}

void CProgramEdit::handOver(CSoundRenderer& r, const ProgramTouches& touched) {
    const auto [envelopes, patterns, waves, restructured] = touched;
    CProgram& program = *r.programData;
    if (restructured || envelopes) {
        CLiveEnvelopes& live = *r.liveEnvelopes;
        live.beginEdit();
        if (restructured)
            live.stageAll(program);
        else
            for (int32_t i = 0; i < CLiveEnvelopes::kSlotCount; ++i)
                if (envelopes & (1u << i)) live.stage(program, i);
        live.publish();
    }
    for (int32_t n = 0; n < kSequencerCount; ++n) {
        if (!(patterns & (1u << n))) continue;
        const int32_t first = kSequencer1FirstId + n * kSequencerIdStride;
        double values[CPatternSequencer::kValueCount];
        for (int32_t k = 0; k < CPatternSequencer::kValueCount; ++k)
            values[k] = program.getValue(first + k, false);
        r.sequencers[n].publishValues(values);
    }
    for (int32_t i = 0; i < kOperatorCount; ++i) {
        if (!(waves & (1u << i))) continue;
        const OperatorPatch& op = program.operators[i];
        r.waveManager.publishWave(i, op.harmonicAmplitudes, op.harmonicPhases, 0.0);
    }
}
