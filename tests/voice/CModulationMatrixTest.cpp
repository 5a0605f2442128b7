// The matrix's per-sample forms (routes one by one, in straight code or a
// loop; dense rows; shifted blocks; the wide loop's picks) against the plain
// sum: every destination adds source x cell over its routed sources in
// ascending order. The forms keep that order, so the sums agree bit for bit.
#include "voice/CModulationMatrix.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <random>
#include <string>

namespace {
constexpr int kNodes = CModulationMatrix::kNodes;
using Mode = CModulationMatrix::Mode;

struct Nodes {
    alignas(16) double in[CModulationMatrix::kPaddedNodes] = {};
    alignas(16) double padded[CModulationMatrix::kOutputPad + kNodes +
                              CModulationMatrix::kOutputPad] = {};
    double* out() { return padded + CModulationMatrix::kOutputPad; }
};

bool routed(double cell) {
    return !(cell > -CModulationMatrix::kRoutingThreshold &&
             cell < CModulationMatrix::kRoutingThreshold);
}

// Node values as the voice has them: operator phase inputs near their base
// phase of 20 cycles, filter inputs what the sample layer added (never -0,
// which a form adding a 0 cell would turn into +0), and outputs that are all
// float samples.
void fillNodes(Nodes& n, std::mt19937& random) {
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int d = 0; d < kNodes; ++d)
        n.in[d] = d < CModulationMatrix::kOperatorNodes ? 20.0 + unit(random) : unit(random);
    for (int s = 0; s < kNodes; ++s)
        n.out()[s] = double(float(unit(random)));
}

#if defined(QUELLOR_HAS_WIDE_LANES)
// The wide loop's propagation of one sample, its registers loaded from and
// stored back to the node arrays.
QUELLOR_WIDE_TARGET void runPicks(const CModulationMatrix& m, Nodes& n) {
    const CModulationMatrix::PickPass pass = m.pickPass();
    __m256d in0 = _mm256_loadu_pd(n.in);
    __m256d in1 = _mm256_loadu_pd(n.in + 4);
    __m128d filterIn = _mm_loadu_pd(n.in + 8);
    const double* out = n.out();
    const __m256 ops = _mm256_set_m128(_mm256_cvtpd_ps(_mm256_loadu_pd(out + 4)),
                                       _mm256_cvtpd_ps(_mm256_loadu_pd(out)));
    const __m128 filters = _mm_cvtpd_ps(_mm_loadu_pd(out + 8));
    pass(in0, in1, filterIn, ops, filters);
    _mm256_storeu_pd(n.in, in0);
    _mm256_storeu_pd(n.in + 4, in1);
    _mm_storeu_pd(n.in + 8, filterIn);
}
#endif

struct Routing {
    const char* name;
    std::function<double(int source, int destination)> cell; // 0: no route
};

double patterned(int s, int d) {
    return 0.05 + 0.09 * s - 0.07 * d; // never 0 on the grid, both signs
}

const Routing kRoutings[] = {
    {"none", [](int, int) { return 0.0; }},
    {"one route", [](int s, int d) { return s == 1 && d == 0 ? 0.6 : 0.0; }},
    {"feedback on every operator",
     [](int s, int d) { return s == d && s < 8 ? patterned(s, d) : 0.0; }},
    {"operator stacks", // shifted blocks: 4..7 into 0..3, feedback, into the filters
     [](int s, int d) {
         return (s == d + 4 && d < 4) || (s == 7 && d == 7) || (s < 4 && d == 8 + s / 2)
                    ? patterned(s, d)
                    : 0.0;
     }},
    {"filters into everything", [](int s, int d) { return s >= 8 ? patterned(s, d) : 0.0; }},
    {"one source to every node", [](int s, int d) { return s == 3 ? patterned(s, d) : 0.0; }},
    {"every node into one", [](int s, int d) { return d == 5 ? patterned(s, d) : 0.0; }},
    {"seventeen routes", // more than the straight code holds when run one by one
     [](int s, int d) { return s * kNodes + d < 17 ? patterned(s, d) : 0.0; }},
    {"every cell", [](int s, int d) { return patterned(s, d); }},
    {"cells at the routing threshold",
     [](int s, int d) {
         const double t = CModulationMatrix::kRoutingThreshold;
         switch ((s + 3 * d) % 5) {
         case 0:
             return t; // routed
         case 1:
             return -t; // routed
         case 2:
             return 0.99 * t; // left out
         case 3:
             return -0.99 * t; // left out
         default:
             return s == d ? -1.0 : 0.0;
         }
     }},
    {"random half", [](int s, int d) {
         static const auto cells = [] {
             std::mt19937 random(12);
             std::uniform_real_distribution<double> unit(-1.0, 1.0);
             std::array<double, kNodes * kNodes> c{};
             for (double& x : c)
                 x = random() % 2 ? unit(random) : 0.0;
             return c;
         }();
         return cells[size_t(s * kNodes + d)];
     }}};

// Runs routing r through the matrix in the given form (picks: the wide
// loop's) for two chunks, the cells' values changed in between (each keeping
// its route, since the forms take the values at each chunk start), and
// compares every destination with the plain sum.
void compareWithThePlainSum(const Routing& r, Mode mode, bool picks) {
    double cells[kNodes][kNodes];
    bool isRouted[kNodes][kNodes];
    int routes = 0;
    for (int s = 0; s < kNodes; ++s)
        for (int d = 0; d < kNodes; ++d) {
            cells[s][d] = r.cell(s, d);
            isRouted[s][d] = routed(cells[s][d]);
            routes += isRouted[s][d];
        }
    const double* rows[kNodes];
    for (int s = 0; s < kNodes; ++s)
        rows[s] = cells[s];
    CModulationMatrix m;
    m.forceMode(mode);
    m.rebuild(rows);
    EXPECT_EQ(m.routeCount(), routes) << r.name;
    if (mode != Mode::kCheapest) {
        EXPECT_EQ(m.currentMode(), mode) << r.name;
    }
    const char* const forms[] = {"one by one", "dense rows", "shifted blocks"};
    const std::string what =
        std::string(r.name) + ", " + (picks ? "picks" : forms[int(m.currentMode())]);
    Nodes n;
    std::mt19937 random(7);
    for (int chunk = 0; chunk < 2; ++chunk) {
        if (chunk == 1)
            for (auto& row : cells)
                for (double& c : row)
                    c *= -1.5;
        m.prepare(n.in, n.out());
        m.preparePicks();
        fillNodes(n, random);
        double expected[kNodes];
        for (int d = 0; d < kNodes; ++d) {
            expected[d] = n.in[d];
            for (int s = 0; s < kNodes; ++s)
                if (isRouted[s][d]) expected[d] += n.out()[s] * cells[s][d];
        }
        if (picks) {
#if defined(QUELLOR_HAS_WIDE_LANES)
            runPicks(m, n);
#endif
        } else {
            m.pass()(n.in, n.out());
        }
        EXPECT_EQ(std::memcmp(n.in, expected, sizeof expected), 0) << what << ", chunk " << chunk;
    }
}

} // namespace

// The first form is the cost model's own choice; then each form forced (the
// routes one by one run in straight code up to 16 routes, in a loop beyond).
TEST(CModulationMatrix, EveryFormGivesThePlainSumInSourceOrder) {
    for (const Routing& r : kRoutings)
        for (Mode mode : {Mode::kCheapest, Mode::kSparse, Mode::kDense, Mode::kBlocks})
            compareWithThePlainSum(r, mode, false);
}

TEST(CModulationMatrix, TheWideLoopsPicksGiveThePlainSumInSourceOrder) {
    if (!wideLanesAvailable()) GTEST_SKIP() << "no 256-bit loop on this processor";
    for (const Routing& r : kRoutings)
        compareWithThePlainSum(r, Mode::kCheapest, true);
}
