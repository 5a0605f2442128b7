// Program block (host chunk and program files): any bytes load or are
// refused; a refused block leaves the program as it was, a loaded one saves.
#include "patch/CMemAssembler.h"
#include "patch/CProgram.h"
#include "patch/ProgramFormat.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > (1u << 24)) return 0;
    static double fineTune = 0.5;
    auto program = std::make_unique<CProgram>();
    program->fineTune = &fineTune;
    CMemAssembler reader;
    reader.assign(data, int32_t(size));
    const bool loaded = loadProgram(*program, reader, size & 1);
    CMemAssembler writer;
    if (!saveProgram(*program, writer)) std::abort();
    (void)loaded;
    return 0;
}
