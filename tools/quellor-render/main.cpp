// quellor-render: plays a Standard MIDI File through a VST 2.4 instrument and
// writes what it renders to a WAV file. Our demo, our acceptance harness, and a
// batch renderer for users.
//
// Steps: options -> MIDI file -> plug-in (load, open, rate, block, resume)
// -> plug-in state -> parameter settings -> block loop -> WAV -> summary -> close.
// Any failure prints one line "quellor-render: ..." on stderr and exits with 1.

#include "quellor-render/MidiFile.h"
#include "quellor-render/PluginHost.h"
#include "quellor-render/RenderOptions.h"
#include "quellor-render/WavOutput.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#ifndef QUELLOR_DEFAULT_PLUGIN
#define QUELLOR_DEFAULT_PLUGIN "Quellor.so"
#endif

namespace {

bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = "cannot open \"" + path + "\"";
        return false;
    }
    uint8_t buffer[65536];
    size_t n;
    bytes.clear();
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + n);
        if (bytes.size() > (size_t(1) << 30)) break;
    }
    const bool ok = !std::ferror(f) && bytes.size() <= (size_t(1) << 30);
    std::fclose(f);
    if (!ok || bytes.empty()) {
        error = "cannot read \"" + path + "\"" + (ok ? " (it is empty)" : "");
        return false;
    }
    return true;
}

bool writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes,
                    std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    const bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f && std::fclose(f) != 0) {
        error = "cannot write \"" + path + "\"";
        return false;
    }
    if (!ok) error = "cannot write \"" + path + "\"";
    return ok;
}

// Longest piece we render, in seconds (the file's length plus the tail). Keeps a
// broken or hostile file (a huge delta time) from rendering for days.
constexpr double kMaxRenderSeconds = 3600.0;

int fail(const std::string& message) {
    std::fprintf(stderr, "quellor-render: %s\n", message.c_str());
    return 1;
}

std::string decibels(double linear) {
    if (linear <= 0.0) return "-inf";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", 20.0 * std::log10(linear));
    return text;
}

// Where each MIDI message lands: frame (from the start) and the record handed over.
struct SScheduled {
    int64_t frame;
    VstMidiEvent event;
};

std::vector<SScheduled> schedule(const CMidiFile& midi, int sampleRate) {
    std::vector<SScheduled> out;
    out.reserve(midi.events().size());
    for (const CMidiFile::SEvent& e : midi.events()) {
        SScheduled s = {};
        s.frame = int64_t(std::llround(e.seconds * sampleRate));
        s.event.type = kVstMidiType;
        s.event.byteSize = sizeof(VstMidiEvent);
        for (int i = 0; i < e.size; ++i)
            s.event.midiData[i] = char(e.bytes[i]);
        out.push_back(s);
    }
    return out;
}

// The block loop: for each block, the events whose frame falls inside it (in
// time order, deltaFrames = frame - block start), then processReplacing.
bool render(CPluginHost& host, std::vector<SScheduled>& events, int64_t totalFrames, int blockSize,
            CWavOutput& wav, std::string& error) {
    // The events record is a count, a reserved word and an array of pointers;
    // it is sized once for the busiest block.
    size_t busiest = 0;
    for (size_t i = 0, first = 0; i < events.size(); ++i) {
        while (events[i].frame / blockSize != events[first].frame / blockSize)
            ++first;
        busiest = std::max(busiest, i - first + 1);
    }
    const size_t words = (offsetof(VstEvents, events) +
                          std::max<size_t>(busiest, 2) * sizeof(void*) + sizeof(VstIntPtr) - 1) /
                         sizeof(VstIntPtr);
    std::vector<VstIntPtr> storage(words, 0);
    VstEvents* list = reinterpret_cast<VstEvents*>(storage.data());

    std::vector<float> left(static_cast<size_t>(blockSize)), right(static_cast<size_t>(blockSize));
    size_t next = 0;
    for (int64_t start = 0; start < totalFrames; start += blockSize) {
        const int frames = int(std::min<int64_t>(blockSize, totalFrames - start));
        list->numEvents = 0;
        while (next < events.size() && events[next].frame < start + frames) {
            VstMidiEvent& e = events[next].event;
            e.deltaFrames = VstInt32(std::max<int64_t>(events[next].frame - start, 0));
            list->events[list->numEvents++] = reinterpret_cast<VstEvent*>(&e);
            ++next;
        }
        host.processBlock(start, list, left.data(), right.data(), frames);
        if (!wav.write(left.data(), right.data(), frames, error)) return false;
    }
    return true;
}

int run(int argc, char** argv) {
    SRenderOptions options;
    std::string error;
    if (!parseRenderOptions(argc, argv, options, error)) return fail(error);
    if (options.help) {
        std::fputs(renderUsage().c_str(), stdout);
        return 0;
    }
    if (options.pluginPath.empty()) options.pluginPath = QUELLOR_DEFAULT_PLUGIN;

    CMidiFile midi;
    if (!midi.load(options.midiPath, error)) return fail(error);
    // A tempo from the command line replaces the file's map for timing and transport.
    CTempoMap tempo = midi.tempoMap();
    if (options.tempo > 0.0) {
        tempo = CTempoMap(midi.ticksPerQuarter(), options.tempo);
        midi.retime(tempo);
    }
    const double totalSeconds = midi.endSeconds() + options.tailSeconds;
    if (!(totalSeconds <= kMaxRenderSeconds)) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "\"%s\" would last %.0f seconds; the longest render is %.0f",
                      options.midiPath.c_str(), totalSeconds, kMaxRenderSeconds);
        return fail(text);
    }
    const int64_t totalFrames = int64_t(std::ceil(totalSeconds * options.sampleRate));

    CPluginHost host;
    if (!host.load(options.pluginPath, error)) return fail(error);
    host.setTempoMap(&tempo);
    host.start(options.sampleRate, options.blockSize);
    // Program and chunk files load here, before --set, so single values win.
    if (!options.programPath.empty() && !host.loadProgramFile(options.programPath, error))
        return fail(error);
    if (!options.chunkPath.empty()) {
        std::vector<uint8_t> chunk;
        if (!readWholeFile(options.chunkPath, chunk, error) || !host.setChunk(chunk, error))
            return fail(error);
    }
    for (const SRenderOptions::SParameterSet& s : options.sets)
        if (!host.setParameter(s.id, s.value, error)) return fail(error);

    CWavOutput wav;
    if (!wav.open(options.outPath, options.sampleRate, error)) return fail(error);
    std::vector<SScheduled> events = schedule(midi, options.sampleRate);
    if (!render(host, events, totalFrames, options.blockSize, wav, error) || !wav.close(error)) {
        wav.discard();
        return fail(error);
    }
    if (!options.saveChunkPath.empty()) {
        std::vector<uint8_t> chunk;
        if (!host.getChunk(chunk, error) || !writeWholeFile(options.saveChunkPath, chunk, error))
            return fail(error);
    }
    host.stop();

    std::string line = options.outPath + ": " + std::to_string(options.sampleRate) + " Hz, ";
    char text[200];
    std::snprintf(text, sizeof text, "%.3f s, peak %s dBFS (%.4f), RMS %s dBFS",
                  double(wav.frames()) / options.sampleRate, decibels(wav.peak()).c_str(),
                  double(wav.peak()), decibels(wav.rms()).c_str());
    line += text;
    if (wav.nonFiniteSamples() > 0)
        line += ", " + std::to_string(wav.nonFiniteSamples()) + " samples not finite";
    std::puts(line.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    return run(argc, argv);
}
