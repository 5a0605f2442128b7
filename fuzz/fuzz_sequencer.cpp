// Sequencer block (program sub-blocks and .qxlseq files): any bytes load or
// are refused, and a refused block leaves the sequencer as it was.
//
// One program serves every input; the sequencer is put back before each one.
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
    const int which = int(size & 1);
    SequencerPatch& s = program.sequencers[which];
    const SequencerPatch& before = start.sequencers[which];
    s = before;
    CMemAssembler reader;
    if (!reader.assign(data, int32_t(size))) return 0;
    // The patch is all doubles: comparing its bytes compares every value, NaN included.
    if (!loadSequencer(program, which, reader, size & 2) && std::memcmp(&s, &before, sizeof s) != 0)
        std::abort();
    return 0;
}
