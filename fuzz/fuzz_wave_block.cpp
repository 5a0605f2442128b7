// Wave block (.qxlwav files): any bytes load or are refused, and a refused
// block leaves the operator's spectrum as it was.
//
// One program serves every input; the operator is put back before each one.
#include "patch/CMemAssembler.h"
#include "patch/CProgram.h"
#include "patch/ProgramFormat.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > (1u << 20)) return 0;
    static CProgram& program = *new CProgram;
    static const CProgram& start = *new CProgram(program);
    program.selectedOperator = int32_t(size % 8);
    OperatorPatch& o = program.operators[program.selectedOperator];
    const OperatorPatch& before = start.operators[program.selectedOperator];
    o = before;
    CMemAssembler reader;
    if (!reader.assign(data, int32_t(size))) return 0;
    // The patch is all doubles: comparing its bytes compares every value, NaN included.
    if (!loadWave(program, reader) && std::memcmp(&o, &before, sizeof o) != 0) std::abort();
    return 0;
}
