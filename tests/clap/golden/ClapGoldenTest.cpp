// The same sound through the CLAP entry point: the golden phrase played
// through Quellor.clap equals the VST 2.4 plug-in's render of the same
// program sample for sample (with the notes sent as MIDI and as CLAP note
// events), and a few stored golden fingerprints match.
//
// The plug-in keeps process-wide state that a program can hear (the pattern
// sequencers' random generator), so every render runs in a child process
// that loads the library fresh; this process never loads either.
#include "clap/ClapTestHost.h"
#include "host/GoldenRender.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const fs::path kSource = QUELLOR_SOURCE_DIR;

std::vector<uint8_t> programBytes(const fs::path& file) {
    std::string text;
    if (!golden::readFile(file.string(), text)) return {};
    return std::vector<uint8_t>(text.begin(), text.end());
}

// Both channels of the phrase, one after the other.
using Render =
    std::function<bool(std::vector<float>& left, std::vector<float>& right, std::string& error)>;

// Runs render in a child process and brings its samples back through a pipe.
bool renderInChild(const Render& render, std::vector<float>& left, std::vector<float>& right,
                   std::string& error) {
    int ends[2];
    if (pipe(ends) != 0) return false;
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        close(ends[0]);
        std::vector<float> l, r;
        std::string why;
        std::vector<char> reply;
        if (render(l, r, why)) {
            reply.push_back('+');
            const auto* a = reinterpret_cast<const char*>(l.data());
            const auto* b = reinterpret_cast<const char*>(r.data());
            reply.insert(reply.end(), a, a + l.size() * sizeof(float));
            reply.insert(reply.end(), b, b + r.size() * sizeof(float));
        } else {
            reply.push_back('!');
            reply.insert(reply.end(), why.begin(), why.end());
        }
        for (size_t done = 0; done < reply.size();) {
            const ssize_t n = write(ends[1], reply.data() + done, reply.size() - done);
            if (n <= 0) break;
            done += size_t(n);
        }
        _exit(0);
    }
    close(ends[1]);
    std::vector<char> reply;
    char buffer[65536];
    ssize_t n;
    while ((n = read(ends[0], buffer, sizeof buffer)) > 0)
        reply.insert(reply.end(), buffer, buffer + n);
    close(ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || reply.empty()) {
        error = "the render crashed";
        return false;
    }
    if (reply[0] == '!') {
        error.assign(reply.begin() + 1, reply.end());
        return false;
    }
    const size_t count = (reply.size() - 1) / sizeof(float) / 2;
    left.resize(count);
    right.resize(count);
    std::memcpy(left.data(), reply.data() + 1, count * sizeof(float));
    std::memcpy(right.data(), reply.data() + 1 + count * sizeof(float), count * sizeof(float));
    return true;
}

void useTestSettings() {
    // The built-in program and tuning, not the user's data folder; plain quality.
    const std::string root = testing::TempDir() + "quellor-golden-root";
    setenv("QUELLOR_ROOT", root.c_str(), 1);
    setenv("QUELLOR_QUALITY", "1", 1);
}

Render vstRender(const std::vector<uint8_t>& program) {
    return [program](std::vector<float>& left, std::vector<float>& right, std::string& error) {
        useTestSettings();
        void* library = dlopen(QUELLOR_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            error = dlerror();
            return false;
        }
        auto entry = reinterpret_cast<golden::EntryProc>(dlsym(library, "VSTPluginMain"));
        AEffect* e = golden::startInstance(entry);
        if (!e) {
            error = "the VST 2.4 plug-in created no instance";
            return false;
        }
        return golden::renderPhrase(e, program, left, right, error);
    };
}

// The phrase through the CLAP entry point, its notes as MIDI events or as
// CLAP note events (velocity n / 127 stands for MIDI velocity n).
Render clapRender(const std::vector<uint8_t>& program, bool noteEvents) {
    return [program, noteEvents](std::vector<float>& left, std::vector<float>& right,
                                 std::string& error) {
        useTestSettings();
        ClapTestHost host;
        if (!host.open() || !host.start(golden::kSampleRate)) {
            error = "Quellor.clap created no instance: " + ClapTestHost::error();
            return false;
        }
        if (!host.loadState(program)) {
            error = "Quellor.clap refused the program";
            return false;
        }
        left.assign(golden::kPhraseFrames, 0.0f);
        right.assign(golden::kPhraseFrames, 0.0f);
        size_t next = 0;
        for (int32_t start = 0; start < golden::kPhraseFrames; start += golden::kBlockFrames) {
            const int32_t frames = std::min(golden::kBlockFrames, golden::kPhraseFrames - start);
            EventBuffer in, out;
            for (;
                 next < std::size(golden::kPhrase) && golden::kPhrase[next].frame < start + frames;
                 ++next) {
                const golden::PhraseEvent& p = golden::kPhrase[next];
                const uint32_t at = uint32_t(p.frame - start);
                const uint8_t kind = p.status & 0xf0;
                if (noteEvents && kind == 0x90)
                    in.add(noteEvent(clap::kEventNoteOn, at, p.data1, p.data2 / 127.0));
                else if (noteEvents && kind == 0x80)
                    in.add(noteEvent(clap::kEventNoteOff, at, p.data1, p.data2 / 127.0));
                else
                    in.add(midiEvent(at, p.status, p.data1, p.data2));
            }
            if (host.process(left.data() + start, right.data() + start, uint32_t(frames), in,
                             out) == clap::kProcessError) {
                error = "process failed";
                return false;
            }
        }
        if (!host.violations().empty()) {
            error = "the plug-in broke a thread rule: " + host.violations()[0];
            return false;
        }
        return true;
    };
}

void expectSameSamples(const std::vector<float>& a, const std::vector<float>& b,
                       const char* channel) {
    ASSERT_EQ(a.size(), b.size()) << channel;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) {
            ADD_FAILURE() << channel << " differs first at frame " << i << ": VST 2.4 " << a[i]
                          << ", CLAP " << b[i];
            return;
        }
}

} // namespace

TEST(ClapRender, EqualsTheVstRenderSampleForSample) {
    const std::vector<uint8_t> program = programBytes(kSource / "examples" / "demo.qxlprg");
    ASSERT_FALSE(program.empty());
    std::vector<float> vstLeft, vstRight;
    std::string error;
    ASSERT_TRUE(renderInChild(vstRender(program), vstLeft, vstRight, error)) << error;
    double energy = 0.0;
    for (float v : vstLeft)
        energy += double(v) * v;
    ASSERT_GT(energy, 0.0) << "the phrase must sound for the comparison to mean anything";

    for (bool noteEvents : {false, true}) {
        SCOPED_TRACE(noteEvents ? "CLAP note events" : "MIDI events");
        std::vector<float> left, right;
        ASSERT_TRUE(renderInChild(clapRender(program, noteEvents), left, right, error)) << error;
        expectSameSamples(vstLeft, left, "left");
        expectSameSamples(vstRight, right, "right");
    }
}

// A few programs of different kinds (keys, a sequenced one that hears the
// tempo and the random generator, a microtonal one) against their stored
// fingerprints.
TEST(ClapRender, GoldenFingerprintsMatch) {
    const char* const programs[] = {
        "examples/demo",
        "Banks/01 Keys/Amber Tines",
        "Banks/07 Sequenced/Arp Pluck",
        "Banks/10 Microtonal/19-Tone Piano",
    };
    for (const char* key : programs) {
        SCOPED_TRACE(key);
        const std::string k = key;
        const fs::path file = k.rfind("examples/", 0) == 0
                                  ? kSource / (k + ".qxlprg")
                                  : kSource / "data" / "QuellorData" / (k + ".qxlprg");
        const std::vector<uint8_t> program = programBytes(file);
        ASSERT_FALSE(program.empty()) << file;
        std::string stored, error;
        ASSERT_TRUE(
            golden::readFile((kSource / "tests" / "golden" / (k + ".txt")).string(), stored));
        golden::Fingerprint expected;
        ASSERT_TRUE(golden::parseFingerprint(stored, expected, error)) << error;
        std::vector<float> left, right;
        ASSERT_TRUE(renderInChild(clapRender(program, false), left, right, error)) << error;
        EXPECT_EQ(golden::firstDifference(expected, golden::fingerprintOf(left, right)), "");
    }
}
