// The golden renders of the Linux tests, played by the Windows builds under
// Wine: every program of a list plays its fixed phrase through Quellor.dll and
// must give the fingerprint recorded on Linux.
//
// Each program plays in a freshly loaded copy of the library (loaded, played,
// unloaded), so that nothing one program leaves in the plug-in's process-wide
// state (the sequencers' random generator, the fine tune) is heard in the
// next, as the Linux tests ensure with a process per program.
//
// A PLUGIN named *.clap plays through its CLAP entry instead.
//
// Usage: quellor_wine_golden PLUGIN LIST, where each line of LIST is a
// program file, a tab and its fingerprint file.
#include "host/GoldenRender.h"
#include "win32/ClapGoldenRender.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The two builds run the same arithmetic; only the C libraries' powers and
// exponentials at control rate may differ in their last bits.
constexpr double kWindowsTolerance = 1e-5;

// Plays one program in a library loaded for it alone; empty when it sounds as
// recorded, else what differs.
std::string check(const char* plugin, const std::string& programPath,
                  const std::string& fingerprintPath) {
    std::string program, recorded, error;
    if (!golden::readFile(programPath, program)) return "cannot read the program";
    if (!golden::readFile(fingerprintPath, recorded)) return "no fingerprint recorded";
    golden::Fingerprint expected, actual;
    if (!golden::parseFingerprint(recorded, expected, error)) return "fingerprint: " + error;

    HMODULE library = LoadLibraryA(plugin);
    if (!library) return "cannot load the plug-in";
    const std::string name = plugin;
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".clap") == 0) {
        const auto* clapEntry = reinterpret_cast<const clap::PluginEntry*>(
            reinterpret_cast<void*>(GetProcAddress(library, "clap_entry")));
        const std::vector<uint8_t> bytes(program.begin(), program.end());
        error = clapEntry ? renderClapProgram(clapEntry, plugin, bytes, actual)
                          : "the plug-in has no clap_entry";
        FreeLibrary(library);
        return error.empty() ? golden::firstDifference(expected, actual, kWindowsTolerance) : error;
    }
    auto entry = reinterpret_cast<golden::EntryProc>(
        reinterpret_cast<void*>(GetProcAddress(library, "VSTPluginMain")));
    const std::vector<uint8_t> bytes(program.begin(), program.end());
    const bool played = entry && golden::renderProgram(entry, bytes, actual, error);
    FreeLibrary(library);
    if (!entry) return "the plug-in has no entry point";
    if (!played) return error;
    return golden::firstDifference(expected, actual, kWindowsTolerance);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: quellor_wine_golden PLUGIN LIST\n");
        return 2;
    }
    std::ifstream list(argv[2]);
    if (!list) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 2;
    }
    int played = 0, differing = 0;
    std::string line;
    while (std::getline(list, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        const std::string programPath = line.substr(0, tab);
        const std::string difference = check(argv[1], programPath, line.substr(tab + 1));
        ++played;
        if (!difference.empty()) {
            ++differing;
            std::printf("golden: %s: %s\n", programPath.c_str(), difference.c_str());
        }
    }
    if (played == 0) {
        std::fprintf(stderr, "golden: no program listed\n");
        return 1;
    }
    std::printf("golden: %d of %d programs as recorded on Linux\n", played - differing, played);
    return differing == 0 ? 0 : 1;
}
