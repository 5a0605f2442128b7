// The library's entry: a host loads the library, calls VSTPluginMain (or the
// older name main) with its callback, and gets one plug-in instance back.
//
// Threads: the host's main thread, once per instance.
#include "patch/CPluginFile.h"
#include "platform/IPlatform.h"
#include "plugin/CVstWrapper.h"
#include "vst/VstAbi.h"

#include <new>

#if defined(_WIN32)
// Windows exports both names through Quellor.def.
#define QUELLOR_EXPORT
#else
#define QUELLOR_EXPORT __attribute__((visibility("default")))
#endif

namespace {
// The settings shared by every instance in the host process; made when the
// library loads, set up by the first instance.
CPluginFile settingsObject(nativePlatform());
} // namespace

extern "C" QUELLOR_EXPORT AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback host) {
    if (!host) return nullptr;
    // A host that does not name its VST version cannot drive a 2.4 plug-in.
    if (host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    // No exception may cross into the host.
    try {
        // Display texts take the user's decimal separator from the platform,
        // so the process-wide locale (which the host relies on) stays untouched.
        settingsObject.init();
        CVstWrapper* plugin = new (std::nothrow) CVstWrapper(host, &settingsObject);
        if (!plugin) return nullptr;
        if (!plugin->hasRenderer()) {
            delete plugin;
            return nullptr;
        }
        return plugin->getAeffect();
    } catch (...) {
        return nullptr;
    }
}

#if !defined(_WIN32)
// The older entry name. A function cannot be called main inside a library,
// so main is an assembler-level alias of VSTPluginMain.
asm(".globl main\n"
    ".type main, @function\n"
    ".set main, VSTPluginMain\n");
#endif
