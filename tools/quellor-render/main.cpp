// quellor-render: plays a Standard MIDI File through a VST 2.4 instrument and
// writes what it renders to a WAV file. Our demo, our acceptance harness, and a
// batch renderer for users.
//
// Steps: options -> MIDI file -> plug-in (load, open, rate, block, resume)
// -> plug-in state -> parameter settings -> block loop -> WAV -> summary -> close.
// Any failure prints one line "quellor-render: ..." on stderr and exits with 1.

#include "quellor-render/Loudness.h"
#include "quellor-render/MidiFile.h"
#include "quellor-render/PluginHost.h"
#include "quellor-render/RenderOptions.h"
#include "quellor-render/WavOutput.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
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
            CWavOutput& wav, CLoudness* loudness, std::string& error) {
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
        if (loudness) loudness->add(left.data(), right.data(), frames);
        if (!wav.write(left.data(), right.data(), frames, error)) return false;
    }
    return true;
}

// What one render needs beside the plug-in: the MIDI events and the length.
struct SPiece {
    std::vector<SScheduled> events;
    int64_t totalFrames = 0;
    CTempoMap tempo;
};

// Loads the plug-in, gives it the program (or chunk) and settings, renders the
// piece into `outPath`. `loudness`, when given, measures what was rendered.
bool renderOne(const SRenderOptions& options, SPiece& piece, const std::string& programPath,
               const std::string& outPath, CWavOutput& wav, CLoudness* loudness,
               std::string& error) {
    CPluginHost host;
    if (!host.load(options.pluginPath, error)) return false;
    host.setTempoMap(&piece.tempo);
    host.start(options.sampleRate, options.blockSize);
    // Program and chunk files load here, before --set, so single values win.
    if (!programPath.empty() && !host.loadProgramFile(programPath, error)) return false;
    if (!options.chunkPath.empty()) {
        std::vector<uint8_t> chunk;
        if (!readWholeFile(options.chunkPath, chunk, error) || !host.setChunk(chunk, error))
            return false;
    }
    for (const SRenderOptions::SParameterSet& s : options.sets)
        if (!host.setParameter(s.id, s.value, error)) return false;

    if (!wav.open(outPath, options.sampleRate, error)) return false;
    std::vector<SScheduled> events = piece.events;
    if (!render(host, events, piece.totalFrames, options.blockSize, wav, loudness, error) ||
        !wav.close(error)) {
        wav.discard();
        return false;
    }
    if (!options.saveChunkPath.empty()) {
        std::vector<uint8_t> chunk;
        if (!host.getChunk(chunk, error) || !writeWholeFile(options.saveChunkPath, chunk, error))
            return false;
    }
    host.stop();
    return true;
}

// Every program of a bank folder through the same MIDI file, one WAV each,
// and a table of loudness, true peak and length to compare them by.
int renderBank(const SRenderOptions& options, SPiece& piece) {
    namespace fs = std::filesystem;
    std::vector<fs::path> programs;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(options.bankPath, ec))
        if (e.is_regular_file() && e.path().extension() == ".qxlprg") programs.push_back(e.path());
    if (ec) return fail("cannot list the bank folder \"" + options.bankPath + "\"");
    if (programs.empty()) return fail("no programs (.qxlprg) in \"" + options.bankPath + "\"");
    std::sort(programs.begin(), programs.end());
    fs::create_directories(options.outDir, ec);
    if (ec) return fail("cannot make the folder \"" + options.outDir + "\"");

    std::printf("%-32s %10s %10s %9s\n", "program", "LUFS", "peak dBTP", "length s");
    for (const fs::path& program : programs) {
        const std::string name = program.stem().string();
        const std::string out = (fs::path(options.outDir) / (name + ".wav")).string();
        CWavOutput wav;
        CLoudness loudness;
        std::string error;
        if (!loudness.open(options.sampleRate, error) ||
            !renderOne(options, piece, program.string(), out, wav, &loudness, error))
            return fail(name + ": " + error);
        std::printf("%-32s %10.2f %10.2f %9.3f%s\n", name.c_str(), loudness.integratedLufs(),
                    loudness.truePeakDb(), double(wav.frames()) / options.sampleRate,
                    wav.nonFiniteSamples() > 0 ? "  (samples not finite)" : "");
    }
    return 0;
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
    // Quellor reads its quality when an instance starts; the variable wins over
    // the user's settings, so that a render sounds the same on every machine.
    setenv("QUELLOR_QUALITY", std::to_string(options.oversample).c_str(), 1);

    CMidiFile midi;
    if (!midi.load(options.midiPath, error)) return fail(error);
    SPiece piece;
    // A tempo from the command line replaces the file's map for timing and transport.
    piece.tempo = midi.tempoMap();
    if (options.tempo > 0.0) {
        piece.tempo = CTempoMap(midi.ticksPerQuarter(), options.tempo);
        midi.retime(piece.tempo);
    }
    const double totalSeconds = midi.endSeconds() + options.tailSeconds;
    if (!(totalSeconds <= kMaxRenderSeconds)) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "\"%s\" would last %.0f seconds; the longest render is %.0f",
                      options.midiPath.c_str(), totalSeconds, kMaxRenderSeconds);
        return fail(text);
    }
    piece.totalFrames = int64_t(std::ceil(totalSeconds * options.sampleRate));
    piece.events = schedule(midi, options.sampleRate);
    if (!options.bankPath.empty()) return renderBank(options, piece);

    CWavOutput wav;
    if (!renderOne(options, piece, options.programPath, options.outPath, wav, nullptr, error))
        return fail(error);

    std::string line = options.outPath + ": " + std::to_string(options.sampleRate) + " Hz, ";
    if (options.oversample > 1)
        line += "voices at " + std::to_string(options.oversample) + " x the rate, ";
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
