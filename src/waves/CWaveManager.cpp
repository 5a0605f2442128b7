#include "waves/CWaveManager.h"

#include <cmath>
#include <cstring>
#include <new>
#include <utility>

namespace {
// The constant 2 pi used for the harmonic sums.
constexpr double kTwoPi = 6.28318530718;
// Peak below which a spectrum counts as silent; also keeps the gain finite.
constexpr float kMinimumPeak = 0.001f;
// Level the loudest partial sum is scaled to.
constexpr float kTargetPeak = 0.999f;
// Each scratch row repeats its first samples after the cycle so the cubic of
// the last segments can read y[j + 1] and y[j + 2] without wrapping.
constexpr int32_t kGuardSamples = 4;
constexpr int32_t kRowFloats = CWaveManager::kSegmentCount + kGuardSamples;
// Catmull-Rom weights.
constexpr float kHalf = 0.5f;
constexpr float kOneAndHalf = 1.5f;

double finiteOrZero(double x) {
    return std::isfinite(x) ? x : 0.0;
}

// What every operator reads before its first wave arrives; never written.
const float kSilentTable[CWaveManager::kTableFloats] = {};

constexpr int32_t kSineValues = CWaveManager::kHarmonicCount * CWaveManager::kSegmentCount;

// Harmonic n's value at sample r of a cycle with no start phase, the same
// double that the harmonic sum computes for it. Built once per process and
// only read after that, so every instance shares one copy.
const double* harmonicSines() {
    static const std::unique_ptr<double[]> sines = [] {
        std::unique_ptr<double[]> values(new double[kSineValues]);
        for (int32_t q = 0; q < CWaveManager::kHarmonicCount; ++q)
            for (int32_t r = 0; r < CWaveManager::kSegmentCount; ++r)
                values[q * CWaveManager::kSegmentCount + r] =
                    std::sin(kTwoPi * (double(r) / CWaveManager::kSegmentCount * (q + 1) + 0.0));
        return values;
    }();
    return sines.get();
}

// The table of a spectrum (CWaveManager::kTableFloats floats). False when
// there is no memory for the scratch rows.
bool buildTable(float* table, const double* amplitudes, const double* phases, double offset) {
    using W = CWaveManager;
    constexpr int32_t kHarmonicCount = W::kHarmonicCount;
    constexpr int32_t kSegmentCount = W::kSegmentCount;
    constexpr int32_t kLevelCount = W::kLevelCount;
    constexpr int32_t kLevelFloats = W::kLevelFloats;
    std::unique_ptr<float[]> scratch(new (std::nothrow) float[kHarmonicCount * kRowFloats]);
    if (!scratch) return false;
    const double* sines = harmonicSines();

    const float start = float(finiteOrZero(offset));
    float sum[kRowFloats];
    for (float& s : sum)
        s = start;
    float peak = kMinimumPeak;

    // Row q holds the sum of harmonics 1 .. q + 1.
    for (int32_t q = 0; q < kHarmonicCount; ++q) {
        const int32_t n = q + 1;
        const double amplitude = finiteOrZero(amplitudes[q]);
        const double phase = finiteOrZero(phases[q]);
        // A silent harmonic adds exactly nothing (sum + 0 x sine is sum), so
        // its row repeats the one before.
        if (amplitude != 0.0 && phase == 0.0) {
            const double* sine = sines + q * kSegmentCount;
            for (int32_t r = 0; r < kSegmentCount; ++r) {
                sum[r] = float(sum[r] + sine[r] * amplitude);
                if (std::fabs(sum[r]) > peak) peak = std::fabs(sum[r]);
            }
        } else if (amplitude != 0.0) {
            for (int32_t r = 0; r < kSegmentCount; ++r) {
                const double angle = kTwoPi * (double(r) / kSegmentCount * n + phase);
                sum[r] = float(sum[r] + std::sin(angle) * amplitude);
                if (std::fabs(sum[r]) > peak) peak = std::fabs(sum[r]);
            }
        }
        for (int32_t g = 0; g < kGuardSamples; ++g)
            sum[kSegmentCount + g] = sum[g];
        std::memcpy(&scratch[q * kRowFloats], sum, sizeof sum);
    }

    const float gain = kTargetPeak / peak;
    for (int32_t i = 0; i < kHarmonicCount * kRowFloats; ++i)
        scratch[i] *= gain;

    // Row q (harmonics 1 .. q + 1) becomes level 31 - q. A row that a silent
    // harmonic left equal to the one before gives the same coefficients.
    for (int32_t q = 0; q < kHarmonicCount; ++q) {
        const float* row = &scratch[q * kRowFloats];
        float* level = table + (kLevelCount - 1 - q) * kLevelFloats;
        if (q > 0 && !(finiteOrZero(amplitudes[q]) != 0.0)) {
            std::memcpy(level, level + kLevelFloats, sizeof(float) * kLevelFloats);
            continue;
        }
        for (int32_t j = 0; j < kSegmentCount; ++j) {
            const float yPrev = row[j == 0 ? kSegmentCount - 1 : j - 1];
            const float y0 = row[j];
            const float y1 = row[j + 1];
            const float y2 = row[j + 2];
            const float c0 = y0;
            const float c1 = (y1 - yPrev) * kHalf;
            const float c3 = (y0 - y1) * kOneAndHalf + (y2 - yPrev) * kHalf;
            const float c2 = yPrev - y0 + c1 - c3;
            float* segment = level + j * W::kCoefficientsPerSegment;
            segment[0] = c0;
            segment[1] = c1;
            segment[2] = c2;
            segment[3] = c3;
        }
    }
    return true;
}

// The spectrum of the plain sine: the fundamental alone at full amplitude,
// no start phase and no offset, exactly as a new operator's wave.
bool isPlainSine(const double* amplitudes, const double* phases, double offset) {
    if (!(finiteOrZero(amplitudes[0]) == 1.0) || finiteOrZero(phases[0]) != 0.0 ||
        finiteOrZero(offset) != 0.0)
        return false;
    for (int32_t q = 1; q < CWaveManager::kHarmonicCount; ++q)
        if (finiteOrZero(amplitudes[q]) != 0.0) return false;
    return true;
}

// The plain sine's table, built once per process by the same arithmetic as
// every other table and only read after that.
const float* sharedSineTable() {
    static const std::unique_ptr<float[]> table = [] {
        std::unique_ptr<float[]> t(new float[CWaveManager::kTableFloats]);
        double amplitudes[CWaveManager::kHarmonicCount] = {1.0};
        double phases[CWaveManager::kHarmonicCount] = {};
        if (!buildTable(t.get(), amplitudes, phases, 0.0))
            std::memset(t.get(), 0, sizeof(float) * CWaveManager::kTableFloats);
        return t;
    }();
    return table.get();
}
} // namespace

CWaveManager::CWaveManager() {
    // A silent spectrum builds a table of zeros: until its first wave arrives,
    // every operator reads the one silent table all instances share.
    for (const float*& t : readable)
        t = kSilentTable;
}

CWaveManager::~CWaveManager() = default;

void CWaveManager::beginEdit() {
    handOver.beginWrite();
    dropTakenStaging();
}

void CWaveManager::releaseTaken() {
    handOver.beginWrite();
    dropTakenStaging();
    if (stagedWaves)
        handOver.publish();
    else
        handOver.withdraw();
}

void CWaveManager::dropTakenStaging() {
    for (int32_t i = 0; i < kOperatorCount; ++i)
        if (!(stagedWaves & (1u << i)) || (stagedShared & (1u << i))) staged[i].reset();
}

void CWaveManager::buildWave(int32_t operatorIndex, const double* amplitudes, const double* phases,
                             double offset) {
    publishWave(operatorIndex, amplitudes, phases, offset);
    takePublished();
}

void CWaveManager::publishWave(int32_t operatorIndex, const double* amplitudes,
                               const double* phases, double offset) {
    beginEdit();
    stageWave(operatorIndex, amplitudes, phases, offset);
    publish();
}

bool CWaveManager::takePublished() {
    if (!handOver.tryBeginRead()) return false;
    for (int32_t i = 0; i < kOperatorCount; ++i) {
        if (!(stagedWaves & (1u << i))) continue;
        if (stagedShared & (1u << i)) {
            // Staged only while the operator had no table of its own.
            readable[i] = sharedSine;
        } else if (tables[i]) {
            // In place: the pointers the voices hold stay valid.
            std::memcpy(tables[i].get(), staged[i].get(), sizeof(float) * kTableFloats);
        } else {
            // The operator's first wave: its staging table becomes its table
            // (no copy, nothing freed); the voices leave the silent table at
            // their next table choice.
            tables[i] = std::move(staged[i]);
            readable[i] = tables[i].get();
        }
    }
    stagedWaves = 0;
    stagedShared = 0;
    handOver.endRead();
    return true;
}

void CWaveManager::stageWave(int32_t operatorIndex, const double* amplitudes, const double* phases,
                             double offset) {
    if (operatorIndex < 0 || operatorIndex >= kOperatorCount || !amplitudes || !phases) return;
    const uint32_t bit = 1u << operatorIndex;
    // An operator that has no table of its own yet takes the sine from the
    // table every instance shares: most operators of most programs start as
    // a sine, and an instance then builds and holds none of them. An
    // operator that has its own table keeps it (the voices hold pointers
    // into it), and the sine is copied into it as any other wave.
    if (!tables[operatorIndex] && isPlainSine(amplitudes, phases, offset)) {
        sharedSine = sharedSineTable(); // built here, never on the audio thread
        std::memcpy(shapes[operatorIndex], sharedSine, sizeof shapes[operatorIndex]);
        stagedShared |= bit;
        stagedWaves |= bit;
        return;
    }
    if (!staged[operatorIndex]) {
        staged[operatorIndex].reset(new (std::nothrow) float[kTableFloats]);
        if (!staged[operatorIndex]) return;
    }
    if (!buildTable(staged[operatorIndex].get(), amplitudes, phases, offset)) return;
    std::memcpy(shapes[operatorIndex], staged[operatorIndex].get(), sizeof shapes[operatorIndex]);
    stagedShared &= ~bit;
    stagedWaves |= bit;
}

int32_t CWaveManager::levelFor(double frequency, double sampleRate) {
    // Up to sampleRate / 256 every one of the 32 harmonics lies below Nyquist.
    constexpr double kFullWaveDivisor = 256.0;
    // Written so that a NaN frequency also takes the full wave.
    if (!(frequency > sampleRate / kFullWaveDivisor)) return 0;
    const double harmonicsBelowNyquist = sampleRate / (2.0 * frequency);
    if (!(harmonicsBelowNyquist < kLevelCount)) return 0; // also NaN
    if (harmonicsBelowNyquist < 1.0) return kLevelCount - 1;
    const int32_t level = kLevelCount - int32_t(harmonicsBelowNyquist);
    if (level < 0) return 0;
    return level > kLevelCount - 1 ? kLevelCount - 1 : level;
}

const float* CWaveManager::selectTable(int32_t operatorIndex, double frequency,
                                       double sampleRate) const {
    return levelTable(operatorIndex, levelFor(frequency, sampleRate));
}

float CWaveManager::evaluate(int32_t operatorIndex, double phase) const {
    const double a = phase * kSegmentCount;
    int32_t j = 0;
    if (a >= kSegmentCount - 1)
        j = kSegmentCount - 1;
    else if (a > 0.0)
        j = int32_t(a);
    const float d = float(a - j);
    const float* c = shapes[clampIndex(operatorIndex)] + j * kCoefficientsPerSegment;
    return ((c[3] * d + c[2]) * d + c[1]) * d + c[0];
}
