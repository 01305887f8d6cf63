#include "sound/low_pass_filter.h"
#include "sound/low_pass_lanes.h"

// x86-64 only: the 32-bit module runs SSE2 code alone.
#if defined(__x86_64__)
#include <immintrin.h>

namespace kest::LowPassFilter {

// The target leaves out FMA, so the compiler cannot fuse the multiply into
// the add.
__attribute__((target("avx512f"))) void SumLanesAvx512(const double* h, const double* rows, const int32_t* base,
                                                      const uint8_t* masks, int32_t groups, double* sums) {
    int32_t g = 0;
    for (; g + 4 <= groups; g += 4) {
        const double* p0 = rows + 8 * base[g];
        const double* p1 = rows + 8 * base[g + 1];
        const double* p2 = rows + 8 * base[g + 2];
        const double* p3 = rows + 8 * base[g + 3];
        const __mmask8 m0 = masks[g], m1 = masks[g + 1], m2 = masks[g + 2], m3 = masks[g + 3];
        __m512d c0 = _mm512_loadu_pd(p0), c1 = _mm512_loadu_pd(p1), c2 = _mm512_loadu_pd(p2),
                c3 = _mm512_loadu_pd(p3);
        __m512d a0 = _mm512_setzero_pd(), a1 = _mm512_setzero_pd(), a2 = _mm512_setzero_pd(),
                a3 = _mm512_setzero_pd();
        for (int k = 0; k < kTaps; ++k) {
            const __m512d hk = _mm512_set1_pd(h[k]);
            const int next = 8 * (k + 1);
            const __m512d n0 = _mm512_loadu_pd(p0 + next), n1 = _mm512_loadu_pd(p1 + next),
                          n2 = _mm512_loadu_pd(p2 + next), n3 = _mm512_loadu_pd(p3 + next);
            a0 = _mm512_add_pd(a0, _mm512_mul_pd(_mm512_mask_blend_pd(m0, c0, n0), hk));
            a1 = _mm512_add_pd(a1, _mm512_mul_pd(_mm512_mask_blend_pd(m1, c1, n1), hk));
            a2 = _mm512_add_pd(a2, _mm512_mul_pd(_mm512_mask_blend_pd(m2, c2, n2), hk));
            a3 = _mm512_add_pd(a3, _mm512_mul_pd(_mm512_mask_blend_pd(m3, c3, n3), hk));
            c0 = n0, c1 = n1, c2 = n2, c3 = n3;
        }
        _mm512_storeu_pd(sums + 8 * g, a0);
        _mm512_storeu_pd(sums + 8 * g + 8, a1);
        _mm512_storeu_pd(sums + 8 * g + 16, a2);
        _mm512_storeu_pd(sums + 8 * g + 24, a3);
    }
    for (; g < groups; ++g) {
        const double* p = rows + 8 * base[g];
        const __mmask8 m = masks[g];
        __m512d c = _mm512_loadu_pd(p), a = _mm512_setzero_pd();
        for (int k = 0; k < kTaps; ++k) {
            const __m512d n = _mm512_loadu_pd(p + 8 * (k + 1));
            a = _mm512_add_pd(a, _mm512_mul_pd(_mm512_mask_blend_pd(m, c, n), _mm512_set1_pd(h[k])));
            c = n;
        }
        _mm512_storeu_pd(sums + 8 * g, a);
    }
}

}  // namespace kest::LowPassFilter
#endif
