#include "lv2/Lv2TestHost.h"

#include "lv2/Lv2Names.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/midi/midi.h>
#include <lv2/time/time.h>

#include <algorithm>
#include <cstring>
#include <dlfcn.h>
#include <fstream>

Lv2TestHost::Lv2TestHost()
    : left(kMaxFrames), right(kMaxFrames), controls(size_t(kHostParameterCount), 0.0f),
      eventBuffer(8192) {
    mapFeature = {this, mapUri};
    unmapFeature = {this, unmapUri};
    mapEntry = {LV2_URID__map, &mapFeature};
    unmapEntry = {LV2_URID__unmap, &unmapFeature};
    featureList[0] = &mapEntry;
    featureList[1] = &unmapEntry;
    featureList[2] = nullptr;
}

Lv2TestHost::~Lv2TestHost() {
    if (instance) {
        if (active && plugin->deactivate) plugin->deactivate(instance);
        plugin->cleanup(instance);
    }
    if (library) dlclose(library);
}

std::string Lv2TestHost::load(const std::string& bundle) {
    const std::string path = bundle + "/" + lv2names::kPluginBinary;
    library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) return std::string("cannot load ") + path + ": " + dlerror();
    if (!loadDefaults(bundle)) return "no port defaults in " + bundle + "/Quellor.ttl";
    auto entry =
        reinterpret_cast<const LV2_Descriptor* (*)(uint32_t)>(dlsym(library, "lv2_descriptor"));
    if (!entry) return "no lv2_descriptor in " + path;
    for (uint32_t i = 0; (plugin = entry(i)) != nullptr; ++i)
        if (std::strcmp(plugin->URI, lv2names::kPluginUri) == 0) return "";
    return std::string("no plug-in ") + lv2names::kPluginUri + " in " + path;
}

bool Lv2TestHost::loadDefaults(const std::string& bundle) {
    // The control ports are described in index order, each with its default.
    std::ifstream turtle(bundle + "/Quellor.ttl");
    std::string line;
    size_t next = 0;
    while (std::getline(turtle, line) && next < controls.size()) {
        const size_t at = line.find("lv2:default ");
        if (at != std::string::npos) controls[next++] = std::stof(line.substr(at + 12));
    }
    return next == controls.size();
}

bool Lv2TestHost::start(double rate) {
    instance = plugin->instantiate(plugin, rate, "", featureList);
    if (!instance) return false;
    plugin->connect_port(instance, lv2names::kEventsPort, eventBuffer.data());
    plugin->connect_port(instance, lv2names::kLeftOutPort, left.data());
    plugin->connect_port(instance, lv2names::kRightOutPort, right.data());
    plugin->connect_port(instance, lv2names::kLatencyPort, &latency);
    for (int32_t id = 0; id < kHostParameterCount; ++id)
        plugin->connect_port(instance, lv2names::parameterPort(id), &controls[size_t(id)]);
    if (plugin->activate) plugin->activate(instance);
    active = true;
    return true;
}

void Lv2TestHost::run(uint32_t frames, const std::vector<MidiEvent>& events) {
    LV2_Atom_Forge forge;
    lv2_atom_forge_init(&forge, &mapFeature);
    uint8_t* buffer = reinterpret_cast<uint8_t*>(eventBuffer.data()) + (misalignEvents ? 4 : 0);
    plugin->connect_port(instance, lv2names::kEventsPort, buffer);
    lv2_atom_forge_set_buffer(&forge, buffer, eventBuffer.size() * sizeof(uint64_t) - 8);
    LV2_Atom_Forge_Frame sequence;
    lv2_atom_forge_sequence_head(&forge, &sequence, 0);
    if (tempo > 0.0) {
        lv2_atom_forge_frame_time(&forge, 0);
        LV2_Atom_Forge_Frame object;
        lv2_atom_forge_object(&forge, &object, 0, map(LV2_TIME__Position));
        lv2_atom_forge_key(&forge, map(LV2_TIME__beatsPerMinute));
        lv2_atom_forge_float(&forge, float(tempo));
        lv2_atom_forge_key(&forge, map(LV2_TIME__speed));
        lv2_atom_forge_float(&forge, 1.0f);
        lv2_atom_forge_pop(&forge, &object);
    }
    for (const MidiEvent& e : events) {
        lv2_atom_forge_frame_time(&forge, e.frame);
        lv2_atom_forge_atom(&forge, e.size, map(LV2_MIDI__MidiEvent));
        lv2_atom_forge_write(&forge, e.bytes, e.size);
    }
    lv2_atom_forge_pop(&forge, &sequence);
    plugin->run(instance, std::min(frames, kMaxFrames));
}

namespace {

struct Store {
    Lv2TestHost* host;
    std::map<std::string, Lv2TestHost::Value>* values;
};

LV2_State_Status storeValue(LV2_State_Handle handle, uint32_t key, const void* value, size_t size,
                            uint32_t type, uint32_t) {
    Store* s = static_cast<Store*>(handle);
    const uint8_t* bytes = static_cast<const uint8_t*>(value);
    (*s->values)[s->host->unmap(key)] = {s->host->unmap(type),
                                         std::vector<uint8_t>(bytes, bytes + size)};
    return LV2_STATE_SUCCESS;
}

struct Retrieve {
    Lv2TestHost* host;
    const std::map<std::string, Lv2TestHost::Value>* values;
};

const void* retrieveValue(LV2_State_Handle handle, uint32_t key, size_t* size, uint32_t* type,
                          uint32_t* flags) {
    Retrieve* r = static_cast<Retrieve*>(handle);
    auto it = r->values->find(r->host->unmap(key));
    if (it == r->values->end()) return nullptr;
    *size = it->second.bytes.size();
    *type = r->host->map(it->second.type.c_str());
    *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
    // An empty value is still there: a pointer, of no bytes.
    static const uint8_t nothing = 0;
    return it->second.bytes.empty() ? &nothing : it->second.bytes.data();
}

const LV2_State_Interface* stateOf(const LV2_Descriptor* plugin) {
    return plugin->extension_data ? static_cast<const LV2_State_Interface*>(
                                        plugin->extension_data(LV2_STATE__interface))
                                  : nullptr;
}

} // namespace

LV2_State_Status Lv2TestHost::save(std::map<std::string, Value>& out) {
    const LV2_State_Interface* state = stateOf(plugin);
    if (!state) return LV2_STATE_ERR_UNKNOWN;
    Store store{this, &out};
    return state->save(instance, storeValue, &store, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE,
                       featureList);
}

LV2_State_Status Lv2TestHost::restore(const std::map<std::string, Value>& values) {
    const LV2_State_Interface* state = stateOf(plugin);
    if (!state) return LV2_STATE_ERR_UNKNOWN;
    Retrieve retrieve{this, &values};
    return state->restore(instance, retrieveValue, &retrieve, 0, featureList);
}

std::vector<uint8_t> Lv2TestHost::saveProgram() {
    std::map<std::string, Value> values;
    if (save(values) != LV2_STATE_SUCCESS) return {};
    return values[lv2names::kProgramStateKey].bytes;
}

LV2_State_Status Lv2TestHost::restoreProgram(const std::vector<uint8_t>& bytes, const char* type) {
    return restore({{lv2names::kProgramStateKey, {type, bytes}}});
}

LV2_URID Lv2TestHost::map(const char* uri) {
    for (size_t i = 0; i < uris.size(); ++i)
        if (uris[i] == uri) return LV2_URID(i + 1);
    uris.push_back(uri);
    return LV2_URID(uris.size());
}

const char* Lv2TestHost::unmap(LV2_URID urid) const {
    return urid >= 1 && urid <= uris.size() ? uris[urid - 1].c_str() : "";
}

LV2_URID Lv2TestHost::mapUri(LV2_URID_Map_Handle handle, const char* uri) {
    return static_cast<Lv2TestHost*>(handle)->map(uri);
}

const char* Lv2TestHost::unmapUri(LV2_URID_Unmap_Handle handle, LV2_URID urid) {
    return static_cast<const Lv2TestHost*>(handle)->unmap(urid);
}
