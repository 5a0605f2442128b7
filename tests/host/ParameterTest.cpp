// The 43 host parameters as a host sees them: names, display texts, values,
// and indices and buffers a careless host may hand over.
#include "host/VstTestHost.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr unsigned char kUntouched = 0x7f;
constexpr size_t kTextCapacity = 24; // 23 characters and the NUL

class Parameters : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(host.open(), nullptr);
        host.start();
    }
    VstTestHost host;
};

const char* const kNames[43] = {
    "Master Level",   "Master Pitch",    "Distortion",     "Delay: TimePre",  "Delay: TimeL",
    "Delay: PanL",    "Delay: TimeR",    "Delay: PanR",    "Delay: Fdbk",     "Delay: Balance",
    "Delay: Wet",     "Delay: Sync",     "Delay: On",      "Chorus: Time",    "Chorus: Speed",
    "Chorus: Wet",    "Chorus: Dry",     "Chorus: Invert", "Chorus: Stereo",  "Chorus: Enable",
    "EQ: Band 1 Q",   "EQ: Band 2 Q",    "EQ: Band 3 Q",   "EQ: Band 4 Q",    "EQ: Band 1 Frq",
    "EQ: Band 2 Frq", "EQ: Band 3 Frq",  "EQ: Band 4 Frq", "EQ: Band 1 Lev",  "EQ: Band 2 Lev",
    "EQ: Band 3 Lev", "EQ: Band 4 Lev",  "EQ: Enable",     "Reverb: Enable",  "Reverb: Feedback",
    "Reverb: Color",  "Reverb: Wet",     "Flt1: Cutoff",   "Flt1: Resonance", "Flt1: Mode",
    "Flt2: Cutoff",   "Flt2: Resonance", "Flt2: Mode",
};

} // namespace

TEST_F(Parameters, EveryParameterHasItsName) {
    for (VstInt32 id = 0; id < 43; ++id)
        EXPECT_EQ(host.parameterName(id), kNames[id]) << id;
}

TEST_F(Parameters, DisplayFollowsEachParametersRule) {
    struct Case {
        VstInt32 id;
        float value;
        const char* text;
    } cases[] = {
        {39, 0.16f, "Off"},      {39, 0.34f, "LowPass"}, {39, 0.5f, "LowPass"},
        {39, 0.51f, "BandPass"}, {39, 1.0f, "HighPass"}, {42, 0.0f, "Off"},
        {42, 1.0f, "HighPass"},  {1, 0.5f, "0"},         {1, 1.0f, "24"},
        {1, 0.0f, "-24"},        {24, 0.0f, "30"},       {24, 1.0f, "20267"},
        {27, 1.0f, "20267"},     {0, 0.25f, "0.25"},     {36, 1.0f, "1.00"},
    };
    for (const Case& c : cases) {
        host.setParameter(c.id, c.value);
        EXPECT_EQ(host.parameterDisplay(c.id), c.text) << c.id << " at " << c.value;
    }
}

TEST_F(Parameters, ValuesReadBackAsSet) {
    for (VstInt32 id = 0; id < 43; ++id) {
        const float value = float(id) / 42.0f;
        host.setParameter(id, value);
        EXPECT_FLOAT_EQ(host.effect()->getParameter(host.effect(), id), value) << id;
    }
    // A NaN from the host is dropped: the stored value stays.
    host.setParameter(5, 0.25f);
    host.setParameter(5, std::nanf(""));
    EXPECT_FLOAT_EQ(host.effect()->getParameter(host.effect(), 5), 0.25f);
}

TEST_F(Parameters, IndicesOutsideTheHostRangeChangeAndWriteNothing) {
    float before[43];
    for (VstInt32 id = 0; id < 43; ++id)
        before[id] = host.effect()->getParameter(host.effect(), id);
    for (VstInt32 index : {-1, 43, 44, 100000, INT_MIN, INT_MAX}) {
        host.setParameter(index, 0.9f);
        EXPECT_EQ(host.effect()->getParameter(host.effect(), index), 0.0f) << index;
        for (VstInt32 opcode : {effGetParamName, effGetParamDisplay, effGetParamLabel}) {
            char text[64];
            std::memset(text, kUntouched, sizeof text);
            host.dispatch(opcode, index, 0, text);
            EXPECT_EQ((unsigned char)text[0], kUntouched) << "opcode " << opcode << " " << index;
        }
        VstParameterProperties properties = {};
        EXPECT_EQ(host.dispatch(effGetParameterProperties, index, 0, &properties), 0);
        EXPECT_EQ(host.dispatch(effCanBeAutomated, index), 0) << index;
    }
    for (VstInt32 id = 0; id < 43; ++id)
        EXPECT_EQ(host.effect()->getParameter(host.effect(), id), before[id]) << id;
}

TEST_F(Parameters, TextsNeverPassTheirCapacity) {
    // Extreme stored values make the longest display texts.
    for (float value : {0.0f, 0.5f, 1.0f, -9999.0f, 9999.0f, 1e30f}) {
        for (VstInt32 id = 0; id < 43; ++id) {
            host.setParameter(id, value);
            for (VstInt32 opcode : {effGetParamName, effGetParamDisplay, effGetParamLabel}) {
                char text[64];
                std::memset(text, kUntouched, sizeof text);
                host.dispatch(opcode, id, 0, text);
                for (size_t i = kTextCapacity; i < sizeof text; ++i)
                    ASSERT_EQ((unsigned char)text[i], kUntouched)
                        << "opcode " << opcode << " id " << id << " value " << value;
                if ((unsigned char)text[0] != kUntouched) {
                    EXPECT_LT(strnlen(text, kTextCapacity), kTextCapacity);
                }
            }
        }
    }
}

TEST_F(Parameters, ProgramNameIsCutToTheHostsBuffer) {
    std::string longName(200, 'x');
    host.dispatch(effSetProgramName, 0, 0, &longName[0]);
    for (VstInt32 opcode : {effGetProgramName, effGetProgramNameIndexed}) {
        char text[64];
        std::memset(text, kUntouched, sizeof text);
        host.dispatch(opcode, 0, 0, text);
        EXPECT_EQ(std::string(text), std::string(23, 'x')) << "opcode " << opcode;
        for (size_t i = kTextCapacity; i < sizeof text; ++i)
            ASSERT_EQ((unsigned char)text[i], kUntouched);
    }
    char shortName[] = "Glass Bells";
    host.dispatch(effSetProgramName, 0, 0, shortName);
    char text[64] = {};
    EXPECT_EQ(host.dispatch(effGetProgramNameIndexed, 5, 0, text), 1);
    EXPECT_STREQ(text, "Glass Bells");
}

TEST_F(Parameters, OtherHostsCannotSwitchPrograms) {
    char before[64] = {}, after[64] = {};
    host.dispatch(effGetProgramName, 0, 0, before);
    for (VstIntPtr program : {0, 1, 3, -1})
        host.dispatch(effSetProgram, 0, program);
    host.dispatch(effGetProgramName, 0, 0, after);
    EXPECT_EQ(host.dispatch(effGetProgram), 0);
    EXPECT_STREQ(before, after);
}

TEST_F(Parameters, ChunkCarriesTheParametersAndRejectsGarbage) {
    ASSERT_TRUE(host.loadSoundingProgram());
    host.setParameter(36, 0.75f);
    void* data = nullptr;
    const VstIntPtr length = host.dispatch(effGetChunk, 1, 0, &data);
    ASSERT_GT(length, 0);
    ASSERT_NE(data, nullptr);
    std::vector<unsigned char> saved((unsigned char*)data, (unsigned char*)data + length);

    host.setParameter(36, 0.25f);
    EXPECT_EQ(host.dispatch(effSetChunk, 1, VstIntPtr(saved.size()), saved.data()), 1);
    EXPECT_FLOAT_EQ(host.effect()->getParameter(host.effect(), 36), 0.75f);

    std::vector<unsigned char> garbage(64, 0xAB);
    EXPECT_EQ(host.dispatch(effSetChunk, 1, VstIntPtr(garbage.size()), garbage.data()), 0);
    EXPECT_EQ(host.dispatch(effSetChunk, 1, 0, garbage.data()), 0);
    EXPECT_EQ(host.dispatch(effSetChunk, 1, -5, garbage.data()), 0);
}
