// Band-limited wave tables for the eight operators, shared by all voices.
//
// Each operator's wave is a spectrum of 32 harmonics. Its table holds 32
// versions of the wave (levels): level k contains harmonics 1 .. 32 - k, so
// level 0 is the full wave and level 31 the pure fundamental. A level is one
// cycle of 256 segments; segment j holds the four coefficients c0, c1, c2, c3
// of the cubic c0 + c1 d + c2 d^2 + c3 d^3 running from sample j (d = 0) to
// sample j + 1 (d = 1), so a reader needs no neighbour lookups.
//
// Threads: the voices on the audio thread read the tables (table, levelTable,
// selectTable) and keep pointers into them. An editing thread never writes
// those: it builds a wave into a staging table and hands it over (CHandOver);
// the audio thread copies it into the table the voices read at the start of a
// block (takePublished); an operator's first wave needs no copy, its staging
// table becomes the operator's own (the renderer builds all eight waves while
// it is made, before any voice plays, so no voice holds on to the silent
// table). Until an operator has a wave other than the plain sine, it reads
// the sine table that all instances share, built once per process; a voice
// that holds it when the operator's first own wave arrives takes the new
// table at its next control tick. So no voice ever reads a table halfway
// rebuilt, the
// pointers the voices hold stay valid, and the audio thread never waits for a
// rebuild.
#pragma once

#include "base/CHandOver.h"

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

    // Main thread: every operator silent (reading a table of zeros that all
    // instances share) until the renderer builds its wave from the program.
    CWaveManager();
    virtual ~CWaveManager();
    CWaveManager(const CWaveManager&) = delete;
    CWaveManager& operator=(const CWaveManager&) = delete;

    // ---- editing threads, one at a time (the owner serialises them) ----
    // Waves staged between beginEdit and publish reach the voices together;
    // until then the voices go on with the tables they have. The staging
    // tables of waves the voices have taken are given back here.
    void beginEdit();
    // Allocates scratch memory, not for the audio thread. Builds the wave of
    // operatorIndex (ignored outside 0..7) from 32 harmonic amplitudes (linear),
    // 32 harmonic start phases (cycles) and a constant offset every sample
    // starts from. The loudest partial sum is scaled to peak at 0.999, and the
    // same gain applies to every level. Non-finite amplitudes or phases count as 0.
    void stageWave(int32_t operatorIndex, const double* amplitudes, const double* phases,
                   double offset);
    void publish() { handOver.publish(); }
    // Gives back the staging tables of every wave the voices have taken (a
    // staging table is as large as the table itself, and a wave waits in it
    // only until the next block). A wave still waiting keeps its table.
    void releaseTaken();
    // One wave, staged and handed over.
    void publishWave(int32_t operatorIndex, const double* amplitudes, const double* phases,
                     double offset);

    // Audio thread, or a thread that owns the voices (the renderer's structure
    // lock): the published waves into the tables the voices read. No
    // allocation; never waits. True when there was something to take.
    bool takePublished();

    // One wave built and taken at once: for an owner whose voices do not run
    // meanwhile (construction, tests).
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
        return readable[clampIndex(operatorIndex)] + level * kLevelFloats;
    }

    // Editing thread (the editor's wave display): the full wave of table
    // min(operatorIndex, 7) at phase (cycles, 0..1), as last staged.
    float evaluate(int32_t operatorIndex, double phase) const;

    // The whole table of one operator (kTableFloats floats), for inspection.
    const float* table(int32_t operatorIndex) const { return readable[clampIndex(operatorIndex)]; }

private:
    static int32_t clampIndex(int32_t operatorIndex) {
        if (operatorIndex < 0) return 0;
        return operatorIndex < kOperatorCount ? operatorIndex : kOperatorCount - 1;
    }

    // What the voices read (the audio thread's): each operator's own table
    // once its first wave has arrived, the shared silent table before.
    const float* readable[kOperatorCount];
    std::unique_ptr<float[]> tables[kOperatorCount];
    void dropTakenStaging();

    // The waves staged and not yet taken (the editing thread's; the audio
    // thread's while it takes them; made when a wave is staged, given back
    // once taken), and which of them are new.
    std::unique_ptr<float[]> staged[kOperatorCount];
    uint32_t stagedWaves = 0;
    // Of those, the plain sines staged for operators with no table of their
    // own: they take the shared sine table, which has no staging.
    uint32_t stagedShared = 0;
    const float* sharedSine = nullptr;
    // The full wave (level 0) of each operator as last staged, for evaluate.
    float shapes[kOperatorCount][kLevelFloats] = {};
    CHandOver handOver;
};
