// The entry point and what the AEffect record and the dispatcher tell a host
// about the plug-in: numbers, names, capabilities, pins, null pointers.
#include "host/VstTestHost.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr unsigned char kUntouched = 0x7f;

class Instance : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(host.open(), nullptr);
        host.start();
    }
    VstTestHost host;
};

// Fills a buffer with a marker so that writes beyond a bound show.
template <size_t N> void mark(char (&buffer)[N]) {
    std::memset(buffer, kUntouched, N);
}

template <size_t N> bool untouchedFrom(const char (&buffer)[N], size_t from) {
    for (size_t i = from; i < N; ++i)
        if ((unsigned char)buffer[i] != kUntouched) return false;
    return true;
}

} // namespace

TEST(HostEntry, HostWithoutVersionGetsNoInstance) {
    VstTestHost host;
    host.version = 0;
    EXPECT_EQ(host.open(), nullptr);
}

TEST(HostEntry, OlderEntryNameIsTheSameFunction) {
    void* current = VstTestHost::symbol("VSTPluginMain");
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(VstTestHost::symbol("main"), current);
}

TEST(HostEntry, InstancesAreIndependentAndCloseCleanly) {
    VstTestHost first, second;
    ASSERT_NE(first.open(), nullptr);
    ASSERT_NE(second.open(), nullptr);
    EXPECT_NE(first.effect(), second.effect());
    EXPECT_NE(first.effect()->object, second.effect()->object);
    first.close();
    second.start();
    EXPECT_EQ(second.dispatch(effGetVstVersion), 2400);
}

TEST_F(Instance, RecordDescribesAStereoSynthWithChunks) {
    const AEffect* e = host.effect();
    EXPECT_EQ(e->magic, 0x56737450);
    EXPECT_EQ(e->uniqueID, 0x51584C56); // 'QXLV'
    EXPECT_EQ(e->numPrograms, 1);
    EXPECT_EQ(e->numParams, 43);
    EXPECT_EQ(e->numInputs, 0);
    EXPECT_EQ(e->numOutputs, 2);
    // The Linux build has its editor window.
    EXPECT_EQ(e->flags,
              effFlagsCanReplacing | effFlagsIsSynth | effFlagsProgramChunks | effFlagsHasEditor);
    EXPECT_NE(e->object, nullptr);
    EXPECT_NE(e->process, nullptr);
    EXPECT_NE(e->processReplacing, nullptr);
    EXPECT_EQ(e->processDoubleReplacing, nullptr);
}

TEST_F(Instance, DispatcherAnswersNumbers) {
    struct Case {
        VstInt32 opcode;
        VstIntPtr answer;
    } cases[] = {
        {effGetVstVersion, 2400},
        {effGetPlugCategory, kPlugCategSynth},
        {effGetVendorVersion, 1300},
        {effGetProgram, 0},
        {effGetTailSize, 0},
        {effEditGetRect, 0}, // no place for the rectangle
        {effEditOpen, 0},    // no parent window
        {9, 0},              // unassigned opcodes answer 0
        {22, 0},
        {9999, 0},
        {-1, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(host.dispatch(c.opcode), c.answer) << "opcode " << c.opcode;
}

TEST(HostEditor, RectangleIsTheWindowBeforeAnyOpen) {
    const struct {
        const char* scale;
        int width, height;
    } sizes[] = {{"1", 970, 600}, {"1.5", 1455, 900}, {"2", 1940, 1200}};
    for (const auto& size : sizes) {
        setenv("QUELLOR_SCALE", size.scale, 1);
        VstTestHost fresh;
        ASSERT_NE(fresh.open(), nullptr);
        ERect* rect = nullptr;
        ASSERT_EQ(fresh.dispatch(effEditGetRect, 0, 0, &rect), 1);
        ASSERT_NE(rect, nullptr);
        EXPECT_EQ(rect->top, 0);
        EXPECT_EQ(rect->left, 0);
        EXPECT_EQ(rect->right, size.width) << size.scale;
        EXPECT_EQ(rect->bottom, size.height) << size.scale;
        fresh.dispatch(effEditIdle); // idle with the window closed does nothing
        fresh.dispatch(effEditClose);
    }
    unsetenv("QUELLOR_SCALE");
}

TEST_F(Instance, NamesStayWithinTheirBuffers) {
    struct Case {
        VstInt32 opcode;
        const char* text;
        size_t capacity;
    } cases[] = {
        {effGetEffectName, "Tavrino Quellor", 32},
        {effGetVendorString, "Tavrino", 64},
        {effGetProductString, "Quellor", 64},
    };
    for (const Case& c : cases) {
        char buffer[256];
        mark(buffer);
        EXPECT_EQ(host.dispatch(c.opcode, 0, 0, buffer), 1);
        EXPECT_STREQ(buffer, c.text);
        EXPECT_TRUE(untouchedFrom(buffer, c.capacity)) << c.text;
    }
}

TEST_F(Instance, CanDoAnswersOnlyExactCapabilities) {
    struct Case {
        const char* text;
        VstIntPtr answer;
    } cases[] = {
        {"receiveVstEvents", 1},
        {"receiveVstMidiEvent", 1},
        {"receiveVstTimeInfo", 1},
        {"sendVstEvents", -1},
        {"", -1},
        {"receivevsttimeinfo", -1},
        {"receiveVstTimeInfoX", -1},
        {"receiveVst", -1},
        {nullptr, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(host.dispatch(effCanDo, 0, 0, const_cast<char*>(c.text)), c.answer)
            << (c.text ? c.text : "(null)");
}

TEST_F(Instance, OutputPinsAreTwoActiveStereoOutputs) {
    for (VstInt32 index = 0; index < 2; ++index) {
        VstPinProperties pin = {};
        EXPECT_EQ(host.dispatch(effGetOutputProperties, index, 0, &pin), 1);
        EXPECT_STREQ(pin.label, index == 0 ? "Quellor 1" : "Quellor 2");
        EXPECT_EQ(pin.flags, kVstPinIsActive | kVstPinIsStereo);
    }
    for (VstInt32 index : {2, -1, 100000}) {
        VstPinProperties pin;
        std::memset(&pin, kUntouched, sizeof pin);
        EXPECT_EQ(host.dispatch(effGetOutputProperties, index, 0, &pin), 0) << index;
        EXPECT_EQ((unsigned char)pin.label[0], kUntouched);
    }
    VstPinProperties pin = {};
    EXPECT_EQ(host.dispatch(effGetInputProperties, 0, 0, &pin), 0);
}

TEST_F(Instance, OnlyTheFourOnOffParametersAreSwitches) {
    for (VstInt32 index = -1; index <= 43; ++index) {
        VstParameterProperties properties;
        std::memset(&properties, kUntouched, sizeof properties);
        VstParameterProperties before = properties;
        const bool isSwitch = index == 12 || index == 19 || index == 32 || index == 33;
        EXPECT_EQ(host.dispatch(effGetParameterProperties, index, 0, &properties), isSwitch ? 1 : 0)
            << index;
        if (isSwitch) {
            EXPECT_EQ(properties.flags, kVstParameterIsSwitch) << index;
        } else {
            EXPECT_EQ(std::memcmp(&properties, &before, sizeof properties), 0) << index;
        }
    }
}

TEST_F(Instance, ResumeAsksForMidi) {
    EXPECT_EQ(host.counters.wantMidi, 1);
    host.dispatch(effMainsChanged, 0, 0);
    host.dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(host.counters.wantMidi, 2);
}

TEST_F(Instance, NullPointersAreRefused) {
    const VstInt32 opcodes[] = {effGetChunk,
                                effSetChunk,
                                effProcessEvents,
                                effGetParamName,
                                effGetParamDisplay,
                                effGetParamLabel,
                                effGetProgramName,
                                effSetProgramName,
                                effGetEffectName,
                                effGetVendorString,
                                effGetProductString,
                                effGetOutputProperties,
                                effGetInputProperties,
                                effGetParameterProperties,
                                effGetProgramNameIndexed,
                                effString2Parameter,
                                effEditGetRect};
    for (VstInt32 opcode : opcodes)
        EXPECT_EQ(host.dispatch(opcode, 0, 16, nullptr), 0) << "opcode " << opcode;
}

TEST_F(Instance, BadSampleRatesAndBlockSizesAreIgnored) {
    for (float rate : {0.0f, -44100.0f, std::nanf(""), 1.0f / 0.0f})
        host.dispatch(effSetSampleRate, 0, 0, nullptr, rate);
    host.dispatch(effSetBlockSize, 0, -1);
    host.dispatch(effSetBlockSize, 0, 0);
    std::vector<float> left(256, 0.0f), right(256, 0.0f);
    float* outputs[2] = {left.data(), right.data()};
    host.effect()->processReplacing(host.effect(), nullptr, outputs, 256);
    for (size_t i = 0; i < left.size(); ++i) {
        ASSERT_TRUE(std::isfinite(left[i]) && std::isfinite(right[i])) << i;
    }
}
