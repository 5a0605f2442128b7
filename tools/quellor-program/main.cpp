// quellor-program: builds Quellor programs through the program's value IDs and
// envelope operations and writes them with the program writer, so that the
// example and factory programs come from source, not from binary blobs.
//
//   quellor-program list
//   quellor-program NAME OUT.qxlprg
#include "base/ValueIds.h"
#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "patch/PatchFiles.h"
#include "platform/IPlatform.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Normalised value of a bipolar -1..1 amount (stored as 0..1, 0.5 = zero).
double bipolar(double amount) {
    return 0.5 + 0.5 * amount;
}

struct ProgramBuilder {
    CProgram& p;

    void selectOperator(int32_t op) {
        p.setValue(kSelectedOperatorId, (op + 0.5) / kOperatorCount);
    }
    // An operator that sounds (mix) or only modulates (mix 0): ratio tuning.
    void oper(int32_t op, double ratio, double mix, double amplitude = 0.0, double pan = 0.0) {
        const int32_t base = kOperatorFirstId + kOperatorIdStride * op;
        p.setValue(base + kOperatorEnabledOffset, 1.0);
        p.setValue(base + kOperatorMixOffset, bipolar(mix));
        p.setValue(base + kOperatorPanOffset, bipolar(pan));
        selectOperator(op);
        p.setValue(kSelectedTuneModeId, 0.0);
        p.setValue(kSelectedCoarseTuneId, ratio);
        p.setValue(kSelectedAmplitudeId, amplitude);
    }
    // Phase modulation from operator `source` into operator `destination`.
    void modulate(int32_t source, int32_t destination, double depth) {
        p.setValue(kOperatorFirstId + kOperatorIdStride * source + kOperatorModulationOffset +
                       destination,
                   bipolar(depth));
    }
    // An amplitude envelope: attack to `peak`, decay to `sustain` held while the
    // key is down, release to 0.
    CEnvelope& amplitudeEnvelope(int32_t index, double attack, double peak, double decay,
                                 double sustain, double decayCurve, double release) {
        while (p.envelopeCount <= index)
            p.addEnvelope();
        CEnvelope& e = p.envelopes[index];
        e.targetKind = kTargetAmplitude;
        e.setLevel(0, peak);
        e.setDelta(0, attack);
        e.setLevel(1, sustain);
        e.setDelta(1, decay);
        e.setCurve(1, decayCurve);
        e.setLevel(2, 0.0);
        e.setDelta(2, release);
        e.setLoopStart(1);
        e.setLoopEnd(1);
        return e;
    }
    // Velocity scales the envelope from `soft` (velocity 0) to 1 (velocity 127):
    // a velocity curve is read at velocity / 127, where time 1.0 is the start of
    // its second segment (point 0's level) and time 0 starts from the last point.
    void velocityRange(int32_t index, double soft) {
        CEnvelope& v = p.velocityCurves[index];
        v.setLevel(0, 1.0);
        v.setLevel(1, soft);
    }
};

// "Tine Piano": an electric piano. Two carriers a hair apart, a modulator at
// the same ratio whose depth falls after the strike, and a fourteenth-ratio
// tine that only speaks in the attack; chorus and a little reverb.
void buildTinePiano(CProgram& p) {
    ProgramBuilder b{p};
    std::snprintf(p.name, sizeof p.name, "Tine Piano");
    b.oper(0, 1.0, 0.55);
    b.oper(3, 1.003, 0.45, 0.0, 0.2);
    b.oper(1, 1.0, 0.0);
    b.oper(2, 14.0, 0.08, 0.0, -0.2);
    b.modulate(1, 0, 0.45);
    b.modulate(1, 3, 0.35);

    CEnvelope& body = b.amplitudeEnvelope(0, 0.002, 1.0, 2.5, 0.35, 0.25, 0.35);
    body.setDepth(0, 1.0);
    body.setDepth(3, 1.0);
    CEnvelope& bark = b.amplitudeEnvelope(1, 0.001, 1.0, 1.2, 0.12, 0.2, 0.3);
    bark.setDepth(1, 1.0);
    b.velocityRange(1, 0.25);
    CEnvelope& tine = b.amplitudeEnvelope(2, 0.001, 0.8, 0.25, 0.0, 0.15, 0.05);
    tine.setDepth(2, 1.0);
    b.velocityRange(2, 0.1);
    b.velocityRange(0, 0.45);

    p.setValue(kMasterLevelId, 0.5);
    p.setValue(kPitchBendUpId, 2.0 / 48.0);
    p.setValue(kPitchBendDownId, 2.0 / 48.0);
    p.setValue(kVoiceCountId, 1.0);
    // Chorus: enabled, moderate wet, full dry, wide.
    p.setValue(19, 1.0);
    p.setValue(15, 0.45);
    p.setValue(18, 0.8);
    // Reverb: enabled, medium room, some wet.
    p.setValue(kReverbEnableId, 1.0);
    p.setValue(kReverbFeedbackId, 0.55);
    p.setValue(kReverbWetId, 0.25);
    p.selectedOperator = 0;
    p.selectedEnvelope = 0;
    p.envelopePage = 0;
}

struct Design {
    const char* name;
    void (*build)(CProgram&);
};
constexpr Design kDesigns[] = {{"tine-piano", buildTinePiano}};

int usage() {
    std::fprintf(stderr, "usage: quellor-program list | quellor-program NAME OUT.qxlprg\n");
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "list") == 0) {
        for (const Design& d : kDesigns)
            std::printf("%s\n", d.name);
        return 0;
    }
    if (argc != 3) return usage();
    for (const Design& d : kDesigns) {
        if (std::strcmp(argv[1], d.name) != 0) continue;
        CPluginFile settings(nativePlatform());
        CProgram program;
        d.build(program);
        if (!saveProgramFile(program, argv[2], settings)) {
            std::fprintf(stderr, "quellor-program: could not write %s\n", argv[2]);
            return 1;
        }
        std::printf("%s: %s\n", argv[2], program.name);
        return 0;
    }
    std::fprintf(stderr, "quellor-program: no program named %s\n", argv[1]);
    return 1;
}
