#include "quellor-program/ScalaForms.h"

#include "patch/CTuningMap.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

// Two pitches this close in cents are the same pitch.
constexpr double kSameCents = 1e-6;
// The key whose octave (or period) the scale's degree 0 is put nearest below.
constexpr int kMiddleKey = 60;
constexpr const char* kTunHeader = "; AnaMark";

// The fewest notes after which the map repeats itself, shifted by a fixed
// number of cents; 0 when it never does.
int periodOf(const CTuningMap& map) {
    for (int h = 1; h < CTuningMap::kNoteCount; ++h) {
        const double step = map.cents(h) - map.cents(0);
        bool repeats = true;
        for (int n = 0; repeats && n + h < CTuningMap::kNoteCount; ++n)
            repeats = std::fabs(map.cents(n + h) - map.cents(n) - step) < kSameCents;
        if (repeats) return h;
    }
    return 0;
}

// The first comment of the TUN file after its format line, without the ";".
std::string descriptionOf(const std::string& tun) {
    std::ifstream in(tun);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] != ';' || line.compare(0, 9, kTunHeader) == 0) continue;
        const size_t start = line.find_first_not_of("; \t");
        return start == std::string::npos ? std::string() : line.substr(start);
    }
    return std::string();
}

std::string stemOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    const size_t from = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.rfind('.');
    return path.substr(from,
                       dot == std::string::npos || dot < from ? std::string::npos : dot - from);
}

bool writeText(const std::string& path, const std::string& text, std::string& error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) error = "could not write " + path;
    return bool(out);
}

} // namespace

bool writeScalaForms(const std::string& tun, std::string& error) {
    CTuningMap map;
    if (!map.read(tun.c_str())) {
        error = tun + ": " + map.errorText();
        return false;
    }
    const int period = periodOf(map);
    if (period == 0) {
        error = tun + ": the tuning repeats no period, so it has no Scala form";
        return false;
    }
    const std::string base = tun.substr(0, tun.rfind('.'));
    const std::string name = stemOf(tun);
    char number[64];

    std::ostringstream scale;
    scale << "! " << name << ".scl\n!\n" << descriptionOf(tun) << "\n " << period << "\n!\n";
    for (int i = 1; i <= period; ++i) {
        std::snprintf(number, sizeof number, " %.9f\n", map.cents(i) - map.cents(0));
        scale << number;
    }

    // Degree 0 on the period's start at or below middle C, tuned as the TUN file tunes it.
    const int middle = (kMiddleKey / period) * period;
    std::ostringstream mapping;
    mapping << "! " << name << ".kbm: the keys and frequencies of " << name << ".TUN\n"
            << "! Size of the pattern (0: every key the next degree)\n0\n"
            << "! First and last key retuned\n0\n127\n"
            << "! Key of degree 0\n"
            << middle << "\n"
            << "! Reference key and its frequency\n"
            << middle << "\n";
    std::snprintf(number, sizeof number, "%.10f\n", map.frequency(middle));
    mapping << number << "! Degree of the period\n" << period << "\n";

    return writeText(base + ".scl", scale.str(), error) &&
           writeText(base + ".kbm", mapping.str(), error);
}
