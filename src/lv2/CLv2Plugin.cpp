#include "lv2/CLv2Plugin.h"

#include "base/Denormal.h"
#include "base/SampleGuard.h"
#include "editor/CPluginEditor.h"
#include "engine/CSoundRenderer.h"
#include "patch/CProgram.h"

#include <lv2/midi/midi.h>
#include <lv2/time/time.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>

namespace {

// The longest MIDI message the renderer takes: status and two data bytes.
// Longer events (system exclusive) are skipped.
constexpr uint32_t kMaxMidiBytes = 3;

uint64_t parameterBit(int32_t id) {
    return uint64_t(1) << id;
}
static_assert(kHostParameterCount <= 64, "one bit per host parameter");

// The host parameters' values in a new program: the control ports'
// defaults in the bundle's description.
const float* defaultControls() {
    static const std::array<float, kHostParameterCount> values = [] {
        std::array<float, kHostParameterCount> v{};
        std::unique_ptr<CProgram> program(new (std::nothrow) CProgram);
        for (int32_t id = 0; program && id < kHostParameterCount; ++id)
            v[size_t(id)] = float(program->getValue(id, false));
        return v;
    }();
    return values.data();
}

} // namespace

CLv2Plugin::CLv2Plugin(CPluginFile* settings, double sampleRate, const LV2_URID_Map& map) {
    auto urid = [&map](const char* uri) { return map.map(map.handle, uri); };
    uris.midiEvent = urid(LV2_MIDI__MidiEvent);
    uris.atomObject = urid(LV2_ATOM__Object);
    uris.atomBlank = urid(LV2_ATOM__Blank);
    uris.atomChunk = urid(LV2_ATOM__Chunk);
    uris.atomFloat = urid(LV2_ATOM__Float);
    uris.atomDouble = urid(LV2_ATOM__Double);
    uris.atomInt = urid(LV2_ATOM__Int);
    uris.atomLong = urid(LV2_ATOM__Long);
    uris.timePosition = urid(LV2_TIME__Position);
    uris.timeBeatsPerMinute = urid(LV2_TIME__beatsPerMinute);
    uris.programKey = urid(lv2names::kProgramStateKey);

    // As the VST 2.4 plug-in makes them: the renderer, then its editor.
    renderer.reset(new (std::nothrow) CSoundRenderer(settings, this));
    if (!renderer) return;
    renderer->setSampleRate(sampleRate);
    // Ports that still hold the values the bundle declares as their
    // defaults leave the program that the instance started with alone;
    // any other value is the host's, and is taken at the first block.
    const float* defaults = defaultControls();
    std::copy(defaults, defaults + kHostParameterCount, takenControls);
    editor.reset(new (std::nothrow) CPluginEditor(nullptr, renderer.get()));
}

CLv2Plugin::~CLv2Plugin() {
    // The editor goes first, while the renderer it draws from still exists.
    editor.reset();
    renderer.reset();
}

void CLv2Plugin::connectPort(uint32_t port, void* data) {
    switch (port) {
    case lv2names::kEventsPort:
        events = static_cast<const LV2_Atom_Sequence*>(data);
        return;
    case lv2names::kLeftOutPort:
        outputs[0] = static_cast<float*>(data);
        return;
    case lv2names::kRightOutPort:
        outputs[1] = static_cast<float*>(data);
        return;
    case lv2names::kLatencyPort:
        latencyOut = static_cast<float*>(data);
        return;
    default:
        break;
    }
    const int32_t id = lv2names::portParameter(port);
    if (id >= 0) controls[id] = static_cast<const float*>(data);
}

void CLv2Plugin::activate() {
    if (renderer) renderer->reset();
}

void CLv2Plugin::deactivate() {
    if (renderer) renderer->reset();
}

void CLv2Plugin::run(uint32_t frames) {
    if (!renderer || !outputs[0] || !outputs[1]) return;
    if (latencyOut) *latencyOut = float(renderer->latencyFrames());
    takeControlPorts();
    readEvents(frames);
    const int32_t count = int32_t(frames);
    if (count <= 0) {
        // The events queued for an empty block are used up as for any block.
        renderer->processBlock(outputs, 0, true);
        return;
    }
    CDenormalGuard flushToZero;
    renderer->processBlock(outputs, count, true);
}

void CLv2Plugin::takeControlPorts() {
    if (resyncControls.exchange(false, std::memory_order_acq_rel)) {
        for (int32_t id = 0; id < kHostParameterCount; ++id)
            if (controls[id]) takenControls[id] = *controls[id];
        return;
    }
    for (int32_t id = 0; id < kHostParameterCount; ++id) {
        if (!controls[id]) continue;
        const float value = *controls[id];
        if (value == takenControls[id] || !std::isfinite(value)) continue;
        takenControls[id] = value;
        // Hosts may send values beyond the port's range: taken at the nearest end.
        renderer->setParameter(id, clampUnit(value));
    }
}

// The events are read byte-wise: some hosts hand over sequences that are
// aligned to 4 bytes only, where the 8-byte fields of an event or of a
// double value would be misaligned reads.
namespace {

template <typename T> T readAt(const uint8_t* p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// An atom's header: its body size and its type.
constexpr uint32_t kAtomHeaderBytes = 8;
// A sequence event's header: its time in frames (int64), then its atom header.
constexpr uint32_t kEventHeaderBytes = 8 + kAtomHeaderBytes;
// An object's body header: its id and its type; then its properties, each a
// key, a context and an atom.
constexpr uint32_t kObjectHeaderBytes = 8;
constexpr uint32_t kPropertyHeaderBytes = 8 + kAtomHeaderBytes;

uint32_t padded(uint32_t bytes) {
    return (bytes + 7u) & ~7u;
}

} // namespace

void CLv2Plugin::readEvents(uint32_t frames) {
    if (!events) return;
    const uint8_t* sequence = reinterpret_cast<const uint8_t*>(events);
    const uint32_t bodySize = readAt<uint32_t>(sequence);
    // After the atom header, the sequence body's unit and padding words.
    const uint8_t* p = sequence + kAtomHeaderBytes + sizeof(LV2_Atom_Sequence_Body);
    const uint8_t* const end = sequence + kAtomHeaderBytes + bodySize;
    while (p + kEventHeaderBytes <= end) {
        const int64_t time = readAt<int64_t>(p);
        const uint32_t size = readAt<uint32_t>(p + 8);
        const uint32_t type = readAt<uint32_t>(p + 12);
        const uint8_t* body = p + kEventHeaderBytes;
        if (size > uint32_t(end - body)) return;
        p += padded(kEventHeaderBytes + size);
        if (type == uris.midiEvent) {
            if (size == 0 || size > kMaxMidiBytes) continue;
            uint8_t bytes[4] = {0, 0, 0, 0};
            std::memcpy(bytes, body, size);
            // A channel message: a status byte first.
            if (!(bytes[0] & 0x80)) continue;
            int64_t at = time < 0 ? 0 : time;
            // An event stamped past the block plays at its end.
            if (frames > 0 && at >= int64_t(frames)) at = int64_t(frames) - 1;
            renderer->queueMidiEvent(bytes, int32_t(at));
        } else if ((type == uris.atomObject || type == uris.atomBlank) &&
                   size >= kObjectHeaderBytes && readAt<uint32_t>(body + 4) == uris.timePosition) {
            readTimePosition(body, size);
        }
    }
}

void CLv2Plugin::readTimePosition(const uint8_t* object, uint32_t size) {
    for (uint32_t at = kObjectHeaderBytes; at + kPropertyHeaderBytes <= size;) {
        const uint32_t key = readAt<uint32_t>(object + at);
        const uint32_t valueSize = readAt<uint32_t>(object + at + 8);
        const uint32_t valueType = readAt<uint32_t>(object + at + 12);
        const uint8_t* value = object + at + kPropertyHeaderBytes;
        if (valueSize > size - at - kPropertyHeaderBytes) return;
        at += padded(kPropertyHeaderBytes + valueSize);
        if (key != uris.timeBeatsPerMinute) continue;
        double bpm;
        if (valueType == uris.atomFloat && valueSize >= 4)
            bpm = readAt<float>(value);
        else if (valueType == uris.atomDouble && valueSize >= 8)
            bpm = readAt<double>(value);
        else if (valueType == uris.atomInt && valueSize >= 4)
            bpm = readAt<int32_t>(value);
        else if (valueType == uris.atomLong && valueSize >= 8)
            bpm = double(readAt<int64_t>(value));
        else
            return;
        if (!std::isfinite(bpm) || bpm <= 0.0) return;
        tempoBpm.store(bpm, std::memory_order_relaxed);
        tempoKnown.store(true, std::memory_order_relaxed);
        return;
    }
}

bool CLv2Plugin::hostTempo(double& bpm) {
    if (!tempoKnown.load(std::memory_order_relaxed)) return false;
    bpm = tempoBpm.load(std::memory_order_relaxed);
    return true;
}

LV2_State_Status CLv2Plugin::save(LV2_State_Store_Function store, LV2_State_Handle handle) {
    if (!renderer || !store) return LV2_STATE_ERR_UNKNOWN;
    void* data = nullptr;
    const int32_t length = renderer->getChunk(&data);
    if (length <= 0 || !data) return LV2_STATE_ERR_UNKNOWN;
    return store(handle, uris.programKey, data, size_t(length), uris.atomChunk,
                 LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status CLv2Plugin::restore(LV2_State_Retrieve_Function retrieve,
                                     LV2_State_Handle handle) {
    if (!renderer || !retrieve) return LV2_STATE_ERR_UNKNOWN;
    size_t size = 0;
    uint32_t type = 0, flags = 0;
    const void* data = retrieve(handle, uris.programKey, &size, &type, &flags);
    if (!data) return LV2_STATE_ERR_NO_PROPERTY;
    if (type != uris.atomChunk) return LV2_STATE_ERR_BAD_TYPE;
    if (size == 0 || size > size_t(INT32_MAX)) return LV2_STATE_ERR_UNKNOWN;
    if (renderer->setChunk(data, int32_t(size)) != 1) return LV2_STATE_ERR_UNKNOWN;
    // The ports hold what the host stored beside this state: the program
    // just restored is the truth, and only later port changes are taken.
    resyncControls.store(true, std::memory_order_release);
    return LV2_STATE_SUCCESS;
}

void CLv2Plugin::announceValue(int32_t id, float value) {
    if (id < 0 || id >= kHostParameterCount) return;
    announcedValues[id].store(value, std::memory_order_relaxed);
    announcedMask.fetch_or(parameterBit(id), std::memory_order_release);
}

void CLv2Plugin::beginValueEdit(int32_t id) {
    if (id < 0 || id >= kHostParameterCount) return;
    // What changed before the grab reaches the host before it.
    sendAnnouncedValues();
    if (editorSink) editorSink->gesture(editorSink->context, lv2names::parameterPort(id), true);
}

void CLv2Plugin::endValueEdit(int32_t id) {
    if (id < 0 || id >= kHostParameterCount) return;
    sendAnnouncedValues();
    if (editorSink) editorSink->gesture(editorSink->context, lv2names::parameterPort(id), false);
}

void CLv2Plugin::sendAnnouncedValues() {
    if (!editorSink) return;
    uint64_t mask = announcedMask.exchange(0, std::memory_order_acquire);
    for (int32_t id = 0; mask != 0; ++id, mask >>= 1) {
        if (!(mask & 1)) continue;
        const float value = announcedValues[id].load(std::memory_order_relaxed);
        editorSink->writeValue(editorSink->context, lv2names::parameterPort(id), value);
    }
}

uintptr_t CLv2Plugin::openEditor(uintptr_t parent, const Lv2EditorSink* sink, int* width,
                                 int* height) {
    // One window per instance: a second one is refused.
    if (!editor || !parent || !sink || editorSink || editor->isOpen()) return 0;
    if (!editor->open(reinterpret_cast<void*>(parent))) return 0;
    ERect* rect = nullptr;
    qgui::CFrame* frame = editor->getFrame();
    qgui::IPlatformWindow* window = frame ? frame->getPlatformWindow() : nullptr;
    if (!editor->getRect(&rect) || !rect || !window) {
        editor->close();
        return 0;
    }
    editorSink = sink;
    // Values the engine changed while no window was open are the host's too.
    sendAnnouncedValues();
    if (width) *width = rect->right - rect->left;
    if (height) *height = rect->bottom - rect->top;
    return reinterpret_cast<uintptr_t>(window->nativeHandle());
}

void CLv2Plugin::idleEditor() {
    if (!editor || !editorSink) return;
    editor->idle();
    sendAnnouncedValues();
}

void CLv2Plugin::closeEditor() {
    if (!editor || !editorSink) return;
    editor->close();
    editorSink = nullptr;
}

void CLv2Plugin::editorPortChanged(uint32_t port, float value) {
    const int32_t id = lv2names::portParameter(port);
    if (editor && id >= 0 && std::isfinite(value))
        editor->setParameter(id, float(clampUnit(value)));
}
