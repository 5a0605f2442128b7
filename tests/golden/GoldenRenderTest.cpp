// Golden renders: every example program (examples/*.qxlprg) and every
// factory program (each .qxlprg in a bank folder under
// data/QuellorData/Banks/) is played through the plug-in's entry point with
// a fixed phrase and compared with its fingerprint, kept as text in
// tests/golden/examples/<name>.txt and tests/golden/Banks/<bank>/<name>.txt.
// A failure names the program and the first 10 ms window that differs.
//
// A second set, in tests/golden/quality/, holds the same renders of a few
// programs (kQualityPrograms) with the voices in the high-quality mode
// (QUELLOR_QUALITY=2); each of them also keeps the level of its plain render
// within half a decibel.
//
// After an intended change to the sound, record the fingerprints again with
//
//     make golden
//
// which runs this binary with QUELLOR_RECORD_GOLDEN=1: it rewrites every
// fingerprint and removes those whose program is gone. Review the diff.
#include "host/GoldenRender.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const fs::path kSource = QUELLOR_SOURCE_DIR;
const fs::path kGoldenFolder = kSource / "tests" / "golden";

bool recording() {
    const char* v = std::getenv("QUELLOR_RECORD_GOLDEN");
    return v && *v && std::string(v) != "0";
}

// What the instances of each set start with as their quality setting.
constexpr const char* kPlainQuality = "1";
constexpr const char* kHighQuality = "2";
const fs::path kQualityFolder = kGoldenFolder / "quality";

struct GoldenProgram {
    std::string key;  // "examples/demo", "Banks/Factory/Tine Piano"
    fs::path program; // the .qxlprg file
    bool highQuality = false;
    fs::path fingerprint() const {
        return (highQuality ? kQualityFolder : kGoldenFolder) / (key + ".txt");
    }
    fs::path plainFingerprint() const { return kGoldenFolder / (key + ".txt"); }
};
// The test's parameter as gtest prints it: the key, by which a run's
// selected tests are matched to their programs.
void PrintTo(const GoldenProgram& p, std::ostream* os) {
    *os << p.key;
}

bool isProgramFile(const fs::path& p) {
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return ext == ".qxlprg";
}

void addPrograms(const fs::path& folder, const std::string& keyPrefix,
                 std::vector<GoldenProgram>& out) {
    std::error_code ec;
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec))
        if (entry.is_regular_file() && isProgramFile(entry.path())) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& f : files)
        out.push_back({keyPrefix + f.stem().string(), f, false});
}

// Listed when the tests start, so that new programs are checked as they arrive.
std::vector<GoldenProgram> allPrograms() {
    std::vector<GoldenProgram> programs;
    addPrograms(kSource / "examples", "examples/", programs);
    const fs::path banks = kSource / "data" / "QuellorData" / "Banks";
    std::error_code ec;
    std::vector<fs::path> bankFolders;
    for (const fs::directory_entry& entry : fs::directory_iterator(banks, ec))
        if (entry.is_directory()) bankFolders.push_back(entry.path());
    std::sort(bankFolders.begin(), bankFolders.end());
    for (const fs::path& bank : bankFolders)
        addPrograms(bank, "Banks/" + bank.filename().string() + "/", programs);
    return programs;
}

// The high-quality set: one program of each kind (keys, pad, lead, brass,
// sequenced, microtonal), each sounding as at the host rate but for what the
// plain mode folds back. Programs whose sound lives on folded energy (noise
// percussion) or on the voices' rate (resonant filters, short feedback paths)
// change level with the mode and are no measure of it.
const char* const kQualityPrograms[] = {
    "examples/demo",
    "Banks/01 Keys/Amber Tines",
    "Banks/03 Pads/Air Pad",
    "Banks/04 Leads/Bell Lead",
    "Banks/06 Brass Strings and Winds/Trumpet",
    "Banks/07 Sequenced/Arp Pluck",
    "Banks/10 Microtonal/19-Tone Piano",
};

std::vector<GoldenProgram> qualityPrograms() {
    const std::vector<GoldenProgram> all = allPrograms();
    std::vector<GoldenProgram> chosen;
    for (const char* key : kQualityPrograms) {
        GoldenProgram p{key, fs::path(), true};
        for (const GoldenProgram& found : all)
            if (found.key == key) p.program = found.program;
        chosen.push_back(p); // without a file the render says so
    }
    return chosen;
}

// One started instance per set, made once. This process never plays it: each
// program plays in a child process that inherits the instance as it is now,
// so that nothing one program does to process-wide state (the sequencers'
// random generator, the fine tune) is heard in the next one.
AEffect* startedInstance(bool highQuality, std::string& error) {
    static std::string failure;
    static void* library = [] {
        // An empty data root: the instance starts from the built-in program
        // and tuning, not from the user's data folder.
        const std::string root = testing::TempDir() + "quellor-golden-root";
        setenv("QUELLOR_ROOT", root.c_str(), 1);
        void* loaded = dlopen(QUELLOR_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!loaded) failure = std::string("cannot load the plug-in: ") + dlerror();
        return loaded;
    }();
    static AEffect* instances[2] = {};
    AEffect*& instance = instances[highQuality ? 1 : 0];
    if (library && !instance) {
        // The variable wins over the user's own settings file.
        setenv("QUELLOR_QUALITY", highQuality ? kHighQuality : kPlainQuality, 1);
        auto entry = reinterpret_cast<golden::EntryProc>(dlsym(library, "VSTPluginMain"));
        instance = golden::startInstance(entry);
        if (!instance) failure = "the plug-in created no instance";
    }
    error = failure;
    return instance;
}

// What a child process reports: the fingerprint, or "!" and what failed.
struct Render {
    bool ok = false;
    golden::Fingerprint fingerprint;
    std::string error;
};

// Starts a child that plays the program in the started instance and writes
// its answer into a pipe; the parent reads it after the child has ended (an
// answer of a few kilobytes fits the pipe's buffer). -1 on failure.
pid_t startRender(AEffect* instance, const fs::path& program, int& readEnd) {
    std::string text;
    if (!golden::readFile(program.string(), text)) return -1;
    const std::vector<uint8_t> bytes(text.begin(), text.end());
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return -1;
    const pid_t child = fork();
    if (child != 0) {
        close(pipeEnds[1]);
        readEnd = pipeEnds[0];
        if (child < 0) close(pipeEnds[0]);
        return child;
    }
    close(pipeEnds[0]);
    golden::Fingerprint result;
    std::string failure;
    const std::string reply = golden::renderProgram(instance, bytes, result, failure)
                                  ? golden::formatFingerprint(result)
                                  : "!" + failure;
    for (size_t done = 0; done < reply.size();) {
        const ssize_t n = write(pipeEnds[1], reply.data() + done, reply.size() - done);
        if (n <= 0) break;
        done += size_t(n);
    }
    _exit(0);
}

Render finishRender(int status, int readEnd) {
    Render r;
    std::string reply;
    char buffer[4096];
    ssize_t n;
    while ((n = read(readEnd, buffer, sizeof buffer)) > 0)
        reply.append(buffer, size_t(n));
    close(readEnd);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        r.error = WIFSIGNALED(status)
                      ? "the render crashed (signal " + std::to_string(WTERMSIG(status)) + ")"
                      : "the render failed";
    else if (!reply.empty() && reply[0] == '!')
        r.error = reply.substr(1);
    else
        r.ok = golden::parseFingerprint(reply, r.fingerprint, r.error);
    return r;
}

// Plays every program whose test is selected, as many at a time as there
// are processors, once for the whole run (for each set).
const std::map<std::string, Render>& renders(const std::vector<GoldenProgram>& selected,
                                             bool highQuality) {
    static std::map<std::string, Render> sets[2];
    static bool started[2] = {};
    std::map<std::string, Render>& done = sets[highQuality ? 1 : 0];
    if (started[highQuality ? 1 : 0]) return done;
    started[highQuality ? 1 : 0] = true;
    std::string error;
    AEffect* instance = startedInstance(highQuality, error);
    if (!instance) {
        for (const GoldenProgram& p : selected)
            done[p.key].error = error;
        return done;
    }
    const size_t workers = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
    std::map<pid_t, std::pair<std::string, int>> running; // child -> key, pipe
    size_t next = 0;
    while (next < selected.size() || !running.empty()) {
        while (next < selected.size() && running.size() < workers) {
            const GoldenProgram& p = selected[next++];
            int readEnd = -1;
            if (p.program.empty()) {
                done[p.key].error = "no such program: choose another for the quality set";
                continue;
            }
            const pid_t child = startRender(instance, p.program, readEnd);
            if (child < 0)
                done[p.key].error = "could not start the render of " + p.program.string();
            else
                running[child] = {p.key, readEnd};
        }
        if (running.empty()) continue;
        int status = 0;
        const pid_t child = waitpid(-1, &status, 0);
        auto it = running.find(child);
        if (it == running.end()) continue;
        done[it->second.first] = finishRender(status, it->second.second);
        running.erase(it);
    }
    return done;
}

class GoldenRender : public testing::TestWithParam<GoldenProgram> {};
class GoldenQualityRender : public testing::TestWithParam<GoldenProgram> {};

// The programs of this suite's tests that the run selected.
std::vector<GoldenProgram> selectedPrograms(bool highQuality) {
    const std::vector<GoldenProgram> all = highQuality ? qualityPrograms() : allPrograms();
    const testing::TestSuite* suite = testing::UnitTest::GetInstance()->current_test_suite();
    std::vector<GoldenProgram> selected;
    for (int i = 0; suite && i < suite->total_test_count(); ++i) {
        const testing::TestInfo* info = suite->GetTestInfo(i);
        for (const GoldenProgram& p : all)
            if (info->should_run() && info->value_param() && p.key == info->value_param())
                selected.push_back(p);
    }
    return selected;
}

// The level of a whole render: the RMS of both channels over every window.
double levelDb(const golden::Fingerprint& f) {
    double sum = 0.0;
    for (const golden::Window& w : f.windows)
        sum += w.rms[0] * w.rms[0] + w.rms[1] * w.rms[1];
    const size_t values = std::max<size_t>(1, 2 * f.windows.size());
    return 10.0 * std::log10(sum / double(values) + 1e-30);
}

// Compares p's render with its fingerprint (or records it).
void checkRender(const GoldenProgram& p, const Render& r) {
    ASSERT_TRUE(r.ok) << "program " << p.key << ": " << r.error;

    if (recording()) {
        fs::create_directories(p.fingerprint().parent_path());
        std::ofstream out(p.fingerprint(), std::ios::binary);
        out << golden::formatFingerprint(r.fingerprint);
        ASSERT_TRUE(out.good()) << "cannot write " << p.fingerprint();
        return;
    }
    std::string stored, error;
    ASSERT_TRUE(golden::readFile(p.fingerprint().string(), stored))
        << "program " << p.key << " has no fingerprint (" << p.fingerprint()
        << "): run `make golden` to record it";
    golden::Fingerprint expected;
    ASSERT_TRUE(golden::parseFingerprint(stored, expected, error))
        << p.fingerprint() << ": " << error;
    const std::string difference = golden::firstDifference(expected, r.fingerprint);
    EXPECT_TRUE(difference.empty()) << "program " << p.key << " differs " << difference
                                    << "\n(if the change is intended, run `make golden`)";
}

const Render& renderOf(const GoldenProgram& p) {
    static const Render missing = [] {
        Render r;
        r.error = "not rendered";
        return r;
    }();
    const auto& all = renders(selectedPrograms(p.highQuality), p.highQuality);
    const auto found = all.find(p.key);
    return found == all.end() ? missing : found->second;
}

TEST_P(GoldenRender, SoundsAsRecorded) {
    checkRender(GetParam(), renderOf(GetParam()));
}

TEST_P(GoldenQualityRender, SoundsAsRecordedAtTheLevelOfThePlainMode) {
    const GoldenProgram& p = GetParam();
    const Render& r = renderOf(p);
    checkRender(p, r);
    std::string stored, error;
    golden::Fingerprint plain;
    ASSERT_TRUE(golden::readFile(p.plainFingerprint().string(), stored) &&
                golden::parseFingerprint(stored, plain, error))
        << p.plainFingerprint() << ": " << error;
    ASSERT_TRUE(r.ok);
    EXPECT_NEAR(levelDb(r.fingerprint), levelDb(plain), 0.5) << "program " << p.key;
}

std::string testName(const testing::TestParamInfo<GoldenProgram>& info) {
    std::string name;
    for (char c : info.param.key)
        if (std::isalnum(static_cast<unsigned char>(c)))
            name += c;
        else if (c == '/')
            name += '_';
    return name + "_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Programs, GoldenRender, testing::ValuesIn(allPrograms()), testName);
INSTANTIATE_TEST_SUITE_P(Programs, GoldenQualityRender, testing::ValuesIn(qualityPrograms()),
                         testName);

// A fingerprint whose program was renamed or removed would otherwise be
// kept forever without checking anything.
TEST(GoldenFingerprints, EachBelongsToAProgram) {
    std::set<fs::path> expected;
    for (const GoldenProgram& p : allPrograms())
        expected.insert(p.fingerprint());
    for (const GoldenProgram& p : qualityPrograms())
        expected.insert(p.fingerprint());
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(kGoldenFolder, ec)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".txt") continue;
        if (expected.count(entry.path())) continue;
        if (recording())
            fs::remove(entry.path());
        else
            ADD_FAILURE() << entry.path() << " belongs to no program: run `make golden`";
    }
    if (!recording()) return;
    // Folders of banks that are gone; removing a folder that is not empty fails.
    std::vector<fs::path> folders;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(kGoldenFolder, ec))
        if (entry.is_directory()) folders.push_back(entry.path());
    std::sort(folders.rbegin(), folders.rend()); // inner folders first
    for (const fs::path& folder : folders)
        fs::remove(folder, ec);
}

// The comparison itself: a change anywhere is found and placed in time.
TEST(GoldenFingerprints, FirstDifferenceNamesTheWindow) {
    golden::Fingerprint a;
    for (int i = 0; i < 40; ++i)
        a.windows.push_back({{0.1 * i, 0.05 * i}, {0.3 * i, 0.2 * i}});
    golden::Fingerprint parsed;
    std::string error;
    ASSERT_TRUE(golden::parseFingerprint(golden::formatFingerprint(a), parsed, error)) << error;
    EXPECT_EQ(golden::firstDifference(a, parsed), "");

    golden::Fingerprint b = parsed;
    b.windows[23].rms[1] *= 1.00001;
    EXPECT_EQ(golden::firstDifference(a, b).rfind("at 0.230 s: right RMS expected 1.15", 0), 0u)
        << golden::firstDifference(a, b);
    b = parsed;
    b.windows[5].peak[0] = std::nan("");
    EXPECT_NE(golden::firstDifference(a, b).find("at 0.050 s: left peak"), std::string::npos);
    b = parsed;
    b.windows.pop_back();
    EXPECT_EQ(golden::firstDifference(a, b), "expected 40 windows, got 39");
    EXPECT_FALSE(golden::parseFingerprint("# only a header\n", b, error));
    EXPECT_FALSE(golden::parseFingerprint("0.000 1 2 3\n", b, error));
}

} // namespace
