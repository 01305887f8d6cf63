// The fast planar form's row pass with AVX-512 byte permutes: the gamma
// look-up of 64 bytes at a time from the 256-entry table held in four
// registers. The rows then run in the AVX2 kernel.

#include "picture/planar_wavefront.h"

#if defined(__x86_64__)
#include <immintrin.h>

namespace kest {

__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void GammaRowAvx512(const uint8_t* in, uint8_t* out,
                                                                            int32_t n, const uint8_t* table) {
    const __m512i t0 = _mm512_loadu_si512(table), t1 = _mm512_loadu_si512(table + 64);
    const __m512i t2 = _mm512_loadu_si512(table + 128), t3 = _mm512_loadu_si512(table + 192);
    const auto lookUp = [&](__m512i x) __attribute__((target("avx512f,avx512bw,avx512vbmi"))) {
        const __m512i low = _mm512_permutex2var_epi8(t0, x, t1), high = _mm512_permutex2var_epi8(t2, x, t3);
        return _mm512_mask_blend_epi8(_mm512_movepi8_mask(x), low, high);
    };
    int32_t i = 0;
    for (; i + 64 <= n; i += 64) _mm512_storeu_si512(out + i, lookUp(_mm512_loadu_si512(in + i)));
    if (i < n) {
        const __mmask64 rest = ~0ull >> (64 - (n - i));
        _mm512_mask_storeu_epi8(out + i, rest, lookUp(_mm512_maskz_loadu_epi8(rest, in + i)));
    }
}

}  // namespace kest

#endif
