#include "patch/CProgram.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class CProgramTest : public ::testing::Test {
protected:
    std::unique_ptr<CProgram> owner = std::make_unique<CProgram>();
    CProgram& p = *owner;

    std::vector<unsigned char> bytes() const {
        const auto* b = reinterpret_cast<const unsigned char*>(&p);
        return std::vector<unsigned char>(b, b + sizeof(CProgram));
    }
    void setPath(int slot, const char* path) {
        std::strncpy(p.sampleSlots[slot].samplePath, path, kProgramPathSize - 1);
    }
};

} // namespace

TEST_F(CProgramTest, NewProgramHasItsDefaults) {
    EXPECT_STREQ(p.name, "noname");
    EXPECT_STREQ(p.bankName, "xxx");
    EXPECT_STREQ(p.tuningName, "Standard");
    EXPECT_STREQ(p.programFilePath, "");
    EXPECT_EQ(p.envelopeCount, 1);
    EXPECT_EQ(p.selectedEnvelope, 0);
    EXPECT_FALSE(p.envelopeClipboardValid);
    EXPECT_FALSE(p.spectrumClipboardValid);
    for (double r : p.tuningRatios)
        ASSERT_DOUBLE_EQ(r, 1.0);
    for (const OperatorPatch& op : p.operators) {
        EXPECT_DOUBLE_EQ(op.harmonicAmplitudes[0], 1.0);
        for (int h = 1; h < kHarmonicCount; ++h)
            ASSERT_DOUBLE_EQ(op.harmonicAmplitudes[h], 0.0);
        for (double ph : op.harmonicPhases)
            ASSERT_DOUBLE_EQ(ph, 0.0);
    }
    for (int i = 0; i < kProgramEnvelopeCount; ++i) {
        EXPECT_FALSE(p.envelopes[i].keyTableCurve);
        EXPECT_EQ(p.envelopes[i].pointCount, 3);
        EXPECT_TRUE(p.keyCurves[i].keyTableCurve);
        EXPECT_TRUE(p.velocityCurves[i].keyTableCurve);
        EXPECT_DOUBLE_EQ(p.keyCurves[i].keyTable[60], 1.0);
    }
    EXPECT_TRUE(p.curveClipboard.keyTableCurve);
    EXPECT_FALSE(p.envelopeClipboard.keyTableCurve);

    struct Case {
        int32_t id;
        double value;
    } defaults[] = {
        {0, 0.3},   {1, 0.5},   {2, 0.0},     {3, 0.0},   {4, 0.3},   {7, 1.0},   {9, 1.0},
        {13, 0.2},  {16, 1.0},  {18, 0.5},    {20, 0.0},  {24, 0.0},  {25, 0.25}, {27, 0.75},
        {28, 0.5},  {32, 0.0},  {33, 0.0},    {34, 0.5},  {35, 1.0},  {36, 0.5},  {37, 0.0},
        {44, 0.25}, {47, 1.0},  {49, 0.5},    {50, 0.5},  {60, 0.5},  {72, 0.5},  {74, 0.0},
        {75, 0.5},  {176, 0.0}, {177, 0.5},   {178, 0.5}, {180, 1.0}, {243, 0.0}, {245, 0.5},
        {284, 0.5}, {321, 0.0}, {323, 0.5},   {324, 0.0}, {325, 1.0}, {326, 1.0}, {328, 0.0},
        {346, 0.0}, {349, 1.0}, {450, 0.001}, {459, 0.5},
    };
    for (const Case& c : defaults)
        EXPECT_DOUBLE_EQ(p.getValue(c.id, false), c.value) << c.id;
}

TEST_F(CProgramTest, PlainIdsNameTheirMembers) {
    setPath(3, "C:\\x.wav");
    p.selectedOperator = 0;
    struct Case {
        int32_t id;
        const double* member;
    } cases[] = {
        {0, &p.globals[kGlobalMasterLevel]},
        {2, &p.globals[kGlobalDistortion]},
        {12, &p.delay[9]},
        {19, &p.chorus[6]},
        {20, &p.eq[kEqQFirst]},
        {27, &p.eq[kEqFrequencyFirst + 3]},
        {28, &p.eq[kEqLevelFirst]},
        {32, &p.eq[kEqEnable]},
        {35, &p.reverb[kReverbColor]},
        {36, &p.reverb[kReverbWet]},
        {39, &p.filters[0].mode},
        {40, &p.filters[1].cutoff},
        {43, &p.globals[kGlobalNoInterpolation]},
        {44, &p.globals[kGlobalUnisonSpread]},
        {45, &p.globals[kGlobalUnison]},
        {48, &p.globals[kGlobalGlideFactor]},
        {49, &p.extras[kExtraPitchBendUp]},
        {60, &p.filters[0].modulationDepths[8]},
        {61, &p.filters[1].level},
        {71, &p.filters[1].modulationDepths[8]},
        {84, &p.operators[0].modulationDepths[9]},
        {87, &p.operators[1].enabled},
        {175, &p.operators[7].modulationDepths[9]},
        {176, &p.globals[kGlobalSampleLevel]},
        {178 + 8 * 3 + 6, &p.sampleSlots[3].level},
        {243, &p.sequencers[0].running},
        {244, &p.sequencers[0].length},
        {245, &p.sequencers[0].transpose},
        {248, &p.sequencers[0].pingPong},
        {280, &p.sequencers[0].steps[31]},
        {283, &p.sequencers[1].length},
        {288, &p.sequencers[1].steps[0]},
        {322, &p.extras[kExtraFilter2KeyTracking]},
        {323, &p.extras[kExtraPitchBendDown]},
        {326, &p.operators[0].coarseTune},
    };
    for (const Case& c : cases) {
        p.setValue(c.id, 0.123);
        EXPECT_DOUBLE_EQ(*c.member, 0.123) << c.id;
    }
}

TEST_F(CProgramTest, EveryStoredIdHasItsOwnPlace) {
    for (int s = 0; s < kSampleSlotCount; ++s)
        setPath(s, "/s.wav");
    p.envelopeCount = kProgramEnvelopeCount;
    p.envelopes[0].targetKind = kTargetPanning; // uses every destination, limit 1
    auto stored = [](int32_t id) {
        return (id < 330 && id != 242 && id != 281 && id != 320) || (id >= 350 && id <= 351) ||
               (id >= 354 && id <= 363);
    };
    auto unique = [](int32_t id) { return 0.0001 * id + 0.00005; };
    for (int32_t id = 0; id < kValueIdCount; ++id) {
        if (stored(id)) p.setValue(id, unique(id));
    }
    for (int32_t id = 0; id < kValueIdCount; ++id) {
        if (stored(id)) {
            EXPECT_DOUBLE_EQ(p.getValue(id, false), unique(id)) << id;
        }
    }
}

TEST_F(CProgramTest, SetValueClampsAndRefusesNaN) {
    struct Case {
        double in, stored;
    } cases[] = {{1e6, 9999.99},
                 {-1e6, -9999.99},
                 {std::numeric_limits<double>::infinity(), 9999.99},
                 {kNaN, 0.0},
                 {0.75, 0.75}};
    for (const Case& c : cases) {
        p.setValue(326, c.in); // coarse tune is stored unnormalised
        EXPECT_DOUBLE_EQ(p.getValue(326, false), c.stored) << c.in;
    }
}

TEST_F(CProgramTest, IdsThatNameNothingReadZeroAndChangeNothing) {
    for (int s = 0; s < kSampleSlotCount; ++s)
        setPath(s, "/s.wav");
    const int32_t ids[] = {242, 281, 320, 330,   337, 345,       441,      453,
                           458, 460, 461, 10000, -1,  INT32_MIN, INT32_MAX};
    const std::vector<unsigned char> before = bytes();
    for (int32_t id : ids) {
        EXPECT_DOUBLE_EQ(p.getValue(id, false), 0.0) << id;
        EXPECT_DOUBLE_EQ(p.getValue(id, true), 0.0) << id;
        p.setValue(id, 0.77);
    }
    EXPECT_TRUE(before == bytes());
}

TEST_F(CProgramTest, EditorSelectionIds) {
    p.selectedOperator = 3;
    EXPECT_DOUBLE_EQ(p.getValue(kSelectedOperatorId, false), 0.376);
    struct Case {
        int32_t id;
        double value;
        int32_t CProgram::*member;
        int32_t stored;
    } cases[] = {
        {452, 0.99, &CProgram::selectedOperator, 7}, {452, 1.5, &CProgram::selectedOperator, 7},
        {452, -0.2, &CProgram::selectedOperator, 0}, {452, kNaN, &CProgram::selectedOperator, 0},
        {452, 0.25, &CProgram::selectedOperator, 2}, {451, 0.8, &CProgram::envelopePage, 3},
        {451, 0.26, &CProgram::envelopePage, 1},     {450, 0.5, &CProgram::envelopeView, 1},
        {450, 1.0, &CProgram::envelopeView, 2},
    };
    for (const Case& c : cases) {
        p.setValue(c.id, c.value);
        EXPECT_EQ(p.*c.member, c.stored) << c.id << " " << c.value;
    }
    EXPECT_DOUBLE_EQ(p.getValue(450, false), 2.0 / 3.0 + 0.001);
    EXPECT_DOUBLE_EQ(p.getValue(451, false), 1.0 / 4.0 + 0.001);
    // Reads round-trip through writes.
    for (int op = 0; op < 8; ++op) {
        p.selectedOperator = op;
        p.setValue(452, p.getValue(452, false));
        EXPECT_EQ(p.selectedOperator, op);
    }
}

TEST_F(CProgramTest, SelectedOperatorIds) {
    p.selectedOperator = 5;
    for (int32_t id = 324; id <= 329; ++id)
        p.setValue(id, 0.01 * id);
    const OperatorPatch& op = p.operators[5];
    EXPECT_DOUBLE_EQ(op.startPhase, 3.24);
    EXPECT_DOUBLE_EQ(op.auxSwitch, 3.25);
    EXPECT_DOUBLE_EQ(op.coarseTune, 3.26);
    EXPECT_DOUBLE_EQ(op.offsetHz, 3.27);
    EXPECT_DOUBLE_EQ(op.amplitude, 3.28);
    EXPECT_DOUBLE_EQ(op.tuneMode, 3.29);
    EXPECT_DOUBLE_EQ(p.operators[0].coarseTune, 1.0);
    p.selectedOperator = 0;
    EXPECT_DOUBLE_EQ(p.getValue(326, false), 1.0);
    p.selectedOperator = 99; // damaged selection stays inside the operators
    EXPECT_DOUBLE_EQ(p.getValue(326, false), 1.0);
}

TEST_F(CProgramTest, FineTuneLivesOutsideTheProgram) {
    p.setValue(kFineTuneId, 0.9); // no settings object: ignored
    EXPECT_DOUBLE_EQ(p.getValue(kFineTuneId, false), 0.5);
    double shared = 0.5;
    p.fineTune = &shared;
    p.setValue(kFineTuneId, 0.7);
    EXPECT_DOUBLE_EQ(shared, 0.7);
    shared = 0.2;
    EXPECT_DOUBLE_EQ(p.getValue(kFineTuneId, true), 0.2);
}

TEST_F(CProgramTest, EmptySampleSlotsReadZeroForDisplayAndIgnoreWrites) {
    const int32_t id = kSampleSlotFirstId + 2 * kSampleSlotIdStride + kSampleSlotPanOffset;
    EXPECT_DOUBLE_EQ(p.getValue(id, true), 0.0);
    EXPECT_DOUBLE_EQ(p.getValue(id, false), 0.5);
    p.setValue(id, 0.9);
    EXPECT_DOUBLE_EQ(p.sampleSlots[2].pan, 0.5);
    setPath(2, "/samples/a.wav");
    p.setValue(id, 0.9);
    EXPECT_DOUBLE_EQ(p.getValue(id, true), 0.9);
}

TEST_F(CProgramTest, SamplePathLeafAcceptsBothSeparators) {
    struct Case {
        const char* path;
        const char* leaf;
    } cases[] = {
        {"C:\\VstPlugins\\Quellor\\kick.wav", "kick.wav"},
        {"/home/me/snare.aiff", "snare.aiff"},
        {"mixed/dir\\hat.wav", "hat.wav"},
        {"bare.wav", "bare.wav"},
        {"ends/", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        std::memset(p.sampleSlots[1].samplePath, 0, kProgramPathSize);
        setPath(1, c.path);
        EXPECT_STREQ(p.samplePathLeaf(1), c.leaf) << c.path;
    }
    std::memset(p.sampleSlots[7].samplePath, 'x', kProgramPathSize); // unterminated
    EXPECT_STREQ(p.samplePathLeaf(42), "");
    EXPECT_STREQ(p.samplePathLeaf(-3), "");
}

TEST_F(CProgramTest, EnvelopeFlagIdsActOnTheSelectedEnvelope) {
    p.addEnvelope();
    ASSERT_EQ(p.selectedEnvelope, 1);
    p.setValue(kEnvelopeTempoSyncId, 0.51);
    p.setValue(kEnvelopeBipolarId, 1.0);
    p.setValue(kEnvelopeKeyedId, 0.5);
    p.setValue(kEnvelopeRateKeyTrackingId, 0.3);
    p.setValue(kEnvelopeRateVelocityId, 0.4);
    const CEnvelope& e = p.envelopes[1];
    EXPECT_TRUE(e.tempoSync);
    EXPECT_TRUE(e.bipolar);
    EXPECT_FALSE(e.keyed);
    EXPECT_DOUBLE_EQ(e.rateKeyTracking, 0.3);
    EXPECT_DOUBLE_EQ(e.rateVelocitySensitivity, 0.4);
    EXPECT_DOUBLE_EQ(p.getValue(kEnvelopeTempoSyncId, false), 1.0);
    EXPECT_DOUBLE_EQ(p.getValue(kEnvelopeKeyedId, false), 0.0);
    EXPECT_FALSE(p.envelopes[0].tempoSync);
}

TEST_F(CProgramTest, RoutingIdsAddressTheEnvelopesOfThePage) {
    while (p.envelopeCount < 20)
        p.addEnvelope();
    p.envelopePage = 1;
    const int32_t row2 = kEnvelopeRowFirstId + 2 * kEnvelopeRowIdStride; // envelope 10
    p.setValue(row2 + 1 + 3, 0.3);
    EXPECT_DOUBLE_EQ(p.envelopes[10].depths[3], 0.3);
    EXPECT_DOUBLE_EQ(p.getValue(row2 + 4, false), 0.3);
    p.setValue(kEnvelopeSampleDepthFirstId + 2, 50.0); // limited for amplitude
    EXPECT_DOUBLE_EQ(p.envelopes[10].depths[kEnvelopeSampleDestination], 10.0);
    EXPECT_DOUBLE_EQ(p.getValue(kEnvelopeSampleDepthFirstId + 2, false), 10.0);
    p.setValue(row2 + 1 + 8, 0.5); // filter 1: not used by amplitude envelopes
    EXPECT_DOUBLE_EQ(p.envelopes[10].depths[8], 0.0);

    p.setValue(row2 + kEnvelopeRowIdStride, 0.0); // label of row 3 selects envelope 11
    EXPECT_EQ(p.selectedEnvelope, 11);
    EXPECT_DOUBLE_EQ(p.getValue(row2, false), 0.0);

    p.envelopePage = 2; // rows 4..7 are envelopes 20..23, beyond the count
    const int32_t row4 = kEnvelopeRowFirstId + 4 * kEnvelopeRowIdStride;
    p.setValue(row4, 1.0);
    p.setValue(row4 + 1, 0.5);
    p.setValue(kEnvelopeSampleDepthFirstId + 4, 0.5);
    EXPECT_EQ(p.selectedEnvelope, 11);
    EXPECT_DOUBLE_EQ(p.envelopes[20].depths[0], 0.0);
    EXPECT_DOUBLE_EQ(p.envelopes[20].depths[kEnvelopeSampleDestination], 0.0);
    p.setValue(kEnvelopeRowFirstId + 3 * kEnvelopeRowIdStride + 1, 0.25); // envelope 19
    EXPECT_DOUBLE_EQ(p.envelopes[19].depths[0], 0.25);

    p.envelopePage = 7; // damaged page: clamped to the last one
    p.envelopes[31].depths[kEnvelopeSampleDestination] = 0.125;
    EXPECT_DOUBLE_EQ(p.getValue(kEnvelopeSampleDepthLastId, false), 0.125);
}

TEST_F(CProgramTest, AddCloneDeleteKeepTheirLimits) {
    p.deleteEnvelope();
    EXPECT_EQ(p.envelopeCount, 1);
    while (p.envelopeCount < 31)
        p.addEnvelope();
    EXPECT_EQ(p.selectedEnvelope, 30);
    EXPECT_EQ(p.envelopePage, 3);
    p.cloneEnvelope();
    EXPECT_EQ(p.envelopeCount, 31);
    p.addEnvelope();
    EXPECT_EQ(p.envelopeCount, 32);
    p.addEnvelope();
    EXPECT_EQ(p.envelopeCount, 32);
    p.deleteEnvelope(); // the last of several: the new last is selected
    EXPECT_EQ(p.envelopeCount, 31);
    EXPECT_EQ(p.selectedEnvelope, 30);
}

TEST_F(CProgramTest, AddResetsTheReusedSlot) {
    p.addEnvelope();
    p.envelopes[1].setDepth(0, 0.7);
    p.keyCurves[1].setLevel(0, 0.2);
    p.deleteEnvelope();
    p.addEnvelope();
    EXPECT_DOUBLE_EQ(p.envelopes[1].depths[0], 0.0);
    EXPECT_DOUBLE_EQ(p.keyCurves[1].level(0), 1.0);
    EXPECT_TRUE(p.keyCurves[1].keyTableCurve);
    EXPECT_TRUE(p.velocityCurves[1].keyTableCurve);
}

TEST_F(CProgramTest, CloneDeleteAndMoveShiftAllThreeRecords) {
    for (int i = 1; i < 4; ++i)
        p.addEnvelope();
    for (int i = 0; i < 4; ++i) {
        p.envelopes[i].setDepth(0, 0.1 * (i + 1));
        p.keyCurves[i].setLevel(0, 0.1 * (i + 1));
        p.velocityCurves[i].setLevel(1, 0.1 * (i + 1));
    }
    auto tag = [this](int i) { return p.envelopes[i].depths[0]; };
    auto consistent = [this](int i) {
        // Levels are kept to 0.0001, depths are not: compare loosely.
        return std::fabs(p.envelopes[i].depths[0] - p.keyCurves[i].level(0)) < 1e-9 &&
               p.keyCurves[i].level(0) == p.velocityCurves[i].level(1);
    };

    p.selectedEnvelope = 1;
    p.cloneEnvelope(); // 0.1 0.2 0.2 0.3 0.4
    EXPECT_EQ(p.envelopeCount, 5);
    EXPECT_EQ(p.selectedEnvelope, 2);
    const double afterClone[] = {0.1, 0.2, 0.2, 0.3, 0.4};
    for (int i = 0; i < 5; ++i) {
        EXPECT_DOUBLE_EQ(tag(i), afterClone[i]) << i;
        EXPECT_TRUE(consistent(i)) << i;
    }

    p.selectedEnvelope = 0;
    p.deleteEnvelope(); // 0.2 0.2 0.3 0.4
    EXPECT_EQ(p.selectedEnvelope, 0);
    EXPECT_DOUBLE_EQ(tag(0), 0.2);
    EXPECT_DOUBLE_EQ(tag(3), 0.4);

    p.moveEnvelope(-1); // outside: nothing
    EXPECT_EQ(p.selectedEnvelope, 0);
    p.moveEnvelope(3); // swap with the last
    EXPECT_EQ(p.selectedEnvelope, 3);
    EXPECT_DOUBLE_EQ(tag(0), 0.4);
    EXPECT_DOUBLE_EQ(tag(3), 0.2);
    EXPECT_TRUE(consistent(0));
    EXPECT_TRUE(consistent(3));
    p.moveEnvelope(1); // beyond the count
    p.moveEnvelope(INT_MIN);
    p.moveEnvelope(INT_MAX);
    EXPECT_EQ(p.selectedEnvelope, 3);
}

TEST_F(CProgramTest, PasteCurveKeepsTheRoutingOfTheTarget) {
    p.addEnvelope();
    CEnvelope& source = p.envelopes[0];
    source.targetKind = kTargetPitch;
    source.setDepth(0, 12.0);
    source.setDepth(10, 3.0);
    source.bipolar = true;
    source.insertPoint(1);
    CEnvelope& target = p.envelopes[1];
    target.setDepth(0, 0.5);
    target.setDepth(7, -0.25);

    p.selectedEnvelope = 0;
    p.copyCurve();
    EXPECT_TRUE(p.envelopeClipboardValid);
    p.selectedEnvelope = 1;
    p.pasteCurve();
    EXPECT_EQ(target.targetKind, kTargetAmplitude);
    EXPECT_DOUBLE_EQ(target.depths[0], 0.5);
    EXPECT_DOUBLE_EQ(target.depths[7], -0.25);
    EXPECT_DOUBLE_EQ(target.depths[10], 3.0);
    EXPECT_TRUE(target.bipolar);
    EXPECT_EQ(target.pointCount, 4);
}

TEST_F(CProgramTest, PasteCurveCopiesKeyAndVelocityCurvesAcrossViews) {
    p.addEnvelope();
    p.keyCurves[0].setLevel(0, 0.3);
    p.selectedEnvelope = 0;
    p.envelopeView = kViewKeyCurve;
    p.copyCurve();
    p.selectedEnvelope = 1;
    p.envelopeView = kViewVelocityCurve;
    p.pasteCurve();
    EXPECT_NEAR(p.velocityCurves[1].level(0), 0.3, 1e-12);
    EXPECT_EQ(&p.currentCurve(), &p.velocityCurves[1]);
    EXPECT_EQ(&p.currentEnvelope(), &p.envelopes[1]);

    // Only a curve was copied: the modulation envelope must not be replaced by a default one.
    p.envelopes[1].insertPoint(1);
    p.envelopeView = kViewEnvelope;
    p.pasteCurve();
    EXPECT_EQ(p.envelopes[1].pointCount, 4);

    p.resetSelection();
    EXPECT_FALSE(p.envelopeClipboardValid);
    EXPECT_EQ(p.selectedEnvelope, 0);
    p.envelopeView = kViewKeyCurve;
    p.pasteCurve();
    EXPECT_NEAR(p.keyCurves[0].level(0), 0.3, 1e-12); // unchanged, clipboard forgotten
}

TEST_F(CProgramTest, SpectrumEditing) {
    p.selectedOperator = 2;
    double amplitudes[kHarmonicCount], phases[kHarmonicCount];
    for (int h = 0; h < kHarmonicCount; ++h) {
        amplitudes[h] = 0.01 * h;
        phases[h] = 0.02 * h;
    }
    p.pasteSpectrum(); // nothing copied yet
    EXPECT_DOUBLE_EQ(p.operators[2].harmonicAmplitudes[0], 1.0);
    p.setSpectrum(amplitudes, phases);
    EXPECT_DOUBLE_EQ(p.selectedSpectrum(false)[5], 0.05);
    EXPECT_DOUBLE_EQ(p.selectedSpectrum(true)[5], 0.1);
    p.copySpectrum();
    EXPECT_TRUE(p.spectrumClipboardValid);
    p.resetSpectrum();
    EXPECT_DOUBLE_EQ(p.operators[2].harmonicAmplitudes[0], 1.0);
    EXPECT_DOUBLE_EQ(p.operators[2].harmonicAmplitudes[5], 0.0);
    EXPECT_DOUBLE_EQ(p.operators[2].harmonicPhases[5], 0.0);
    p.selectedOperator = 6;
    p.pasteSpectrum();
    EXPECT_DOUBLE_EQ(p.operators[6].harmonicAmplitudes[31], 0.31);
    EXPECT_DOUBLE_EQ(p.operators[6].harmonicPhases[31], 0.62);
}

TEST_F(CProgramTest, ResetTuning) {
    p.tuningRatios[60] = 1.01;
    std::strcpy(p.tuningName, "werckmeister");
    p.resetTuning();
    EXPECT_DOUBLE_EQ(p.tuningRatios[60], 1.0);
    EXPECT_STREQ(p.tuningName, "Standard");
}

TEST_F(CProgramTest, PatternEditing) {
    SequencerPatch& s = p.sequencers[1];
    s.length = 3.0 / 31.0; // four steps
    for (int k = 0; k < kSequencerStepCount; ++k)
        s.steps[k] = k;
    p.rotateSteps(1, 1);
    const double rotated[] = {1, 2, 3, 0, 4};
    for (int k = 0; k < 5; ++k)
        EXPECT_DOUBLE_EQ(s.steps[k], rotated[k]) << k;
    p.rotateSteps(1, -1);
    for (int k = 0; k < 5; ++k)
        EXPECT_DOUBLE_EQ(s.steps[k], k) << k;
    p.rotateSteps(1, INT_MIN); // INT_MIN mod 4 = 0
    EXPECT_DOUBLE_EQ(s.steps[0], 0.0);
    p.reverseSteps(1);
    const double reversed[] = {3, 2, 1, 0, 4};
    for (int k = 0; k < 5; ++k)
        EXPECT_DOUBLE_EQ(s.steps[k], reversed[k]) << k;
    EXPECT_DOUBLE_EQ(p.sequencers[0].steps[1], 0.0);

    s.running = 1.0;
    s.transpose = 0.9;
    p.clearPattern(1);
    EXPECT_DOUBLE_EQ(s.running, 1.0);
    EXPECT_DOUBLE_EQ(s.transpose, 0.5);
    EXPECT_DOUBLE_EQ(s.length, 0.0);
    EXPECT_DOUBLE_EQ(s.steps[2], 0.0);
}

TEST(SequencerStepValue, MapsOntoRestHoldAndOffsets) {
    struct Case {
        double v;
        int32_t step;
    } cases[] = {{0.0, -26}, {0.02, -25}, {0.5, -1}, {0.52, 0}, {1.0, 24}, {kNaN, -26}, {7.0, 24}};
    for (const Case& c : cases)
        EXPECT_EQ(sequencerStepValue(c.v), c.step) << c.v;
}
