#include "patch/EnvelopeBlock.h"

#include "patch/BlockFormat.h"
#include "patch/CMemAssembler.h"
#include "voice/CEnvelope.h"

#include <algorithm>
#include <cmath>

namespace {

bool writePoints(const CEnvelope& e, CMemAssembler& w) {
    const int32_t count = std::clamp<int32_t>(e.pointCount, 0, kEnvelopeMaxPoints);
    bool ok = w.writeByte(uint8_t(count));
    for (int32_t i = 0; i < count; ++i) {
        const EnvelopePoint& p = e.points[i];
        ok = ok && w.writeDouble(p.level) && w.writeDouble(p.startLevel) &&
             w.writeDouble(p.curve) && w.writeDouble(p.delta) && w.writeDouble(p.endTime);
    }
    return ok;
}

double finiteOr(double x, double fallback) {
    return std::isfinite(x) ? x : fallback;
}

// A point count (signed byte) and the points; counts outside 0..64 are refused.
bool readPoints(CEnvelope& e, CMemAssembler& r) {
    if (!r.canReadByte()) return false;
    const int32_t count = int8_t(r.readByte());
    if (count < 0 || count > kEnvelopeMaxPoints) return false;
    e.pointCount = count;
    for (int32_t i = 0; i < count; ++i) {
        double v[5];
        for (double& x : v) {
            if (!r.canReadDouble()) return false;
            x = r.readDouble();
        }
        EnvelopePoint& p = e.points[i];
        // Damaged numbers become harmless ones; recompute quantises the rest.
        p.level = finiteOr(v[0], 0.0);
        p.startLevel = finiteOr(v[1], 0.0);
        p.curve = finiteOr(v[2], 0.5);
        // Held to the longest segment an edit allows: a huge delta would
        // overflow when recompute counts it in grid steps.
        p.delta = std::min(finiteOr(v[3], e.timeGrid), CEnvelope::kMaxDelta);
        p.endTime = finiteOr(v[4], 0.0);
    }
    return true;
}

bool readBody(CEnvelope& envelope, CEnvelope& velocityCurve, CEnvelope& keyCurve, CMemAssembler& r,
              bool withRouting) {
    bool flags[4];
    for (bool& f : flags) {
        if (!r.canReadByte()) return false;
        f = r.readByte() != 0;
    }
    envelope.tempoSync = flags[0];
    envelope.keyed = flags[1];
    envelope.freeRunning = flags[2];
    envelope.bipolar = flags[3];

    if (!r.canReadByte()) return false;
    const int32_t kind = int8_t(r.readByte());
    if (withRouting) envelope.targetKind = std::clamp<int32_t>(kind, 0, kTargetKindCount - 1);

    if (!r.canReadDouble()) return false;
    envelope.rateKeyTracking = finiteOr(r.readDouble(), 0.0);
    if (!r.canReadDouble()) return false;
    envelope.rateVelocitySensitivity = finiteOr(r.readDouble(), 0.0);

    int32_t bytes[3];
    for (int32_t& b : bytes) {
        if (!r.canReadByte()) return false;
        b = int8_t(r.readByte());
    }
    // A controller outside the list means none.
    envelope.controller = (bytes[0] >= 0 && bytes[0] <= kNoController) ? bytes[0] : kNoController;
    envelope.loopStart = bytes[1];
    envelope.loopEnd = bytes[2];

    for (int d = 0; d < kEnvelopeDestinationCount; ++d) {
        if (!r.canReadDouble()) return false;
        const double depth = r.readDouble();
        if (withRouting) envelope.depths[d] = finiteOr(depth, 0.0);
    }
    if (withRouting) envelope.clampDepths();

    return readPoints(envelope, r) && readPoints(velocityCurve, r) && readPoints(keyCurve, r);
}

} // namespace

bool writeEnvelopeBlock(const CEnvelope& envelope, const CEnvelope& velocityCurve,
                        const CEnvelope& keyCurve, CMemAssembler& w) {
    bool ok = w.writeInt32(kEnvelopeMagic) && w.writeInt32(kEnvelopeBlockVersion);
    ok = ok && w.writeByte(envelope.tempoSync) && w.writeByte(envelope.keyed) &&
         w.writeByte(envelope.freeRunning) && w.writeByte(envelope.bipolar);
    ok = ok && w.writeByte(uint8_t(envelope.targetKind));
    ok = ok && w.writeDouble(envelope.rateKeyTracking) &&
         w.writeDouble(envelope.rateVelocitySensitivity);
    ok = ok && w.writeByte(uint8_t(envelope.controller)) &&
         w.writeByte(uint8_t(envelope.loopStart)) && w.writeByte(uint8_t(envelope.loopEnd));
    for (int d = 0; ok && d < kEnvelopeDestinationCount; ++d)
        ok = w.writeDouble(envelope.depths[d]);
    return ok && writePoints(envelope, w) && writePoints(velocityCurve, w) &&
           writePoints(keyCurve, w);
}

bool readEnvelopeBlock(CEnvelope& envelope, CEnvelope& velocityCurve, CEnvelope& keyCurve,
                       CMemAssembler& r, bool withRouting) {
    if (!r.canReadInt32() || r.readInt32() != kEnvelopeMagic) return false;
    if (!r.canReadInt32() || r.readInt32() != kEnvelopeBlockVersion) return false;
    envelope.reset(withRouting);
    const bool ok = readBody(envelope, velocityCurve, keyCurve, r, withRouting);
    // Derived values and key tables follow the points; recompute also brings a
    // partly read record's loop and counts into range.
    envelope.recompute();
    velocityCurve.recompute();
    keyCurve.recompute();
    return ok;
}
