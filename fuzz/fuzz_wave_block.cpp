// Wave block (.qxlwav files).
#include "patch/CMemAssembler.h"
#include "patch/CProgram.h"
#include "patch/ProgramFormat.h"

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > (1u << 20)) return 0;
    auto program = std::make_unique<CProgram>();
    program->selectedOperator = int32_t(size % 8);
    CMemAssembler reader;
    reader.assign(data, int32_t(size));
    loadWave(*program, reader);
    return 0;
}
