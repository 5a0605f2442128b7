// Envelope block (program sub-blocks and .qxlenv files): any bytes load or
// are refused, and the envelope is safe to run afterwards.
#include "patch/CMemAssembler.h"
#include "patch/CProgram.h"
#include "patch/ProgramFormat.h"

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > (1u << 20)) return 0;
    auto program = std::make_unique<CProgram>();
    for (bool withRouting : {false, true}) {
        CMemAssembler reader;
        reader.assign(data, int32_t(size));
        loadEnvelope(*program, reader, withRouting);
        CEnvelope& e = program->envelopes[0];
        e.start(0.0);
        for (int i = 0; i < 64; ++i)
            e.evaluate(0.05, true);
        e.release();
        for (int i = 0; i < 64; ++i)
            e.evaluate(0.05, true);
        program->keyCurves[0].keyTableLookup(60.5);
    }
    return 0;
}
