#include "patch/CScalaTuning.h"

#include "base/CFileStreamer.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <string_view>

namespace {

constexpr double kConcertA = 440.0;
constexpr int32_t kConcertAKey = 69;
constexpr double kCentsPerOctave = 1200.0;

double equalTempered(int32_t key) {
    return kConcertA * std::pow(2.0, (key - kConcertAKey) / 12.0);
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// The lines of a text one by one, numbered from 1; CR, LF, CR LF and NUL end
// a line.
class LineReader {
public:
    LineReader(const char* text, size_t length) : p(text), end(text + length) {}
    bool next(std::string_view& line) {
        if (p >= end) return false;
        const char* start = p;
        while (p < end && *p != '\r' && *p != '\n' && *p != '\0')
            ++p;
        line = std::string_view(start, size_t(p - start));
        if (p < end && *p == '\r' && p + 1 < end && p[1] == '\n') ++p;
        if (p < end) ++p;
        ++number;
        return true;
    }
    long lineNumber() const { return number; }

private:
    const char* p;
    const char* end;
    long number = 0;
};

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool isComment(std::string_view line) {
    return !line.empty() && line.front() == '!';
}

// What may follow a number on its line: nothing, or a blank and any text.
bool endsNumber(const char* p, const char* end) {
    return p == end || isBlank(*p) || *p == '!';
}

// A whole integer at the start of s (an optional sign, digits), within limit.
bool readInteger(std::string_view s, int64_t limit, int64_t& out) {
    s = trimmed(s);
    const char* p = s.data();
    const char* end = p + s.size();
    if (p < end && *p == '+') ++p;
    int64_t v = 0;
    const auto r = std::from_chars(p, end, v);
    if (r.ec != std::errc() || !endsNumber(r.ptr, end) || v > limit || v < -limit) return false;
    out = v;
    return true;
}

// A pitch line: cents when the number has a point, else a ratio "a/b" or a
// whole number "a" (a/1) of positive integers.
bool readPitch(std::string_view s, double& cents) {
    s = trimmed(s);
    const char* p = s.data();
    const char* end = p + s.size();
    const char* numberEnd = p;
    while (numberEnd < end && !isBlank(*numberEnd) && *numberEnd != '!')
        ++numberEnd;
    if (std::memchr(p, '.', size_t(numberEnd - p))) {
        if (p < numberEnd && *p == '+') ++p;
        double v = 0.0;
        const auto r = std::from_chars(p, numberEnd, v, std::chars_format::fixed);
        if (r.ec != std::errc() || r.ptr != numberEnd || !std::isfinite(v)) return false;
        cents = v;
        return true;
    }
    uint64_t numerator = 0, denominator = 1;
    auto r = std::from_chars(p, numberEnd, numerator);
    if (r.ec != std::errc()) return false;
    if (r.ptr < numberEnd && *r.ptr == '/') {
        r = std::from_chars(r.ptr + 1, numberEnd, denominator);
        if (r.ec != std::errc()) return false;
    }
    if (r.ptr != numberEnd || numerator == 0 || denominator == 0) return false;
    cents = kCentsPerOctave * std::log2(double(numerator) / double(denominator));
    return std::isfinite(cents);
}

int64_t floorDivide(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

} // namespace

CScalaTuning::CScalaTuning() = default;

bool CScalaTuning::fail(std::string message) {
    error = std::move(message);
    return false;
}

bool CScalaTuning::readWhole(const char* fileName, std::string& text) {
    CFileStreamer file;
    if (!fileName || !file.open(fileName, true))
        return fail(std::string("Error opening the file  '") + (fileName ? fileName : "") + "'");
    const int32_t size = file.fileSize();
    if (size < 0 || size_t(size) > kMaxFileBytes)
        return fail("The file is too large to be a tuning: " + std::string(fileName));
    text.resize(size_t(size));
    if (size > 0 && (!file.read(text.data(), size) || file.lastReadCount() != size))
        return fail(std::string("File read error: ") + fileName);
    return true;
}

bool CScalaTuning::readScale(const char* fileName) {
    std::string text;
    return readWhole(fileName, text) && parseScale(text.data(), text.size());
}

bool CScalaTuning::readMapping(const char* fileName) {
    std::string text;
    return readWhole(fileName, text) && parseMapping(text.data(), text.size());
}

bool CScalaTuning::parseScale(const char* text, size_t length) {
    if (length > kMaxFileBytes) return fail("The scale is too large to be a tuning");
    LineReader lines(text, length);
    std::string_view line;
    auto at = [&](const std::string& what) {
        return fail("Scale: " + what + " (line " + std::to_string(lines.lineNumber()) + ")");
    };
    // The description is the first line that is no comment, even an empty one.
    bool haveDescription = false;
    while (!haveDescription && lines.next(line))
        haveDescription = !isComment(line);
    if (!haveDescription) return fail("Scale: the file holds no scale");
    const std::string description(trimmed(line));

    int64_t count = -1;
    while (count < 0 && lines.next(line)) {
        if (isComment(line) || trimmed(line).empty()) continue;
        if (!readInteger(line, INT32_MAX, count) || count < 0)
            return at("the number of notes is not a whole number");
        if (count == 0) return at("a scale needs at least one note");
        if (count > kMaxEntries) return at("more than " + std::to_string(kMaxEntries) + " notes");
    }
    if (count < 0) return fail("Scale: the number of notes is missing");

    std::vector<double> read;
    read.reserve(size_t(count));
    while (int64_t(read.size()) < count && lines.next(line)) {
        if (isComment(line) || trimmed(line).empty()) continue;
        double cents = 0.0;
        if (!readPitch(line, cents))
            return at("'" + std::string(trimmed(line)) + "' is neither cents nor a ratio");
        read.push_back(cents);
    }
    if (int64_t(read.size()) < count)
        return fail("Scale: " + std::to_string(count) + " notes announced, " +
                    std::to_string(read.size()) + " found");
    pitches.swap(read);
    scaleDescription = description;
    error.clear();
    return true;
}

bool CScalaTuning::parseMapping(const char* text, size_t length) {
    if (length > kMaxFileBytes) return fail("The keyboard mapping is too large to be a tuning");
    LineReader lines(text, length);
    std::string_view line;
    auto at = [&](const std::string& what) {
        return fail("Keyboard mapping: " + what + " (line " + std::to_string(lines.lineNumber()) +
                    ")");
    };
    // The header's seven numbers, then the degrees.
    static const char* const kHeader[] = {"the size of the pattern",
                                          "the first key retuned",
                                          "the last key retuned",
                                          "the key of degree 0",
                                          "the reference key",
                                          "the reference frequency",
                                          "the degree that repeats the pattern"};
    Mapping m;
    int32_t* const keys[] = {&m.firstKey, &m.lastKey, &m.middleKey, &m.referenceKey};
    int field = 0;
    while (field < 7 && lines.next(line)) {
        if (isComment(line) || trimmed(line).empty()) continue;
        int64_t v = 0;
        if (field == 5) {
            const std::string_view s = trimmed(line);
            const char* end = s.data() + s.size();
            const char* numberEnd = s.data();
            while (numberEnd < end && !isBlank(*numberEnd) && *numberEnd != '!')
                ++numberEnd;
            double hz = 0.0;
            const auto r = std::from_chars(s.data(), numberEnd, hz);
            if (r.ec != std::errc() || r.ptr != numberEnd || !std::isfinite(hz) || hz <= 0.0)
                return at(std::string(kHeader[field]) + " is not a positive number of hertz");
            m.referenceHz = hz;
        } else if (field == 0 || field == 6) {
            if (!readInteger(line, kMaxEntries, v) || v < 0)
                return at(std::string(kHeader[field]) + " is not a whole number from 0 to " +
                          std::to_string(kMaxEntries));
            (field == 0 ? m.size : m.octaveDegree) = int32_t(v);
        } else {
            if (!readInteger(line, kKeyCount - 1, v) || v < 0)
                return at(std::string(kHeader[field]) + " is not a key from 0 to 127");
            *keys[field - 1] = int32_t(v);
        }
        ++field;
    }
    if (field < 7) return fail(std::string("Keyboard mapping: ") + kHeader[field] + " is missing");
    if (m.firstKey > m.lastKey)
        return fail("Keyboard mapping: the first key retuned lies above the last");
    // Entries past the pattern's size are not read; missing ones at its end are unmapped.
    while (int32_t(m.degrees.size()) < m.size && lines.next(line)) {
        if (isComment(line) || trimmed(line).empty()) continue;
        const std::string_view s = trimmed(line);
        if ((s[0] == 'x' || s[0] == 'X') && endsNumber(s.data() + 1, s.data() + s.size())) {
            m.degrees.push_back(kUnmapped);
            continue;
        }
        int64_t degree = 0;
        if (!readInteger(s, kMaxEntries * int64_t(kKeyCount), degree))
            return at("'" + std::string(s) + "' is neither a degree nor x");
        m.degrees.push_back(int32_t(degree));
    }
    mapping = std::move(m);
    error.clear();
    return true;
}

double CScalaTuning::degreeCents(int64_t degree) const {
    const int64_t n = int64_t(pitches.size());
    const int64_t repeats = floorDivide(degree, n);
    const int64_t within = degree - repeats * n;
    return double(repeats) * pitches.back() + (within == 0 ? 0.0 : pitches[size_t(within - 1)]);
}

bool CScalaTuning::keyCents(int32_t key, bool withinRange, double& cents) const {
    if (withinRange && (key < mapping.firstKey || key > mapping.lastKey)) return false;
    const int64_t offset = int64_t(key) - mapping.middleKey;
    if (mapping.size == 0) {
        cents = degreeCents(offset);
        return true;
    }
    const int64_t repeats = floorDivide(offset, mapping.size);
    const int64_t index = offset - repeats * mapping.size;
    if (index >= int64_t(mapping.degrees.size())) return false;
    const int32_t degree = mapping.degrees[size_t(index)];
    if (degree == kUnmapped) return false;
    const int32_t octave = mapping.octaveDegree == 0 ? noteCount() : mapping.octaveDegree;
    cents = double(repeats) * degreeCents(octave) + degreeCents(degree);
    return true;
}

bool CScalaTuning::frequencies(double hz[kKeyCount]) {
    if (pitches.empty()) return fail("No scale was read");
    double referenceCents = 0.0;
    if (!keyCents(mapping.referenceKey, false, referenceCents))
        return fail("Keyboard mapping: the reference key " + std::to_string(mapping.referenceKey) +
                    " plays no degree of the scale");
    for (int32_t key = 0; key < kKeyCount; ++key) {
        double cents = 0.0;
        const double f =
            keyCents(key, true, cents)
                ? mapping.referenceHz * std::pow(2.0, (cents - referenceCents) / kCentsPerOctave)
                : equalTempered(key);
        if (!std::isfinite(f) || f <= 0.0)
            return fail("The scale gives key " + std::to_string(key) + " no usable frequency");
        hz[key] = f;
    }
    error.clear();
    return true;
}

bool CScalaTuning::ratios(double ratio[kKeyCount]) {
    double hz[kKeyCount];
    if (!frequencies(hz)) return false;
    for (int32_t key = 0; key < kKeyCount; ++key) {
        ratio[key] = hz[key] / equalTempered(key);
        if (!std::isfinite(ratio[key]) || ratio[key] <= 0.0)
            return fail("The scale gives key " + std::to_string(key) + " no usable frequency");
    }
    return true;
}
