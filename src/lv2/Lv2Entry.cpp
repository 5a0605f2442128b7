// The plug-in binary's entry: a host finds lv2_descriptor, instantiates
// Quellor through it and drives each instance through the descriptor's
// calls; the state interface and the editor's calls come from its extension
// data.
//
// Threads: instantiate, cleanup, activate, deactivate and the state calls
// on the host's main thread; run on its audio thread; the editor's calls on
// its user-interface thread.
#include "lv2/CLv2Plugin.h"
#include "lv2/EditorCalls.h"
#include "lv2/Lv2Names.h"
#include "patch/CPluginFile.h"
#include "platform/IPlatform.h"

#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <cstring>
#include <new>

#define QUELLOR_LV2_EXPORT __attribute__((visibility("default")))

namespace {

// The settings shared by every instance in the host process; made when the
// library loads, set up by the first instance.
CPluginFile settingsObject(nativePlatform());

CLv2Plugin* pluginOf(void* instance) {
    return static_cast<CLv2Plugin*>(instance);
}

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*,
                       const LV2_Feature* const* features) {
    const LV2_URID_Map* map = nullptr;
    for (int i = 0; features && features[i]; ++i)
        if (std::strcmp(features[i]->URI, LV2_URID__map) == 0)
            map = static_cast<const LV2_URID_Map*>(features[i]->data);
    // Without URIDs the events cannot be read.
    if (!map || !map->map || !(rate > 0.0)) return nullptr;
    // No exception may cross into the host.
    try {
        // Display texts take the user's decimal separator from the platform,
        // so the process-wide locale (which the host relies on) stays untouched.
        settingsObject.init();
        CLv2Plugin* plugin = new (std::nothrow) CLv2Plugin(&settingsObject, rate, *map);
        if (plugin && !plugin->isUsable()) {
            delete plugin;
            return nullptr;
        }
        return plugin;
    } catch (...) {
        return nullptr;
    }
}

void connectPort(LV2_Handle instance, uint32_t port, void* data) {
    pluginOf(instance)->connectPort(port, data);
}

void activate(LV2_Handle instance) {
    pluginOf(instance)->activate();
}

void run(LV2_Handle instance, uint32_t frames) {
    pluginOf(instance)->run(frames);
}

void deactivate(LV2_Handle instance) {
    pluginOf(instance)->deactivate();
}

void cleanup(LV2_Handle instance) {
    delete pluginOf(instance);
}

LV2_State_Status saveState(LV2_Handle instance, LV2_State_Store_Function store,
                           LV2_State_Handle handle, uint32_t, const LV2_Feature* const*) {
    return pluginOf(instance)->save(store, handle);
}

LV2_State_Status restoreState(LV2_Handle instance, LV2_State_Retrieve_Function retrieve,
                              LV2_State_Handle handle, uint32_t, const LV2_Feature* const*) {
    return pluginOf(instance)->restore(retrieve, handle);
}

uintptr_t openEditor(void* instance, uintptr_t parent, const Lv2EditorSink* sink, int* width,
                     int* height) {
    return instance ? pluginOf(instance)->openEditor(parent, sink, width, height) : 0;
}

void idleEditor(void* instance) {
    if (instance) pluginOf(instance)->idleEditor();
}

void closeEditor(void* instance) {
    if (instance) pluginOf(instance)->closeEditor();
}

void editorPortChanged(void* instance, uint32_t port, float value) {
    if (instance) pluginOf(instance)->editorPortChanged(port, value);
}

const LV2_State_Interface kStateInterface = {saveState, restoreState};
const Lv2EditorCalls kEditorCalls = {openEditor, idleEditor, closeEditor, editorPortChanged};

const void* extensionData(const char* uri) {
    if (!uri) return nullptr;
    if (std::strcmp(uri, LV2_STATE__interface) == 0) return &kStateInterface;
    if (std::strcmp(uri, lv2names::kEditorCallsUri) == 0) return &kEditorCalls;
    return nullptr;
}

const LV2_Descriptor kDescriptor = {lv2names::kPluginUri, instantiate, connectPort,  activate, run,
                                    deactivate,           cleanup,     extensionData};

} // namespace

extern "C" QUELLOR_LV2_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
