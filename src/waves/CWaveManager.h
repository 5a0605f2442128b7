// Band-limited wave tables for the eight operators, shared by all voices.
//
// Each operator's wave is a spectrum of 32 harmonics. Its table holds 32
// versions of the wave (levels): level k contains harmonics 1 .. 32 - k, so
// level 0 is the full wave and level 31 the pure fundamental. A level is one
// cycle of 256 segments; segment j holds the four coefficients c0, c1, c2, c3
// of the cubic c0 + c1 d + c2 d^2 + c3 d^3 running from sample j (d = 0) to
// sample j + 1 (d = 1), so a reader needs no neighbour lookups.
//
// Threads: buildWave runs on the caller's thread (editor or host) and rewrites
// a table in place while voices on the audio thread may read it; a voice may
// then hear a mix of old and new coefficients for the length of one rebuild.
#pragma once

#include <cstdint>
#include <memory>

class CWaveManager {
public:
    static constexpr int32_t kOperatorCount = 8;
    static constexpr int32_t kHarmonicCount = 32;
    static constexpr int32_t kLevelCount = 32;
    static constexpr int32_t kSegmentCount = 256;
    static constexpr int32_t kCoefficientsPerSegment = 4;
    static constexpr int32_t kLevelFloats = kSegmentCount * kCoefficientsPerSegment;
    static constexpr int32_t kTableFloats = kLevelCount * kLevelFloats;

    // Main thread: allocates the eight tables and builds each from an all-zero
    // spectrum (silent until the renderer builds them from the program).
    CWaveManager();
    virtual ~CWaveManager();
    CWaveManager(const CWaveManager&) = delete;
    CWaveManager& operator=(const CWaveManager&) = delete;

    // Editor or host thread; allocates scratch memory, not for the audio thread.
    // Rebuilds the table of operatorIndex (ignored outside 0..7) from 32 harmonic
    // amplitudes (linear), 32 harmonic start phases (cycles) and a constant
    // offset every sample starts from. The loudest partial sum is scaled to peak
    // at 0.999, and the same gain applies to every level. Non-finite amplitudes
    // or phases count as 0.
    void buildWave(int32_t operatorIndex, const double* amplitudes, const double* phases,
                   double offset);

    // Audio thread, control tick: no allocation, no locks. The first segment of
    // the level that keeps every harmonic of a wave at frequency (Hz) below the
    // Nyquist frequency of sampleRate (Hz); operatorIndex above 7 uses table 7,
    // below 0 table 0.
    const float* selectTable(int32_t operatorIndex, double frequency, double sampleRate) const;

    // The level that selectTable picks: 0 (all 32 harmonics) .. 31 (fundamental).
    static int32_t levelFor(double frequency, double sampleRate);
    // The first segment of one level (0..31) of an operator's table (index
    // clamped as in selectTable), for callers that keep the level of a held
    // frequency.
    const float* levelTable(int32_t operatorIndex, int32_t level) const {
        return tables[clampIndex(operatorIndex)].get() + level * kLevelFloats;
    }

    // Any thread (editor's wave display): the full wave of table
    // min(operatorIndex, 7) at phase (cycles, 0..1).
    float evaluate(int32_t operatorIndex, double phase) const;

    // The whole table of one operator (kTableFloats floats), for inspection.
    const float* table(int32_t operatorIndex) const {
        return tables[clampIndex(operatorIndex)].get();
    }

private:
    static int32_t clampIndex(int32_t operatorIndex) {
        if (operatorIndex < 0) return 0;
        return operatorIndex < kOperatorCount ? operatorIndex : kOperatorCount - 1;
    }

    std::unique_ptr<float[]> tables[kOperatorCount];
};
