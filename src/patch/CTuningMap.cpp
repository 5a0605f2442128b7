#include "patch/CTuningMap.h"

#include "base/CFileStreamer.h"

#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

// Note 0 of standard tuning: 440 x 2^(-69/12) Hz.
constexpr double kStandardBase = 8.175798915643707;
constexpr double kConcertA = 440.0;
constexpr int32_t kConcertANote = 69;
// Lines of this many characters or more are refused.
constexpr size_t kMaxLineLength = 510;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

const char* skipSpace(const char* p, const char* end) {
    while (p < end && std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    return p;
}

// The C library's reading of a leading integer (blanks, sign, digits; the rest
// ignored), limited to the int32 range. `found` tells whether digits were there.
long readInteger(const char* p, const char* end, bool* found = nullptr) {
    p = skipSpace(p, end);
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    long long v = 0;
    bool any = false;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        any = true;
        if (v < 100000000000LL) v = v * 10 + (*p - '0');
    }
    if (found) *found = any;
    if (negative) v = -v;
    if (v > INT32_MAX) v = INT32_MAX;
    if (v < INT32_MIN) v = INT32_MIN;
    return long(v);
}

// A leading real number, read the same way whatever the process locale is.
// False when there is none or it is not finite.
bool readReal(const char* p, const char* end, double& out) {
    p = skipSpace(p, end);
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    double v = 0.0;
    const auto r = std::from_chars(p, end, v, std::chars_format::general);
    if (r.ec != std::errc() || !std::isfinite(v)) return false;
    out = negative ? -v : v;
    return true;
}

} // namespace

CTuningMap::CTuningMap() {
    reset();
}

void CTuningMap::reset() {
    for (int32_t n = 0; n < kNoteCount; ++n)
        centsTable[n] = 100.0 * n;
    base = kStandardBase;
    error[0] = '\0';
}

bool CTuningMap::fail(const char* format, long line, int code) {
    std::snprintf(error, sizeof error, format, line, code);
    return false;
}

bool CTuningMap::read(const char* fileName) {
    reset();
    CFileStreamer file;
    if (!fileName || !file.open(fileName, true)) {
        std::snprintf(error, sizeof error, "Error opening the file  '%s'",
                      fileName ? fileName : "");
        return false;
    }
    const int32_t size = file.fileSize();
    std::unique_ptr<char[]> text(new (std::nothrow) char[size_t(size) + 1]);
    if (!text || (size > 0 && (!file.read(text.get(), size) || file.lastReadCount() != size)))
        return fail("File read error (line %ld)", 0);
    return parse(text.get(), size_t(size));
}

bool CTuningMap::parse(const char* text, size_t length) {
    reset();
    enum class Section { None, Quantised, Exact };
    int32_t quantised[kNoteCount];
    for (int32_t n = 0; n < kNoteCount; ++n)
        quantised[n] = 100 * n;
    Section section = Section::None;
    bool foundQuantised = false, foundExact = false;
    int32_t highestExact = -1;
    long lineNumber = 0;
    char line[kMaxLineLength + 1];

    size_t i = 0;
    while (i < length) {
        const size_t start = i;
        while (i < length && text[i] != '\0' && text[i] != '\r' && text[i] != '\n')
            ++i;
        const size_t lineLength = i - start;
        if (i < length) ++i; // the terminator
        if (lineLength == 0) continue;
        ++lineNumber;
        if (lineLength >= kMaxLineLength)
            return fail("Line too int (line %ld, error %d)", lineNumber, 0);
        for (size_t k = 0; k < lineLength; ++k)
            line[k] = char(std::tolower(static_cast<unsigned char>(text[start + k])));

        const char* b = line;
        const char* e = line + lineLength;
        while (b < e && isBlank(*b))
            ++b;
        while (e > b && isBlank(e[-1]))
            --e;
        if (b == e || *b == ';') continue;

        if (*b == '[') {
            if (e[-1] != ']')
                return fail("Syntax error: Section-tag must be the only string in the line! "
                            "(line %ld)",
                            lineNumber);
            const size_t tagLength = size_t(e - b - 1);
            auto is = [&](const char* tag) {
                return tagLength == std::strlen(tag) && std::memcmp(b + 1, tag, tagLength) == 0;
            };
            if (is("tuning]")) {
                section = Section::Quantised;
                foundQuantised = true;
            } else if (is("exact tuning]")) {
                section = Section::Exact;
                foundExact = true;
            } else {
                section = Section::None;
            }
            continue;
        }
        if (section == Section::None) continue;

        const char* eq = static_cast<const char*>(std::memchr(b, '=', size_t(e - b)));
        if (!eq) return fail("Syntax error: '=' missing! (line %ld)", lineNumber);
        const char* keyEnd = eq;
        while (keyEnd > b && isBlank(keyEnd[-1]))
            --keyEnd;
        const char* value = eq + 1;
        while (value < e && isBlank(*value))
            ++value;
        const size_t keyLength = size_t(keyEnd - b);

        if (keyLength >= 4 && std::memcmp(b, "note", 4) == 0) {
            bool found = false;
            const long note = readInteger(b + 4, keyEnd, &found);
            if (!found || note < 0 || note >= kNoteCount) continue;
            if (section == Section::Quantised) {
                quantised[note] = int32_t(readInteger(value, e));
            } else {
                double c;
                if (!readReal(value, e, c)) continue;
                centsTable[note] = c;
                if (note > highestExact) highestExact = int32_t(note);
            }
        } else if (section == Section::Exact && keyLength == 8 &&
                   std::memcmp(b, "basefreq", 8) == 0) {
            double f;
            // A base frequency must be a positive number of hertz.
            if (readReal(value, e, f) && f > 0.0) base = f;
        }
    }

    if (!foundQuantised && !foundExact) return fail("No tuning data found!", lineNumber);
    if (!foundExact) {
        for (int32_t n = 0; n < kNoteCount; ++n)
            centsTable[n] = quantised[n];
    } else if (highestExact >= 0 && highestExact < kNoteCount - 1) {
        // Repeat the notes given with the last one as the period.
        const int32_t h = highestExact;
        const double period = centsTable[h];
        for (int32_t n = h; n < kNoteCount; ++n)
            centsTable[n] = centsTable[n - h] + period;
    }
    return true;
}

double CTuningMap::cents(int32_t note) const {
    if (note < 0 || note >= kNoteCount) return 100.0 * note;
    return centsTable[note];
}

double CTuningMap::frequency(int32_t note) const {
    return base * std::pow(2.0, cents(note) / 1200.0);
}

void CTuningMap::ratios(double ratio[kNoteCount]) const {
    for (int32_t n = 0; n < kNoteCount; ++n) {
        const double equal = kConcertA * std::pow(2.0, (n - kConcertANote) / 12.0);
        const double r = frequency(n) / equal;
        // Cents far outside any audible range would make the ratio overflow.
        ratio[n] = std::isfinite(r) ? r : 1.0;
    }
}
