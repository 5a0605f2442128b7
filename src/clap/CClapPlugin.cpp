#include "clap/CClapPlugin.h"

#include "base/Denormal.h"
#include "base/SampleGuard.h"
#include "base/ValueIds.h"
#include "clap/CClapWindow.h"
#include "engine/CSoundRenderer.h"
#include "patch/CPluginFile.h"
#include "patch/ParameterText.h"
#include "plugin/EditorFactory.h"
#include "vst/AEffEditor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace {

bool isSwitch(int32_t id) {
    return std::find(std::begin(kHostSwitchIds), std::end(kHostSwitchIds), id) !=
           std::end(kHostSwitchIds);
}

constexpr const char* kOutputPortName = "Quellor 1/2";
constexpr const char* kNotePortName = "Notes";

// MIDI status bytes and controllers the shell itself writes or reads.
constexpr uint8_t kNoteOffStatus = 0x80;
constexpr uint8_t kNoteOnStatus = 0x90;
constexpr uint8_t kControlStatus = 0xb0;
constexpr uint8_t kAllSoundOff = 120;
constexpr uint8_t kAllNotesOff = 123;
constexpr int32_t kMidiChannels = 16;
constexpr double kMidiVelocityMax = 127.0;

// Output below this magnitude counts as silence for the host's sleep.
constexpr float kQuietLevel = 1.0e-7f;

// A state larger than this is no program of ours.
constexpr uint64_t kLargestState = 256u << 20;
constexpr size_t kStateReadPiece = 64u << 10;

uint8_t midiVelocity(double velocity) {
    // A note-on of velocity 0 is a note all the same: the softest.
    if (!std::isfinite(velocity)) return 1;
    return uint8_t(std::clamp(std::lround(velocity * kMidiVelocityMax), 1L, 127L));
}

} // namespace

// The record tables: plain functions that find the instance and forward.
struct ClapCalls {
    static CClapPlugin* self(const clap::Plugin* p) { return CClapPlugin::from(p); }

    static bool CLAPCALL init(const clap::Plugin* p) { return self(p) && self(p)->init(); }
    static void CLAPCALL destroy(const clap::Plugin* p) {
        if (self(p)) self(p)->destroy();
    }
    static bool CLAPCALL activate(const clap::Plugin* p, double rate, uint32_t lo, uint32_t hi) {
        return self(p) && self(p)->activate(rate, lo, hi);
    }
    static void CLAPCALL deactivate(const clap::Plugin* p) {
        if (self(p)) self(p)->deactivate();
    }
    static bool CLAPCALL startProcessing(const clap::Plugin* p) {
        return self(p) && self(p)->startProcessing();
    }
    static void CLAPCALL stopProcessing(const clap::Plugin* p) {
        if (self(p)) self(p)->stopProcessing();
    }
    static void CLAPCALL reset(const clap::Plugin* p) {
        if (self(p)) self(p)->reset();
    }
    static int32_t CLAPCALL process(const clap::Plugin* p, const clap::Process* process) {
        return self(p) ? self(p)->process(process) : clap::kProcessError;
    }
    static const void* CLAPCALL extension(const clap::Plugin* p, const char* id) {
        return self(p) ? self(p)->extension(id) : nullptr;
    }
    static void CLAPCALL onMainThread(const clap::Plugin* p) {
        if (self(p)) self(p)->onMainThreadCallback();
    }

    // ---- audio ports: no inputs, one stereo output ----
    static uint32_t CLAPCALL audioPortCount(const clap::Plugin*, bool isInput) {
        return isInput ? 0 : 1;
    }
    static bool CLAPCALL audioPortGet(const clap::Plugin*, uint32_t index, bool isInput,
                                      clap::AudioPortInfo* info) {
        if (isInput || index != 0 || !info) return false;
        std::memset(info, 0, sizeof *info);
        info->id = 0;
        std::snprintf(info->name, sizeof info->name, "%s", kOutputPortName);
        info->flags = clap::kAudioPortIsMain;
        info->channelCount = 2;
        info->portType = clap::kPortStereo;
        info->inPlacePair = clap::kInvalidId;
        return true;
    }

    // ---- note ports: one input, CLAP notes or MIDI ----
    static uint32_t CLAPCALL notePortCount(const clap::Plugin*, bool isInput) {
        return isInput ? 1 : 0;
    }
    static bool CLAPCALL notePortGet(const clap::Plugin*, uint32_t index, bool isInput,
                                     clap::NotePortInfo* info) {
        if (!isInput || index != 0 || !info) return false;
        std::memset(info, 0, sizeof *info);
        info->id = 0;
        info->supportedDialects = clap::kNoteDialectClap | clap::kNoteDialectMidi;
        info->preferredDialect = clap::kNoteDialectClap;
        std::snprintf(info->name, sizeof info->name, "%s", kNotePortName);
        return true;
    }

    // ---- parameters ----
    static uint32_t CLAPCALL paramCount(const clap::Plugin* p) {
        return self(p) ? self(p)->paramCount() : 0;
    }
    static bool CLAPCALL paramInfo(const clap::Plugin* p, uint32_t index, clap::ParamInfo* info) {
        return self(p) && self(p)->paramInfo(index, info);
    }
    static bool CLAPCALL paramValue(const clap::Plugin* p, clap::Id id, double* value) {
        return self(p) && self(p)->paramValue(id, value);
    }
    static bool CLAPCALL paramText(const clap::Plugin* p, clap::Id id, double value, char* text,
                                   uint32_t capacity) {
        return self(p) && self(p)->paramText(id, value, text, capacity);
    }
    static bool CLAPCALL paramFromText(const clap::Plugin* p, clap::Id id, const char* text,
                                       double* value) {
        return self(p) && self(p)->paramFromText(id, text, value);
    }
    static void CLAPCALL paramFlush(const clap::Plugin* p, const clap::InputEvents* in,
                                    const clap::OutputEvents* out) {
        if (self(p)) self(p)->paramFlush(in, out);
    }

    // ---- state ----
    static bool CLAPCALL stateSave(const clap::Plugin* p, const clap::OutputStream* stream) {
        return self(p) && self(p)->saveState(stream);
    }
    static bool CLAPCALL stateLoad(const clap::Plugin* p, const clap::InputStream* stream) {
        return self(p) && self(p)->loadState(stream);
    }

    // ---- latency: the quality mode's decimator delay ----
    static uint32_t CLAPCALL latency(const clap::Plugin* p) {
        return self(p) ? self(p)->reportedLatency : 0;
    }

    // ---- timers: the window's idle ----
    static void CLAPCALL onTimer(const clap::Plugin* p, clap::Id timerId) {
        if (self(p) && self(p)->window) self(p)->window->onTimer(timerId);
    }

    static constexpr clap::PluginAudioPorts audioPorts = {audioPortCount, audioPortGet};
    static constexpr clap::PluginNotePorts notePorts = {notePortCount, notePortGet};
    static constexpr clap::PluginParams params = {paramCount, paramInfo,     paramValue,
                                                  paramText,  paramFromText, paramFlush};
    static constexpr clap::PluginState state = {stateSave, stateLoad};
    static constexpr clap::PluginLatency latencyTable = {latency};
    static constexpr clap::PluginTimerSupport timerSupport = {onTimer};
};

CClapPlugin::CClapPlugin(const clap::PluginDescriptor* descriptor, const clap::Host* host,
                         CPluginFile* settings)
    : hostRecord(host), settingsObject(settings) {
    pluginRecord.desc = descriptor;
    pluginRecord.pluginData = this;
    pluginRecord.init = ClapCalls::init;
    pluginRecord.destroy = ClapCalls::destroy;
    pluginRecord.activate = ClapCalls::activate;
    pluginRecord.deactivate = ClapCalls::deactivate;
    pluginRecord.startProcessing = ClapCalls::startProcessing;
    pluginRecord.stopProcessing = ClapCalls::stopProcessing;
    pluginRecord.reset = ClapCalls::reset;
    pluginRecord.process = ClapCalls::process;
    pluginRecord.getExtension = ClapCalls::extension;
    pluginRecord.onMainThread = ClapCalls::onMainThread;
}

CClapPlugin::~CClapPlugin() {
    // The window goes first, then the editor, while the renderer they draw from exists.
    window.reset();
    editorObject.reset();
    renderer.reset();
}

CClapPlugin* CClapPlugin::from(const clap::Plugin* plugin) {
    return plugin ? static_cast<CClapPlugin*>(plugin->pluginData) : nullptr;
}

const void* CClapPlugin::hostExtension(const char* id) const {
    return hostRecord && hostRecord->getExtension ? hostRecord->getExtension(hostRecord, id)
                                                  : nullptr;
}

bool CClapPlugin::onMainThread() const {
    if (hostThreadCheck && hostThreadCheck->isMainThread)
        return hostThreadCheck->isMainThread(hostRecord);
    return std::this_thread::get_id() == mainThread;
}

void CClapPlugin::log(int32_t severity, const char* message) const {
    if (hostLog && hostLog->log) hostLog->log(hostRecord, severity, message);
}

// ---------------------------------------------------------------- lifecycle

bool CClapPlugin::init() {
    if (initialised) return false;
    mainThread = std::this_thread::get_id();
    hostThreadCheck =
        static_cast<const clap::HostThreadCheck*>(hostExtension(clap::kExtThreadCheck));
    hostLog = static_cast<const clap::HostLog*>(hostExtension(clap::kExtLog));
    hostParams = static_cast<const clap::HostParams*>(hostExtension(clap::kExtParams));
    hostLatency = static_cast<const clap::HostLatency*>(hostExtension(clap::kExtLatency));
    // No exception may cross into the host.
    try {
        // Display texts take the user's decimal separator from the platform,
        // so the process-wide locale (which the host relies on) stays untouched.
        settingsObject->init();
        renderer.reset(new (std::nothrow) CSoundRenderer(settingsObject, this));
        if (!renderer) return false;
        for (uint32_t id = 0; id < kParameterCount; ++id)
            defaults[id] = renderer->getParameter(int32_t(id));
        editorObject.reset(createPluginEditor(nullptr, renderer.get()));
        window.reset(new (std::nothrow) CClapWindow(*this));
    } catch (...) {
        return false;
    }
    initialised = true;
    return true;
}

void CClapPlugin::destroy() {
    if (active) {
        log(clap::kLogHostMisbehaving, "Quellor: destroyed while active; deactivating first");
        deactivate();
    }
    delete this;
}

bool CClapPlugin::activate(double sampleRate, uint32_t minFrames, uint32_t maxFrames) {
    (void)minFrames;
    (void)maxFrames;
    if (!renderer || active || !onMainThread()) return false;
    if (!(sampleRate > 0.0) || !std::isfinite(sampleRate)) return false;
    renderer->setSampleRate(sampleRate);
    renderer->reset();
    const uint32_t latencyNow = uint32_t(renderer->latencyFrames());
    if (latencyNow != reportedLatency) {
        reportedLatency = latencyNow;
        if (hostLatency && hostLatency->changed) hostLatency->changed(hostRecord);
    }
    active = true;
    return true;
}

void CClapPlugin::latencyChanged(int32_t frames) {
    // While inactive the next activation reports it; while active the delay
    // may change only through a restart.
    if (active && uint32_t(frames) != reportedLatency && hostRecord && hostRecord->requestRestart)
        hostRecord->requestRestart(hostRecord);
}

void CClapPlugin::deactivate() {
    if (!active || !onMainThread()) return;
    active = false;
    processing.store(false);
    if (renderer) renderer->reset();
    // The voices are silent now: their notes end with the next block.
    heldNotes.releaseAll();
}

bool CClapPlugin::startProcessing() {
    if (!active) return false;
    processing.store(true);
    return true;
}

void CClapPlugin::stopProcessing() {
    processing.store(false);
}

void CClapPlugin::reset() {
    if (!active || !renderer) return;
    renderer->reset();
    heldNotes.releaseAll();
}

const void* CClapPlugin::extension(const char* id) const {
    if (!id) return nullptr;
    if (std::strcmp(id, clap::kExtAudioPorts) == 0) return &ClapCalls::audioPorts;
    if (std::strcmp(id, clap::kExtNotePorts) == 0) return &ClapCalls::notePorts;
    if (std::strcmp(id, clap::kExtParams) == 0) return &ClapCalls::params;
    if (std::strcmp(id, clap::kExtState) == 0) return &ClapCalls::state;
    if (std::strcmp(id, clap::kExtLatency) == 0) return &ClapCalls::latencyTable;
    if (std::strcmp(id, clap::kExtTimerSupport) == 0) return &ClapCalls::timerSupport;
    if (std::strcmp(id, clap::kExtGui) == 0) return CClapWindow::table();
    return nullptr;
}

// ---------------------------------------------------------------- process

int32_t CClapPlugin::process(const clap::Process* p) {
    if (!renderer || !active || !p) return clap::kProcessError;
    const uint32_t frames = p->framesCount;
    float* outputs[2] = {nullptr, nullptr};
    if (p->audioOutputsCount >= 1 && p->audioOutputs) {
        clap::AudioBuffer& port = p->audioOutputs[0];
        port.constantMask = 0;
        if (port.channelCount >= 2 && port.data32) {
            outputs[0] = port.data32[0];
            outputs[1] = port.data32[1];
        }
    }
    if (frames > 0 && (!outputs[0] || !outputs[1])) return clap::kProcessError;

    transportHasTempo = false;
    if (p->transport && (p->transport->flags & clap::kTransportHasTempo) &&
        std::isfinite(p->transport->tempo) && p->transport->tempo > 0.0) {
        transportTempo = p->transport->tempo;
        transportHasTempo = true;
    }

    CDenormalGuard flushToZero;
    // The block is rendered in pieces between the host's value changes, so
    // that automation lands on its frame; notes are queued into the piece
    // they fall in.
    const clap::InputEvents* in = p->inEvents;
    const uint32_t count = in && in->size ? in->size(in) : 0;
    uint32_t next = 0;
    uint32_t start = 0;
    do {
        uint32_t end = frames;
        for (; next < count; ++next) {
            const clap::EventHeader* e = in->get ? in->get(in, next) : nullptr;
            if (!e || e->spaceId != clap::kCoreEventSpace) continue;
            const uint32_t last = frames > 0 ? frames - 1 : 0;
            const uint32_t at = std::clamp(e->time, start, std::max(start, last));
            if (e->type == clap::kEventParamValue && at > start) {
                end = at;
                break;
            }
            handleEvent(e, int32_t(at - start));
        }
        float* piece[2] = {outputs[0] ? outputs[0] + start : nullptr,
                           outputs[1] ? outputs[1] + start : nullptr};
        renderer->processBlock(piece, int32_t(end - start), true);
        start = end;
    } while (start < frames);

    sendOutputEvents(p->outEvents, frames > 0 ? frames - 1 : 0);

    if (anyVoiceSounds() || heldNotes.size() > 0) return clap::kProcessContinue;
    for (uint32_t i = 0; i < frames; ++i)
        if (std::fabs(outputs[0][i]) > kQuietLevel || std::fabs(outputs[1][i]) > kQuietLevel)
            return clap::kProcessContinue;
    return clap::kProcessSleep;
}

bool CClapPlugin::anyVoiceSounds() const {
    for (int32_t i = 0; i < CVoiceAllocator::kVoiceCount; ++i)
        if (renderer->voices().voice(i).active) return true;
    return renderer->sequencer(0).isRunning() || renderer->sequencer(1).isRunning();
}

void CClapPlugin::handleEvent(const clap::EventHeader* e, int32_t delta) {
    switch (e->type) {
    case clap::kEventNoteOn:
    case clap::kEventNoteOff:
    case clap::kEventNoteChoke:
        if (e->size >= sizeof(clap::NoteEvent))
            handleNote(*reinterpret_cast<const clap::NoteEvent*>(e), delta);
        break;
    case clap::kEventMidi:
        if (e->size >= sizeof(clap::MidiEvent))
            handleMidi(*reinterpret_cast<const clap::MidiEvent*>(e), delta);
        break;
    case clap::kEventParamValue:
        if (e->size >= sizeof(clap::ParamValueEvent))
            setValueFromHost(*reinterpret_cast<const clap::ParamValueEvent*>(e));
        break;
    case clap::kEventTransport:
        if (e->size >= sizeof(clap::TransportEvent)) {
            const auto& t = *reinterpret_cast<const clap::TransportEvent*>(e);
            if ((t.flags & clap::kTransportHasTempo) && std::isfinite(t.tempo) && t.tempo > 0.0) {
                transportTempo = t.tempo;
                transportHasTempo = true;
            }
        }
        break;
    default:
        break; // expressions, modulation, sysex and MIDI 2 are not ours
    }
}

void CClapPlugin::queueMidi(uint8_t status, uint8_t data1, uint8_t data2, int32_t delta) {
    const uint8_t bytes[4] = {status, data1, data2, 0};
    renderer->queueMidiEvent(bytes, delta);
}

void CClapPlugin::handleNote(const clap::NoteEvent& note, int32_t delta) {
    const int16_t channel = note.channel >= 0 && note.channel < kMidiChannels ? note.channel : 0;
    if (note.header.type == clap::kEventNoteOn) {
        // A note-on names its key; one without is no note.
        if (note.key < 0 || note.key > 127) return;
        queueMidi(uint8_t(kNoteOnStatus | channel), uint8_t(note.key), midiVelocity(note.velocity),
                  delta);
        heldNotes.started(note.noteId, note.portIndex, note.channel, note.key);
        return;
    }
    // Note-off and choke match on every part of the address, -1 matching
    // any; the voices only know keys, so each key held is let go once. A
    // choke releases as a note-off does: the voices have no faster end than
    // their release.
    if (note.key >= 0 && note.key <= 127) {
        heldNotes.release(note.noteId, note.portIndex, note.channel, note.key, [](int16_t) {});
        queueMidi(uint8_t(kNoteOffStatus | channel), uint8_t(note.key), 0, delta);
        return;
    }
    heldNotes.release(note.noteId, note.portIndex, note.channel, note.key, [&](int16_t key) {
        queueMidi(uint8_t(kNoteOffStatus | channel), uint8_t(key), 0, delta);
    });
}

void CClapPlugin::handleMidi(const clap::MidiEvent& midi, int32_t delta) {
    const uint8_t status = midi.data[0];
    const uint8_t kind = status & 0xf0;
    const int16_t channel = int16_t(status & 0x0f);
    const int16_t key = int16_t(midi.data[1] & 0x7f);
    queueMidi(status, midi.data[1], midi.data[2], delta);
    if (kind == kNoteOnStatus && midi.data[2] > 0)
        heldNotes.started(-1, int16_t(midi.portIndex), channel, key);
    else if (kind == kNoteOffStatus || kind == kNoteOnStatus)
        heldNotes.release(-1, int16_t(midi.portIndex), channel, key, [](int16_t) {});
    else if (kind == kControlStatus &&
             (midi.data[1] == kAllNotesOff || midi.data[1] == kAllSoundOff))
        heldNotes.releaseAll();
}

void CClapPlugin::setValueFromHost(const clap::ParamValueEvent& event) {
    if (event.paramId >= kParameterCount || !std::isfinite(event.value)) return;
    const double value = clampUnit(event.value);
    renderer->setParameter(int32_t(event.paramId), value);
    if (editorObject) editorObject->setParameter(int32_t(event.paramId), float(value));
}

void CClapPlugin::sendOutputEvents(const clap::OutputEvents* out, uint32_t lastFrame) {
    if (!out || !out->tryPush) return;
    edits.drain([&](const CEditGestureQueue::Edit& edit) {
        if (edit.kind == CEditGestureQueue::Kind::Value) {
            clap::ParamValueEvent v = {};
            v.header = {sizeof v, 0, clap::kCoreEventSpace, clap::kEventParamValue, 0};
            v.paramId = clap::Id(edit.id);
            v.noteId = -1;
            v.portIndex = v.channel = v.key = -1;
            v.value = edit.value;
            return out->tryPush(out, &v.header);
        }
        clap::ParamGestureEvent g = {};
        const uint16_t type = edit.kind == CEditGestureQueue::Kind::Begin
                                  ? clap::kEventParamGestureBegin
                                  : clap::kEventParamGestureEnd;
        g.header = {sizeof g, 0, clap::kCoreEventSpace, type, 0};
        g.paramId = clap::Id(edit.id);
        return out->tryPush(out, &g.header);
    });
    const CVoiceAllocator& voices = renderer->voices();
    heldNotes.collectEnded(
        [&](int16_t key) {
            for (int32_t i = 0; i < CVoiceAllocator::kVoiceCount; ++i)
                if (voices.voice(i).active && voices.voice(i).playedKey() == key) return true;
            return false;
        },
        [&](const CHeldNotes::Note& n) {
            clap::NoteEvent end = {};
            end.header = {sizeof end, lastFrame, clap::kCoreEventSpace, clap::kEventNoteEnd, 0};
            end.noteId = n.noteId;
            end.portIndex = n.port;
            end.channel = n.channel;
            end.key = n.key;
            return out->tryPush(out, &end.header);
        });
}

// ---------------------------------------------------------------- the renderer's host

void CClapPlugin::queueEdit(const CEditGestureQueue::Edit& edit) {
    if (!edits.push(edit)) return;
    // The host carries the edit in its next process call, or in a flush
    // when it is not processing.
    if (hostParams && hostParams->requestFlush)
        hostParams->requestFlush(hostRecord);
    else if (hostRecord && hostRecord->requestProcess)
        hostRecord->requestProcess(hostRecord);
}

void CClapPlugin::announceValue(int32_t id, float value) {
    if (id < 0 || uint32_t(id) >= kParameterCount || loadingState) return;
    queueEdit({CEditGestureQueue::Kind::Value, id, double(value)});
}

void CClapPlugin::beginValueEdit(int32_t id) {
    if (id < 0 || uint32_t(id) >= kParameterCount) return;
    queueEdit({CEditGestureQueue::Kind::Begin, id, 0.0});
}

void CClapPlugin::endValueEdit(int32_t id) {
    if (id < 0 || uint32_t(id) >= kParameterCount) return;
    queueEdit({CEditGestureQueue::Kind::End, id, 0.0});
}

bool CClapPlugin::hostTempo(double& bpm) {
    if (!transportHasTempo) return false;
    bpm = transportTempo;
    return true;
}

// ---------------------------------------------------------------- parameters

uint32_t CClapPlugin::paramCount() const {
    return renderer ? kParameterCount : 0;
}

bool CClapPlugin::paramInfo(uint32_t index, clap::ParamInfo* info) const {
    if (!renderer || !info || index >= kParameterCount || !onMainThread()) return false;
    std::memset(info, 0, sizeof *info);
    // The parameter's id is its index, as in the VST 2.4 plug-in: sessions
    // and automation keep it.
    info->id = index;
    info->flags =
        clap::kParamIsAutomatable | (isSwitch(int32_t(index)) ? clap::kParamIsStepped : 0);
    info->cookie = nullptr;
    renderer->getParameterName(int32_t(index), info->name, sizeof info->name);
    info->minValue = 0.0;
    info->maxValue = 1.0;
    info->defaultValue = defaults[index];
    return true;
}

bool CClapPlugin::paramValue(clap::Id id, double* value) const {
    if (!renderer || !value || id >= kParameterCount || !onMainThread()) return false;
    *value = renderer->getParameter(int32_t(id));
    return true;
}

bool CClapPlugin::paramText(clap::Id id, double value, char* text, uint32_t capacity) const {
    if (!renderer || !text || capacity == 0 || id >= kParameterCount || !onMainThread())
        return false;
    if (!std::isfinite(value)) return false;
    formatValueDisplay(renderer->program(), int32_t(id), clampUnit(value),
                       settingsObject->decimalSeparator(), text, capacity);
    return true;
}

bool CClapPlugin::paramFromText(clap::Id id, const char* text, double* value) const {
    if (!renderer || !text || !value || id >= kParameterCount || !onMainThread()) return false;
    return parseHostParameterText(renderer->program(), int32_t(id), text,
                                  settingsObject->decimalSeparator(), *value);
}

void CClapPlugin::paramFlush(const clap::InputEvents* in, const clap::OutputEvents* out) {
    // While active this comes on the audio thread instead of process;
    // otherwise on the main thread.
    if (!renderer || processing.load()) return;
    if (!active && !onMainThread()) return;
    const uint32_t count = in && in->size ? in->size(in) : 0;
    for (uint32_t i = 0; i < count; ++i) {
        const clap::EventHeader* e = in->get ? in->get(in, i) : nullptr;
        if (e && e->spaceId == clap::kCoreEventSpace && e->type == clap::kEventParamValue &&
            e->size >= sizeof(clap::ParamValueEvent))
            setValueFromHost(*reinterpret_cast<const clap::ParamValueEvent*>(e));
    }
    sendOutputEvents(out, 0);
}

// ---------------------------------------------------------------- state

bool CClapPlugin::saveState(const clap::OutputStream* stream) {
    if (!renderer || !stream || !stream->write || !onMainThread()) return false;
    void* data = nullptr;
    const int32_t length = renderer->getChunk(&data);
    if (length <= 0 || !data) return false;
    // The same bytes as the VST 2.4 plug-in's chunk, so that a session
    // moves between the formats.
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (uint64_t done = 0; done < uint64_t(length);) {
        const int64_t n = stream->write(stream, bytes + done, uint64_t(length) - done);
        if (n <= 0) return false;
        done += uint64_t(n);
    }
    return true;
}

bool CClapPlugin::loadState(const clap::InputStream* stream) {
    if (!renderer || !stream || !stream->read || !onMainThread()) return false;
    std::vector<uint8_t> bytes;
    try {
        for (;;) {
            const size_t had = bytes.size();
            bytes.resize(had + kStateReadPiece);
            const int64_t n = stream->read(stream, bytes.data() + had, kStateReadPiece);
            if (n < 0) return false; // a stream that fails leaves the program as it was
            bytes.resize(had + size_t(std::min<int64_t>(n, int64_t(kStateReadPiece))));
            if (n == 0) break;
            if (bytes.size() > kLargestState) return false;
        }
    } catch (...) {
        return false;
    }
    if (bytes.empty()) return false;
    // A state that is no program is refused and the program stays as it was.
    loadingState = true;
    const bool loaded = renderer->setChunk(bytes.data(), int32_t(bytes.size())) == 1;
    loadingState = false;
    for (uint32_t id = 0; id < kParameterCount; ++id)
        if (editorObject)
            editorObject->setParameter(int32_t(id), float(renderer->getParameter(int32_t(id))));
    if (loaded && hostParams && hostParams->rescan)
        hostParams->rescan(hostRecord, clap::kParamRescanValues | clap::kParamRescanText);
    if (!loaded)
        log(clap::kLogWarning, "Quellor: the state is not a Quellor program; kept the program");
    return loaded;
}
