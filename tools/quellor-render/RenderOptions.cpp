#include "quellor-render/RenderOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kMinSampleRate = 8000;
constexpr int kMaxSampleRate = 384000;
constexpr int kMinBlockSize = 1;
constexpr int kMaxBlockSize = 65536;
constexpr double kMinTempo = 10.0;
constexpr double kMaxTempo = 999.0;
constexpr double kMaxTailSeconds = 600.0;
constexpr int kMaxOversample = 2;

// Whole-text number conversions: trailing junk, NaN and infinity are refused.
bool toDouble(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && *end == '\0' && std::isfinite(value);
}

bool toInt(const std::string& text, int& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < -2147483647L || v > 2147483647L) return false;
    value = int(v);
    return true;
}

std::string outOfRange(const char* what, const std::string& text, const char* range) {
    return std::string("bad ") + what + " \"" + text + "\" (expected " + range + ")";
}

// One row per option. `setter` gets the text after the option (empty when the
// option takes no value) and answers an error text, empty when fine.
struct SOptionRow {
    const char* name;
    const char* valueName; // nullptr: a switch without value
    const char* help;
    std::string (*setter)(SRenderOptions& o, const std::string& text);
};

const SOptionRow kOptions[] = {
    {"--plugin", "PATH", "VST 2.4 plug-in library (default: the built Quellor.so)",
     [](SRenderOptions& o, const std::string& t) {
         o.pluginPath = t;
         return std::string();
     }},
    {"--rate", "HZ", "sample rate (default 44100)",
     [](SRenderOptions& o, const std::string& t) {
         if (!toInt(t, o.sampleRate) || o.sampleRate < kMinSampleRate ||
             o.sampleRate > kMaxSampleRate)
             return outOfRange("sample rate", t, "8000..384000 Hz");
         return std::string();
     }},
    {"--block", "N", "frames per processing block (default 512)",
     [](SRenderOptions& o, const std::string& t) {
         if (!toInt(t, o.blockSize) || o.blockSize < kMinBlockSize || o.blockSize > kMaxBlockSize)
             return outOfRange("block size", t, "1..65536 frames");
         return std::string();
     }},
    {"--tempo", "BPM", "constant tempo instead of the MIDI file's tempo map (default 120)",
     [](SRenderOptions& o, const std::string& t) {
         if (!toDouble(t, o.tempo) || o.tempo < kMinTempo || o.tempo > kMaxTempo)
             return outOfRange("tempo", t, "10..999 BPM");
         return std::string();
     }},
    {"--set", "ID=VALUE", "set plug-in parameter ID to VALUE (0..1) before rendering; repeatable",
     [](SRenderOptions& o, const std::string& t) {
         const size_t eq = t.find('=');
         SRenderOptions::SParameterSet s{0, 0.0f};
         double value = 0.0;
         if (eq == std::string::npos || !toInt(t.substr(0, eq), s.id) || s.id < 0 ||
             !toDouble(t.substr(eq + 1), value) || value < 0.0 || value > 1.0)
             return outOfRange("parameter setting", t, "ID=VALUE, ID 0 or more, VALUE 0..1");
         s.value = float(value);
         o.sets.push_back(s);
         return std::string();
     }},
    {"--tail", "SECONDS", "time rendered after the last MIDI event (default 1.0)",
     [](SRenderOptions& o, const std::string& t) {
         if (!toDouble(t, o.tailSeconds) || o.tailSeconds < 0.0 || o.tailSeconds > kMaxTailSeconds)
             return outOfRange("tail", t, "0..600 seconds");
         return std::string();
     }},
    {"--oversample", "N",
     "Quellor's voices at N times the rate: 2 for its high-quality mode (default 1, whatever "
     "its settings say)",
     [](SRenderOptions& o, const std::string& t) {
         if (!toInt(t, o.oversample) || o.oversample < 1 || o.oversample > kMaxOversample)
             return outOfRange("oversampling", t, "1 or 2");
         return std::string();
     }},
    {"--midi", "FILE.mid", "Standard MIDI File to play (required)",
     [](SRenderOptions& o, const std::string& t) {
         o.midiPath = t;
         return std::string();
     }},
    {"--out", "FILE.wav", "WAV file to write: stereo, 32-bit float (required)",
     [](SRenderOptions& o, const std::string& t) {
         o.outPath = t;
         return std::string();
     }},
    {"--program", "FILE.qxlprg", "Quellor program file to load before rendering",
     [](SRenderOptions& o, const std::string& t) {
         o.programPath = t;
         return std::string();
     }},
    {"--chunk", "FILE", "bytes to hand to the plug-in as its host chunk before rendering",
     [](SRenderOptions& o, const std::string& t) {
         o.chunkPath = t;
         return std::string();
     }},
    {"--save-chunk", "FILE", "write the plug-in's host chunk after rendering",
     [](SRenderOptions& o, const std::string& t) {
         o.saveChunkPath = t;
         return std::string();
     }},
    {"--bank", "FOLDER", "render every program (.qxlprg) of FOLDER, one WAV each (with --out-dir)",
     [](SRenderOptions& o, const std::string& t) {
         o.bankPath = t;
         return std::string();
     }},
    {"--out-dir", "DIR", "folder for --bank's WAV files, named after the programs",
     [](SRenderOptions& o, const std::string& t) {
         o.outDir = t;
         return std::string();
     }},
    {"--help", nullptr, "show this text",
     [](SRenderOptions& o, const std::string&) {
         o.help = true;
         return std::string();
     }},
};

} // namespace

bool parseRenderOptions(int argc, const char* const* argv, SRenderOptions& options,
                        std::string& error) {
    options = SRenderOptions();
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool inlineValue = false;
        // Both "--rate 48000" and "--rate=48000" are accepted.
        const size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            inlineValue = true;
        }
        const SOptionRow* row = nullptr;
        for (const SOptionRow& r : kOptions)
            if (arg == r.name) row = &r;
        if (row == nullptr) {
            error = "unknown option \"" + arg + "\" (see --help)";
            return false;
        }
        if (row->valueName == nullptr && inlineValue) {
            error = "option " + arg + " takes no value";
            return false;
        }
        if (row->valueName != nullptr && !inlineValue) {
            if (i + 1 >= argc) {
                error = "option " + arg + " needs " + row->valueName;
                return false;
            }
            value = argv[++i];
        }
        error = row->setter(options, value);
        if (!error.empty()) return false;
    }
    if (options.help) return true;
    if (options.midiPath.empty()) {
        error = "no MIDI file given (--midi FILE.mid)";
        return false;
    }
    if (!options.bankPath.empty()) {
        if (options.outDir.empty()) {
            error = "--bank needs a folder for its WAV files (--out-dir DIR)";
            return false;
        }
        if (!options.outPath.empty() || !options.programPath.empty() ||
            !options.chunkPath.empty() || !options.saveChunkPath.empty()) {
            error = "--bank renders the folder's programs; it takes no --out, --program or chunk";
            return false;
        }
        return true;
    }
    if (!options.outDir.empty()) {
        error = "--out-dir goes with --bank FOLDER";
        return false;
    }
    if (options.outPath.empty()) {
        error = "no output file given (--out FILE.wav)";
        return false;
    }
    return true;
}

std::string renderUsage() {
    std::string text =
        "usage: quellor-render [options] --midi FILE.mid --out FILE.wav\n"
        "       quellor-render [options] --midi FILE.mid --bank FOLDER --out-dir DIR\n"
        "Plays a MIDI file through a VST 2.4 instrument and writes a WAV file.\n\n";
    for (const SOptionRow& r : kOptions) {
        std::string left = std::string("  ") + r.name;
        if (r.valueName) left += std::string(" ") + r.valueName;
        if (left.size() < 22)
            left.resize(22, ' ');
        else
            left += "  ";
        text += left + r.help + "\n";
    }
    return text;
}
