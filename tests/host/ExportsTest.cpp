// The plug-in library as the process sees it: it names only its two entry
// points to the dynamic linker, so that no host or other plug-in that brings
// the same names can bind our calls to its code, and it leaves the process
// when the host unloads it.
#include "vst/VstAbi.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct ExportedSymbol {
    char type;
    std::string name;
};

// The defined dynamic symbols of a library, as binutils' nm lists them.
bool exportedSymbols(const char* path, std::vector<ExportedSymbol>& symbols) {
    const std::string command = std::string("nm -D --defined-only '") + path + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return false;
    char line[4096];
    while (fgets(line, sizeof line, pipe)) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (!(fields >> address >> type >> name)) continue;
        symbols.push_back({type[0], name});
    }
    return pclose(pipe) == 0;
}

bool mappedInProcess(const std::string& path) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.find(path) != std::string::npos) return true;
    return false;
}

VstIntPtr VSTCALLBACK answerVersion(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

} // namespace

TEST(PluginLibrary, ExportsOnlyItsEntryPoints) {
    std::vector<ExportedSymbol> symbols;
    if (!exportedSymbols(QUELLOR_PLUGIN_PATH, symbols) && symbols.empty())
        GTEST_SKIP() << "nm (binutils) could not list the plug-in's symbols on this machine";
    std::set<std::string> names;
    for (const ExportedSymbol& s : symbols) {
        EXPECT_NE(s.type, 'u') << "GNU unique symbol keeps the library mapped: " << s.name;
        names.insert(s.name);
    }
    EXPECT_EQ(names, (std::set<std::string>{"VSTPluginMain", "main"}));
}

TEST(PluginLibrary, LeavesTheProcessWhenUnloaded) {
    // A copy under a name of its own, so that the test hosts' long-lived
    // handle on the built library does not keep this one loaded.
    const std::string copy = testing::TempDir() + "quellor-unload-check.so";
    {
        std::ifstream in(QUELLOR_PLUGIN_PATH, std::ios::binary);
        std::ofstream out(copy, std::ios::binary | std::ios::trunc);
        out << in.rdbuf();
        ASSERT_TRUE(out.good());
    }
    // The instance must not pick up the user's own data folder.
    const std::string root = testing::TempDir() + "quellor-host-root";
    setenv("QUELLOR_ROOT", root.c_str(), 1);
    void* handle = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    typedef AEffect* (*EntryProc)(audioMasterCallback);
    EntryProc entry = reinterpret_cast<EntryProc>(dlsym(handle, "VSTPluginMain"));
    ASSERT_NE(entry, nullptr);
    // An instance made and closed, as a host scanning its plug-ins does.
    AEffect* effect = entry(answerVersion);
    ASSERT_NE(effect, nullptr);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    EXPECT_TRUE(mappedInProcess(copy));
    EXPECT_EQ(dlclose(handle), 0);
    EXPECT_FALSE(mappedInProcess(copy));
    std::remove(copy.c_str());
}
