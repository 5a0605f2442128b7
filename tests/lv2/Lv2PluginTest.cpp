// The LV2 plug-in through its entry point, driven by a host of our own: the
// same sound as the VST 2.4 plug-in and its golden fingerprints, the program
// as the state (the same bytes as the VST 2.4 chunk), bad state refused with
// the program left as it was, the control ports taken only when the host
// moves them, and a library that names nothing but its entry.
#include "host/GoldenRender.h"
#include "lv2/Lv2Names.h"
#include "lv2/Lv2TestHost.h"
#include "vst/VstAbi.h"

#include <lv2/atom/atom.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <functional>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const fs::path kSource = QUELLOR_SOURCE_DIR;

// Every instance starts from the built-in program and the plain quality,
// whatever the user of this machine keeps.
struct CleanEnvironment : testing::Environment {
    void SetUp() override {
        const std::string root = testing::TempDir() + "quellor-lv2-root";
        fs::create_directories(root);
        setenv("QUELLOR_ROOT", root.c_str(), 1);
        setenv("QUELLOR_QUALITY", "1", 1);
    }
};
const auto* const kEnvironment = testing::AddGlobalTestEnvironment(new CleanEnvironment);

std::vector<uint8_t> fileBytes(const fs::path& path) {
    std::string text;
    if (!golden::readFile(path.string(), text)) return {};
    return std::vector<uint8_t>(text.begin(), text.end());
}

// Runs `check` in a child process (the plug-ins keep process-wide state that
// a program can hear) and answers what it reported: "" when it passed.
std::string inChild(const std::function<std::string()>& check) {
    int ends[2];
    if (pipe(ends) != 0) return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        close(ends[0]);
        const std::string reply = check();
        const char* p = reply.data();
        for (size_t left = reply.size(); left > 0;) {
            const ssize_t n = write(ends[1], p, left);
            if (n <= 0) break;
            p += n;
            left -= size_t(n);
        }
        _exit(0);
    }
    close(ends[1]);
    std::string reply;
    char buffer[4096];
    ssize_t n;
    while ((n = read(ends[0], buffer, sizeof buffer)) > 0)
        reply.append(buffer, size_t(n));
    close(ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "the child process failed";
    return reply;
}

// The golden phrase through the LV2 entry point at the golden tempo, in
// blocks of the golden size.
std::string renderLv2(const std::vector<uint8_t>& program, golden::Fingerprint& out,
                      bool misaligned = false) {
    Lv2TestHost host;
    host.misalignEvents = misaligned;
    const std::string failure = host.load(QUELLOR_LV2_BUNDLE);
    if (!failure.empty()) return failure;
    if (!host.start(golden::kSampleRate)) return "the plug-in created no instance";
    if (host.restoreProgram(program) != LV2_STATE_SUCCESS) return "the program was refused";
    host.tempo = golden::kTempo;
    const int32_t total = golden::kPhraseFrames;
    std::vector<float> left(static_cast<size_t>(total)), right(static_cast<size_t>(total));
    size_t next = 0;
    const auto& phrase = golden::kPhrase;
    for (int32_t start = 0; start < total; start += golden::kBlockFrames) {
        const int32_t frames = std::min(golden::kBlockFrames, total - start);
        std::vector<Lv2TestHost::MidiEvent> events;
        for (; next < std::size(phrase) && phrase[next].frame < start + frames; ++next)
            events.push_back({uint32_t(phrase[next].frame - start),
                              {phrase[next].status, phrase[next].data1, phrase[next].data2},
                              3});
        host.run(uint32_t(frames), events);
        std::copy_n(host.left.begin(), frames, left.begin() + start);
        std::copy_n(host.right.begin(), frames, right.begin() + start);
    }
    out = golden::fingerprintOf(left, right);
    return "";
}

golden::EntryProc vstEntry() {
    static void* library = dlopen(QUELLOR_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    return library ? reinterpret_cast<golden::EntryProc>(dlsym(library, "VSTPluginMain")) : nullptr;
}

// Every value of two fingerprints equal to the last bit.
std::string exactDifference(const golden::Fingerprint& a, const golden::Fingerprint& b) {
    if (a.windows.size() != b.windows.size()) return "different lengths";
    for (size_t i = 0; i < a.windows.size(); ++i)
        for (int c = 0; c < 2; ++c)
            if (a.windows[i].rms[c] != b.windows[i].rms[c] ||
                a.windows[i].peak[c] != b.windows[i].peak[c]) {
                std::ostringstream text;
                text << "window " << i << " channel " << c << ": LV2 rms " << a.windows[i].rms[c]
                     << ", VST 2.4 rms " << b.windows[i].rms[c];
                return text.str();
            }
    return "";
}

// One program of each kind that the host's tempo matters to or not: keys,
// a sequenced pattern (tempo), and the example.
const char* const kPrograms[] = {
    "examples/demo",
    "Banks/01 Keys/Amber Tines",
    "Banks/07 Sequenced/Arp Pluck",
};

fs::path programFile(const std::string& key) {
    if (key.rfind("examples/", 0) == 0) return kSource / (key + ".qxlprg");
    return kSource / "data" / "QuellorData" / (key + ".qxlprg");
}

class Lv2SameSound : public testing::TestWithParam<const char*> {};

TEST_P(Lv2SameSound, MatchesTheVstRenderAndTheGoldenFingerprint) {
    const std::string key = GetParam();
    const std::vector<uint8_t> program = fileBytes(programFile(key));
    ASSERT_FALSE(program.empty()) << "no program " << programFile(key);
    std::string stored;
    ASSERT_TRUE(golden::readFile((kSource / "tests" / "golden" / (key + ".txt")).string(), stored));
    golden::Fingerprint expected;
    std::string error;
    ASSERT_TRUE(golden::parseFingerprint(stored, expected, error)) << error;

    const std::string outcome = inChild([&]() -> std::string {
        golden::Fingerprint lv2, vst;
        const std::string failure = renderLv2(program, lv2);
        if (!failure.empty()) return "LV2: " + failure;
        std::string vstError;
        if (!golden::renderProgram(vstEntry(), program, vst, vstError))
            return "VST 2.4: " + vstError;
        const std::string sameAsVst = exactDifference(lv2, vst);
        if (!sameAsVst.empty()) return "differs from the VST 2.4 render at " + sameAsVst;
        const std::string sameAsGolden = golden::firstDifference(expected, lv2);
        if (!sameAsGolden.empty()) return "differs from the golden fingerprint " + sameAsGolden;
        return "";
    });
    EXPECT_EQ(outcome, "") << key;

    // The same events in a sequence aligned to 4 bytes only, as some hosts
    // hand it over, play the same.
    const std::string misaligned = inChild([&]() -> std::string {
        golden::Fingerprint lv2;
        const std::string failure = renderLv2(program, lv2, true);
        if (!failure.empty()) return failure;
        return golden::firstDifference(expected, lv2);
    });
    EXPECT_EQ(misaligned, "") << key << " from a sequence aligned to 4 bytes";
}

INSTANTIATE_TEST_SUITE_P(Programs, Lv2SameSound, testing::ValuesIn(kPrograms));

// A started instance of each format with a program of our factory.
struct BothFormats {
    Lv2TestHost lv2;
    AEffect* vst = nullptr;
    std::vector<uint8_t> program = fileBytes(programFile("Banks/01 Keys/Amber Tines"));

    BothFormats() {
        EXPECT_EQ(lv2.load(QUELLOR_LV2_BUNDLE), "");
        EXPECT_TRUE(lv2.descriptor() && lv2.start());
        vst = golden::startInstance(vstEntry());
        EXPECT_NE(vst, nullptr);
        EXPECT_FALSE(program.empty());
    }
    ~BothFormats() { golden::closeInstance(vst); }

    // The VST 2.4 plug-in's chunk after it took `bytes`.
    std::vector<uint8_t> vstChunk(std::vector<uint8_t> bytes) {
        if (vst->dispatcher(vst, effSetChunk, 0, VstIntPtr(bytes.size()), bytes.data(), 0) != 1)
            return {};
        void* data = nullptr;
        const VstIntPtr size = vst->dispatcher(vst, effGetChunk, 0, 0, &data, 0);
        const uint8_t* p = static_cast<const uint8_t*>(data);
        return p && size > 0 ? std::vector<uint8_t>(p, p + size) : std::vector<uint8_t>();
    }
    // Host parameter id of a program, as the VST 2.4 plug-in reads it.
    float parameterOf(const std::vector<uint8_t>& bytes, int32_t id) {
        if (vstChunk(bytes).empty()) return -1.0f;
        return vst->getParameter(vst, id);
    }
};

TEST(Lv2State, HoldsTheVstChunkAndRoundTrips) {
    BothFormats f;
    ASSERT_EQ(f.lv2.restoreProgram(f.program), LV2_STATE_SUCCESS);
    std::map<std::string, Lv2TestHost::Value> saved;
    ASSERT_EQ(f.lv2.save(saved), LV2_STATE_SUCCESS);
    ASSERT_EQ(saved.size(), 1u);
    const Lv2TestHost::Value& value = saved[lv2names::kProgramStateKey];
    EXPECT_EQ(value.type, LV2_ATOM__Chunk);
    EXPECT_EQ(value.bytes, f.vstChunk(f.program));

    // Another instance restored from it saves the same bytes again.
    Lv2TestHost other;
    ASSERT_EQ(other.load(QUELLOR_LV2_BUNDLE), "");
    ASSERT_TRUE(other.start());
    ASSERT_EQ(other.restore(saved), LV2_STATE_SUCCESS);
    EXPECT_EQ(other.saveProgram(), value.bytes);
}

TEST(Lv2State, BadStateIsRefusedAndTheProgramKept) {
    BothFormats f;
    ASSERT_EQ(f.lv2.restoreProgram(f.program), LV2_STATE_SUCCESS);
    const std::vector<uint8_t> before = f.lv2.saveProgram();
    ASSERT_FALSE(before.empty());

    std::vector<uint8_t> truncated(f.program.begin(), f.program.begin() + f.program.size() / 3);
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* type;
        LV2_State_Status expected;
    } cases[] = {
        {"text", {'h', 'e', 'l', 'l', 'o'}, LV2_ATOM__Chunk, LV2_STATE_ERR_UNKNOWN},
        {"a cut program", truncated, LV2_ATOM__Chunk, LV2_STATE_ERR_UNKNOWN},
        {"no bytes", {}, LV2_ATOM__Chunk, LV2_STATE_ERR_UNKNOWN},
        {"a program of another type", f.program, LV2_ATOM__String, LV2_STATE_ERR_BAD_TYPE},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(f.lv2.restoreProgram(c.bytes, c.type), c.expected) << c.what;
        EXPECT_EQ(f.lv2.saveProgram(), before) << c.what;
    }
    EXPECT_EQ(f.lv2.restore({}), LV2_STATE_ERR_NO_PROPERTY);
    EXPECT_EQ(f.lv2.saveProgram(), before);
}

// In the quality mode the decimator delays the output by 47 frames, which the
// latency port tells the host.
TEST(Lv2Latency, ThePortTellsTheQualityModesDelay) {
    for (const char* quality : {"1", "2"}) {
        setenv("QUELLOR_QUALITY", quality, 1);
        Lv2TestHost host;
        ASSERT_EQ(host.load(QUELLOR_LV2_BUNDLE), "");
        ASSERT_TRUE(host.descriptor() && host.start());
        host.run(64);
        EXPECT_EQ(host.latency, quality[0] == '2' ? 47.0f : 0.0f) << "quality " << quality;
    }
    unsetenv("QUELLOR_QUALITY");
}

TEST(Lv2Controls, TakenWhenTheHostMovesThemNotOverTheRestoredProgram) {
    BothFormats f;
    f.lv2.run(64);
    f.lv2.control(kMasterLevelId) = 0.3f;
    f.lv2.run(64);
    EXPECT_FLOAT_EQ(f.parameterOf(f.lv2.saveProgram(), kMasterLevelId), 0.3f);

    // The host restores a program while its port still holds 0.3: the
    // program's own level stays.
    ASSERT_EQ(f.lv2.restoreProgram(f.program), LV2_STATE_SUCCESS);
    const float programLevel = f.parameterOf(f.program, kMasterLevelId);
    ASSERT_NE(programLevel, 0.3f);
    f.lv2.run(64);
    EXPECT_FLOAT_EQ(f.parameterOf(f.lv2.saveProgram(), kMasterLevelId), programLevel);

    // The next move of the port is taken, clamped to the port's range.
    f.lv2.control(kMasterLevelId) = 7.0f;
    f.lv2.run(64);
    EXPECT_FLOAT_EQ(f.parameterOf(f.lv2.saveProgram(), kMasterLevelId), 1.0f);
}

TEST(Lv2Controls, AtTheStartOnlyPortsAwayFromTheirDefaultsAreTaken) {
    // A data root with one bank: a new instance starts with its program.
    const fs::path root = fs::path(testing::TempDir()) / "quellor-lv2-bank-root";
    const fs::path bank = root / "QuellorData" / "Banks" / "Mine";
    fs::create_directories(bank);
    const fs::path program = programFile("Banks/01 Keys/Amber Tines");
    fs::copy_file(program, bank / "Amber Tines.qxlprg", fs::copy_options::overwrite_existing);
    const char* previous = std::getenv("QUELLOR_ROOT");
    const std::string kept = previous ? previous : "";
    setenv("QUELLOR_ROOT", root.c_str(), 1);

    BothFormats f;
    const float level = f.parameterOf(f.program, kMasterLevelId);
    const float cutoff = f.parameterOf(f.program, kFilterCutoffId[0]);
    // Another instance whose host set one port before the first block.
    Lv2TestHost host;
    ASSERT_EQ(host.load(QUELLOR_LV2_BUNDLE), "");
    host.control(kFilterCutoffId[0]) = 0.125f;
    ASSERT_TRUE(host.start());
    ASSERT_TRUE(f.lv2.descriptor());
    f.lv2.run(64);
    host.run(64);
    setenv("QUELLOR_ROOT", kept.c_str(), 1);

    // The ports at their defaults leave the bank's program as it is.
    const std::vector<uint8_t> untouched = f.lv2.saveProgram();
    EXPECT_FLOAT_EQ(f.parameterOf(untouched, kMasterLevelId), level);
    EXPECT_FLOAT_EQ(f.parameterOf(untouched, kFilterCutoffId[0]), cutoff);
    const std::vector<uint8_t> moved = host.saveProgram();
    EXPECT_FLOAT_EQ(f.parameterOf(moved, kMasterLevelId), level);
    EXPECT_FLOAT_EQ(f.parameterOf(moved, kFilterCutoffId[0]), 0.125f);
}

TEST(Lv2Instance, RefusesAHostWithoutUridMap) {
    Lv2TestHost host;
    ASSERT_EQ(host.load(QUELLOR_LV2_BUNDLE), "");
    const LV2_Feature* none[] = {nullptr};
    const LV2_Descriptor* d = host.descriptor();
    EXPECT_EQ(d->instantiate(d, 44100.0, "", none), nullptr);
    EXPECT_EQ(d->instantiate(d, 44100.0, "", nullptr), nullptr);
    EXPECT_EQ(d->instantiate(d, 0.0, "", host.features()), nullptr);
}

// The defined dynamic symbols of a library, as binutils' nm lists them.
bool exportedSymbols(const std::string& path, std::vector<std::pair<char, std::string>>& out) {
    FILE* pipe = popen(("nm -D --defined-only '" + path + "' 2>/dev/null").c_str(), "r");
    if (!pipe) return false;
    char line[4096];
    while (fgets(line, sizeof line, pipe)) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (fields >> address >> type >> name) out.push_back({type[0], name});
    }
    return pclose(pipe) == 0;
}

TEST(Lv2Bundle, EachBinaryExportsOnlyItsEntry) {
    const std::pair<const char*, const char*> binaries[] = {
        {lv2names::kPluginBinary, "lv2_descriptor"}, {lv2names::kUiBinary, "lv2ui_descriptor"}};
    for (const auto& [file, entry] : binaries) {
        std::vector<std::pair<char, std::string>> symbols;
        const std::string path = std::string(QUELLOR_LV2_BUNDLE) + "/" + file;
        if (!exportedSymbols(path, symbols) && symbols.empty())
            GTEST_SKIP() << "nm (binutils) could not list the symbols on this machine";
        std::vector<std::string> functions;
        for (const auto& [type, name] : symbols) {
            EXPECT_NE(type, 'u') << file << ": GNU unique symbol " << name;
            if (type == 'T' || type == 'W' || type == 'D' || type == 'B' || type == 'V')
                functions.push_back(name);
        }
        EXPECT_EQ(functions, std::vector<std::string>{entry}) << file;
    }
}

} // namespace
