// Sequencer block (program sub-blocks and .qxlseq files).
#include "patch/CMemAssembler.h"
#include "patch/CProgram.h"
#include "patch/ProgramFormat.h"

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > (1u << 20)) return 0;
    auto program = std::make_unique<CProgram>();
    CMemAssembler reader;
    reader.assign(data, int32_t(size));
    loadSequencer(*program, int(size & 1), reader, size & 2);
    return 0;
}
