// Reading the voice's matrix node arrays in the sample loop.
//
// Within one sample the node values are written in pieces of 8, 16 or 32
// bytes, depending on which form the matrix routes take, and read back a few
// instructions later. A load that spans two such stores cannot take its value
// from them directly: it waits until both have reached the cache, and the
// sample loop stalls with it. An 8-byte load always lies within one store, so
// pairs of nodes are read as two 8-byte halves.
#pragma once

#include "base/Simd.h"

// Nodes p[0] and p[1].
inline __m128d loadNodePair(const double* p) {
    return _mm_loadh_pd(_mm_load_sd(p), p + 1);
}
