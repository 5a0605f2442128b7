#include "engine/CLiveEnvelopes.h"

#include "patch/CProgram.h"

#include <cstring>

namespace {
// A note's velocity reads the velocity curve at velocity / 127.
constexpr double kVelocityScale = 127.0;
// The slot whose identity is `identity`, slot `hint` first (a clone shares
// its original's); -1 when none is.
int32_t slotHolding(const uint32_t* identities, uint32_t identity, int32_t hint) {
    if (identities[hint] == identity) return hint;
    for (int32_t j = 0; j < CLiveEnvelopes::kSlotCount; ++j)
        if (identities[j] == identity) return j;
    return -1;
}

} // namespace

CLiveEnvelopes::CLiveEnvelopes() {
    for (int32_t i = 0; i < kSlotCount; ++i) {
        liveIdentities[i] = stagedIdentities[i] = uint32_t(i);
        for (int32_t v = 0; v < kVelocityCount; ++v)
            liveDepths[i][v] = stagedDepths[i][v] = 1.0;
    }
}

void CLiveEnvelopes::stage(const CProgram& program, int32_t index) {
    if (index < 0 || index >= kSlotCount) return;
    CEnvelope& e = staged[index];
    e = program.envelopes[index];
    stagedIdentities[index] = program.envelopeIdentities[index];
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
    // Every position and identity first: a record taken over may come from a
    // slot that is itself taken over further on.
    CEnvelope::Position before[kSlotCount];
    uint32_t identitiesBefore[kSlotCount];
    for (int32_t i = 0; i < kSlotCount; ++i) {
        before[i] = live[i].position();
        identitiesBefore[i] = liveIdentities[i];
    }
    for (int32_t i = 0; i < kSlotCount; ++i) {
        if (!(stagedSlots & (1u << i))) continue;
        CEnvelope& e = live[i];
        e = staged[i];
        const int32_t from = slotHolding(identitiesBefore, stagedIdentities[i], i);
        if (from >= 0)
            e.continueFrom(before[from]);
        else
            e.start(0.0);
        liveIdentities[i] = stagedIdentities[i];
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
