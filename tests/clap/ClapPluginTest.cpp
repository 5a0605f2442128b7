// Quellor.clap as a CLAP host sees it: the entry and factory, the ports,
// the 43 parameters (the same names, texts and switches as the VST 2.4
// plug-in), state (the same bytes as the VST 2.4 chunk; anything else
// refused with the program kept), note-end events, and every call on its
// own thread both ways.
#include "clap/ClapTestHost.h"
#include "host/ProgramChunk.h"
#include "host/VstTestHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <thread>

namespace {

constexpr uint32_t kParameterCount = 43;
constexpr uint32_t kBlock = ClapTestHost::kBlockFrames;

class ClapPlugin : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(ClapTestHost::entry(), nullptr) << ClapTestHost::error();
        ASSERT_NE(host.open(), nullptr);
        params = host.extension<clap::PluginParams>(clap::kExtParams);
        ASSERT_NE(params, nullptr);
    }
    void TearDown() override {
        host.close();
        EXPECT_EQ(host.violations(), std::vector<std::string>());
    }

    double value(clap::Id id) {
        double v = -1.0;
        EXPECT_TRUE(params->getValue(host.plugin(), id, &v));
        return v;
    }
    std::string text(clap::Id id, double v) {
        char t[64] = {};
        EXPECT_TRUE(params->valueToText(host.plugin(), id, v, t, sizeof t));
        return t;
    }
    // One block; its output events land in out.
    int32_t block(EventBuffer& in, EventBuffer& out, uint32_t frames = kBlock) {
        left.assign(frames, 1.0f);
        right.assign(frames, 1.0f);
        return host.process(left.data(), right.data(), frames, in, out);
    }

    ClapTestHost host;
    const clap::PluginParams* params = nullptr;
    std::vector<float> left, right;
};

} // namespace

TEST(ClapEntry, ExportsOneEntryRecordAndListsOnePlugin) {
    const clap::PluginEntry* entry = ClapTestHost::entry();
    ASSERT_NE(entry, nullptr) << ClapTestHost::error();
    EXPECT_EQ(entry->version.major, 1u);
    EXPECT_EQ(entry->version.minor, 2u);
    // init and deinit may come again (a wrapper beside the host): counted, not redone.
    EXPECT_TRUE(entry->init(ClapTestHost::path()));
    entry->deinit();

    EXPECT_EQ(entry->getFactory("clap.preset-discovery-factory/2"), nullptr);
    const auto* factory =
        static_cast<const clap::PluginFactory*>(entry->getFactory(clap::kPluginFactoryId));
    ASSERT_NE(factory, nullptr);
    ASSERT_EQ(factory->getPluginCount(factory), 1u);
    EXPECT_EQ(factory->getPluginDescriptor(factory, 1), nullptr);
    const clap::PluginDescriptor* d = factory->getPluginDescriptor(factory, 0);
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->id, "com.tavrino.quellor");
    EXPECT_STREQ(d->name, "Quellor");
    std::vector<std::string> features;
    for (const char* const* f = d->features; *f; ++f)
        features.push_back(*f);
    EXPECT_EQ(features, (std::vector<std::string>{"instrument", "synthesizer", "stereo"}));

    ClapTestHost host;
    // No instance for another id, nor for a host of a development version.
    clap::Host other = {};
    other.version = {0, 9, 0};
    EXPECT_EQ(factory->createPlugin(factory, &other, d->id), nullptr);
    EXPECT_EQ(factory->createPlugin(factory, &other, "com.example.other"), nullptr);

    // The library names nothing but clap_entry, and no GNU unique symbol.
    const std::string command = std::string("nm -D --defined-only '") + ClapTestHost::path() + "'";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::string> names;
    char line[1024];
    while (fgets(line, sizeof line, pipe)) {
        char address[64], type[8], name[512];
        if (std::sscanf(line, "%63s %7s %511s", address, type, name) != 3) continue;
        EXPECT_STRNE(type, "u") << name;
        if (std::strcmp(type, "w") != 0 && std::strcmp(type, "W") != 0 &&
            std::strcmp(type, "v") != 0 && std::strcmp(type, "V") != 0)
            names.push_back(name);
    }
    if (pclose(pipe) != 0 && names.empty())
        GTEST_SKIP() << "nm (binutils) cannot list symbols here";
    EXPECT_EQ(names, std::vector<std::string>{"clap_entry"});
}

TEST_F(ClapPlugin, PortsAreOneStereoOutputAndOneNoteInput) {
    const auto* audio = host.extension<clap::PluginAudioPorts>(clap::kExtAudioPorts);
    const auto* notes = host.extension<clap::PluginNotePorts>(clap::kExtNotePorts);
    const auto* latency = host.extension<clap::PluginLatency>(clap::kExtLatency);
    ASSERT_TRUE(audio && notes && latency);
    EXPECT_EQ(host.extension<void>("clap.unknown-extension"), nullptr);

    EXPECT_EQ(audio->count(host.plugin(), true), 0u);
    ASSERT_EQ(audio->count(host.plugin(), false), 1u);
    clap::AudioPortInfo a = {};
    ASSERT_TRUE(audio->get(host.plugin(), 0, false, &a));
    EXPECT_EQ(a.channelCount, 2u);
    EXPECT_EQ(a.flags & clap::kAudioPortIsMain, clap::kAudioPortIsMain);
    EXPECT_STREQ(a.portType, "stereo");
    EXPECT_EQ(a.inPlacePair, clap::kInvalidId);
    EXPECT_FALSE(audio->get(host.plugin(), 1, false, &a));

    EXPECT_EQ(notes->count(host.plugin(), false), 0u);
    ASSERT_EQ(notes->count(host.plugin(), true), 1u);
    clap::NotePortInfo n = {};
    ASSERT_TRUE(notes->get(host.plugin(), 0, true, &n));
    EXPECT_EQ(n.supportedDialects, clap::kNoteDialectClap | clap::kNoteDialectMidi);

    ASSERT_TRUE(host.start());
    EXPECT_EQ(latency->get(host.plugin()), 0u);
}

// In the quality mode the decimator delays the output by 47 frames; the host
// hears of it while it activates the plug-in, the only time it may change.
TEST(ClapLatency, TheQualityModesDelayIsToldWhenActivated) {
    ASSERT_NE(ClapTestHost::entry(), nullptr) << ClapTestHost::error();
    for (const char* quality : {"1", "2"}) {
        setenv("QUELLOR_QUALITY", quality, 1);
        ClapTestHost host;
        ASSERT_NE(host.open(), nullptr);
        const auto* latency = host.extension<clap::PluginLatency>(clap::kExtLatency);
        ASSERT_NE(latency, nullptr);
        ASSERT_TRUE(host.start());
        const bool high = quality[0] == '2';
        EXPECT_EQ(latency->get(host.plugin()), high ? 47u : 0u) << "quality " << quality;
        EXPECT_EQ(host.latencyChanges(), high ? 1 : 0) << "quality " << quality;
        host.close();
        EXPECT_EQ(host.violations(), std::vector<std::string>());
    }
    unsetenv("QUELLOR_QUALITY");
}

// The same names, texts, ranges and switches as the VST 2.4 plug-in shows.
TEST_F(ClapPlugin, ParametersMatchTheVstPlugin) {
    VstTestHost vst;
    ASSERT_NE(vst.open(), nullptr);
    vst.start();
    ASSERT_EQ(params->count(host.plugin()), kParameterCount);
    const std::vector<uint32_t> switches = {12, 19, 32, 33};
    for (uint32_t i = 0; i < kParameterCount; ++i) {
        SCOPED_TRACE(i);
        clap::ParamInfo info = {};
        ASSERT_TRUE(params->getInfo(host.plugin(), i, &info));
        EXPECT_EQ(info.id, i);
        EXPECT_EQ(info.name, vst.parameterName(int32_t(i)));
        EXPECT_EQ(info.minValue, 0.0);
        EXPECT_EQ(info.maxValue, 1.0);
        EXPECT_EQ(float(info.defaultValue), vst.effect()->getParameter(vst.effect(), int32_t(i)));
        EXPECT_EQ(info.defaultValue, value(i));
        const bool isSwitch = std::find(switches.begin(), switches.end(), i) != switches.end();
        EXPECT_EQ((info.flags & clap::kParamIsStepped) != 0, isSwitch);
        EXPECT_NE(info.flags & clap::kParamIsAutomatable, 0u);
        for (double v : {0.0, 0.37, 1.0}) {
            vst.setParameter(int32_t(i), float(v));
            EXPECT_EQ(text(i, v), vst.parameterDisplay(int32_t(i))) << v;
        }
    }
    clap::ParamInfo info = {};
    EXPECT_FALSE(params->getInfo(host.plugin(), kParameterCount, &info));
    double v = 0.0;
    EXPECT_FALSE(params->getValue(host.plugin(), kParameterCount, &v));
}

// The host's values reach the sound and come back; texts read back as the
// values that show them; what is no value is refused.
TEST_F(ClapPlugin, ParameterValuesAndTextsRoundTrip) {
    ASSERT_TRUE(host.start());
    EventBuffer in, out;
    in.add(paramEvent(0, 0, 0.25));            // "Master Level"
    in.add(paramEvent(100, 1, 0.75));          // "Master Pitch", mid-block
    in.add(paramEvent(200, 2, 1.5));           // beyond the range: the top
    in.add(paramEvent(300, 37, std::nan(""))); // no number: ignored
    in.add(paramEvent(300, 99, 0.5));          // no such parameter
    const double cutoffBefore = value(37);
    EXPECT_NE(block(in, out), clap::kProcessError);
    EXPECT_EQ(value(0), 0.25);
    EXPECT_EQ(value(1), 0.75);
    EXPECT_EQ(value(2), 1.0);
    EXPECT_EQ(value(37), cutoffBefore);
    // The host's own values are no edits of ours: nothing goes back.
    EXPECT_EQ(out.size(), 0u);

    // Without process, while inactive, flush carries them.
    host.close();
    ASSERT_NE(host.open(), nullptr);
    params = host.extension<clap::PluginParams>(clap::kExtParams);
    EventBuffer flushIn, flushOut;
    flushIn.add(paramEvent(0, 36, 0.6)); // "Reverb: Wet"
    params->flush(host.plugin(), flushIn.inputList(), flushOut.outputList());
    EXPECT_EQ(value(36), 0.6);

    struct Case {
        clap::Id id;
        const char* text;
        double expected; // NAN: refused
    };
    const Case cases[] = {
        {0, "0.50", 0.5},
        {0, " 0,25 ", 0.25},
        {1, "12", 0.75},
        {1, "-24", 0.0},
        {39, "BandPass", 2.0 / 3.0},
        {39, "lowpass", 1.0 / 3.0},
        {32, "1.00", 1.0},
        {0, "loud", NAN},
        {39, "Notch", NAN},
        {0, "", NAN},
        {50, "0.5", NAN},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " for " + std::to_string(c.id));
        double v = -1.0;
        const bool ok = params->textToValue(host.plugin(), c.id, c.text, &v);
        if (std::isnan(c.expected)) {
            EXPECT_FALSE(ok);
            continue;
        }
        ASSERT_TRUE(ok);
        EXPECT_NEAR(v, c.expected, 0.02);
    }
    // Every text reads back as a value that shows the same text.
    for (clap::Id id = 0; id < kParameterCount; ++id)
        for (double x : {0.0, 0.2, 0.61, 1.0}) {
            const std::string shown = text(id, x);
            double back = -1.0;
            ASSERT_TRUE(params->textToValue(host.plugin(), id, shown.c_str(), &back))
                << id << " " << shown;
            EXPECT_EQ(text(id, back), shown) << id;
        }
}

TEST_F(ClapPlugin, StateIsTheVstChunkAndABadOneIsRefused) {
    ASSERT_TRUE(host.start());
    const std::vector<uint8_t> program = soundingProgramChunk();
    // Streams that move a few bytes at a time.
    ASSERT_TRUE(host.loadState(program, 7));
    std::vector<uint8_t> saved;
    ASSERT_TRUE(host.saveState(saved, 5));
    EXPECT_EQ(host.rescans(), 1) << "the host re-reads the values once";

    // The VST 2.4 plug-in gives the same bytes for the same program.
    VstTestHost vst;
    ASSERT_NE(vst.open(), nullptr);
    vst.start();
    std::vector<uint8_t> copy = saved;
    ASSERT_EQ(vst.dispatch(effSetChunk, 1, VstIntPtr(copy.size()), copy.data()), 1);
    void* chunk = nullptr;
    const VstIntPtr length = vst.dispatch(effGetChunk, 1, 0, &chunk);
    ASSERT_GT(length, 0);
    const auto* bytes = static_cast<const uint8_t*>(chunk);
    EXPECT_EQ(saved, std::vector<uint8_t>(bytes, bytes + length));

    // Not a program, nothing at all, cut short, or a stream that fails:
    // refused, and the program is the same to the byte.
    std::vector<uint8_t> garbage(4000);
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = uint8_t(i * 37 + 11);
    const std::vector<uint8_t> half(saved.begin(), saved.begin() + long(saved.size() / 2));
    EXPECT_FALSE(host.loadState(garbage));
    EXPECT_FALSE(host.loadState({}));
    EXPECT_FALSE(host.loadState(half));
    EXPECT_FALSE(host.loadState(saved, 64, true));
    std::vector<uint8_t> after;
    ASSERT_TRUE(host.saveState(after));
    EXPECT_EQ(after, saved);
    EXPECT_EQ(host.rescans(), 1);
    EXPECT_FALSE(host.logged.empty()) << "the host's log hears why";
}

// A note's end reaches the host once its key is let go and its release has
// sounded, with the address of its note-on; a MIDI note's too.
TEST_F(ClapPlugin, FinishedNotesAreReportedAsNoteEnds) {
    ASSERT_TRUE(host.start());
    ASSERT_TRUE(host.loadState(soundingProgramChunk()));
    EventBuffer in, out;
    in.add(noteEvent(clap::kEventNoteOn, 10, 60, 0.8, 42, 3));
    in.add(midiEvent(20, 0x91, 64, 100));
    EXPECT_EQ(block(in, out), clap::kProcessContinue);
    in.clear();
    for (int i = 0; i < 20; ++i)
        block(in, out);
    EXPECT_EQ(out.size(), 0u) << "held notes have not ended";

    in.add(noteEvent(clap::kEventNoteOff, 0, 60, 0.0, -1, -1)); // any id, any channel
    in.add(midiEvent(0, 0x81, 64, 0));
    std::vector<clap::NoteEvent> ends;
    int32_t status = clap::kProcessContinue;
    for (int i = 0; i < 2000 && status != clap::kProcessSleep; ++i) {
        status = block(in, out);
        in.clear();
    }
    for (size_t i = 0; i < out.size(); ++i)
        if (out.at(i)->type == clap::kEventNoteEnd) ends.push_back(out.as<clap::NoteEvent>(i));
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_EQ(ends[0].header.size, sizeof(clap::NoteEvent));
    EXPECT_EQ(ends[0].key, 60);
    EXPECT_EQ(ends[0].noteId, 42);
    EXPECT_EQ(ends[0].channel, 3);
    EXPECT_EQ(ends[1].key, 64);
    EXPECT_EQ(ends[1].noteId, -1);
    EXPECT_EQ(ends[1].channel, 1);
    EXPECT_EQ(status, clap::kProcessSleep) << "silent once every note has ended";
}

// Main-thread calls from another thread are refused, never followed.
TEST_F(ClapPlugin, CallsFromTheWrongThreadAreRefused) {
    bool valueRefused = false, infoRefused = false, stateRefused = false, activateRefused = false;
    std::thread other([&] {
        double v = 0.0;
        clap::ParamInfo info = {};
        valueRefused = !params->getValue(host.plugin(), 0, &v);
        infoRefused = !params->getInfo(host.plugin(), 0, &info);
        std::vector<uint8_t> bytes;
        const auto* state = host.extension<clap::PluginState>(clap::kExtState);
        clap::OutputStream sink = {&bytes, [](const clap::OutputStream*, const void*,
                                              uint64_t size) { return int64_t(size); }};
        stateRefused = !state->save(host.plugin(), &sink);
        activateRefused = !host.plugin()->activate(host.plugin(), 44100.0, 1, 512);
    });
    other.join();
    EXPECT_TRUE(valueRefused);
    EXPECT_TRUE(infoRefused);
    EXPECT_TRUE(stateRefused);
    EXPECT_TRUE(activateRefused);
    // The instance is as good as before.
    ASSERT_TRUE(host.start());
    EventBuffer in, out;
    EXPECT_NE(block(in, out), clap::kProcessError);
}
