#include "host/ProgramChunk.h"
#include "base/ValueIds.h"
#include "patch/CMemAssembler.h"
#include "patch/CProgram.h"
#include "patch/ProgramFormat.h"

namespace {

constexpr int kStepLow = -26;
constexpr int kStepHigh = 24;
constexpr int kTransposeRange = 24;

// A bipolar setting -1..1 as its normalised value.
double bipolar(double v) {
    return 0.5 + 0.5 * v;
}

} // namespace

std::vector<uint8_t> programChunk(CProgram& p) {
    CMemAssembler writer;
    if (!saveProgram(p, writer)) return {};
    uint8_t* bytes = nullptr;
    const int32_t n = writer.assemble(bytes);
    return n > 0 ? std::vector<uint8_t>(bytes, bytes + n) : std::vector<uint8_t>();
}

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
    return programChunk(p);
}

void makeSineVoice(CProgram& p, double sustainLevel, double decaySeconds) {
    p.setValue(kOperatorFirstId + kOperatorEnabledOffset, 1.0);
    p.setValue(kOperatorFirstId + kOperatorMixOffset, 0.5 + 0.5 * 0.5);
    p.setValue(kSelectedOperatorId, 0.5 / kOperatorCount);
    p.setValue(kSelectedTuneModeId, 0.0);
    p.setValue(kSelectedCoarseTuneId, 1.0);
    p.setValue(kSelectedAmplitudeId, 0.0);
    while (p.envelopeCount < 1)
        p.addEnvelope();
    CEnvelope& e = p.envelopes[0];
    e.targetKind = kTargetAmplitude;
    e.setLevel(0, 1.0);
    e.setDelta(0, 0.001);
    e.setLevel(1, sustainLevel);
    e.setDelta(1, decaySeconds);
    e.setLevel(2, 0.0);
    e.setDelta(2, 0.005);
    e.setLoopStart(1);
    e.setLoopEnd(1);
    e.setDepth(0, 1.0);
    e.recompute();
    p.setValue(kMasterLevelId, 0.5);
    p.selectedOperator = 0;
    p.selectedEnvelope = 0;
}

double stepValue(int n) {
    return double(n - kStepLow) / double(kStepHigh - kStepLow);
}

void runSequencer(CProgram& p, int which, const std::vector<int>& steps, int transpose,
                  double swing) {
    const int first = kSequencer1FirstId + kSequencerIdStride * which;
    p.setValue(first + kSequencerRunningOffset, 1.0);
    p.setValue(first + kSequencerLengthOffset,
               double(int(steps.size()) - 1) / double(kSequencerStepCount - 1));
    p.setValue(first + kSequencerTransposeOffset,
               double(transpose + kTransposeRange) / double(2 * kTransposeRange));
    p.setValue(first + kSequencerSwingOffset, swing);
    for (size_t k = 0; k < steps.size() && k < size_t(kSequencerStepCount); ++k)
        p.setValue(first + kSequencerStepsOffset + int(k), stepValue(steps[k]));
}

void makeTypicalPatch(CProgram& p) {
    for (int op = 0; op < kOperatorCount; ++op) {
        const int base = kOperatorFirstId + kOperatorIdStride * op;
        p.setValue(base + kOperatorEnabledOffset, 1.0);
        p.setValue(base + kOperatorMixOffset, bipolar(op < 4 ? 0.3 : 0.0));
        p.setValue(base + kOperatorPanOffset, bipolar(op % 2 ? -0.3 : 0.3));
        p.setValue(kSelectedOperatorId, (op + 0.5) / kOperatorCount);
        p.setValue(kSelectedCoarseTuneId, 1.0 + op);
        p.setValue(kSelectedAmplitudeId, 0.5);
    }
    const int cells[10][3] = {{4, 0, 40}, {5, 1, 40}, {6, 2, 40}, {7, 3, 40}, {4, 4, 20},
                              {7, 7, 20}, {0, 8, 50}, {1, 8, 50}, {2, 9, 50}, {3, 9, 50}};
    for (const auto& c : cells)
        p.setValue(kOperatorFirstId + kOperatorIdStride * c[0] + kOperatorModulationOffset + c[1],
                   bipolar(c[2] / 100.0));
    for (int f = 0; f < 2; ++f) {
        p.setValue(kFilterModeId[f], 0.34); // low-pass
        p.setValue(kFilterCutoffId[f], 0.6);
        p.setValue(kFilterResonanceId[f], 0.7);
        p.setValue(kFilterFirstId + kFilterIdStride * f + kFilterLevelOffset, bipolar(0.8));
    }
    const int kinds[4] = {kTargetAmplitude, kTargetPitch, kTargetCutoff, kTargetPanning};
    for (int i = 0; i < 4; ++i) {
        while (p.envelopeCount <= i)
            p.addEnvelope();
        p.envelopes[i].targetKind = kinds[i];
        for (int d = 0; d < kEnvelopeDestinationCount; ++d)
            p.envelopes[i].setDepth(d, 0.3);
    }
    p.setValue(kVoiceCountId, 1.0);
    p.setValue(kMasterLevelId, 0.3);
}

std::vector<uint8_t> typicalPatchChunk() {
    CProgram p;
    makeTypicalPatch(p);
    return programChunk(p);
}
