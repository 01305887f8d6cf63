#include "sound/low_pass_filter.h"
#include "sound/low_pass_lanes.h"

// x86-64 only: the 32-bit module runs SSE2 code alone.
#if defined(__x86_64__)
#include <immintrin.h>

namespace kest::LowPassFilter {
namespace {

// G groups side by side: G independent sums hide the latency of the adds,
// and seven masks fit the mask registers. Two taps a turn: a row loaded for
// tap k + 1 is blended into tap k's row in place and then serves as tap
// k + 1's own, so no register is copied. The target leaves out FMA, so the
// compiler cannot fuse the multiply into the add.
template <int G>
__attribute__((target("avx512f"), always_inline)) inline void SumGroups(const double* h, const double* rows,
                                                                        const int32_t* base, const uint8_t* masks,
                                                                        double* sums) {
    const double* p[G];
    __mmask8 m[G];
    __m512d c[G], a[G];
#pragma GCC unroll 8
    for (int q = 0; q < G; ++q) {
        p[q] = rows + 8 * base[q];
        m[q] = masks[q];
        c[q] = _mm512_loadu_pd(p[q]);
        a[q] = _mm512_setzero_pd();
    }
    int k = 0;
    for (; k + 2 <= kTaps; k += 2) {
        const __m512d h0 = _mm512_set1_pd(h[k]);
        const __m512d h1 = _mm512_set1_pd(h[k + 1]);
#pragma GCC unroll 8
        for (int q = 0; q < G; ++q) {
            const __m512d n = _mm512_loadu_pd(p[q] + 8 * (k + 1));
            a[q] = _mm512_add_pd(a[q], _mm512_mul_pd(_mm512_mask_mov_pd(c[q], m[q], n), h0));
            c[q] = _mm512_loadu_pd(p[q] + 8 * (k + 2));
            a[q] = _mm512_add_pd(a[q], _mm512_mul_pd(_mm512_mask_mov_pd(n, m[q], c[q]), h1));
        }
    }
    for (; k < kTaps; ++k) {
        const __m512d hk = _mm512_set1_pd(h[k]);
#pragma GCC unroll 8
        for (int q = 0; q < G; ++q) {
            const __m512d n = _mm512_loadu_pd(p[q] + 8 * (k + 1));
            a[q] = _mm512_add_pd(a[q], _mm512_mul_pd(_mm512_mask_mov_pd(c[q], m[q], n), hk));
            c[q] = n;
        }
    }
#pragma GCC unroll 8
    for (int q = 0; q < G; ++q) _mm512_storeu_pd(sums + 8 * q, a[q]);
}

}  // namespace

__attribute__((target("avx512f"))) void SumLanesAvx512(const double* h, const double* rows, const int32_t* base,
                                                      const uint8_t* masks, int32_t groups, double* sums) {
    int32_t g = 0;
    for (; g + 7 <= groups; g += 7) SumGroups<7>(h, rows, base + g, masks + g, sums + 8 * g);
    for (; g + 4 <= groups; g += 4) SumGroups<4>(h, rows, base + g, masks + g, sums + 8 * g);
    for (; g < groups; ++g) SumGroups<1>(h, rows, base + g, masks + g, sums + 8 * g);
}

}  // namespace kest::LowPassFilter
#endif
