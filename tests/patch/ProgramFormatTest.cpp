#include "patch/ProgramFormat.h"
#include "patch/BlockFormat.h"
#include "patch/CMemAssembler.h"
#include "patch/CProgram.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes saveBytes(CProgram& p) {
    CMemAssembler w;
    EXPECT_TRUE(saveProgram(p, w));
    uint8_t* out = nullptr;
    const int32_t n = w.assemble(out);
    return Bytes(out, out + n);
}

bool loadBytes(CProgram& p, const Bytes& b, bool applyFineTune) {
    CMemAssembler r;
    if (!b.empty()) r.assign(b.data(), int32_t(b.size()));
    return loadProgram(p, r, applyFineTune);
}

int32_t int32At(const Bytes& b, size_t at) {
    int32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

double doubleAt(const Bytes& b, size_t at) {
    double v;
    std::memcpy(&v, b.data() + at, 8);
    return v;
}

// Fixed offsets of the version-6 block (everything before the envelopes has a fixed size).
constexpr size_t kNameAt = 40, kNameEnd = 168;
constexpr size_t kDelaySyncAt = 7328, kEqShapeAt = 7344, kEqShapeEnd = 7408;
constexpr size_t kFineTuneAt = 12360, kEnvelopeCountAt = 12368;

// A block of an older version made from a version-6 block by taking out what
// that version did not have.
Bytes asVersion(Bytes b, int32_t version) {
    std::memcpy(b.data() + 4, &version, 4);
    if (version < 6) b.erase(b.begin() + kFineTuneAt, b.begin() + kFineTuneAt + 8);
    if (version < 1) {
        b.erase(b.begin() + kEqShapeAt, b.begin() + kEqShapeEnd);
        b.insert(b.begin() + kEqShapeAt, 16, 0x11); // the two ignored doubles
    }
    if (version < 2) b.erase(b.begin() + kDelaySyncAt, b.begin() + kDelaySyncAt + 8);
    if (version < 5) b.erase(b.begin() + kNameAt, b.begin() + kNameEnd);
    return b;
}

// Everything away from its default: 32 envelopes of 64 points, every step,
// sample paths, a tuning.
void fillProgram(CProgram& p) {
    uint32_t seed = 1234;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return double(seed >> 8) / 16777216.0;
    };
    std::strcpy(p.name, "Glass Organ");
    std::strcpy(p.tuningName, "just");
    for (double& r : p.tuningRatios)
        r = 1.0 + next() * 0.01;
    for (OperatorPatch& o : p.operators) {
        double* first = &o.amplitude;
        for (int i = 0; i < 83; ++i)
            first[i] = next();
        o.coarseTune = 3.5;
        o.offsetHz = -12.25;
    }
    for (int id = 0; id < kAppliedIdCount; ++id)
        if (id < kSampleSlotFirstId || id >= kSampleSlotFirstId + 64) p.setValue(id, next());
    for (int s = 0; s < kSampleSlotCount; ++s) {
        std::snprintf(p.sampleSlots[s].samplePath, kProgramPathSize, "/samples/slot%d.wav", s);
        double* first = &p.sampleSlots[s].lowKey;
        for (int k = 0; k < 8; ++k)
            first[k] = next();
    }
    while (p.envelopeCount < kProgramEnvelopeCount)
        p.addEnvelope();
    for (int e = 0; e < kProgramEnvelopeCount; ++e) {
        CEnvelope& env = p.envelopes[e];
        env.targetKind = e % kTargetKindCount;
        env.controller = e % 12;
        env.bipolar = e & 1;
        env.tempoSync = e & 2;
        while (env.pointCount < kEnvelopeMaxPoints)
            env.insertPoint(1);
        for (int i = 0; i < env.pointCount; ++i) {
            env.setLevel(i, next());
            env.setDelta(i, next());
            env.setCurve(i, next());
        }
        env.setLoopEnd(30 + e);
        env.setLoopStart(e + 1);
        for (int d = 0; d < kEnvelopeDestinationCount; ++d)
            env.setDepth(d, next());
        for (CEnvelope* c : {&p.velocityCurves[e], &p.keyCurves[e]}) {
            while (c->pointCount < kEnvelopeMaxPoints)
                c->insertPoint(0);
            for (int i = 0; i < c->pointCount; ++i)
                c->setLevel(i, next());
        }
        for (CEnvelope* c : {&env, &p.velocityCurves[e], &p.keyCurves[e]})
            c->recompute();
    }
    p.selectedEnvelope = 5;
}

} // namespace

TEST(ProgramFormat, NewProgramLayout) {
    double fineTune = 0.5;
    CProgram p;
    p.fineTune = &fineTune;
    const Bytes b = saveBytes(p);
    ASSERT_EQ(b.size(), 12776u);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 4), (Bytes{'V', 'L', 'X', 'Q'}));
    EXPECT_EQ(int32At(b, 4), 6);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data() + 8)), "Standard");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data() + kNameAt)), "noname");
    EXPECT_EQ(doubleAt(b, kFineTuneAt), 0.5);
    EXPECT_EQ(b[kEnvelopeCountAt], 1);
    EXPECT_EQ(int32At(b, kEnvelopeCountAt + 1), 403);
    EXPECT_EQ(int32At(b, kEnvelopeCountAt + 5), fourCC("QXLE"));
}

TEST(ProgramFormat, DefaultProgramRoundTripsBitForBit) {
    double fineTune = 0.5;
    CProgram a;
    a.fineTune = &fineTune;
    const Bytes saved = saveBytes(a);
    CProgram b;
    b.fineTune = &fineTune;
    b.setValue(kMasterLevelId, 0.9);
    ASSERT_TRUE(loadBytes(b, saved, true));
    EXPECT_EQ(saveBytes(b), saved);
}

TEST(ProgramFormat, FullProgramRoundTripsBitForBit) {
    double fineTuneA = 0.8, fineTuneB = 0.5;
    auto a = std::make_unique<CProgram>();
    a->fineTune = &fineTuneA;
    fillProgram(*a);
    const Bytes saved = saveBytes(*a);
    ASSERT_GT(saved.size(), 100000u);

    auto b = std::make_unique<CProgram>();
    b->fineTune = &fineTuneB;
    // A program file does not bring its fine tune; the host chunk does.
    ASSERT_TRUE(loadBytes(*b, saved, false));
    EXPECT_EQ(fineTuneB, 0.5);
    ASSERT_TRUE(loadBytes(*b, saved, true));
    EXPECT_EQ(fineTuneB, 0.8);
    // The program plays in the tuning it was saved with.
    EXPECT_STREQ(b->tuningName, a->tuningName);
    EXPECT_EQ(std::memcmp(b->tuningRatios, a->tuningRatios, sizeof a->tuningRatios), 0);
    EXPECT_EQ(b->envelopeCount, 32);
    EXPECT_EQ(b->selectedEnvelope, 0);
    EXPECT_STREQ(b->sampleSlots[7].samplePath, "/samples/slot7.wav");

    b->selectedEnvelope = 5;
    EXPECT_EQ(saveBytes(*b), saved);
}

TEST(ProgramFormat, OlderVersionsAndTheirConversions) {
    double fineTune = 0.5;
    CProgram source;
    source.fineTune = &fineTune;
    std::strcpy(source.name, "source");
    source.setValue(kDelayFirstId, 0.5);     // pre-delay
    source.setValue(kDelayFirstId + 8, 1.0); // sync
    for (int b = 0; b < 4; ++b) {
        source.setValue(kEqQFirstId + b, 0.6);
        source.setValue(kEqFrequencyFirstId + b, 0.1 * b + (b == 3 ? 0.9 : 0.0));
    }
    source.setValue(kGlideFactorId, 0.7);
    source.setValue(kFineTuneId, 0.9);
    const Bytes v6 = saveBytes(source);

    struct Glide {
        double unison, fromHeld, expectedFactor;
    } glides[] = {{0.0, 0.0, 0.0}, {1.0, 0.0, 0.7}, {0.0, 1.0, 0.7}};
    for (int version = 0; version <= 6; ++version) {
        for (const Glide& g : glides) {
            SCOPED_TRACE(testing::Message() << "version " << version << " unison " << g.unison
                                            << " from held " << g.fromHeld);
            source.setValue(kUnisonId, g.unison);
            source.setValue(kGlideFromHeldId, g.fromHeld);
            fineTune = 0.9;
            const Bytes block = asVersion(saveBytes(source), version);
            fineTune = 0.25;
            CProgram p;
            p.fineTune = &fineTune;
            std::strcpy(p.name, "target");
            p.setValue(kDelayFirstId + 8, 0.3);
            ASSERT_TRUE(loadBytes(p, block, true));

            EXPECT_STREQ(p.name, version >= 5 ? "source" : "target");
            EXPECT_EQ(fineTune, version >= 6 ? 0.9 : 0.25);
            EXPECT_EQ(p.getValue(kDelayFirstId + 8, false), version >= 2 ? 1.0 : 0.3);
            const double pre = version <= 2 ? std::sqrt(0.5 * 126 / 1300) : 0.5;
            EXPECT_DOUBLE_EQ(p.getValue(kDelayFirstId, false), pre);
            for (int b = 0; b < 4; ++b) {
                // Version 0 has no shape values: the target's defaults are converted.
                const double q = version == 0 ? 0.0 : 0.6;
                const double f = version == 0 ? 0.25 * b : 0.1 * b + (b == 3 ? 0.9 : 0.0);
                EXPECT_DOUBLE_EQ(p.getValue(kEqQFirstId + b, false), version <= 2 ? q * 0.5 : q);
                // Band 4's 1.2 is beyond the range a frequency means: loaded as 1.
                const double fc = std::min(1.0, version <= 2 ? (f * 6 + 3.05) / 9.4 : f);
                EXPECT_DOUBLE_EQ(p.getValue(kEqFrequencyFirstId + b, false), fc) << b;
            }
            EXPECT_EQ(p.getValue(kGlideFactorId, false), version <= 3 ? g.expectedFactor : 0.7);
            EXPECT_EQ(p.getValue(kGlideFromHeldId, false), version <= 3 ? 0.0 : g.fromHeld);
        }
    }
}

TEST(ProgramFormat, AFailedLoadLeavesTheProgramUntouched) {
    double fineTune = 0.5;
    auto source = std::make_unique<CProgram>();
    source->fineTune = &fineTune;
    fillProgram(*source);
    const Bytes good = saveBytes(*source);

    auto target = std::make_unique<CProgram>();
    target->fineTune = &fineTune;
    target->addEnvelope();
    const Bytes before = saveBytes(*target);

    std::vector<std::pair<const char*, Bytes>> bad;
    Bytes b = good;
    b[0] = 'X';
    bad.push_back({"magic", b});
    b = good;
    b[4] = 7;
    bad.push_back({"version 7", b});
    b = good;
    b[7] = 0x80;
    bad.push_back({"negative version", b});
    for (uint8_t count : {uint8_t(0), uint8_t(33), uint8_t(0xFF)}) {
        b = good;
        b[kEnvelopeCountAt] = count;
        bad.push_back({"envelope count", b});
    }
    b = good;
    std::memset(b.data() + 8 + 32 + 128 + 5312 + 72 + 1024, 0, 4);
    bad.push_back({"empty sequencer block", b});
    b = good;
    b[8 + 32 + 128 + 5312 + 72 + 1024 + 4 + 4] = 1; // sequencer version 1
    bad.push_back({"sequencer version", b});
    for (size_t n :
         {size_t(0), size_t(7), size_t(100), size_t(7000), kEnvelopeCountAt, good.size() - 1}) {
        bad.push_back({"truncated", Bytes(good.begin(), good.begin() + n)});
    }
    b = good;
    b[kEnvelopeCountAt + 1] = 0xFF; // first envelope block longer than the rest
    bad.push_back({"envelope length", b});

    for (const auto& [what, bytes] : bad) {
        SCOPED_TRACE(what);
        EXPECT_FALSE(loadBytes(*target, bytes, true));
        EXPECT_EQ(saveBytes(*target), before);
        EXPECT_EQ(fineTune, 0.5);
    }
}

TEST(ProgramFormat, AMalformedEnvelopeBlockIsTolerated) {
    double fineTune = 0.5;
    CProgram source;
    source.fineTune = &fineTune;
    source.addEnvelope();
    source.envelopes[1].bipolar = true;
    source.envelopes[1].targetKind = kTargetPitch;
    Bytes b = saveBytes(source);
    // The first envelope block's magic is wrong, the second one's point count too large.
    b[kEnvelopeCountAt + 5] = 'X';
    const size_t second = kEnvelopeCountAt + 5 + 403 + 4;
    ASSERT_EQ(int32At(b, second), fourCC("QXLE"));
    b[second + 8 + 4 + 1 + 16 + 3 + 88] = 65;
    CProgram p;
    p.fineTune = &fineTune;
    p.envelopes[0].bipolar = true;
    ASSERT_TRUE(loadBytes(p, b, true));
    EXPECT_EQ(p.envelopeCount, 2);
    EXPECT_TRUE(p.envelopes[0].bipolar); // not a block: left alone
    EXPECT_TRUE(p.envelopes[1].bipolar); // read up to the bad count
    EXPECT_EQ(p.envelopes[1].targetKind, kTargetPitch);
}

TEST(ProgramFormat, SequencerAndWaveBlocks) {
    CProgram p;
    for (int k = 0; k < 32; ++k)
        p.sequencers[1].steps[k] = k / 32.0;
    p.sequencers[1].running = 1.0;
    p.sequencers[1].transpose = 0.75;
    CMemAssembler w;
    ASSERT_TRUE(saveSequencer(p, 1, w));
    uint8_t* out = nullptr;
    ASSERT_EQ(w.assemble(out), 312);
    const Bytes pattern(out, out + 312);

    CProgram q;
    CMemAssembler r;
    r.assign(pattern.data(), 312);
    ASSERT_TRUE(loadSequencer(q, 0, r, true));
    EXPECT_EQ(q.sequencers[0].running, 0.0); // a pattern file leaves the switch alone
    EXPECT_EQ(q.sequencers[0].transpose, 0.75);
    EXPECT_EQ(q.sequencers[0].steps[31], 31 / 32.0);
    r.assign(pattern.data(), 312);
    ASSERT_TRUE(loadSequencer(q, 0, r, false));
    EXPECT_EQ(q.sequencers[0].running, 1.0);
    // A cut-off pattern changes nothing.
    CProgram fresh;
    r.assign(pattern.data(), 300);
    EXPECT_FALSE(loadSequencer(fresh, 0, r, false));
    EXPECT_EQ(fresh.sequencers[0].steps[31], 0.0);

    p.selectedOperator = 2;
    p.operators[2].harmonicAmplitudes[5] = 0.5;
    p.operators[2].harmonicPhases[31] = 0.25;
    CMemAssembler ww;
    ASSERT_TRUE(saveWave(p, ww));
    ASSERT_EQ(ww.assemble(out), 520);
    Bytes wave(out, out + 520);
    q.selectedOperator = 7;
    r.assign(wave.data(), 520);
    ASSERT_TRUE(loadWave(q, r));
    EXPECT_EQ(q.operators[7].harmonicAmplitudes[5], 0.5);
    EXPECT_EQ(q.operators[7].harmonicPhases[31], 0.25);
    wave[4] = 1; // version 1
    CProgram untouched;
    r.assign(wave.data(), 520);
    EXPECT_FALSE(loadWave(untouched, r));
    EXPECT_EQ(untouched.operators[0].harmonicAmplitudes[5], 0.0);
    r.assign(out, 519);
    EXPECT_FALSE(loadWave(untouched, r));
    EXPECT_EQ(untouched.operators[0].harmonicAmplitudes[0], 1.0);
}

TEST(ProgramFormat, ValuesBeyondTheirRangeLoadAtTheNearestEnd) {
    // A file written with values no control can set (a host that broke the
    // 0..1 rule, a damaged file) must not make the engine explode on loading.
    double fineTune = 0.5;
    CProgram source;
    source.fineTune = &fineTune;
    source.setValue(kMasterLevelId, 9999.99);
    source.setValue(kDistortionId, -5.0);
    source.setValue(kGlideFactorId, 3.0);
    source.operators[2].amplitude = 40.0;
    source.operators[2].startPhase = -2.0;
    source.operators[2].coarseTune = 12.5; // engine units: kept
    CProgram p;
    p.fineTune = &fineTune;
    ASSERT_TRUE(loadBytes(p, saveBytes(source), false));
    EXPECT_EQ(p.getValue(kMasterLevelId, false), 1.0);
    EXPECT_EQ(p.getValue(kDistortionId, false), 0.0);
    EXPECT_EQ(p.getValue(kGlideFactorId, false), 1.0);
    EXPECT_EQ(p.operators[2].amplitude, 1.0);
    EXPECT_EQ(p.operators[2].startPhase, 0.0);
    EXPECT_EQ(p.operators[2].coarseTune, 12.5);
}

// A tuning table no tuning can give (a ratio that is no positive number) is
// damage: the receiving program keeps its own tuning and takes the rest.
TEST(ProgramFormat, ADamagedTuningTableLeavesTheProgramsOwn) {
    double fineTune = 0.5;
    for (double bad : {0.0, -1.0, std::nan(""), HUGE_VAL}) {
        CProgram source;
        source.fineTune = &fineTune;
        std::strcpy(source.tuningName, "broken");
        source.tuningRatios[40] = bad;
        std::strcpy(source.name, "carried");
        const Bytes saved = saveBytes(source);
        CProgram target;
        target.fineTune = &fineTune;
        std::strcpy(target.tuningName, "kept");
        target.tuningRatios[40] = 1.25;
        ASSERT_TRUE(loadBytes(target, saved, false));
        EXPECT_STREQ(target.tuningName, "kept") << bad;
        EXPECT_EQ(target.tuningRatios[40], 1.25) << bad;
        EXPECT_STREQ(target.name, "carried");
    }
}
