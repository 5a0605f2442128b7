#include "quellor-render/MidiFile.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace {

uint32_t readBig32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
uint16_t readBig16(const uint8_t* p) {
    return uint16_t((p[0] << 8) | p[1]);
}

std::string hexOffset(size_t offset) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%zx", offset);
    return text;
}

// Variable-length quantity: at most four bytes, seven bits each, high bit = more.
bool readVarLen(const uint8_t* data, size_t size, size_t& pos, uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
        if (pos >= size) return false;
        const uint8_t b = data[pos++];
        value = (value << 7) | (b & 0x7f);
        if (!(b & 0x80)) return true;
    }
    return false; // a fifth byte would be needed: not a valid quantity
}

// Data bytes that follow a channel status (0x80..0xef).
int channelDataBytes(uint8_t status) {
    const uint8_t kind = status & 0xf0;
    return (kind == 0xc0 || kind == 0xd0) ? 1 : 2;
}

constexpr uint8_t kMetaStatus = 0xff;
constexpr uint8_t kSysexStatus = 0xf0;
constexpr uint8_t kSysexEscape = 0xf7;
constexpr uint8_t kMetaEndOfTrack = 0x2f;
constexpr uint8_t kMetaTempo = 0x51;
constexpr size_t kChunkHeadBytes = 8;
constexpr size_t kHeaderBytes = 6;

} // namespace

void CMidiFile::clear() {
    mFormat = 0;
    mTicksPerQuarter = 96;
    mEvents.clear();
    mTempoMap = CTempoMap();
    mEndTick = 0;
    mEndSeconds = 0.0;
}

bool CMidiFile::load(const std::string& path, std::string& error) {
    clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open MIDI file \"" + path + "\"";
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff length = in.tellg();
    if (length < 0) {
        error = "cannot read MIDI file \"" + path + "\"";
        return false;
    }
    if (uint64_t(length) > kMaxFileBytes) {
        error = "\"" + path + "\" is too large for a MIDI file";
        return false;
    }
    in.seekg(0, std::ios::beg);
    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    if (length > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), length)) {
        error = "cannot read MIDI file \"" + path + "\"";
        return false;
    }
    std::string why;
    if (!parse(bytes.data(), bytes.size(), why)) {
        error = "\"" + path + "\" is not a usable MIDI file: " + why;
        return false;
    }
    return true;
}

bool CMidiFile::parse(const uint8_t* data, size_t size, std::string& error) {
    clear();
    if (data == nullptr) size = 0;
    if (size < kChunkHeadBytes + kHeaderBytes || std::string(data, data + 4) != "MThd") {
        error = "no MIDI file header (MThd)";
        return false;
    }
    const uint32_t headerLength = readBig32(data + 4);
    if (headerLength < kHeaderBytes || headerLength > size - kChunkHeadBytes) {
        error = "header chunk length " + std::to_string(headerLength) + " is wrong";
        return false;
    }
    const uint16_t format = readBig16(data + 8);
    const uint16_t trackCount = readBig16(data + 10);
    const uint16_t division = readBig16(data + 12);
    if (format > 1) {
        error = "format " + std::to_string(format) + " is not supported (only 0 and 1)";
        return false;
    }
    if (format == 0 && trackCount != 1) {
        error =
            "a format 0 file must hold one track, this one declares " + std::to_string(trackCount);
        return false;
    }
    if (division & 0x8000) {
        error = "SMPTE time division is not supported (only pulses per quarter note)";
        return false;
    }
    if (division == 0) {
        error = "time division is zero";
        return false;
    }

    std::vector<STempoChange> tempos;
    size_t pos = kChunkHeadBytes + headerLength;
    uint16_t tracksRead = 0;
    while (tracksRead < trackCount) {
        if (size - pos < kChunkHeadBytes) {
            error = "file ends after " + std::to_string(tracksRead) + " of " +
                    std::to_string(trackCount) + " tracks";
            clear();
            return false;
        }
        const bool isTrack = std::string(data + pos, data + pos + 4) == "MTrk";
        const uint32_t length = readBig32(data + pos + 4);
        const size_t bodyAt = pos + kChunkHeadBytes;
        if (length > size - bodyAt) {
            error = "chunk at " + hexOffset(pos) + " declares " + std::to_string(length) +
                    " bytes, only " + std::to_string(size - bodyAt) + " remain";
            clear();
            return false;
        }
        // Chunks of other types are allowed by the format and skipped.
        if (isTrack) {
            if (!parseTrack(data + bodyAt, length, tracksRead, tempos, error)) {
                error = "track " + std::to_string(tracksRead + 1) + " (at " + hexOffset(pos) +
                        "): " + error;
                clear();
                return false;
            }
            ++tracksRead;
        }
        pos = bodyAt + length;
    }

    mFormat = format;
    mTicksPerQuarter = division;
    // Same tick: the earlier track first, then file order (stable).
    std::stable_sort(mEvents.begin(), mEvents.end(),
                     [](const SEvent& a, const SEvent& b) { return a.tick < b.tick; });
    std::stable_sort(tempos.begin(), tempos.end(),
                     [](const STempoChange& a, const STempoChange& b) { return a.tick < b.tick; });
    CTempoMap map(division);
    for (const STempoChange& t : tempos)
        map.addChange(t.tick, 60e6 / t.microsPerQuarter);
    mTempoMap = map;
    retime(mTempoMap);
    return true;
}

bool CMidiFile::parseTrack(const uint8_t* data, size_t size, uint16_t track,
                           std::vector<STempoChange>& tempos, std::string& error) {
    size_t pos = 0;
    uint64_t tick = 0;
    uint8_t runningStatus = 0;
    while (pos < size) {
        uint32_t delta = 0;
        if (!readVarLen(data, size, pos, delta)) {
            error = "bad or cut delta time at byte " + std::to_string(pos);
            return false;
        }
        tick += delta;
        if (pos >= size) {
            error = "track ends after a delta time, without its event";
            return false;
        }
        // Meta and system exclusive events leave the running status alone: a
        // well-formed file never relies on it there, and sloppy writers that do
        // still play as meant.
        uint8_t status = data[pos];
        if (status & 0x80) {
            ++pos;
        } else if (runningStatus != 0) {
            status = runningStatus; // running status: this byte is already data
        } else {
            error = "data byte without a status at byte " + std::to_string(pos);
            return false;
        }

        if (status == kMetaStatus) {
            if (pos >= size) {
                error = "meta event cut short";
                return false;
            }
            const uint8_t type = data[pos++];
            uint32_t length = 0;
            if (!readVarLen(data, size, pos, length) || length > size - pos) {
                error = "meta event length runs past the track end";
                return false;
            }
            if (type == kMetaTempo) {
                if (length != 3) {
                    error = "tempo event with " + std::to_string(length) + " bytes instead of 3";
                    return false;
                }
                const uint32_t micros =
                    (uint32_t(data[pos]) << 16) | (uint32_t(data[pos + 1]) << 8) | data[pos + 2];
                if (micros == 0) {
                    error = "tempo of zero microseconds per quarter note";
                    return false;
                }
                tempos.push_back({tick, micros});
            }
            pos += length;
            mEndTick = std::max(mEndTick, tick);
            if (type == kMetaEndOfTrack) return true; // anything after the end of track is ignored
        } else if (status == kSysexStatus || status == kSysexEscape) {
            uint32_t length = 0;
            if (!readVarLen(data, size, pos, length) || length > size - pos) {
                error = "system exclusive length runs past the track end";
                return false;
            }
            pos += length; // not passed on to the plug-in
        } else if (status >= 0xf0) {
            error = "status byte " + hexOffset(status) + " cannot appear in a MIDI file";
            return false;
        } else {
            runningStatus = status;
            const int dataBytes = channelDataBytes(status);
            if (size_t(dataBytes) > size - pos) {
                error = "channel message cut short";
                return false;
            }
            SEvent e;
            e.tick = tick;
            e.track = track;
            e.size = uint8_t(1 + dataBytes);
            e.bytes[0] = status;
            for (int i = 0; i < dataBytes; ++i) {
                const uint8_t b = data[pos++];
                if (b & 0x80) {
                    error =
                        "status byte where a data byte belongs at byte " + std::to_string(pos - 1);
                    return false;
                }
                e.bytes[1 + i] = b;
            }
            mEvents.push_back(e);
            mEndTick = std::max(mEndTick, tick);
        }
    }
    // A track without its end-of-track event is tolerated: it ends with its data.
    return true;
}

void CMidiFile::retime(const CTempoMap& map) {
    for (SEvent& e : mEvents)
        e.seconds = map.secondsAtTick(e.tick);
    mEndSeconds = map.secondsAtTick(mEndTick);
}
