// A microtuning in the Scala formats: a scale (.scl: a description, a count
// and that many pitches above the first note, as cents or ratios, the last one
// the period) laid on the keys by a keyboard mapping (.kbm: the keys retuned,
// the key of degree 0, a reference key and its frequency, the degree that
// repeats the pattern, and which degree each key of the pattern plays, "x"
// for none). Without a mapping, degree 0 sits on key 60 at middle C's
// equal-tempered 261.6256 Hz and the scale runs up and down from there.
//
// Keys that the mapping leaves out or unmapped keep their equal-tempered
// pitch: the program's table retunes keys, it cannot silence them.
//
// A read that fails leaves the scale or mapping as it was and says why in
// errorText().
//
// Thread: user interface (file I/O); the voices only see the ratio table that
// the program keeps, never this object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CScalaTuning {
public:
    static constexpr int32_t kKeyCount = 128;
    // More notes or mapping entries than any musical scale uses.
    static constexpr int32_t kMaxEntries = 4096;
    // Larger files are not tunings.
    static constexpr size_t kMaxFileBytes = 1024 * 1024;
    // Middle C in equal temperament, where an unmapped scale starts.
    static constexpr double kMiddleCHz = 261.6255653005986;
    static constexpr int32_t kMiddleCKey = 60;

    CScalaTuning();

    bool readScale(const char* fileName);
    bool parseScale(const char* text, size_t length);
    bool readMapping(const char* fileName);
    bool parseMapping(const char* text, size_t length);

    // The frequency of every key in Hz; false (and the message) when the
    // scale and mapping give a key no finite, positive frequency, or when no
    // scale was read.
    bool frequencies(double hz[kKeyCount]);
    // frequency / equal-tempered frequency per key, the program's table.
    bool ratios(double ratio[kKeyCount]);

    const char* errorText() const { return error.c_str(); }
    const std::string& description() const { return scaleDescription; }
    int32_t noteCount() const { return int32_t(pitches.size()); }

private:
    struct Mapping {
        int32_t size = 0; // 0: every key the next degree
        int32_t firstKey = 0;
        int32_t lastKey = kKeyCount - 1;
        int32_t middleKey = kMiddleCKey;
        int32_t referenceKey = kMiddleCKey;
        double referenceHz = kMiddleCHz;
        int32_t octaveDegree = 0;     // 0: the scale's own period
        std::vector<int32_t> degrees; // kUnmapped for "x"; fewer than size: the rest unmapped
    };
    static constexpr int32_t kUnmapped = INT32_MIN;

    bool readWhole(const char* fileName, std::string& text);
    bool fail(std::string message);
    // Cents of a degree of the scale, any degree, from the period's repeats.
    double degreeCents(int64_t degree) const;
    // Cents of a key above degree 0; false for a key the mapping leaves out.
    bool keyCents(int32_t key, bool withinRange, double& cents) const;

    std::vector<double> pitches; // cents of degrees 1..n; the last is the period
    std::string scaleDescription;
    Mapping mapping;
    std::string error;
};
