// What the processor can run, found once for the process. Every vectorised
// kernel is chosen from the tier here, by the run that uses it: an export
// takes the detected tier, a test any tier up to it.
#pragma once

#include <cstdint>

// 32-bit Windows callers keep the stack 4-byte aligned; a function that
// spills an SSE register needs 16.
#if defined(__i386__) && defined(__SSE2__)
#define KEST_ALIGN_STACK __attribute__((force_align_arg_pointer))
#else
#define KEST_ALIGN_STACK
#endif

namespace kest {

enum class SimdTier : int32_t {
    Plain = 0,   // no vector code
    Sse2 = 1,    // every x86 build: the 32-bit module is built for SSE2
    Avx2 = 2,    // x86-64 only
    Avx512 = 3,  // x86-64 with AVX-512 F, BW and VBMI (byte permutes)
};

// The widest tier this build and this processor both run.
SimdTier DetectedSimdTier();

}  // namespace kest
