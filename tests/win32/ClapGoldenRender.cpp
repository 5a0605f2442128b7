// The golden phrase through a CLAP library's entry, with a host as small as a
// CLAP host can be (no extensions of its own, every call from one thread):
// the program goes in as the plug-in's state, the notes as MIDI events, the
// tempo in the transport. For the Windows build's golden check under Wine.
#include "win32/ClapGoldenRender.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

struct Stream {
    const std::vector<uint8_t>* bytes;
    size_t position;
};

int64_t CLAPCALL readStream(const clap::InputStream* s, void* data, uint64_t size) {
    auto* stream = static_cast<Stream*>(s->ctx);
    const size_t n = std::min(size_t(size), stream->bytes->size() - stream->position);
    if (n) std::memcpy(data, stream->bytes->data() + stream->position, n);
    stream->position += n;
    return int64_t(n);
}

// The phrase's events of one block, as CLAP MIDI events.
struct BlockEvents {
    std::vector<clap::MidiEvent> events;
};

uint32_t CLAPCALL eventCount(const clap::InputEvents* list) {
    return uint32_t(static_cast<BlockEvents*>(list->ctx)->events.size());
}

const clap::EventHeader* CLAPCALL eventAt(const clap::InputEvents* list, uint32_t i) {
    return &static_cast<BlockEvents*>(list->ctx)->events[i].header;
}

bool CLAPCALL dropEvent(const clap::OutputEvents*, const clap::EventHeader*) {
    return true;
}

const void* CLAPCALL noExtension(const clap::Host*, const char*) {
    return nullptr;
}

void CLAPCALL noRequest(const clap::Host*) {}

} // namespace

std::string renderClapProgram(const clap::PluginEntry* entry, const char* path,
                              const std::vector<uint8_t>& program, golden::Fingerprint& out) {
    if (!entry->init(path)) return "clap_entry.init refused";
    const auto* factory =
        static_cast<const clap::PluginFactory*>(entry->getFactory(clap::kPluginFactoryId));
    const clap::PluginDescriptor* d = factory ? factory->getPluginDescriptor(factory, 0) : nullptr;
    clap::Host host = {
        clap::kVersion, nullptr,  "Quellor Wine Check", "", "", "1.0.0", noExtension, noRequest,
        noRequest,      noRequest};
    const clap::Plugin* p = d ? factory->createPlugin(factory, &host, d->id) : nullptr;
    if (!p || !p->init(p)) return "no instance";
    std::string error;
    const auto* state = static_cast<const clap::PluginState*>(p->getExtension(p, clap::kExtState));
    Stream source = {&program, 0};
    clap::InputStream stream = {&source, readStream};
    if (!p->activate(p, golden::kSampleRate, 1, uint32_t(golden::kBlockFrames)) ||
        !p->startProcessing(p))
        error = "the instance would not start";
    else if (!state || !state->load(p, &stream))
        error = "the plug-in refused the program";
    std::vector<float> left(golden::kPhraseFrames), right(golden::kPhraseFrames);
    size_t next = 0;
    for (int32_t start = 0; error.empty() && start < golden::kPhraseFrames;
         start += golden::kBlockFrames) {
        const int32_t frames = std::min(golden::kBlockFrames, golden::kPhraseFrames - start);
        BlockEvents block;
        for (; next < std::size(golden::kPhrase) && golden::kPhrase[next].frame < start + frames;
             ++next) {
            clap::MidiEvent m = {};
            m.header = {sizeof m, uint32_t(golden::kPhrase[next].frame - start),
                        clap::kCoreEventSpace, clap::kEventMidi, 0};
            m.data[0] = golden::kPhrase[next].status;
            m.data[1] = golden::kPhrase[next].data1;
            m.data[2] = golden::kPhrase[next].data2;
            block.events.push_back(m);
        }
        clap::InputEvents in = {&block, eventCount, eventAt};
        clap::OutputEvents outList = {nullptr, dropEvent};
        float* channels[2] = {left.data() + start, right.data() + start};
        clap::AudioBuffer output = {channels, nullptr, 2, 0, 0};
        clap::TransportEvent transport = {};
        transport.header = {sizeof transport, 0, clap::kCoreEventSpace, clap::kEventTransport, 0};
        transport.flags = clap::kTransportHasTempo;
        transport.tempo = golden::kTempo;
        clap::Process process = {-1,  uint32_t(frames), &transport, nullptr, &output, 0, 1,
                                 &in, &outList};
        if (p->process(p, &process) == clap::kProcessError) error = "process failed";
    }
    p->stopProcessing(p);
    p->deactivate(p);
    p->destroy(p);
    entry->deinit();
    if (error.empty()) out = golden::fingerprintOf(left, right);
    return error;
}
