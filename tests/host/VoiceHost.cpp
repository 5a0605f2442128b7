#include "host/VoiceHost.h"
#include "base/ValueIds.h"
#include "patch/CMemAssembler.h"
#include "patch/ProgramFormat.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr int32_t kBlockFrames = 512;
constexpr int32_t kSettleFrames = 16384;
constexpr double kPi = 3.14159265358979323846;
} // namespace

double bipolar(double amount) {
    return 0.5 + 0.5 * amount;
}

CProgram quietProgram() {
    CProgram p;
    // Master gain x * x * 2 = 1.
    p.setValue(kMasterLevelId, std::sqrt(0.5));
    // Glide immediate, every voice available.
    p.setValue(kGlideFactorId, 0.0);
    p.setValue(kVoiceCountId, 1.0);
    return p;
}

namespace {
void placeOperator(CProgram& p, int op, double mix, double pan, double amplitude) {
    const int32_t base = kOperatorFirstId + kOperatorIdStride * op;
    p.setValue(base + kOperatorEnabledOffset, 1.0);
    p.setValue(base + kOperatorMixOffset, bipolar(mix));
    p.setValue(base + kOperatorPanOffset, bipolar(pan));
    p.setValue(kSelectedOperatorId, (op + 0.5) / kOperatorCount);
    p.setValue(kSelectedAmplitudeId, amplitude);
    // Every note starts its operators at phase 0.
    p.setValue(kSelectedAuxSwitchId, 0.0);
}
} // namespace

void ratioOperator(CProgram& p, int op, double ratio, double mix, double pan, double amplitude) {
    placeOperator(p, op, mix, pan, amplitude);
    p.setValue(kSelectedTuneModeId, 0.0);
    p.setValue(kSelectedCoarseTuneId, ratio);
    p.setValue(kSelectedOffsetHzId, 0.0);
}

void semitoneOperator(CProgram& p, int op, double semitones, double offsetHz) {
    placeOperator(p, op, 1.0, 0.0, 1.0);
    p.setValue(kSelectedTuneModeId, 1.0);
    p.setValue(kSelectedCoarseTuneId, semitones);
    p.setValue(kSelectedOffsetHzId, offsetHz);
}

void fixedOperator(CProgram& p, int op, double hz, double mix, double pan, double amplitude) {
    placeOperator(p, op, mix, pan, amplitude);
    p.setValue(kSelectedTuneModeId, 0.0);
    p.setValue(kSelectedCoarseTuneId, 0.0);
    p.setValue(kSelectedOffsetHzId, hz);
}

std::vector<uint8_t> chunkOf(CProgram& p) {
    CMemAssembler writer;
    if (!saveProgram(p, writer)) return {};
    uint8_t* bytes = nullptr;
    const int32_t n = writer.assemble(bytes);
    return n > 0 ? std::vector<uint8_t>(bytes, bytes + n) : std::vector<uint8_t>();
}

PlayingInstance::PlayingInstance(CProgram& program, double tempo) {
    hostValue.time.tempo = tempo;
    if (!hostValue.open()) return;
    hostValue.start(float(kRate), kBlockFrames);
    ok = setProgram(program);
    // A program load leaves the master gain smoothing toward the new level
    // (0.001 per sample): let it arrive before anything is measured.
    render(kSettleFrames);
    left.clear();
    right.clear();
}

bool PlayingInstance::setProgram(CProgram& program) {
    std::vector<uint8_t> chunk = chunkOf(program);
    return !chunk.empty() &&
           hostValue.dispatch(effSetChunk, 1, VstIntPtr(chunk.size()), chunk.data()) == 1;
}

void PlayingInstance::midi(uint8_t status, uint8_t data1, uint8_t data2) {
    pending.addMidi(status, data1, data2, 0);
}

void PlayingInstance::render(int32_t frames) {
    AEffect* e = hostValue.effect();
    if (!e) return;
    while (frames > 0) {
        const int32_t n = std::min(frames, kBlockFrames);
        hostValue.dispatch(effProcessEvents, 0, 0, pending.record());
        pending = EventList();
        const size_t at = left.size();
        left.resize(at + size_t(n));
        right.resize(at + size_t(n));
        float* out[2] = {left.data() + at, right.data() + at};
        e->processReplacing(e, nullptr, out, n);
        frames -= n;
    }
}

double crossingFrequency(const std::vector<float>& x, size_t begin, size_t end) {
    double first = -1.0, last = -1.0;
    long count = 0;
    end = std::min(end, x.size());
    for (size_t i = begin + 1; i < end; ++i) {
        if (x[i - 1] < 0.0f && x[i] >= 0.0f) {
            const double t = double(i - 1) + x[i - 1] / double(x[i - 1] - x[i]);
            if (first < 0.0) first = t;
            last = t;
            ++count;
        }
    }
    if (count < 2) return 0.0;
    return double(count - 1) * kRate / (last - first);
}

namespace {
// Hann-windowed DFT at one frequency, scaled so a sine of amplitude A gives A.
double windowedAmplitude(const std::vector<float>& x, size_t begin, size_t end, double hz) {
    end = std::min(end, x.size());
    if (end <= begin + 1) return 0.0;
    const size_t n = end - begin;
    double re = 0.0, im = 0.0, windowSum = 0.0;
    const double w = 2.0 * kPi * hz / kRate;
    // Phasor and window by rotation: no trigonometry per sample.
    double c = 1.0, s = 0.0;
    const double dc = std::cos(w), ds = std::sin(w);
    double hc = 1.0, hs = 0.0;
    const double hw = 2.0 * kPi / double(n - 1);
    const double dhc = std::cos(hw), dhs = std::sin(hw);
    for (size_t i = 0; i < n; ++i) {
        const double window = 0.5 - 0.5 * hc;
        re += x[begin + i] * window * c;
        im -= x[begin + i] * window * s;
        windowSum += window;
        const double nc = c * dc - s * ds;
        s = s * dc + c * ds;
        c = nc;
        const double nhc = hc * dhc - hs * dhs;
        hs = hs * dhc + hc * dhs;
        hc = nhc;
    }
    return 2.0 * std::sqrt(re * re + im * im) / windowSum;
}
} // namespace

double amplitudeAt(const std::vector<float>& x, size_t begin, size_t end, double hz) {
    return windowedAmplitude(x, begin, end, hz);
}

double peakFrequency(const std::vector<float>& x, size_t begin, size_t end, double lo, double hi) {
    // Coarse scan, then golden-section refinement around the best point.
    const int steps = 200;
    double best = lo, bestValue = -1.0;
    for (int i = 0; i <= steps; ++i) {
        const double f = lo + (hi - lo) * i / steps;
        const double v = windowedAmplitude(x, begin, end, f);
        if (v > bestValue) {
            bestValue = v;
            best = f;
        }
    }
    const double step = (hi - lo) / steps;
    double a = best - step, b = best + step;
    const double g = (std::sqrt(5.0) - 1.0) / 2.0;
    for (int i = 0; i < 40; ++i) {
        const double c = b - g * (b - a), d = a + g * (b - a);
        if (windowedAmplitude(x, begin, end, c) > windowedAmplitude(x, begin, end, d))
            b = d;
        else
            a = c;
    }
    return 0.5 * (a + b);
}

double rms(const std::vector<float>& x, size_t begin, size_t end) {
    end = std::min(end, x.size());
    if (end <= begin) return 0.0;
    double sum = 0.0;
    for (size_t i = begin; i < end; ++i)
        sum += double(x[i]) * x[i];
    return std::sqrt(sum / double(end - begin));
}

double peak(const std::vector<float>& x, size_t begin, size_t end) {
    end = std::min(end, x.size());
    double m = 0.0;
    for (size_t i = begin; i < end; ++i)
        m = std::max(m, double(std::fabs(x[i])));
    return m;
}

double gainAgainst(const std::vector<float>& x, const std::vector<float>& reference, size_t begin,
                   size_t end) {
    end = std::min({end, x.size(), reference.size()});
    double xy = 0.0, yy = 0.0;
    for (size_t i = begin; i < end; ++i) {
        xy += double(x[i]) * reference[i];
        yy += double(reference[i]) * reference[i];
    }
    return yy > 0.0 ? xy / yy : 0.0;
}

std::vector<double> toneAmplitude(const std::vector<float>& x, double hz) {
    const long period = std::lround(kRate / hz);
    std::vector<double> a(x.size(), 0.0);
    const long n = long(x.size());
    const double w = 2.0 * kPi / double(period);
    std::vector<double> c(static_cast<size_t>(period)), s(static_cast<size_t>(period));
    for (long k = 0; k < period; ++k) {
        c[size_t(k)] = std::cos(w * double(k));
        s[size_t(k)] = std::sin(w * double(k));
    }
    // Running sums of x*cos and x*sin over one period.
    double re = 0.0, im = 0.0;
    for (long i = 0; i < n; ++i) {
        re += x[size_t(i)] * c[size_t(i % period)];
        im += x[size_t(i)] * s[size_t(i % period)];
        if (i >= period) {
            re -= x[size_t(i - period)] * c[size_t((i - period) % period)];
            im -= x[size_t(i - period)] * s[size_t((i - period) % period)];
        }
        const long centre = i - period / 2;
        if (i >= period - 1 && centre >= 0)
            a[size_t(centre)] = 2.0 * std::sqrt(re * re + im * im) / double(period);
    }
    return a;
}

long firstCrossing(const std::vector<double>& a, size_t from, double level, bool rising) {
    for (size_t i = std::max<size_t>(from, 1); i < a.size(); ++i) {
        if (rising && a[i - 1] < level && a[i] >= level) return long(i);
        if (!rising && a[i - 1] > level && a[i] <= level) return long(i);
    }
    return -1;
}

double cents(double hz, double reference) {
    return 1200.0 * std::log2(hz / reference);
}

double noteHz(double note) {
    return 440.0 * std::pow(2.0, (note - 69.0) / 12.0);
}
