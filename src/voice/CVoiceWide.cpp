// The AVX2 forms of the voice's sample loop (all operators on, with and
// without interpolation). The eight operator lanes run as one vector; the
// rest of the loop is the shared template, compiled here for AVX2. The forms
// are only called when wideLanesAvailable() is true.
#include "voice/CVoice.h"

#include "voice/CFilterPair.h"
#include "voice/CModulationMatrix.h"
#include "voice/COperatorBank.h"
#include "voice/CSampleLayer.h"
#include "voice/CStereoSum.h"

#include <cmath>

#if defined(QUELLOR_HAS_WIDE_LANES)

bool CVoice::wideLanesAvailable() {
    __builtin_cpu_init(); // may run before the library's constructors
    return __builtin_cpu_supports("avx2");
}

// Everything below, up to pop_options, is compiled for AVX2 (without FMA, so
// every product and sum is rounded as in the SSE2 form).
#pragma GCC push_options
#pragma GCC target("avx2")
#include "voice/CModulationMatrixWide.h"
#include "voice/COperatorBankWide.h"
#include "voice/CVoiceSampleLoop.h"

template void CVoice::runSamples<true, true, true>(float*, float*, int32_t);
template void CVoice::runSamples<false, true, true>(float*, float*, int32_t);
#pragma GCC pop_options

#else

bool CVoice::wideLanesAvailable() {
    return false;
}

#endif
