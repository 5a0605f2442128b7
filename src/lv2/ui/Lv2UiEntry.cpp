// The window binary: a host that shows Quellor's window loads it, finds
// lv2ui_descriptor and instantiates the window with its own X11 window as the
// parent. The editor itself lives in the plug-in binary beside the renderer;
// this binary only reaches it through the instance (instance access) and the
// plug-in's editor calls (data access), and carries the host's port writes,
// gestures, idle calls and size requests between the two.
//
// Threads: every call on the host's user-interface thread.
#include "lv2/EditorCalls.h"
#include "lv2/Lv2Names.h"

#include <lv2/core/lv2.h>
#include <lv2/data-access/data-access.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/ui/ui.h>

#include <cstring>
#include <new>

#define QUELLOR_LV2_EXPORT __attribute__((visibility("default")))

namespace {

struct Window {
    const Lv2EditorCalls* calls = nullptr;
    void* instance = nullptr;
    LV2UI_Write_Function write = nullptr;
    LV2UI_Controller controller = nullptr;
    const LV2UI_Touch* touch = nullptr;
    Lv2EditorSink sink = {};
};

void writeValue(void* context, uint32_t port, float value) {
    Window* w = static_cast<Window*>(context);
    w->write(w->controller, port, sizeof value, 0, &value);
}

void gesture(void* context, uint32_t port, bool grabbed) {
    Window* w = static_cast<Window*>(context);
    if (w->touch && w->touch->touch) w->touch->touch(w->touch->handle, port, grabbed);
}

const void* feature(const LV2_Feature* const* features, const char* uri) {
    for (int i = 0; features && features[i]; ++i)
        if (std::strcmp(features[i]->URI, uri) == 0) return features[i]->data;
    return nullptr;
}

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features) {
    if (!pluginUri || std::strcmp(pluginUri, lv2names::kPluginUri) != 0 || !write || !widget)
        return nullptr;
    const void* parent = feature(features, LV2_UI__parent);
    void* instance = const_cast<void*>(feature(features, LV2_INSTANCE_ACCESS_URI));
    const auto* dataAccess =
        static_cast<const LV2_Extension_Data_Feature*>(feature(features, LV2_DATA_ACCESS_URI));
    // The window opens inside the host's window, on the instance's own editor.
    if (!parent || !instance || !dataAccess || !dataAccess->data_access) return nullptr;
    const auto* calls =
        static_cast<const Lv2EditorCalls*>(dataAccess->data_access(lv2names::kEditorCallsUri));
    if (!calls) return nullptr;

    Window* w = new (std::nothrow) Window;
    if (!w) return nullptr;
    w->calls = calls;
    w->instance = instance;
    w->write = write;
    w->controller = controller;
    w->touch = static_cast<const LV2UI_Touch*>(feature(features, LV2_UI__touch));
    w->sink = {w, writeValue, gesture};
    int width = 0, height = 0;
    const uintptr_t child =
        calls->open(instance, reinterpret_cast<uintptr_t>(parent), &w->sink, &width, &height);
    if (!child) {
        delete w;
        return nullptr;
    }
    *widget = reinterpret_cast<LV2UI_Widget>(child);
    const auto* resize = static_cast<const LV2UI_Resize*>(feature(features, LV2_UI__resize));
    if (resize && resize->ui_resize) resize->ui_resize(resize->handle, width, height);
    return w;
}

void cleanup(LV2UI_Handle handle) {
    Window* w = static_cast<Window*>(handle);
    w->calls->close(w->instance);
    delete w;
}

void portEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format,
               const void* buffer) {
    // Control ports only: a float with format 0.
    if (format != 0 || size != sizeof(float) || !buffer) return;
    float value;
    std::memcpy(&value, buffer, sizeof value);
    Window* w = static_cast<Window*>(handle);
    w->calls->portChanged(w->instance, port, value);
}

int idle(LV2UI_Handle handle) {
    Window* w = static_cast<Window*>(handle);
    w->calls->idle(w->instance);
    return 0;
}

const LV2UI_Idle_Interface kIdleInterface = {idle};

const void* extensionData(const char* uri) {
    if (uri && std::strcmp(uri, LV2_UI__idleInterface) == 0) return &kIdleInterface;
    return nullptr;
}

const LV2UI_Descriptor kDescriptor = {lv2names::kUiUri, instantiate, cleanup, portEvent,
                                      extensionData};

} // namespace

extern "C" QUELLOR_LV2_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
