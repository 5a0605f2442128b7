// The envelope block: one modulation envelope with its velocity and key
// curves. It is both a sub-block of the program block and the whole content of
// an envelope file (.qxlenv).
//
// Layout (little-endian): magic QXLE, version 0 (int32 each); the envelope's
// tempo sync, keyed, free-running and bipolar flags (bytes); target kind
// (byte); rate key tracking and rate velocity sensitivity (doubles);
// controller, loop start, loop end (bytes); 11 destination depths (doubles);
// then for the envelope, the velocity curve and the key curve in turn a point
// count (byte) and per point level, start level, curve, delta, end time
// (doubles).
//
// Thread: editor or host chunk calls; never the audio thread.
#pragma once

#include <cstdint>

class CEnvelope;
class CMemAssembler;

inline constexpr int32_t kEnvelopeBlockVersion = 0;

// Appends the block; false when an allocation fails.
bool writeEnvelopeBlock(const CEnvelope& envelope, const CEnvelope& velocityCurve,
                        const CEnvelope& keyCurve, CMemAssembler& writer);

// Parses a block into the three records. The envelope is reset first (its
// target kind and depths only when `withRouting`, which also stores the
// block's routing; without it the routing is read and skipped). The curves
// receive only their point counts and points. A point count outside 0..64, a
// wrong magic or version, or a missing byte returns false; the records then
// hold what was read so far, each recomputed so that it is safe to play.
bool readEnvelopeBlock(CEnvelope& envelope, CEnvelope& velocityCurve, CEnvelope& keyCurve,
                       CMemAssembler& reader, bool withRouting);
