#include "base/cpu_features.h"

namespace kest {
namespace {

SimdTier Detect() {
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vbmi"))
        return SimdTier::Avx512;
    if (__builtin_cpu_supports("avx2")) return SimdTier::Avx2;
    return SimdTier::Sse2;
#elif defined(__SSE2__)
    return SimdTier::Sse2;
#else
    return SimdTier::Plain;
#endif
}

}  // namespace

SimdTier DetectedSimdTier() {
    static const SimdTier tier = Detect();
    return tier;
}

}  // namespace kest
