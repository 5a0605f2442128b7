// Program block (host chunk and program files): any bytes load or are
// refused. A refused block leaves the program exactly as it was: its saved
// bytes are the same before and after. A loaded program saves again, once
// for each shape it can have (see shapeOf).
//
// One program serves every input and is put back to its start state after
// each load that changed it, so that each input meets the same program (a
// whole new program per input would cost more than the load itself).
#include "patch/CMemAssembler.h"
#include "patch/CProgram.h"
#include "patch/ProgramFormat.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

namespace {

std::vector<uint8_t> saved(CProgram& program) {
    CMemAssembler writer;
    uint8_t* bytes = nullptr;
    if (!saveProgram(program, writer)) std::abort();
    const int32_t n = writer.assemble(bytes);
    if (n <= 0) std::abort();
    return std::vector<uint8_t>(bytes, bytes + n);
}

// What decides the writer's path through a program: how many envelopes it
// writes and how many points each of their three records holds. Every other
// value is copied as it is, so one save per shape reaches all the writer does.
std::vector<int32_t> shapeOf(const CProgram& p) {
    std::vector<int32_t> shape{p.envelopeCount};
    for (int32_t e = 0; e < p.envelopeCount && e < kProgramEnvelopeCount; ++e)
        for (const CEnvelope* r : {&p.envelopes[e], &p.velocityCurves[e], &p.keyCurves[e]})
            shape.push_back(r->pointCount);
    return shape;
}

struct Fixture {
    double fineTune = 0.5;
    CProgram start;
    CProgram program;
    std::vector<uint8_t> startBytes;
    Fixture() {
        start.fineTune = &fineTune;
        program = start;
        startBytes = saved(start);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > (1u << 24)) return 0;
    static Fixture& f = *new Fixture;
    // The program's memory as it is before the load: when a refused load left
    // every byte of it alone, it saves to the same bytes, and saving (one
    // piece per value) would cost more than the load.
    static std::vector<unsigned char>& before = *new std::vector<unsigned char>(sizeof(CProgram));
    std::memcpy(before.data(), static_cast<void*>(&f.program), sizeof(CProgram));

    CMemAssembler reader;
    if (!reader.assign(data, int32_t(size))) return 0;
    static CProgram& scratch = *new CProgram;
    if (loadProgram(f.program, reader, size & 1, scratch)) {
        static std::set<std::vector<int32_t>>& savedShapes = *new std::set<std::vector<int32_t>>;
        if (savedShapes.insert(shapeOf(f.program)).second) (void)saved(f.program);
        f.program = f.start;
        f.fineTune = 0.5;
        return 0;
    }
    if (f.fineTune == 0.5 &&
        std::memcmp(before.data(), static_cast<void*>(&f.program), sizeof(CProgram)) == 0)
        return 0;
    // Something was written: the saved bytes, which carry every stored value
    // and the process-wide fine tune, must still be those of the start.
    if (saved(f.program) != f.startBytes) std::abort();
    return 0;
}
