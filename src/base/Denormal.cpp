#include "base/Denormal.h"

#if defined(__SSE__) || defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#define QUELLOR_HAS_MXCSR 1
#endif

namespace {
// MXCSR bits: flush-to-zero (15) and denormals-are-zero (6).
constexpr unsigned int kFlushToZero = 0x8000u;
constexpr unsigned int kDenormalsAreZero = 0x0040u;
} // namespace

CDenormalGuard::CDenormalGuard() {
#ifdef QUELLOR_HAS_MXCSR
    savedMode = _mm_getcsr();
    _mm_setcsr(savedMode | kFlushToZero | kDenormalsAreZero);
#endif
}

CDenormalGuard::~CDenormalGuard() {
#ifdef QUELLOR_HAS_MXCSR
    _mm_setcsr(savedMode);
#endif
}
