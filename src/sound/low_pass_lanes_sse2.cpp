#include "sound/low_pass_filter.h"
#include "sound/low_pass_lanes.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace kest::LowPassFilter {
namespace {

inline __m128d MaskOf(uint8_t bits) {
    return _mm_castsi128_pd(_mm_set_epi32(-(bits >> 1 & 1), -(bits >> 1 & 1), -(bits & 1), -(bits & 1)));
}

// Lanes whose mask is set take the next row.
inline __m128d Blend(__m128d mask, __m128d current, __m128d next) {
    return _mm_or_pd(_mm_andnot_pd(mask, current), _mm_and_pd(mask, next));
}

}  // namespace

// Four groups at a time keep four sums in flight; the blends and adds of one
// tap are independent of each other.
KEST_ALIGN_STACK void SumLanesSse2(const double* h, const double* rows, const int32_t* base, const uint8_t* masks,
                                   int32_t groups, double* sums) {
    int32_t g = 0;
    for (; g + 4 <= groups; g += 4) {
        const double* p0 = rows + 2 * base[g];
        const double* p1 = rows + 2 * base[g + 1];
        const double* p2 = rows + 2 * base[g + 2];
        const double* p3 = rows + 2 * base[g + 3];
        const __m128d m0 = MaskOf(masks[g]), m1 = MaskOf(masks[g + 1]), m2 = MaskOf(masks[g + 2]),
                      m3 = MaskOf(masks[g + 3]);
        __m128d c0 = _mm_loadu_pd(p0), c1 = _mm_loadu_pd(p1), c2 = _mm_loadu_pd(p2), c3 = _mm_loadu_pd(p3);
        __m128d a0 = _mm_setzero_pd(), a1 = _mm_setzero_pd(), a2 = _mm_setzero_pd(), a3 = _mm_setzero_pd();
        for (int k = 0; k < kTaps; ++k) {
            const __m128d hk = _mm_set1_pd(h[k]);
            const int next = 2 * (k + 1);
            const __m128d n0 = _mm_loadu_pd(p0 + next), n1 = _mm_loadu_pd(p1 + next), n2 = _mm_loadu_pd(p2 + next),
                          n3 = _mm_loadu_pd(p3 + next);
            a0 = _mm_add_pd(a0, _mm_mul_pd(Blend(m0, c0, n0), hk));
            a1 = _mm_add_pd(a1, _mm_mul_pd(Blend(m1, c1, n1), hk));
            a2 = _mm_add_pd(a2, _mm_mul_pd(Blend(m2, c2, n2), hk));
            a3 = _mm_add_pd(a3, _mm_mul_pd(Blend(m3, c3, n3), hk));
            c0 = n0, c1 = n1, c2 = n2, c3 = n3;
        }
        _mm_storeu_pd(sums + 2 * g, a0);
        _mm_storeu_pd(sums + 2 * g + 2, a1);
        _mm_storeu_pd(sums + 2 * g + 4, a2);
        _mm_storeu_pd(sums + 2 * g + 6, a3);
    }
    for (; g < groups; ++g) {
        const double* p = rows + 2 * base[g];
        const __m128d m = MaskOf(masks[g]);
        __m128d c = _mm_loadu_pd(p), a = _mm_setzero_pd();
        for (int k = 0; k < kTaps; ++k) {
            const __m128d n = _mm_loadu_pd(p + 2 * (k + 1));
            a = _mm_add_pd(a, _mm_mul_pd(Blend(m, c, n), _mm_set1_pd(h[k])));
            c = n;
        }
        _mm_storeu_pd(sums + 2 * g, a);
    }
}

}  // namespace kest::LowPassFilter
#endif
