// The binary interface between a CLAP host and a plug-in: record layouts,
// identifier strings, event types and flags. Hosts see only the layout and
// the strings, so every number here is exact; the static_asserts at the end
// hold the sizes and offsets the hosts read (x86-64, Linux and Windows alike).
// Shared by our plug-in shell and by our test host.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define CLAPCALL __cdecl
#else
#define CLAPCALL
#endif

namespace clap {

typedef uint32_t Id;
constexpr Id kInvalidId = 0xFFFFFFFFu;
constexpr size_t kNameSize = 256;
constexpr size_t kPathSize = 1024;

struct Version {
    uint32_t major;
    uint32_t minor;
    uint32_t revision;
};
// The interface our records follow; a host is usable when its major is 1 or more.
constexpr Version kVersion = {1, 2, 10};
constexpr bool versionIsCompatible(const Version& v) {
    return v.major >= 1;
}

// ---- entry and factory ----

struct PluginEntry {
    Version version;
    bool(CLAPCALL* init)(const char* pluginPath);
    void(CLAPCALL* deinit)();
    const void*(CLAPCALL* getFactory)(const char* factoryId);
};

struct Host;
struct Plugin;

struct PluginDescriptor {
    Version version;
    const char* id;
    const char* name;
    const char* vendor;
    const char* url;
    const char* manualUrl;
    const char* supportUrl;
    const char* versionText;
    const char* description;
    const char* const* features; // ends with a null pointer
};

struct PluginFactory {
    uint32_t(CLAPCALL* getPluginCount)(const PluginFactory* factory);
    const PluginDescriptor*(CLAPCALL* getPluginDescriptor)(const PluginFactory* factory,
                                                           uint32_t index);
    const Plugin*(CLAPCALL* createPlugin)(const PluginFactory* factory, const Host* host,
                                          const char* pluginId);
};

constexpr const char* kPluginFactoryId = "clap.plugin-factory";

// ---- host and plug-in records ----

struct Host {
    Version version;
    void* hostData;
    const char* name;
    const char* vendor;
    const char* url;
    const char* versionText;
    const void*(CLAPCALL* getExtension)(const Host* host, const char* extensionId);
    void(CLAPCALL* requestRestart)(const Host* host);
    void(CLAPCALL* requestProcess)(const Host* host);
    void(CLAPCALL* requestCallback)(const Host* host);
};

struct Process;

struct Plugin {
    const PluginDescriptor* desc;
    void* pluginData;
    bool(CLAPCALL* init)(const Plugin* plugin);
    void(CLAPCALL* destroy)(const Plugin* plugin);
    bool(CLAPCALL* activate)(const Plugin* plugin, double sampleRate, uint32_t minFrames,
                             uint32_t maxFrames);
    void(CLAPCALL* deactivate)(const Plugin* plugin);
    bool(CLAPCALL* startProcessing)(const Plugin* plugin);
    void(CLAPCALL* stopProcessing)(const Plugin* plugin);
    void(CLAPCALL* reset)(const Plugin* plugin);
    int32_t(CLAPCALL* process)(const Plugin* plugin, const Process* process);
    const void*(CLAPCALL* getExtension)(const Plugin* plugin, const char* id);
    void(CLAPCALL* onMainThread)(const Plugin* plugin);
};

// ---- process ----

struct EventHeader {
    uint32_t size; // whole event, header included
    uint32_t time; // frame within the block
    uint16_t spaceId;
    uint16_t type;
    uint32_t flags;
};
constexpr uint16_t kCoreEventSpace = 0;
constexpr uint32_t kEventIsLive = 1u << 0;
constexpr uint32_t kEventDontRecord = 1u << 1;

enum EventType : uint16_t {
    kEventNoteOn = 0,
    kEventNoteOff = 1,
    kEventNoteChoke = 2,
    kEventNoteEnd = 3,
    kEventNoteExpression = 4,
    kEventParamValue = 5,
    kEventParamMod = 6,
    kEventParamGestureBegin = 7,
    kEventParamGestureEnd = 8,
    kEventTransport = 9,
    kEventMidi = 10,
    kEventMidiSysex = 11,
    kEventMidi2 = 12,
};

struct NoteEvent {
    EventHeader header;
    int32_t noteId; // -1: unknown / any
    int16_t portIndex;
    int16_t channel;
    int16_t key;
    double velocity; // 0..1
};

struct ParamValueEvent {
    EventHeader header;
    Id paramId;
    void* cookie;
    int32_t noteId;
    int16_t portIndex;
    int16_t channel;
    int16_t key;
    double value;
};

struct ParamGestureEvent {
    EventHeader header;
    Id paramId;
};

struct TransportEvent {
    EventHeader header;
    uint32_t flags;
    int64_t songPosBeats;   // beats x 2^31
    int64_t songPosSeconds; // seconds x 2^31
    double tempo;           // beats per minute
    double tempoInc;
    int64_t loopStartBeats;
    int64_t loopEndBeats;
    int64_t loopStartSeconds;
    int64_t loopEndSeconds;
    int64_t barStart;
    int32_t barNumber;
    uint16_t timeSignatureNumerator;
    uint16_t timeSignatureDenominator;
};
constexpr uint32_t kTransportHasTempo = 1u << 0;
constexpr uint32_t kTransportIsPlaying = 1u << 4;

struct MidiEvent {
    EventHeader header;
    uint16_t portIndex;
    uint8_t data[3];
};

struct InputEvents {
    void* ctx;
    uint32_t(CLAPCALL* size)(const InputEvents* list);
    const EventHeader*(CLAPCALL* get)(const InputEvents* list, uint32_t index);
};

struct OutputEvents {
    void* ctx;
    bool(CLAPCALL* tryPush)(const OutputEvents* list, const EventHeader* event);
};

struct AudioBuffer {
    float** data32;
    double** data64;
    uint32_t channelCount;
    uint32_t latency;
    uint64_t constantMask;
};

struct Process {
    int64_t steadyTime; // -1: unavailable
    uint32_t framesCount;
    const TransportEvent* transport; // null: no transport
    const AudioBuffer* audioInputs;
    AudioBuffer* audioOutputs;
    uint32_t audioInputsCount;
    uint32_t audioOutputsCount;
    const InputEvents* inEvents;
    const OutputEvents* outEvents;
};

enum ProcessStatus : int32_t {
    kProcessError = 0,
    kProcessContinue = 1,
    kProcessContinueIfNotQuiet = 2,
    kProcessTail = 3,
    kProcessSleep = 4,
};

// ---- extensions ----

constexpr const char* kExtAudioPorts = "clap.audio-ports";
constexpr const char* kExtNotePorts = "clap.note-ports";
constexpr const char* kExtParams = "clap.params";
constexpr const char* kExtState = "clap.state";
constexpr const char* kExtGui = "clap.gui";
constexpr const char* kExtTimerSupport = "clap.timer-support";
constexpr const char* kExtPosixFdSupport = "clap.posix-fd-support";
constexpr const char* kExtLatency = "clap.latency";
constexpr const char* kExtThreadCheck = "clap.thread-check";
constexpr const char* kExtLog = "clap.log";

// Audio ports
constexpr uint32_t kAudioPortIsMain = 1u << 0;
constexpr const char* kPortStereo = "stereo";
struct AudioPortInfo {
    Id id;
    char name[kNameSize];
    uint32_t flags;
    uint32_t channelCount;
    const char* portType;
    Id inPlacePair;
};
struct PluginAudioPorts {
    uint32_t(CLAPCALL* count)(const Plugin* plugin, bool isInput);
    bool(CLAPCALL* get)(const Plugin* plugin, uint32_t index, bool isInput, AudioPortInfo* info);
};

// Note ports
constexpr uint32_t kNoteDialectClap = 1u << 0;
constexpr uint32_t kNoteDialectMidi = 1u << 1;
constexpr uint32_t kNoteDialectMidiMpe = 1u << 2;
constexpr uint32_t kNoteDialectMidi2 = 1u << 3;
struct NotePortInfo {
    Id id;
    uint32_t supportedDialects;
    uint32_t preferredDialect;
    char name[kNameSize];
};
struct PluginNotePorts {
    uint32_t(CLAPCALL* count)(const Plugin* plugin, bool isInput);
    bool(CLAPCALL* get)(const Plugin* plugin, uint32_t index, bool isInput, NotePortInfo* info);
};

// Parameters
constexpr uint32_t kParamIsStepped = 1u << 0;
constexpr uint32_t kParamIsAutomatable = 1u << 5;
constexpr uint32_t kParamIsEnum = 1u << 16;
struct ParamInfo {
    Id id;
    uint32_t flags;
    void* cookie;
    char name[kNameSize];
    char module[kPathSize];
    double minValue;
    double maxValue;
    double defaultValue;
};
struct PluginParams {
    uint32_t(CLAPCALL* count)(const Plugin* plugin);
    bool(CLAPCALL* getInfo)(const Plugin* plugin, uint32_t index, ParamInfo* info);
    bool(CLAPCALL* getValue)(const Plugin* plugin, Id paramId, double* value);
    bool(CLAPCALL* valueToText)(const Plugin* plugin, Id paramId, double value, char* text,
                                uint32_t capacity);
    bool(CLAPCALL* textToValue)(const Plugin* plugin, Id paramId, const char* text, double* value);
    void(CLAPCALL* flush)(const Plugin* plugin, const InputEvents* in, const OutputEvents* out);
};
constexpr uint32_t kParamRescanValues = 1u << 0;
constexpr uint32_t kParamRescanText = 1u << 1;
struct HostParams {
    void(CLAPCALL* rescan)(const Host* host, uint32_t flags);
    void(CLAPCALL* clear)(const Host* host, Id paramId, uint32_t flags);
    void(CLAPCALL* requestFlush)(const Host* host);
};

// State
struct InputStream {
    void* ctx;
    int64_t(CLAPCALL* read)(const InputStream* stream, void* buffer, uint64_t size);
};
struct OutputStream {
    void* ctx;
    int64_t(CLAPCALL* write)(const OutputStream* stream, const void* buffer, uint64_t size);
};
struct PluginState {
    bool(CLAPCALL* save)(const Plugin* plugin, const OutputStream* stream);
    bool(CLAPCALL* load)(const Plugin* plugin, const InputStream* stream);
};
struct HostState {
    void(CLAPCALL* markDirty)(const Host* host);
};

// GUI
constexpr const char* kWindowApiX11 = "x11";
constexpr const char* kWindowApiWin32 = "win32";
struct Window {
    const char* api;
    union {
        void* cocoa;
        unsigned long x11;
        void* win32;
        void* ptr;
    };
};
struct GuiResizeHints {
    bool canResizeHorizontally;
    bool canResizeVertically;
    bool preserveAspectRatio;
    uint32_t aspectRatioWidth;
    uint32_t aspectRatioHeight;
};
struct PluginGui {
    bool(CLAPCALL* isApiSupported)(const Plugin* plugin, const char* api, bool isFloating);
    bool(CLAPCALL* getPreferredApi)(const Plugin* plugin, const char** api, bool* isFloating);
    bool(CLAPCALL* create)(const Plugin* plugin, const char* api, bool isFloating);
    void(CLAPCALL* destroy)(const Plugin* plugin);
    bool(CLAPCALL* setScale)(const Plugin* plugin, double scale);
    bool(CLAPCALL* getSize)(const Plugin* plugin, uint32_t* width, uint32_t* height);
    bool(CLAPCALL* canResize)(const Plugin* plugin);
    bool(CLAPCALL* getResizeHints)(const Plugin* plugin, GuiResizeHints* hints);
    bool(CLAPCALL* adjustSize)(const Plugin* plugin, uint32_t* width, uint32_t* height);
    bool(CLAPCALL* setSize)(const Plugin* plugin, uint32_t width, uint32_t height);
    bool(CLAPCALL* setParent)(const Plugin* plugin, const Window* window);
    bool(CLAPCALL* setTransient)(const Plugin* plugin, const Window* window);
    void(CLAPCALL* suggestTitle)(const Plugin* plugin, const char* title);
    bool(CLAPCALL* show)(const Plugin* plugin);
    bool(CLAPCALL* hide)(const Plugin* plugin);
};
struct HostGui {
    void(CLAPCALL* resizeHintsChanged)(const Host* host);
    bool(CLAPCALL* requestResize)(const Host* host, uint32_t width, uint32_t height);
    bool(CLAPCALL* requestShow)(const Host* host);
    bool(CLAPCALL* requestHide)(const Host* host);
    void(CLAPCALL* closed)(const Host* host, bool wasDestroyed);
};

// Timer support
struct PluginTimerSupport {
    void(CLAPCALL* onTimer)(const Plugin* plugin, Id timerId);
};
struct HostTimerSupport {
    bool(CLAPCALL* registerTimer)(const Host* host, uint32_t periodMs, Id* timerId);
    bool(CLAPCALL* unregisterTimer)(const Host* host, Id timerId);
};

// Latency
struct PluginLatency {
    uint32_t(CLAPCALL* get)(const Plugin* plugin);
};
struct HostLatency {
    void(CLAPCALL* changed)(const Host* host);
};

// Thread check
struct HostThreadCheck {
    bool(CLAPCALL* isMainThread)(const Host* host);
    bool(CLAPCALL* isAudioThread)(const Host* host);
};

// Log
enum LogSeverity : int32_t {
    kLogDebug = 0,
    kLogInfo = 1,
    kLogWarning = 2,
    kLogError = 3,
    kLogFatal = 4,
    kLogHostMisbehaving = 5,
    kLogPluginMisbehaving = 6,
};
struct HostLog {
    void(CLAPCALL* log)(const Host* host, int32_t severity, const char* message);
};

// ---- the layout hosts read (x86-64) ----
#if defined(__x86_64__) || defined(_M_X64)
static_assert(sizeof(Version) == 12, "version record");
static_assert(sizeof(PluginEntry) == 40 && offsetof(PluginEntry, getFactory) == 32, "entry");
static_assert(sizeof(PluginDescriptor) == 88 && offsetof(PluginDescriptor, features) == 80,
              "descriptor");
static_assert(sizeof(PluginFactory) == 24, "factory");
static_assert(sizeof(Host) == 88 && offsetof(Host, getExtension) == 56, "host record");
static_assert(sizeof(Plugin) == 96 && offsetof(Plugin, process) == 72, "plug-in record");
static_assert(sizeof(EventHeader) == 16, "event header");
static_assert(sizeof(NoteEvent) == 40 && offsetof(NoteEvent, key) == 24 &&
                  offsetof(NoteEvent, velocity) == 32,
              "note event");
static_assert(sizeof(ParamValueEvent) == 56 && offsetof(ParamValueEvent, cookie) == 24 &&
                  offsetof(ParamValueEvent, noteId) == 32 && offsetof(ParamValueEvent, value) == 48,
              "param value event");
static_assert(sizeof(ParamGestureEvent) == 20, "param gesture event");
static_assert(sizeof(TransportEvent) == 104 && offsetof(TransportEvent, tempo) == 40 &&
                  offsetof(TransportEvent, barNumber) == 96,
              "transport event");
static_assert(sizeof(MidiEvent) == 24 && offsetof(MidiEvent, data) == 18, "MIDI event");
static_assert(sizeof(InputEvents) == 24 && sizeof(OutputEvents) == 16, "event lists");
static_assert(sizeof(AudioBuffer) == 32 && offsetof(AudioBuffer, constantMask) == 24,
              "audio buffer");
static_assert(sizeof(Process) == 64 && offsetof(Process, transport) == 16 &&
                  offsetof(Process, audioInputsCount) == 40 && offsetof(Process, outEvents) == 56,
              "process record");
static_assert(sizeof(AudioPortInfo) == 288 && offsetof(AudioPortInfo, flags) == 260 &&
                  offsetof(AudioPortInfo, portType) == 272 &&
                  offsetof(AudioPortInfo, inPlacePair) == 280,
              "audio port info");
static_assert(sizeof(NotePortInfo) == 268 && offsetof(NotePortInfo, name) == 12, "note port info");
static_assert(sizeof(ParamInfo) == 1320 && offsetof(ParamInfo, name) == 16 &&
                  offsetof(ParamInfo, module) == 272 && offsetof(ParamInfo, minValue) == 1296,
              "param info");
static_assert(sizeof(PluginParams) == 48 && sizeof(HostParams) == 24, "params tables");
static_assert(sizeof(Window) == 16 && offsetof(Window, x11) == 8, "window record");
static_assert(sizeof(GuiResizeHints) == 12, "resize hints");
static_assert(sizeof(PluginGui) == 120 && sizeof(HostGui) == 40, "gui tables");
#endif

} // namespace clap
