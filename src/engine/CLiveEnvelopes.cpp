#include "engine/CLiveEnvelopes.h"

#include "patch/CProgram.h"

#include <cstring>

namespace {
// A note's velocity reads the velocity curve at velocity / 127.
constexpr double kVelocityScale = 127.0;
} // namespace

CLiveEnvelopes::CLiveEnvelopes() {
    for (int32_t i = 0; i < kSlotCount; ++i)
        for (int32_t v = 0; v < kVelocityCount; ++v)
            liveDepths[i][v] = stagedDepths[i][v] = 1.0;
}

void CLiveEnvelopes::stage(const CProgram& program, int32_t index) {
    if (index < 0 || index >= kSlotCount) return;
    CEnvelope& e = staged[index];
    e = program.envelopes[index];
    std::memcpy(e.keyTable, program.keyCurves[index].keyTable, sizeof e.keyTable);
    // The velocity curve started at each velocity's time and read there, as a
    // note on would read it.
    CEnvelope velocityCurve = program.velocityCurves[index];
    for (int32_t v = 0; v < kVelocityCount; ++v) {
        velocityCurve.start(v / kVelocityScale);
        stagedDepths[index][v] = velocityCurve.evaluate(0.0, false);
    }
    stagedSlots |= 1u << index;
}

void CLiveEnvelopes::stageAll(const CProgram& program) {
    for (int32_t i = 0; i < kSlotCount; ++i)
        stage(program, i);
    int32_t n = program.envelopeCount;
    stagedCount = n < 0 ? 0 : (n > kSlotCount ? kSlotCount : n);
    countStaged = true;
}

bool CLiveEnvelopes::take() {
    if (!handOver.tryBeginRead()) return false;
    for (int32_t i = 0; i < kSlotCount; ++i) {
        if (!(stagedSlots & (1u << i))) continue;
        const CEnvelope& before = live[i];
        CEnvelope edited = staged[i];
        edited.continueFrom(before);
        live[i] = edited;
        std::memcpy(liveDepths[i], stagedDepths[i], sizeof liveDepths[i]);
    }
    stagedSlots = 0;
    if (countStaged) liveCount = stagedCount;
    countStaged = false;
    handOver.endRead();
    return true;
}

void CLiveEnvelopes::restart() {
    for (CEnvelope& e : live)
        e.start(0.0);
}

const CEnvelope* CLiveEnvelopes::forNote(int32_t velocity) {
    const int32_t v =
        velocity < 0 ? 0 : (velocity >= kVelocityCount ? kVelocityCount - 1 : velocity);
    for (int32_t i = 0; i < liveCount; ++i)
        live[i].depth = liveDepths[i][v];
    return live;
}

void CLiveEnvelopes::advanceFreeRunning(double seconds) {
    for (int32_t i = 0; i < liveCount; ++i)
        if (live[i].freeRunning) live[i].evaluate(seconds, true);
}
