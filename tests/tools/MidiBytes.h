// Builds Standard MIDI File bytes for the tool tests, one chunk at a time, so
// that each test states exactly the bytes it feeds the reader.
#pragma once

#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

namespace midibytes {

using Bytes = std::vector<uint8_t>;

inline void append(Bytes& to, std::initializer_list<uint8_t> bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

inline void append32(Bytes& to, uint32_t v) {
    append(to, {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
}

inline void appendVarLen(Bytes& to, uint32_t v) {
    Bytes groups{uint8_t(v & 0x7f)};
    while (v >>= 7)
        groups.insert(groups.begin(), uint8_t(0x80 | (v & 0x7f)));
    to.insert(to.end(), groups.begin(), groups.end());
}

// Track body: delta time then raw event bytes (running status is the caller's choice).
struct STrack {
    Bytes body;
    STrack& at(uint32_t delta, std::initializer_list<uint8_t> bytes) {
        appendVarLen(body, delta);
        append(body, bytes);
        return *this;
    }
    STrack& tempo(uint32_t delta, uint32_t microsPerQuarter) {
        return at(delta, {0xff, 0x51, 0x03, uint8_t(microsPerQuarter >> 16),
                          uint8_t(microsPerQuarter >> 8), uint8_t(microsPerQuarter)});
    }
    STrack& end(uint32_t delta = 0) { return at(delta, {0xff, 0x2f, 0x00}); }
};

inline Bytes chunk(const char* type, const Bytes& body) {
    Bytes out(type, type + 4);
    append32(out, uint32_t(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

inline Bytes file(uint16_t format, uint16_t division, const std::vector<STrack>& tracks) {
    Bytes header;
    append(header, {uint8_t(format >> 8), uint8_t(format), uint8_t(tracks.size() >> 8),
                    uint8_t(tracks.size()), uint8_t(division >> 8), uint8_t(division)});
    Bytes out = chunk("MThd", header);
    for (const STrack& t : tracks) {
        const Bytes c = chunk("MTrk", t.body);
        out.insert(out.end(), c.begin(), c.end());
    }
    return out;
}

inline void write(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

} // namespace midibytes
