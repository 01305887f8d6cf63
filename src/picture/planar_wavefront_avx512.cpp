// The fast planar form with AVX-512: 32 rows at once, and the row pass's
// gamma look-up 64 bytes at a time by byte permutes from the 256-entry table
// held in four registers.

#include "picture/planar_wavefront.h"

#if defined(__x86_64__)
#include <immintrin.h>

// GCC 12 takes the undefined upper half of a widened register for an
// uninitialised variable.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#define KEST_WAVEFRONT_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi")))
#define KEST_TRANSPOSE_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi"), always_inline))
#include "picture/planar_wavefront_avx2_transpose.h"
#include "picture/planar_wavefront_kernel.h"

namespace kest {
namespace {

#define KEST_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi"), always_inline)) static inline

// Masks are kept as vectors, as the shared steps expect.
struct Avx512 {
    using R = __m512i;
    static constexpr int32_t kLanes = kAvx512Lanes;

    KEST_AVX512 R Load(const int16_t* p) { return _mm512_loadu_si512(p); }
    KEST_AVX512 R LoadAligned(const int16_t* p) { return _mm512_load_si512(p); }
    KEST_AVX512 void StoreAligned(int16_t* p, R v) { _mm512_store_si512(p, v); }
    KEST_AVX512 R Set(int16_t v) { return _mm512_set1_epi16(v); }
    KEST_AVX512 R Add(R a, R b) { return _mm512_add_epi16(a, b); }
    KEST_AVX512 R Sub(R a, R b) { return _mm512_sub_epi16(a, b); }
    KEST_AVX512 R MulLo(R a, R b) { return _mm512_mullo_epi16(a, b); }
    KEST_AVX512 R MulHi(R a, R b) { return _mm512_mulhi_epi16(a, b); }
    KEST_AVX512 R Max(R a, R b) { return _mm512_max_epi16(a, b); }
    KEST_AVX512 R Min(R a, R b) { return _mm512_min_epi16(a, b); }
    KEST_AVX512 R And(R a, R b) { return _mm512_and_si512(a, b); }
    KEST_AVX512 R Or(R a, R b) { return _mm512_or_si512(a, b); }
    KEST_AVX512 R AddWhereLess(R a, R limit, R k) { return _mm512_mask_add_epi16(a, _mm512_cmplt_epi16_mask(a, limit), a, k); }
    KEST_AVX512 R Blend(R mask, R a, R b) { return _mm512_mask_blend_epi16(_mm512_movepi16_mask(mask), a, b); }
    template <int n>
    KEST_AVX512 R ShiftLeft(R a) { return _mm512_slli_epi16(a, n); }
    template <int n>
    KEST_AVX512 R ShiftRight(R a) { return _mm512_srli_epi16(a, n); }
    template <int n>
    KEST_AVX512 R ShiftRightArithmetic(R a) { return _mm512_srai_epi16(a, n); }
    KEST_AVX512 bool Any(R a) { return _mm512_test_epi16_mask(a, a) != 0; }

    // Lanes 0-15 and 16-31 each through the 256-bit transposes, joined.
    KEST_AVX512 void TransposeIn(uint8_t* const* lanes, int32_t offset, R* out) {
        __m256i low[3 * kWavefrontChunk], high[3 * kWavefrontChunk];
        TransposeIn16(lanes, offset, low);
        TransposeIn16(lanes + 16, offset, high);
#pragma GCC unroll 48
        for (int k = 0; k < 3 * kWavefrontChunk; ++k)
            out[k] = _mm512_inserti64x4(_mm512_castsi256_si512(low[k]), high[k], 1);
    }
    KEST_AVX512 void TransposeOut(const R* in, uint8_t* const* lanes, int32_t offset) {
        __m256i low[kWavefrontChunk], high[kWavefrontChunk];
#pragma GCC unroll 16
        for (int k = 0; k < kWavefrontChunk; ++k) {
            low[k] = _mm512_castsi512_si256(in[k]);
            high[k] = _mm512_extracti64x4_epi64(in[k], 1);
        }
        TransposeOut16(low, lanes, offset);
        TransposeOut16(high, lanes + 16, offset);
    }
};

#undef KEST_AVX512

}  // namespace

void RunWavefrontAvx512(const WavefrontJob& job) { RunWavefront<Avx512>(job); }

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
