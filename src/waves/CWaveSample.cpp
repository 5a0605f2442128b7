#include "waves/CWaveSample.h"

#include "base/CFileStreamer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <new>

// Frames are stored one place in, with zero neighbours on both sides.
constexpr int32_t kEdgePadding = 10;

struct CWaveSample::Content {
    int32_t channels = 0;
    int64_t frames = 0;
    double rate = 44100.0;
    int64_t loopStart = 0;
    int64_t loopEnd = 0;
    std::unique_ptr<float[]> data[kMaxChannels];
};

namespace {

enum class Encoding { Int16LE, Int24LE, Int32LE, Float32LE, Int16BE, Int24BE };

constexpr float kScale16 = 1.0f / 32768.0f;
constexpr float kScale24 = 1.0f / 8388607.0f;
constexpr float kScale32 = 1.0f / 2147483648.0f;

bool readId(CFileStreamer& f, char id[4]) {
    std::memset(id, 0, 4);
    return f.read(id, 4) && f.lastReadCount() == 4;
}

bool isId(const char id[4], const char* code) {
    return std::memcmp(id, code, 4) == 0;
}

// The largest float sample taken as sound (120 dB above full scale); a
// larger one, or NaN, can only come from a damaged file and reads as 0. The
// cubic interpolation's terms stay far from the float range below it.
constexpr float kFloatSampleLimit = 1.0e6f;

float decode(const uint8_t* p, Encoding e) {
    switch (e) {
    case Encoding::Int16LE:
        return float(int16_t(uint16_t(p[0] | p[1] << 8))) * kScale16;
    case Encoding::Int16BE:
        return float(int16_t(uint16_t(p[1] | p[0] << 8))) * kScale16;
    case Encoding::Int24LE:
    case Encoding::Int24BE: {
        const bool le = e == Encoding::Int24LE;
        uint32_t u = le ? (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16)
                        : (uint32_t(p[2]) | uint32_t(p[1]) << 8 | uint32_t(p[0]) << 16);
        int32_t v = int32_t(u << 8) >> 8; // sign-extend the 24-bit value
        return float(v) * kScale24;
    }
    case Encoding::Int32LE: {
        uint32_t u =
            uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        return float(int32_t(u)) * kScale32;
    }
    case Encoding::Float32LE: {
        float x;
        std::memcpy(&x, p, 4);
        // A damaged float file must not put NaN or infinity into the voices,
        // nor values so large that interpolating between them overflows.
        return std::fabs(x) <= kFloatSampleLimit ? x : 0.0f;
    }
    }
    return 0.0f;
}

// Reads `frames` interleaved frames of `channels` channels from the file and
// converts them into fresh zero-padded channel buffers. A chunk that ends
// early (the file is shorter than its header says) leaves the rest at 0.
bool readFrames(CFileStreamer& f, CWaveSample::Content& c, int32_t channels, int64_t frames,
                int32_t bytesPerSample, Encoding encoding) {
    for (auto& d : c.data)
        d.reset();
    c.channels = channels;
    c.frames = frames;
    if (frames <= 0) {
        c.frames = 0;
        return true;
    }
    const size_t bufferFloats = size_t(frames) + kEdgePadding;
    for (int32_t ch = 0; ch < channels; ++ch) {
        c.data[ch].reset(new (std::nothrow) float[bufferFloats]());
        if (!c.data[ch]) return false;
    }
    const size_t frameBytes = size_t(channels) * size_t(bytesPerSample);
    const size_t total = size_t(frames) * frameBytes;
    std::unique_ptr<uint8_t[]> raw(new (std::nothrow) uint8_t[total]());
    if (!raw) return false;
    if (!f.read(raw.get(), int32_t(total))) return false;
    const uint8_t* p = raw.get();
    for (int64_t i = 0; i < frames; ++i) {
        for (int32_t ch = 0; ch < channels; ++ch) {
            c.data[ch][size_t(i) + 1] = decode(p, encoding);
            p += bytesPerSample;
        }
    }
    return true;
}
} // namespace

void CWaveSample::take(Content& c) {
    if (c.frames <= 0) {
        for (auto& d : c.data)
            d.reset();
        c.frames = 0;
        c.channels = 0;
    }
    // Clamp the loop into the frames: 0 <= start <= end <= frames.
    if (c.loopStart < 0) c.loopStart = 0;
    if (c.loopEnd > c.frames) c.loopEnd = c.frames;
    if (c.loopEnd < 0) c.loopEnd = 0;
    if (c.loopStart > c.loopEnd) c.loopStart = c.loopEnd;
    channelCount = c.channels;
    frameCount = int32_t(c.frames);
    sampleRateHz = c.rate;
    loopFirst = int32_t(c.loopStart);
    loopAfter = int32_t(c.loopEnd);
    for (int ch = 0; ch < kMaxChannels; ++ch)
        data[ch] = std::move(c.data[ch]);
}

void CWaveSample::release() {
    for (auto& d : data)
        d.reset();
    channelCount = 0;
    frameCount = 0;
    loopFirst = 0;
    loopAfter = 0;
}

// ---- RIFF WAVE ----

bool CWaveSample::readWav(const char* path) {
    constexpr uint32_t kFormatPcm = 1;
    constexpr uint32_t kFormatFloat = 3;
    constexpr uint32_t kFmtMinSize = 16;
    // Fixed sampler header (36 bytes) and the first loop's cue id and type.
    constexpr int32_t kSmplLoopOffset = 44;
    constexpr uint32_t kSmplMinSize = 52;

    CFileStreamer f;
    if (!f.open(path, true)) return false;
    char id[4];
    if (!readId(f, id) || !isId(id, "RIFF")) return false;
    const uint32_t riffSize = f.readInt32LE();
    if (!readId(f, id) || !isId(id, "WAVE")) return false;

    uint32_t formatTag = kFormatPcm, channels = 1, rate = 44100, byteRate = 88200;
    uint32_t blockAlign = 2, bits = 16;
    Content c;
    bool haveData = false;

    // The RIFF size counts the form type and the chunks; it is trusted only as
    // far as the file goes.
    int64_t remaining = std::min<int64_t>(int64_t(riffSize) - 4, f.remaining());
    while (remaining >= 8) {
        if (!readId(f, id)) return false;
        const uint32_t chunkSize = f.readInt32LE();
        const int64_t chunkStart = f.position();
        const int64_t available = std::min<int64_t>(chunkSize, f.fileSize() - chunkStart);
        remaining -= 8;

        if (isId(id, "fmt ")) {
            if (chunkSize < kFmtMinSize || available < kFmtMinSize) return false;
            formatTag = f.readInt16LE();
            channels = f.readInt16LE();
            rate = f.readInt32LE();
            byteRate = f.readInt32LE();
            blockAlign = f.readInt16LE();
            bits = f.readInt16LE();
            const bool pcm = formatTag == kFormatPcm && (bits == 16 || bits == 24 || bits == 32);
            // Float data is read as 32-bit floats only.
            const bool flt = formatTag == kFormatFloat && bits == 32;
            if (!pcm && !flt) return false;
            if (channels < 1 || channels > 2) return false;
            if (blockAlign != channels * bits / 8) return false;
            if (rate == 0) return false;
        } else if (isId(id, "smpl")) {
            if (chunkSize >= kSmplMinSize && available >= kSmplMinSize) {
                if (!f.skip(kSmplLoopOffset)) return false;
                const int64_t start = f.readInt32LE();
                const int64_t end = f.readInt32LE();
                // The loop counts only against the frames known at this point; a
                // later data chunk replaces it.
                c.loopStart = start >= c.frames ? 0 : start;
                c.loopEnd = end > c.frames ? c.frames : end;
            }
        } else if (isId(id, "data")) {
            if (chunkSize % blockAlign != 0) return false;
            if (uint64_t(blockAlign) * rate != byteRate) return false;
            const int64_t frames = std::max<int64_t>(available, 0) / blockAlign;
            Encoding enc = formatTag == kFormatFloat ? Encoding::Float32LE
                           : bits == 16              ? Encoding::Int16LE
                           : bits == 24              ? Encoding::Int24LE
                                                     : Encoding::Int32LE;
            if (!readFrames(f, c, int32_t(channels), frames, int32_t(bits / 8), enc)) return false;
            c.rate = double(rate);
            c.loopStart = 0;
            c.loopEnd = c.frames;
            haveData = true;
        }

        const int64_t padded = int64_t(chunkSize) + (chunkSize & 1u);
        remaining -= padded;
        const int64_t next = chunkStart + padded;
        if (remaining < 8 || next >= f.fileSize()) break;
        if (!f.seek(int32_t(next))) return false;
    }
    if (!haveData) c.rate = double(rate);
    take(c);
    return true;
}

// ---- AIFF ----

bool CWaveSample::readAiff(const char* path) {
    constexpr uint32_t kCommMinSize = 18;
    constexpr uint32_t kInstMinSize = 20;
    constexpr uint32_t kMaxMarkers = 1024;
    // INST: base note, detune, key and velocity ranges, gain, sustain play mode.
    constexpr int32_t kInstSustainOffset = 10;

    CFileStreamer f;
    if (!f.open(path, true)) return false;
    char id[4];
    if (!readId(f, id) || !isId(id, "FORM")) return false;
    const uint32_t formSize = f.readInt32BE();
    // Compressed AIFC forms are not read.
    if (!readId(f, id) || !isId(id, "AIFF")) return false;

    uint32_t channels = 1, bits = 16;
    int64_t frames = 0;
    double rate = 44100.0;
    Content c;
    bool haveSustain = false;
    int16_t sustainBegin = 0, sustainEnd = 0;
    struct Marker {
        int16_t id;
        uint32_t position;
    };
    std::unique_ptr<Marker[]> markers(new (std::nothrow) Marker[kMaxMarkers]);
    if (!markers) return false;
    uint32_t markerCount = 0;

    int64_t remaining = std::min<int64_t>(int64_t(formSize) - 4, f.remaining());
    while (remaining >= 8) {
        if (!readId(f, id)) return false;
        const uint32_t chunkSize = f.readInt32BE();
        const int64_t chunkStart = f.position();
        const int64_t chunkEnd = chunkStart + std::min<int64_t>(chunkSize, f.remaining());
        remaining -= 8;

        if (isId(id, "COMM")) {
            if (chunkSize < kCommMinSize || chunkEnd - chunkStart < kCommMinSize) return false;
            channels = f.readInt16BE();
            frames = f.readInt32BE();
            bits = f.readInt16BE();
            const uint32_t exponent = f.readInt16BE();
            const uint32_t mantissa = f.readInt32BE();
            // The 80-bit extended rate, read through its exponent's low byte
            // (which is the binary exponent minus one for rates of 2..2^31 Hz)
            // and the top 32 bits of the mantissa.
            uint32_t e = exponent & 0xFFu;
            e = std::clamp<uint32_t>(e, 1, 30);
            rate = double(mantissa >> (30 - e));
            if (bits != 16 && bits != 24) return false;
            if (channels < 1 || channels > 2) return false;
            if (rate <= 0.0) return false;
            c.loopStart = 0;
            c.loopEnd = frames;
        } else if (isId(id, "MARK")) {
            uint32_t count = f.readInt16BE();
            count = std::min(count, kMaxMarkers);
            markerCount = 0;
            for (uint32_t i = 0; i < count; ++i) {
                if (f.position() + 7 > chunkEnd) break;
                const int16_t markerId = int16_t(f.readInt16BE());
                const uint32_t position = f.readInt32BE();
                const uint32_t nameLength = f.readByte();
                markers[markerCount++] = Marker{markerId, position};
                // Counted string: length byte, text, pad byte to an even total.
                const int64_t next = f.position() + nameLength + ((nameLength & 1u) ? 0 : 1);
                if (next >= chunkEnd || next >= f.fileSize()) break;
                if (!f.seek(int32_t(next))) return false;
            }
        } else if (isId(id, "INST")) {
            if (chunkSize < kInstMinSize || chunkEnd - chunkStart < kInstMinSize) return false;
            if (!f.skip(kInstSustainOffset)) return false;
            sustainBegin = int16_t(f.readInt16BE());
            sustainEnd = int16_t(f.readInt16BE());
            haveSustain = true;
        } else if (isId(id, "SSND")) {
            const uint32_t offset = f.readInt32BE();
            f.readInt32BE(); // block size: no alignment is used
            const int32_t bytesPerSample = int32_t(bits / 8);
            const uint64_t frameBytes = uint64_t(channels) * uint64_t(bytesPerSample);
            if (uint64_t(chunkSize) < 8 + uint64_t(offset) + uint64_t(frames) * frameBytes)
                return false;
            const int64_t dataStart = f.position() + int64_t(offset);
            // Frames beyond the end of the file are not there to read.
            const int64_t present = std::max<int64_t>(0, f.fileSize() - dataStart);
            const int64_t loaded = std::min<int64_t>(frames, present / int64_t(frameBytes));
            if (loaded > 0 && !f.seek(int32_t(dataStart))) return false;
            const Encoding enc = bits == 16 ? Encoding::Int16BE : Encoding::Int24BE;
            if (!readFrames(f, c, int32_t(channels), loaded, bytesPerSample, enc)) return false;
            c.rate = rate;
        }

        const int64_t padded = int64_t(chunkSize) + (chunkSize & 1u);
        remaining -= padded;
        const int64_t next = chunkStart + padded;
        if (remaining < 8 || next >= f.fileSize()) break;
        if (!f.seek(int32_t(next))) return false;
    }
    c.rate = rate;
    if (haveSustain) {
        // When several markers share an id, the last one in the table wins.
        for (uint32_t i = 0; i < markerCount; ++i) {
            if (markers[i].id == sustainBegin) c.loopStart = markers[i].position;
            if (markers[i].id == sustainEnd) c.loopEnd = markers[i].position;
        }
    }
    take(c);
    return true;
}

// ---- playback ----

float CWaveSample::interpolate(int32_t frame, float fraction, int channel) const {
    if (frameCount <= 0) return 0.0f;
    const int ch = (channel >= 1 && channelCount >= 2) ? 1 : 0;
    const float* b = data[ch].get();
    if (!b) return 0.0f;
    // Buffer indices frame .. frame + 3 must stay within frameCount + 10 floats.
    if (frame < 0) frame = 0;
    if (frame > frameCount + kEdgePadding - 4) frame = frameCount + kEdgePadding - 4;
    const float ym1 = b[frame];
    const float y0 = b[frame + 1];
    const float y1 = b[frame + 2];
    const float y2 = b[frame + 3];
    const float c1 = (y1 - ym1) * 0.5f;
    const float c3 = (y0 - y1) * 1.5f + (y2 - ym1) * 0.5f;
    const float c2 = c1 + ym1 - y0 - c3;
    const float d = fraction;
    return y0 + d * (c1 + d * (c2 + d * c3));
}

// ---- spectrum analysis ----

// The cubic of `interpolate`, with the neighbours taken around the cycle.
float CWaveSample::cyclicInterpolate(int32_t frame, float fraction, int channel) const {
    const float* b = data[channel].get();
    auto at = [&](int32_t k) { return b[((k % frameCount) + frameCount) % frameCount + 1]; };
    const float ym1 = at(frame - 1), y0 = at(frame), y1 = at(frame + 1), y2 = at(frame + 2);
    const float c1 = (y1 - ym1) * 0.5f;
    const float c3 = (y0 - y1) * 1.5f + (y2 - ym1) * 0.5f;
    const float c2 = c1 + ym1 - y0 - c3;
    const float d = fraction;
    return y0 + d * (c1 + d * (c2 + d * c3));
}

void CWaveSample::analyse() {
    constexpr int32_t kBins = 64;
    constexpr int32_t kResolution = 16384; // resampling points per cycle
    constexpr int32_t kPointsPerBin = kResolution / kBins;
    constexpr int32_t kPhaseSteps = 64;
    constexpr double kTwoPi = 6.283185307179586;
    constexpr double kMinCorrelation = 0.00001;

    std::fill(std::begin(amplitudes), std::end(amplitudes), 0.0);
    std::fill(std::begin(phases), std::end(phases), 0.0);
    dcMean = 0.0;
    if (frameCount <= 0) return;

    double bins[kBins] = {};
    for (int32_t ch = 0; ch < channelCount; ++ch) {
        for (int32_t p = 0; p < kResolution; ++p) {
            const double t = double(p) / kResolution * frameCount;
            int32_t i = int32_t(t);
            const double f = t - i;
            i = std::clamp(i, 0, frameCount - 1);
            bins[p / kPointsPerBin] += cyclicInterpolate(i, float(f), ch);
        }
    }
    double sum = 0.0;
    for (double& b : bins) {
        b *= 1.0 / kPointsPerBin;
        sum += b;
    }
    dcMean = sum / kBins;

    double largest = 0.0;
    for (int32_t n = 1; n <= kHarmonicCount; ++n) {
        double bestCorrelation = 0.0;
        float bestEnergy = 0.0f;
        int32_t bestStep = 0;
        for (int32_t k = 0; k < kPhaseSteps; ++k) {
            float energy = 0.0f;
            double correlation = 0.0;
            for (int32_t j = 0; j < kBins; ++j) {
                const float s =
                    float(std::sin(kTwoPi * (double(k) / kPhaseSteps + double(j) / kBins * n)));
                energy += s * s;
                correlation += s * (bins[j] - dcMean);
            }
            if (correlation > bestCorrelation) {
                bestCorrelation = correlation;
                bestEnergy = energy;
                bestStep = k;
            }
        }
        if (bestCorrelation > kMinCorrelation && bestEnergy > 0.0f) {
            amplitudes[n - 1] = bestCorrelation / bestEnergy;
            phases[n - 1] = double(bestStep) / kPhaseSteps;
        }
        largest = std::max(largest, std::fabs(amplitudes[n - 1]));
    }
    if (largest > 0.0)
        for (double& a : amplitudes)
            a /= largest;
}
