#include "host/HostRender.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>

StereoSignal renderThroughHost(VstTestHost& host, int64_t frames, int32_t block,
                               const std::vector<TimedMidi>& events,
                               const std::function<void(int64_t, int32_t)>& beforeBlock) {
    StereoSignal out;
    out.left.assign(size_t(frames), 0.0f);
    out.right.assign(size_t(frames), 0.0f);
    AEffect* e = host.effect();
    size_t next = 0;
    for (int64_t start = 0; start < frames; start += block) {
        const int32_t n = int32_t(std::min<int64_t>(block, frames - start));
        if (beforeBlock) beforeBlock(start, n);
        EventList list;
        while (next < events.size() && events[next].frame < start + n) {
            const TimedMidi& m = events[next++];
            list.addMidi(m.status, m.data1, m.data2,
                         VstInt32(std::max<int64_t>(m.frame - start, 0)));
        }
        host.dispatch(effProcessEvents, 0, 0, list.record());
        float* outputs[2] = {out.left.data() + start, out.right.data() + start};
        e->processReplacing(e, nullptr, outputs, n);
    }
    return out;
}

bool setChunk(VstTestHost& host, std::vector<uint8_t> chunk) {
    return !chunk.empty() &&
           host.dispatch(effSetChunk, 1, VstIntPtr(chunk.size()), chunk.data()) == 1;
}

double rms(const StereoSignal& s, int64_t from, int64_t to) {
    from = std::max<int64_t>(from, 0);
    to = std::min<int64_t>(to, int64_t(s.size()));
    if (to <= from) return 0.0;
    double sum = 0.0;
    for (int64_t i = from; i < to; ++i)
        sum += double(s.left[size_t(i)]) * s.left[size_t(i)] +
               double(s.right[size_t(i)]) * s.right[size_t(i)];
    return std::sqrt(sum / double(2 * (to - from)));
}

float peak(const StereoSignal& s, int64_t from, int64_t to) {
    from = std::max<int64_t>(from, 0);
    to = std::min<int64_t>(to, int64_t(s.size()));
    float p = 0.0f;
    for (int64_t i = from; i < to; ++i)
        p = std::max({p, std::fabs(s.left[size_t(i)]), std::fabs(s.right[size_t(i)])});
    return p;
}

bool allFinite(const StereoSignal& s) {
    for (size_t i = 0; i < s.size(); ++i)
        if (!std::isfinite(s.left[i]) || !std::isfinite(s.right[i])) return false;
    return true;
}

std::vector<int64_t> onsets(const std::vector<float>& x, float threshold, int64_t quiet) {
    std::vector<int64_t> found;
    int64_t below = quiet; // the signal starts out of silence
    for (size_t i = 0; i < x.size(); ++i) {
        if (std::fabs(x[i]) > threshold) {
            if (below >= quiet) found.push_back(int64_t(i));
            below = 0;
        } else {
            ++below;
        }
    }
    return found;
}

double toneLevel(const StereoSignal& s, double hz, double sampleRate, int64_t from, int64_t to) {
    to = std::min<int64_t>(to, int64_t(s.size()));
    if (to <= from) return 0.0;
    const double w = 2.0 * M_PI * hz / sampleRate;
    const double k = 2.0 * std::cos(w);
    double s1 = 0.0, s2 = 0.0;
    for (int64_t i = from; i < to; ++i) {
        const double s0 = s.left[size_t(i)] + k * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - k * s1 * s2;
    return std::sqrt(std::max(power, 0.0)) / double(to - from);
}

double worstStepRatio(const std::vector<float>& x, int64_t from, int64_t to, float floor,
                      int64_t reach, int64_t* at) {
    const int64_t n = int64_t(x.size());
    from = std::max<int64_t>(from, 1);
    to = std::min(to, n);
    // Prefix sums of the step sizes: sums[i] = steps 1..i.
    std::vector<double> sums(size_t(n) + 1, 0.0);
    for (int64_t i = 1; i < n; ++i)
        sums[size_t(i)] = sums[size_t(i - 1)] + std::fabs(double(x[size_t(i)]) - x[size_t(i - 1)]);
    double worst = 0.0;
    for (int64_t i = from; i < to; ++i) {
        const double step = std::fabs(double(x[size_t(i)]) - x[size_t(i - 1)]);
        if (step <= floor) continue;
        const int64_t lo = std::max<int64_t>(i - reach, 1), hi = std::min(i + reach, n - 1);
        const double around = sums[size_t(hi)] - sums[size_t(lo - 1)] - step;
        const double local = around / double(hi - lo);
        const double ratio = step / (local + 1e-9);
        if (ratio > worst) {
            worst = ratio;
            if (at) *at = i;
        }
    }
    return worst;
}

double truePeakDb(const StereoSignal& s, double sampleRate) {
    ebur128_state* st = ebur128_init(2, unsigned(sampleRate), EBUR128_MODE_TRUE_PEAK);
    if (!st) return HUGE_VAL;
    std::vector<float> frames(2 * s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        frames[2 * i] = s.left[i];
        frames[2 * i + 1] = s.right[i];
    }
    ebur128_add_frames_float(st, frames.data(), s.size());
    double peak = 0.0, channel = 0.0;
    for (unsigned c = 0; c < 2; ++c)
        if (ebur128_true_peak(st, c, &channel) == EBUR128_SUCCESS) peak = std::max(peak, channel);
    ebur128_destroy(&st);
    return peak > 0.0 ? 20.0 * std::log10(peak) : -HUGE_VAL;
}
