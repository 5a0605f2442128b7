// The command line of quellor-render: what the user asked for, checked and in
// engine units. Every option lives in one table (RenderOptions.cpp), so a new
// option is one field here and one row there.
#pragma once

#include <string>
#include <vector>

struct SRenderOptions {
    struct SParameterSet {
        int id;      // host parameter index, 0..numParams-1 (checked once loaded)
        float value; // normalised 0..1
    };

    std::string pluginPath;          // empty: the plug-in built beside this tool
    int sampleRate = 44100;          // Hz (a WAV file holds a whole number)
    int blockSize = 512;             // frames per processReplacing call
    double tempo = 0.0;              // BPM; 0 = follow the MIDI file's tempo map
    double tailSeconds = 1.0;        // rendered after the file's end (release, effects)
    int oversample = 1;              // --oversample: Quellor's voices at 1 or 2 x the rate
    std::vector<SParameterSet> sets; // --set, applied in command-line order
    std::string midiPath;            // --midi
    std::string outPath;             // --out
    bool help = false;               // --help: print usage, render nothing
    std::string programPath;         // --program: a Quellor program file, loaded as its editor does
    std::string chunkPath;           // --chunk: bytes handed to the plug-in as its host chunk
    std::string saveChunkPath;       // --save-chunk: the plug-in's chunk after rendering
    std::string bankPath;            // --bank: render every program of this folder
    std::string outDir;              // --out-dir: where --bank writes one WAV per program
};

// Parses argv[1..argc-1]. On failure returns false with one line in `error`.
// When --help is given, returns true with `help` set and checks nothing else.
bool parseRenderOptions(int argc, const char* const* argv, SRenderOptions& options,
                        std::string& error);

// Usage text for --help, built from the same table as the parser.
std::string renderUsage();
