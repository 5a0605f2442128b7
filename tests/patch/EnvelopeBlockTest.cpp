#include "patch/EnvelopeBlock.h"
#include "patch/BlockFormat.h"
#include "patch/CMemAssembler.h"
#include "voice/CEnvelope.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

struct Slot {
    CEnvelope envelope, velocity, key;
    Slot() {
        velocity.makeKeyTableDefault();
        key.makeKeyTableDefault();
    }
};

std::vector<uint8_t> save(const Slot& s) {
    CMemAssembler w;
    EXPECT_TRUE(writeEnvelopeBlock(s.envelope, s.velocity, s.key, w));
    uint8_t* out = nullptr;
    const int32_t n = w.assemble(out);
    return std::vector<uint8_t>(out, out + n);
}

bool load(Slot& s, const std::vector<uint8_t>& bytes, bool withRouting) {
    CMemAssembler r;
    if (!bytes.empty()) r.assign(bytes.data(), int32_t(bytes.size()));
    return readEnvelopeBlock(s.envelope, s.velocity, s.key, r, withRouting);
}

// Many points, every flag and field away from its default.
void fill(Slot& s, uint32_t seed) {
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return double(seed >> 8) / 16777216.0;
    };
    CEnvelope& e = s.envelope;
    e.tempoSync = e.freeRunning = e.bipolar = true;
    e.keyed = false;
    e.targetKind = kTargetPitch;
    e.controller = 4;
    e.rateKeyTracking = next();
    e.rateVelocitySensitivity = -next();
    for (int i = 0; i < 61; ++i)
        e.insertPoint(1);
    for (int i = 0; i < e.pointCount; ++i) {
        e.setLevel(i, next());
        e.setCurve(i, next());
        e.setDelta(i, next() * 3);
    }
    e.setLoopEnd(40);
    e.setLoopStart(7);
    for (int d = 0; d < kEnvelopeDestinationCount; ++d)
        e.setDepth(d, next() * 50 - 25);
    for (CEnvelope* c : {&s.velocity, &s.key}) {
        for (int i = 0; i < 20; ++i)
            c->insertPoint(0);
        for (int i = 0; i < c->pointCount; ++i)
            c->setLevel(i, next());
    }
    // Point 0's start level is taken before a pass quantises the last level:
    // one more pass makes the records what a load reproduces.
    for (CEnvelope* c : {&s.envelope, &s.velocity, &s.key})
        c->recompute();
}

} // namespace

TEST(EnvelopeBlock, SizesAndHeader) {
    Slot s;
    const std::vector<uint8_t> bytes = save(s);
    ASSERT_EQ(bytes.size(), 403u);
    int32_t magic, version;
    std::memcpy(&magic, bytes.data(), 4);
    std::memcpy(&version, bytes.data() + 4, 4);
    EXPECT_EQ(magic, fourCC("QXLE"));
    EXPECT_EQ(bytes[0], 'E');
    EXPECT_EQ(version, 0);
    s.envelope.pointCount = 2;
    EXPECT_EQ(save(s).size(), 363u);
}

TEST(EnvelopeBlock, RoundTripsBitForBit) {
    Slot a;
    fill(a, 7);
    ASSERT_EQ(a.envelope.pointCount, 64);
    const std::vector<uint8_t> bytes = save(a);
    Slot b;
    ASSERT_TRUE(load(b, bytes, true));
    EXPECT_EQ(save(b), bytes);
    EXPECT_EQ(b.envelope.targetKind, kTargetPitch);
    EXPECT_EQ(b.envelope.loopStart, 7);
    EXPECT_EQ(b.envelope.loopEnd, 40);
    EXPECT_EQ(std::memcmp(b.key.keyTable, a.key.keyTable, sizeof a.key.keyTable), 0);
}

TEST(EnvelopeBlock, WithoutRoutingTheEnvelopeKeepsItsOwn) {
    Slot source;
    fill(source, 3);
    Slot target;
    target.envelope.targetKind = kTargetAmplitude;
    target.envelope.setDepth(3, 0.75);
    ASSERT_TRUE(load(target, save(source), false));
    EXPECT_EQ(target.envelope.targetKind, kTargetAmplitude);
    for (int d = 0; d < kEnvelopeDestinationCount; ++d)
        EXPECT_EQ(target.envelope.depths[d], d == 3 ? 0.75 : 0.0) << d;
    EXPECT_EQ(target.envelope.pointCount, 64);
    EXPECT_TRUE(target.envelope.bipolar);
}

// Damaged numbers in the points load as numbers the envelope can play: a
// delta beyond the longest segment is held to it, and the output stays finite.
TEST(EnvelopeBlock, DamagedPointsPlayFinite) {
    const std::vector<uint8_t> bytes = save(Slot());
    const size_t firstPoint = 8 + 4 + 1 + 16 + 3 + 88 + 1;
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        int field; // level, start level, curve, delta, end time
        double value;
    } cases[] = {{3, 1e300}, {3, DBL_MAX}, {3, -1e300}, {3, inf},    {3, std::nan("")},
                 {0, 1e300}, {0, -inf},    {2, 1e300},  {2, -1e300}, {4, 1e300}};
    for (const Case& c : cases) {
        std::vector<uint8_t> b = bytes;
        std::memcpy(b.data() + firstPoint + 8 * size_t(c.field), &c.value, 8);
        Slot s;
        ASSERT_TRUE(load(s, b, true)) << c.field << " " << c.value;
        EXPECT_LE(s.envelope.delta(0), CEnvelope::kMaxDelta) << c.field << " " << c.value;
        s.envelope.start(0.0);
        for (int k = 0; k < 200; ++k) {
            if (k == 100) s.envelope.release();
            ASSERT_TRUE(std::isfinite(s.envelope.evaluate(0.7, true)))
                << c.field << " " << c.value << " at " << k;
        }
    }
}

TEST(EnvelopeBlock, RefusesDamagedBlocks) {
    Slot good;
    const std::vector<uint8_t> bytes = save(good);
    const size_t countAt = 8 + 4 + 1 + 16 + 3 + 88; // the envelope's point count
    ASSERT_EQ(bytes[countAt], 3);
    for (uint8_t badCount : {uint8_t(65), uint8_t(0xFF), uint8_t(0x80)}) {
        std::vector<uint8_t> b = bytes;
        b[countAt] = badCount;
        Slot s;
        EXPECT_FALSE(load(s, b, true)) << int(badCount);
        EXPECT_LE(s.envelope.pointCount, kEnvelopeMaxPoints);
    }
    std::vector<uint8_t> wrongVersion = bytes;
    wrongVersion[4] = 1;
    Slot s;
    EXPECT_FALSE(load(s, wrongVersion, true));
    // Every truncation fails and leaves records that are safe to play.
    for (size_t n = 0; n < bytes.size(); ++n) {
        Slot t;
        fill(t, 11);
        ASSERT_FALSE(load(t, std::vector<uint8_t>(bytes.begin(), bytes.begin() + n), true)) << n;
        ASSERT_GE(t.envelope.loopStart, 1);
        ASSERT_LE(t.envelope.loopEnd, t.envelope.pointCount - 1);
        t.envelope.start(0.0);
        for (int k = 0; k < 50; ++k)
            t.envelope.evaluate(0.1, true);
    }
    // Wild loop points and kinds are brought into range.
    std::vector<uint8_t> wild = bytes;
    wild[12] = 99;   // target kind
    wild[29] = 0x7F; // controller
    wild[30] = 0xF0; // loop start -16
    wild[31] = 100;  // loop end
    Slot w;
    ASSERT_TRUE(load(w, wild, true));
    EXPECT_EQ(w.envelope.targetKind, kTargetKindCount - 1);
    EXPECT_EQ(w.envelope.controller, kNoController);
    EXPECT_EQ(w.envelope.loopStart, 1);
    EXPECT_EQ(w.envelope.loopEnd, 2);
}
