#include "engine/CProgramEdit.h"

#include "base/ValueIds.h"
#include "engine/CSoundRenderer.h"
#include "patch/CProgram.h"

#include <algorithm>

static_assert(CLiveEnvelopes::kSlotCount <= 32, "an envelope bit per slot");

CProgramEdit::CProgramEdit(CSoundRenderer& renderer) : r(renderer), lock(renderer.editLock()) {}

CProgram& CProgramEdit::program() {
    return r.program();
}

void CProgramEdit::touchEnvelope(int32_t index) {
    if (index >= 0 && index < CLiveEnvelopes::kSlotCount) envelopes |= 1u << index;
}

void CProgramEdit::touchPattern(int32_t sequencer) {
    if (sequencer >= 0 && sequencer < kSequencerCount) patterns |= 1u << sequencer;
}

void CProgramEdit::touchWave(int32_t index) {
    if (index < 0) index = r.program().selectedOperator;
    waves |= 1u << std::clamp(index, 0, kOperatorCount - 1);
}

void CProgramEdit::restructure() {
    restructured = true;
}

CProgramEdit::~CProgramEdit() {
    if (restructured)
        r.envelopesRestructured();
    else
        for (int32_t i = 0; i < CLiveEnvelopes::kSlotCount; ++i)
            if (envelopes & (1u << i)) r.envelopeEdited(i);
    for (int32_t n = 0; n < kSequencerCount; ++n)
        if (patterns & (1u << n)) r.patternEdited(n);
    for (int32_t i = 0; i < kOperatorCount; ++i)
        if (waves & (1u << i)) r.rebuildOperatorWave(i);
}
