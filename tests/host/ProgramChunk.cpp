#include "host/ProgramChunk.h"

#include "patch/CMemAssembler.h"
#include "patch/CProgram.h"
#include "patch/ProgramFormat.h"
#include "patch/ValueIds.h"

std::vector<uint8_t> soundingProgramChunk() {
    CProgram p;
    // Two operators in the mix, the second modulating the first.
    for (int op = 0; op < 2; ++op) {
        const int base = kOperatorFirstId + kOperatorIdStride * op;
        p.setValue(base + kOperatorEnabledOffset, 1.0);
        p.setValue(base + kOperatorMixOffset, 0.5 + 0.5 * (op == 0 ? 0.6 : 0.0));
        p.setValue(kSelectedOperatorId, (op + 0.5) / kOperatorCount);
        p.setValue(kSelectedCoarseTuneId, 1.0 + op);
        p.setValue(kSelectedAmplitudeId, 0.5);
    }
    p.setValue(kOperatorFirstId + kOperatorModulationOffset + 1, 0.5 + 0.5 * 0.3);
    while (p.envelopeCount < 1)
        p.addEnvelope();
    p.envelopes[0].targetKind = kTargetAmplitude;
    for (int d = 0; d < kEnvelopeDestinationCount; ++d)
        p.envelopes[0].setDepth(d, 0.5);
    p.setValue(kMasterLevelId, 0.5);
    CMemAssembler writer;
    saveProgram(p, writer);
    uint8_t* bytes = nullptr;
    const int32_t n = writer.assemble(bytes);
    return n > 0 ? std::vector<uint8_t>(bytes, bytes + n) : std::vector<uint8_t>();
}
