// The library's entry: a CLAP host finds the data record clap_entry, calls
// its init with the library's path, asks for the plug-in factory and creates
// instances of the one plug-in it lists.
//
// Threads: init and deinit never overlap any other call into the library;
// the factory's calls may come from any thread, several at once.
#include "clap/CClapPlugin.h"
#include "clap/ClapAbi.h"
#include "patch/CPluginFile.h"
#include "platform/IPlatform.h"

#include <cstring>
#include <mutex>
#include <new>

#if defined(_WIN32)
#define QUELLOR_EXPORT __attribute__((dllexport))
#else
#define QUELLOR_EXPORT __attribute__((visibility("default")))
#endif

namespace {

// Hosts keep this id in their sessions: it never changes.
constexpr const char* kPluginId = "com.tavrino.quellor";
constexpr const char* kFeatures[] = {"instrument", "synthesizer", "stereo", nullptr};

constexpr clap::PluginDescriptor kDescriptor = {
    clap::kVersion,
    kPluginId,
    "Quellor",
    "Tavrino",
    "",
    "",
    "",
    "1.3.0",
    "Polyphonic phase-modulation synthesizer",
    kFeatures,
};

// The settings shared by every instance in the host process; made when the
// library loads, set up by the first instance.
CPluginFile settingsObject(nativePlatform());

// init and deinit may come more than once (a host and a wrapper loading the
// same library): only the first init and the last deinit count.
std::mutex entryMutex;
int initCount = 0;

bool CLAPCALL entryInit(const char* pluginPath) {
    (void)pluginPath;
    std::lock_guard<std::mutex> guard(entryMutex);
    ++initCount;
    return true;
}

void CLAPCALL entryDeinit() {
    std::lock_guard<std::mutex> guard(entryMutex);
    if (initCount > 0) --initCount;
}

uint32_t CLAPCALL pluginCount(const clap::PluginFactory*) {
    return 1;
}

const clap::PluginDescriptor* CLAPCALL pluginDescriptor(const clap::PluginFactory*,
                                                        uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}

const clap::Plugin* CLAPCALL createPlugin(const clap::PluginFactory*, const clap::Host* host,
                                          const char* pluginId) {
    if (!host || !pluginId || std::strcmp(pluginId, kPluginId) != 0) return nullptr;
    if (!clap::versionIsCompatible(host->version)) return nullptr;
    // The instance calls nothing of the host until its own init.
    CClapPlugin* plugin = new (std::nothrow) CClapPlugin(&kDescriptor, host, &settingsObject);
    return plugin ? plugin->record() : nullptr;
}

constexpr clap::PluginFactory kFactory = {pluginCount, pluginDescriptor, createPlugin};

const void* CLAPCALL entryFactory(const char* factoryId) {
    if (!factoryId || std::strcmp(factoryId, clap::kPluginFactoryId) != 0) return nullptr;
    return &kFactory;
}

} // namespace

extern "C" QUELLOR_EXPORT const clap::PluginEntry clap_entry = {clap::kVersion, entryInit,
                                                                entryDeinit, entryFactory};
