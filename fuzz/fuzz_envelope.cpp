// Envelope block (program sub-blocks and .qxlenv files): any bytes load or
// are refused, and the envelope then runs with a finite output, and its key
// and velocity curves give finite values.
//
// One program serves every input; the envelope's three records are put back
// before each one, so that each input meets the same envelope.
#include "patch/CMemAssembler.h"
#include "patch/CProgram.h"
#include "patch/ProgramFormat.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

struct Fixture {
    CProgram program;
    CEnvelope envelope, velocityCurve, keyCurve;
    Fixture()
        : envelope(program.envelopes[0]), velocityCurve(program.velocityCurves[0]),
          keyCurve(program.keyCurves[0]) {}
    void restore() {
        program.selectedEnvelope = 0;
        program.envelopes[0] = envelope;
        program.velocityCurves[0] = velocityCurve;
        program.keyCurves[0] = keyCurve;
    }
};

void expectFinite(double v) {
    if (!std::isfinite(v)) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > (1u << 20)) return 0;
    static Fixture& f = *new Fixture;
    for (bool withRouting : {false, true}) {
        f.restore();
        CMemAssembler reader;
        if (!reader.assign(data, int32_t(size))) return 0;
        loadEnvelope(f.program, reader, withRouting);
        CEnvelope& e = f.program.envelopes[0];
        e.start(0.0);
        for (int i = 0; i < 64; ++i)
            expectFinite(e.evaluate(0.05, true));
        e.release();
        for (int i = 0; i < 64; ++i)
            expectFinite(e.evaluate(0.05, true));
        for (double note : {-1.0, 0.0, 60.5, 127.0, 200.0}) {
            expectFinite(f.program.keyCurves[0].keyTableLookup(note));
            expectFinite(f.program.velocityCurves[0].keyTableLookup(note));
        }
    }
    return 0;
}
