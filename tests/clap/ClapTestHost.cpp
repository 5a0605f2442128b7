#include "clap/ClapTestHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>

namespace {

struct LoadedLibrary {
    const clap::PluginEntry* entry = nullptr;
    std::string error;
};

const LoadedLibrary& loaded() {
    static LoadedLibrary library = [] {
        LoadedLibrary l;
        // Instances must not pick up the user's own data folder.
        static std::string root = testing::TempDir() + "quellor-clap-root";
        setenv("QUELLOR_ROOT", root.c_str(), 1);
        void* handle = dlopen(QUELLOR_CLAP_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            l.error = std::string("cannot load Quellor.clap: ") + dlerror();
            return l;
        }
        l.entry = static_cast<const clap::PluginEntry*>(dlsym(handle, "clap_entry"));
        if (!l.entry)
            l.error = "Quellor.clap has no clap_entry";
        else if (!l.entry->init(QUELLOR_CLAP_PATH)) {
            l.error = "clap_entry.init refused";
            l.entry = nullptr;
        }
        return l;
    }();
    return library;
}

} // namespace

// ---------------------------------------------------------------- events

void EventBuffer::addRaw(const clap::EventHeader* e) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(e);
    offsets.push_back(storage.size());
    storage.insert(storage.end(), bytes, bytes + e->size);
    storage.resize((storage.size() + 7) & ~size_t(7));
}

const clap::InputEvents* EventBuffer::inputList() {
    in.ctx = this;
    in.size = [](const clap::InputEvents* list) -> uint32_t {
        return uint32_t(static_cast<EventBuffer*>(list->ctx)->size());
    };
    in.get = [](const clap::InputEvents* list, uint32_t i) -> const clap::EventHeader* {
        auto* self = static_cast<EventBuffer*>(list->ctx);
        return i < self->size() ? self->at(i) : nullptr;
    };
    return &in;
}

const clap::OutputEvents* EventBuffer::outputList() {
    out.ctx = this;
    out.tryPush = [](const clap::OutputEvents* list, const clap::EventHeader* e) {
        static_cast<EventBuffer*>(list->ctx)->addRaw(e);
        return true;
    };
    return &out;
}

clap::NoteEvent noteEvent(uint16_t type, uint32_t time, int16_t key, double velocity,
                          int32_t noteId, int16_t channel) {
    clap::NoteEvent e = {};
    e.header = {sizeof e, time, clap::kCoreEventSpace, type, 0};
    e.noteId = noteId;
    e.portIndex = 0;
    e.channel = channel;
    e.key = key;
    e.velocity = velocity;
    return e;
}

clap::MidiEvent midiEvent(uint32_t time, uint8_t status, uint8_t data1, uint8_t data2) {
    clap::MidiEvent e = {};
    e.header = {sizeof e, time, clap::kCoreEventSpace, clap::kEventMidi, 0};
    e.data[0] = status;
    e.data[1] = data1;
    e.data[2] = data2;
    return e;
}

clap::ParamValueEvent paramEvent(uint32_t time, clap::Id id, double value) {
    clap::ParamValueEvent e = {};
    e.header = {sizeof e, time, clap::kCoreEventSpace, clap::kEventParamValue, 0};
    e.paramId = id;
    e.noteId = -1;
    e.portIndex = e.channel = e.key = -1;
    e.value = value;
    return e;
}

// ---------------------------------------------------------------- the host's tables

struct HostCalls {
    static ClapTestHost* self(const clap::Host* h) {
        return static_cast<ClapTestHost*>(h->hostData);
    }
    static void mainOnly(const clap::Host* h, const char* what) {
        if (!self(h)->isMain()) self(h)->note(std::string(what) + " called off the main thread");
    }

    static const void* CLAPCALL getExtension(const clap::Host* h, const char* id);
    static void CLAPCALL requestRestart(const clap::Host*) {}
    static void CLAPCALL requestProcess(const clap::Host*) {}
    static void CLAPCALL requestCallback(const clap::Host*) {}

    static bool CLAPCALL isMainThread(const clap::Host* h) { return self(h)->isMain(); }
    static bool CLAPCALL isAudioThread(const clap::Host* h) { return self(h)->isAudio(); }
    static void CLAPCALL log(const clap::Host* h, int32_t, const char* message) {
        std::lock_guard<std::mutex> guard(self(h)->breachLock);
        self(h)->logged.push_back(message ? message : "");
    }
    static void CLAPCALL rescan(const clap::Host* h, uint32_t) {
        mainOnly(h, "params.rescan");
        ++self(h)->rescanCount;
    }
    static void CLAPCALL clear(const clap::Host* h, clap::Id, uint32_t) {
        mainOnly(h, "params.clear");
    }
    static void CLAPCALL requestFlush(const clap::Host* h) {
        if (self(h)->isAudio()) self(h)->note("params.request_flush called on the audio thread");
        ++self(h)->flushRequestCount;
    }
    static bool CLAPCALL registerTimer(const clap::Host* h, uint32_t periodMs, clap::Id* id) {
        mainOnly(h, "timer_support.register_timer");
        if (!id || periodMs == 0) return false;
        *id = self(h)->nextTimer++;
        self(h)->timers.push_back(*id);
        return true;
    }
    static bool CLAPCALL unregisterTimer(const clap::Host* h, clap::Id id) {
        mainOnly(h, "timer_support.unregister_timer");
        auto& t = self(h)->timers;
        auto it = std::find(t.begin(), t.end(), id);
        if (it == t.end()) {
            self(h)->note("unregister_timer of a timer never registered");
            return false;
        }
        t.erase(it);
        return true;
    }
    static void CLAPCALL markDirty(const clap::Host* h) { mainOnly(h, "state.mark_dirty"); }
    static void CLAPCALL latencyChanged(const clap::Host* h) {
        mainOnly(h, "latency.changed");
        if (!self(h)->activating) self(h)->note("latency.changed called outside activate");
        ++self(h)->latencyChangeCount;
    }

    static constexpr clap::HostThreadCheck threadCheck = {isMainThread, isAudioThread};
    static constexpr clap::HostLog logTable = {log};
    static constexpr clap::HostParams params = {rescan, clear, requestFlush};
    static constexpr clap::HostTimerSupport timerSupport = {registerTimer, unregisterTimer};
    static constexpr clap::HostState state = {markDirty};
    static constexpr clap::HostLatency latency = {latencyChanged};
};

const void* CLAPCALL HostCalls::getExtension(const clap::Host* h, const char* id) {
    if (!self(h)->initialising && !self(h)->instance)
        self(h)->note(std::string("get_extension(") + (id ? id : "") +
                      ") before the instance's init");
    if (!id) return nullptr;
    if (std::strcmp(id, clap::kExtThreadCheck) == 0) return &threadCheck;
    if (std::strcmp(id, clap::kExtLog) == 0) return &logTable;
    if (std::strcmp(id, clap::kExtParams) == 0) return &params;
    if (std::strcmp(id, clap::kExtTimerSupport) == 0)
        return self(h)->offerTimers ? &timerSupport : nullptr;
    if (std::strcmp(id, "clap.state") == 0) return &state;
    if (std::strcmp(id, clap::kExtLatency) == 0) return &latency;
    return nullptr;
}

// ---------------------------------------------------------------- the host

ClapTestHost::ClapTestHost() : mainThread(std::this_thread::get_id()) {
    record.version = clap::kVersion;
    record.hostData = this;
    record.name = "Quellor CLAP Test Host";
    record.vendor = "Tavrino";
    record.url = "";
    record.versionText = "1.0.0";
    record.getExtension = HostCalls::getExtension;
    record.requestRestart = HostCalls::requestRestart;
    record.requestProcess = HostCalls::requestProcess;
    record.requestCallback = HostCalls::requestCallback;
    audioThread = std::thread([this] { audioLoop(); });
}

ClapTestHost::~ClapTestHost() {
    close();
    {
        std::lock_guard<std::mutex> guard(audioLock);
        audioQuit = true;
    }
    audioWake.notify_all();
    audioThread.join();
}

const clap::PluginEntry* ClapTestHost::entry() {
    return loaded().entry;
}

const std::string& ClapTestHost::error() {
    return loaded().error;
}

const char* ClapTestHost::path() {
    return QUELLOR_CLAP_PATH;
}

void ClapTestHost::note(const std::string& breach) {
    std::lock_guard<std::mutex> guard(breachLock);
    breaches.push_back(breach);
}

std::vector<std::string> ClapTestHost::violations() const {
    std::lock_guard<std::mutex> guard(breachLock);
    return breaches;
}

void ClapTestHost::audioLoop() {
    std::unique_lock<std::mutex> lock(audioLock);
    for (;;) {
        audioWake.wait(lock, [this] { return audioQuit || audioBusy; });
        if (audioQuit) return;
        audioTask();
        audioBusy = false;
        audioWake.notify_all();
    }
}

void ClapTestHost::onAudioThread(const std::function<void()>& f) {
    std::unique_lock<std::mutex> lock(audioLock);
    audioTask = f;
    audioBusy = true;
    audioWake.notify_all();
    audioWake.wait(lock, [this] { return !audioBusy; });
}

const clap::Plugin* ClapTestHost::open() {
    const clap::PluginEntry* e = entry();
    if (!e) return nullptr;
    const auto* factory =
        static_cast<const clap::PluginFactory*>(e->getFactory(clap::kPluginFactoryId));
    if (!factory || factory->getPluginCount(factory) < 1) return nullptr;
    const clap::PluginDescriptor* d = factory->getPluginDescriptor(factory, 0);
    const clap::Plugin* p = factory->createPlugin(factory, &record, d->id);
    if (!p) return nullptr;
    initialising = true;
    const bool ok = p->init(p);
    initialising = false;
    if (!ok) {
        p->destroy(p);
        return nullptr;
    }
    instance = p;
    return p;
}

void ClapTestHost::close() {
    if (!instance) return;
    if (active) {
        onAudioThread([this] { instance->stopProcessing(instance); });
        instance->deactivate(instance);
        active = false;
    }
    instance->destroy(instance);
    instance = nullptr;
}

bool ClapTestHost::start(double sampleRate) {
    if (!instance) return false;
    activating = true;
    const bool activated = instance->activate(instance, sampleRate, 1, kBlockFrames);
    activating = false;
    if (!activated) return false;
    active = true;
    bool started = false;
    onAudioThread([&] { started = instance->startProcessing(instance); });
    return started;
}

int32_t ClapTestHost::process(float* left, float* right, uint32_t frames, EventBuffer& in,
                              EventBuffer& out) {
    float* channels[2] = {left, right};
    clap::AudioBuffer output = {};
    output.data32 = channels;
    output.channelCount = 2;
    output.constantMask = ~uint64_t(0); // stale: the plug-in must clear it
    clap::TransportEvent transport = {};
    transport.header = {sizeof transport, 0, clap::kCoreEventSpace, clap::kEventTransport, 0};
    transport.flags = clap::kTransportHasTempo;
    transport.tempo = tempo;
    clap::Process p = {};
    p.steadyTime = -1;
    p.framesCount = frames;
    p.transport = tempo > 0.0 ? &transport : nullptr;
    p.audioOutputs = &output;
    p.audioOutputsCount = 1;
    p.inEvents = in.inputList();
    p.outEvents = out.outputList();
    int32_t status = clap::kProcessError;
    onAudioThread([&] { status = instance->process(instance, &p); });
    if (output.constantMask != 0) note("process left a stale constant_mask on the output");
    return status;
}

namespace {

struct ByteStream {
    const std::vector<uint8_t>* source = nullptr;
    std::vector<uint8_t>* sink = nullptr;
    size_t position = 0;
    size_t piece = 0;
    bool failMidway = false;
};

} // namespace

bool ClapTestHost::saveState(std::vector<uint8_t>& bytes, size_t piece) {
    const auto* state = extension<clap::PluginState>(clap::kExtState);
    if (!state) return false;
    bytes.clear();
    ByteStream s;
    s.sink = &bytes;
    s.piece = piece;
    clap::OutputStream stream = {
        &s, [](const clap::OutputStream* st, const void* data, uint64_t size) -> int64_t {
            auto* b = static_cast<ByteStream*>(st->ctx);
            const size_t n = std::min<size_t>(size_t(size), b->piece);
            const auto* d = static_cast<const uint8_t*>(data);
            b->sink->insert(b->sink->end(), d, d + n);
            return int64_t(n);
        }};
    return state->save(instance, &stream);
}

bool ClapTestHost::loadState(const std::vector<uint8_t>& bytes, size_t piece, bool failMidway) {
    const auto* state = extension<clap::PluginState>(clap::kExtState);
    if (!state) return false;
    ByteStream s;
    s.source = &bytes;
    s.piece = piece;
    s.failMidway = failMidway;
    clap::InputStream stream = {
        &s, [](const clap::InputStream* st, void* data, uint64_t size) -> int64_t {
            auto* b = static_cast<ByteStream*>(st->ctx);
            if (b->failMidway && b->position >= b->source->size() / 2) return -1;
            const size_t n = std::min({size_t(size), b->piece, b->source->size() - b->position});
            if (n == 0) return 0;
            std::memcpy(data, b->source->data() + b->position, n);
            b->position += n;
            return int64_t(n);
        }};
    return state->load(instance, &stream);
}

void ClapTestHost::fireTimers() {
    const auto* t = extension<clap::PluginTimerSupport>(clap::kExtTimerSupport);
    if (!t) return;
    const std::vector<clap::Id> now = timers;
    for (clap::Id id : now)
        t->onTimer(instance, id);
}
