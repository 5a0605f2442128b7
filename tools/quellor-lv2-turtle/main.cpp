// Writes the LV2 bundle's Turtle files (manifest.ttl, Quellor.ttl) into a
// folder, from the same names the plug-in binary uses: the URIs and port
// numbers of lv2/Lv2Names.h, the host parameters' names, and their values in
// a new program as the ports' defaults. Run by the build.
//
//     quellor-lv2-turtle BUNDLE_FOLDER
#include "base/ValueIds.h"
#include "lv2/Lv2Names.h"
#include "patch/CProgram.h"
#include "patch/ParameterText.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace {

const char* const kPrefixes = "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
                              "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
                              "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
                              "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
                              "@prefix midi: <http://lv2plug.in/ns/ext/midi#> .\n"
                              "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
                              "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
                              "@prefix time: <http://lv2plug.in/ns/ext/time#> .\n"
                              "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
                              "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n\n";

// The plug-in's version as LV2 counts it (an even minor number is a release).
constexpr int kMinorVersion = 2;
constexpr int kMicroVersion = 0;

// A port symbol from a parameter name: "Delay: TimePre" becomes "delay_timepre".
std::string symbolOf(const char* name) {
    std::string symbol;
    for (const char* c = name; *c; ++c) {
        const unsigned char ch = static_cast<unsigned char>(*c);
        if (std::isalnum(ch))
            symbol += char(std::tolower(ch));
        else if (!symbol.empty() && symbol.back() != '_')
            symbol += '_';
    }
    while (!symbol.empty() && symbol.back() == '_')
        symbol.pop_back();
    return symbol;
}

bool isSwitch(int32_t id) {
    for (int32_t s : kHostSwitchIds)
        if (s == id) return true;
    return false;
}

std::string manifest() {
    std::ostringstream out;
    out << kPrefixes;
    out << "<" << lv2names::kPluginUri << ">\n"
        << "    a lv2:Plugin, lv2:InstrumentPlugin ;\n"
        << "    lv2:binary <" << lv2names::kPluginBinary << "> ;\n"
        << "    rdfs:seeAlso <Quellor.ttl> .\n\n";
    out << "<" << lv2names::kUiUri << ">\n"
        << "    a ui:X11UI ;\n"
        << "    ui:binary <" << lv2names::kUiBinary << "> ;\n"
        << "    rdfs:seeAlso <Quellor.ttl> .\n";
    return out.str();
}

std::string pluginDescription() {
    std::unique_ptr<CProgram> program(new CProgram);
    std::ostringstream out;
    out << kPrefixes;
    out << "<" << lv2names::kPluginUri << ">\n"
        << "    a lv2:Plugin, lv2:InstrumentPlugin, doap:Project ;\n"
        << "    doap:name \"Quellor\" ;\n"
        << "    doap:maintainer [ a foaf:Person ; foaf:name \"Tavrino\" ] ;\n"
        << "    rdfs:comment \"Phase-modulation synthesizer: eight operators and two filters "
           "per voice, a sample layer, breakpoint envelopes, chord-following sequencers and "
           "effects.\" ;\n"
        << "    lv2:minorVersion " << kMinorVersion << " ;\n"
        << "    lv2:microVersion " << kMicroVersion << " ;\n"
        << "    lv2:requiredFeature urid:map ;\n"
        << "    lv2:optionalFeature lv2:hardRTCapable ;\n"
        << "    lv2:extensionData state:interface ;\n"
        << "    ui:ui <" << lv2names::kUiUri << "> ;\n";
    out << "    lv2:port [\n"
        << "        a lv2:InputPort, atom:AtomPort ;\n"
        << "        atom:bufferType atom:Sequence ;\n"
        << "        atom:supports midi:MidiEvent, time:Position ;\n"
        << "        lv2:designation lv2:control ;\n"
        << "        lv2:index " << lv2names::kEventsPort << " ;\n"
        << "        lv2:symbol \"events\" ;\n"
        << "        lv2:name \"MIDI In\" ;\n"
        << "    ]";
    // The outputs carry the labels the VST 2.4 plug-in gives its pins.
    const struct {
        uint32_t index;
        const char* symbol;
        const char* name;
    } outputs[] = {{lv2names::kLeftOutPort, "out_left", "Quellor 1"},
                   {lv2names::kRightOutPort, "out_right", "Quellor 2"}};
    for (const auto& o : outputs)
        out << ", [\n"
            << "        a lv2:OutputPort, lv2:AudioPort ;\n"
            << "        lv2:index " << o.index << " ;\n"
            << "        lv2:symbol \"" << o.symbol << "\" ;\n"
            << "        lv2:name \"" << o.name << "\" ;\n"
            << "    ]";
    for (int32_t id = 0; id < kHostParameterCount; ++id) {
        char value[32];
        std::snprintf(value, sizeof value, "%.6f", program->getValue(id, false));
        out << ", [\n"
            << "        a lv2:InputPort, lv2:ControlPort ;\n"
            << "        lv2:index " << lv2names::parameterPort(id) << " ;\n"
            << "        lv2:symbol \"" << symbolOf(hostParameterName(id)) << "\" ;\n"
            << "        lv2:name \"" << hostParameterName(id) << "\" ;\n"
            << "        lv2:default " << value << " ;\n"
            << "        lv2:minimum 0.0 ;\n"
            << "        lv2:maximum 1.0 ;\n";
        if (isSwitch(id)) out << "        lv2:portProperty lv2:toggled ;\n";
        out << "    ]";
    }
    out << ", [\n"
        << "        a lv2:OutputPort, lv2:ControlPort ;\n"
        << "        lv2:index " << lv2names::kLatencyPort << " ;\n"
        << "        lv2:symbol \"latency\" ;\n"
        << "        lv2:name \"Latency\" ;\n"
        << "        lv2:designation lv2:latency ;\n"
        << "        lv2:portProperty lv2:reportsLatency, lv2:integer ;\n"
        << "        lv2:minimum 0 ;\n"
        << "        lv2:maximum 64 ;\n"
        << "    ]";
    out << " .\n\n";
    // The window opens on the instance's own editor, which lives in the
    // plug-in binary: it needs the instance and its extension data.
    out << "<" << lv2names::kUiUri << ">\n"
        << "    a ui:X11UI ;\n"
        << "    ui:binary <" << lv2names::kUiBinary << "> ;\n"
        << "    lv2:requiredFeature ui:parent, ui:idleInterface,\n"
        << "        <http://lv2plug.in/ns/ext/instance-access>,\n"
        << "        <http://lv2plug.in/ns/ext/data-access> ;\n"
        << "    lv2:optionalFeature ui:resize, ui:touch ;\n"
        << "    lv2:extensionData ui:idleInterface .\n";
    return out.str();
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary);
    file << text;
    file.close();
    if (file.good()) return true;
    std::fprintf(stderr, "quellor-lv2-turtle: cannot write %s\n", path.c_str());
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quellor-lv2-turtle BUNDLE_FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    if (!writeFile(folder + "/manifest.ttl", manifest())) return 1;
    if (!writeFile(folder + "/Quellor.ttl", pluginDescription())) return 1;
    return 0;
}
