// A microtuning map read from a TUN text file: for each of the 128 MIDI notes
// a pitch in cents above a base frequency. The "[Tuning]" section gives whole
// cents, the "[Exact Tuning]" section real cents and the base frequency (and,
// when it stops below note 127, repeats its notes with the last one as period).
//
// Thread: user interface (file I/O); the voices only see the ratio table that
// the program keeps, never this object.
#pragma once

#include <cstddef>
#include <cstdint>

class CTuningMap {
public:
    static constexpr int32_t kNoteCount = 128;
    static constexpr int32_t kErrorTextSize = 1024;

    CTuningMap();
    virtual ~CTuningMap() = default;

    // Reads the file. On failure errorText() holds the message and the map is
    // at its defaults or partly filled; the caller keeps its previous table.
    bool read(const char* fileName);
    // The same for a text already in memory (`length` bytes, NULs end lines).
    bool parse(const char* text, size_t length);

    // Cents of the note above the base frequency; 100 x note outside 0..127.
    double cents(int32_t note) const;
    double baseFrequency() const { return base; }   // Hz
    double frequency(int32_t note) const;           // Hz
    const char* errorText() const { return error; } // empty after success

    // ratio[n] = frequency(n) / (440 x 2^((n - 69) / 12)), the program's
    // tuning table; 1.0 everywhere is standard tuning.
    void ratios(double ratio[kNoteCount]) const;

private:
    void reset();
    bool fail(const char* format, long line, int code = 0);

    double centsTable[kNoteCount];
    double base;
    char error[kErrorTextSize];
};
