#include "sound/low_pass_filter.h"
#include "sound/low_pass_lanes.h"

// x86-64 only: the 32-bit module runs SSE2 code alone.
#if defined(__x86_64__)
#include <immintrin.h>

namespace kest::LowPassFilter {
namespace {

// The target names AVX2 but not FMA, so the compiler cannot fuse the
// multiply into the add.
__attribute__((target("avx2"))) inline __m256d MaskOf(uint8_t bits) {
    const __m256i lane = _mm256_and_si256(_mm256_set1_epi64x(bits), _mm256_setr_epi64x(1, 2, 4, 8));
    return _mm256_castsi256_pd(_mm256_cmpgt_epi64(lane, _mm256_setzero_si256()));
}

}  // namespace

__attribute__((target("avx2"))) void SumLanesAvx2(const double* h, const double* rows, const int32_t* base,
                                                  const uint8_t* masks, int32_t groups, double* sums) {
    int32_t g = 0;
    for (; g + 4 <= groups; g += 4) {
        const double* p0 = rows + 4 * base[g];
        const double* p1 = rows + 4 * base[g + 1];
        const double* p2 = rows + 4 * base[g + 2];
        const double* p3 = rows + 4 * base[g + 3];
        const __m256d m0 = MaskOf(masks[g]), m1 = MaskOf(masks[g + 1]), m2 = MaskOf(masks[g + 2]),
                      m3 = MaskOf(masks[g + 3]);
        __m256d c0 = _mm256_loadu_pd(p0), c1 = _mm256_loadu_pd(p1), c2 = _mm256_loadu_pd(p2),
                c3 = _mm256_loadu_pd(p3);
        __m256d a0 = _mm256_setzero_pd(), a1 = _mm256_setzero_pd(), a2 = _mm256_setzero_pd(),
                a3 = _mm256_setzero_pd();
        for (int k = 0; k < kTaps; ++k) {
            const __m256d hk = _mm256_broadcast_sd(h + k);
            const int next = 4 * (k + 1);
            const __m256d n0 = _mm256_loadu_pd(p0 + next), n1 = _mm256_loadu_pd(p1 + next),
                          n2 = _mm256_loadu_pd(p2 + next), n3 = _mm256_loadu_pd(p3 + next);
            a0 = _mm256_add_pd(a0, _mm256_mul_pd(_mm256_blendv_pd(c0, n0, m0), hk));
            a1 = _mm256_add_pd(a1, _mm256_mul_pd(_mm256_blendv_pd(c1, n1, m1), hk));
            a2 = _mm256_add_pd(a2, _mm256_mul_pd(_mm256_blendv_pd(c2, n2, m2), hk));
            a3 = _mm256_add_pd(a3, _mm256_mul_pd(_mm256_blendv_pd(c3, n3, m3), hk));
            c0 = n0, c1 = n1, c2 = n2, c3 = n3;
        }
        _mm256_storeu_pd(sums + 4 * g, a0);
        _mm256_storeu_pd(sums + 4 * g + 4, a1);
        _mm256_storeu_pd(sums + 4 * g + 8, a2);
        _mm256_storeu_pd(sums + 4 * g + 12, a3);
    }
    for (; g < groups; ++g) {
        const double* p = rows + 4 * base[g];
        const __m256d m = MaskOf(masks[g]);
        __m256d c = _mm256_loadu_pd(p), a = _mm256_setzero_pd();
        for (int k = 0; k < kTaps; ++k) {
            const __m256d n = _mm256_loadu_pd(p + 4 * (k + 1));
            a = _mm256_add_pd(a, _mm256_mul_pd(_mm256_blendv_pd(c, n, m), _mm256_broadcast_sd(h + k)));
            c = n;
        }
        _mm256_storeu_pd(sums + 4 * g, a);
    }
}

}  // namespace kest::LowPassFilter
#endif
