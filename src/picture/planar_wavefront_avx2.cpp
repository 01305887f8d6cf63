// The fast planar form with AVX2: sixteen rows at once. Only 64-bit builds
// have it; every function here carries the target itself, so that nothing
// of it reaches code the processor might run without AVX2.

#include "picture/planar_wavefront.h"

#if defined(__x86_64__)
#include <immintrin.h>

#define KEST_WAVEFRONT_TARGET __attribute__((target("avx2")))
#define KEST_TRANSPOSE_TARGET __attribute__((target("avx2"), always_inline))
#include "picture/planar_wavefront_avx2_transpose.h"
#include "picture/planar_wavefront_kernel.h"

namespace kest {
namespace {

#define KEST_AVX2 __attribute__((target("avx2"), always_inline)) static inline

struct Avx2 {
    using R = __m256i;
    static constexpr int32_t kLanes = kAvx2Lanes;

    KEST_AVX2 R Load(const int16_t* p) { return _mm256_loadu_si256(reinterpret_cast<const R*>(p)); }
    KEST_AVX2 R LoadAligned(const int16_t* p) { return _mm256_load_si256(reinterpret_cast<const R*>(p)); }
    KEST_AVX2 void StoreAligned(int16_t* p, R v) { _mm256_store_si256(reinterpret_cast<R*>(p), v); }
    KEST_AVX2 R Set(int16_t v) { return _mm256_set1_epi16(v); }
    KEST_AVX2 R Add(R a, R b) { return _mm256_add_epi16(a, b); }
    KEST_AVX2 R Sub(R a, R b) { return _mm256_sub_epi16(a, b); }
    KEST_AVX2 R MulLo(R a, R b) { return _mm256_mullo_epi16(a, b); }
    KEST_AVX2 R MulHi(R a, R b) { return _mm256_mulhi_epi16(a, b); }
    KEST_AVX2 R Max(R a, R b) { return _mm256_max_epi16(a, b); }
    KEST_AVX2 R Min(R a, R b) { return _mm256_min_epi16(a, b); }
    KEST_AVX2 R And(R a, R b) { return _mm256_and_si256(a, b); }
    KEST_AVX2 R Or(R a, R b) { return _mm256_or_si256(a, b); }
    KEST_AVX2 R AddWhereLess(R a, R limit, R k) {
        return _mm256_add_epi16(a, _mm256_and_si256(_mm256_cmpgt_epi16(limit, a), k));
    }
    KEST_AVX2 R Blend(R mask, R a, R b) { return _mm256_blendv_epi8(a, b, mask); }
    template <int n>
    KEST_AVX2 R ShiftLeft(R a) { return _mm256_slli_epi16(a, n); }
    template <int n>
    KEST_AVX2 R ShiftRight(R a) { return _mm256_srli_epi16(a, n); }
    template <int n>
    KEST_AVX2 R ShiftRightArithmetic(R a) { return _mm256_srai_epi16(a, n); }
    KEST_AVX2 bool Any(R a) { return _mm256_movemask_epi8(a) != 0; }

    KEST_AVX2 void TransposeIn(uint8_t* const* lanes, int32_t offset, R* out) { TransposeIn16(lanes, offset, out); }
    KEST_AVX2 void TransposeOut(const R* in, uint8_t* const* lanes, int32_t offset) {
        TransposeOut16(in, lanes, offset);
    }
};

#undef KEST_AVX2

}  // namespace

void RunWavefrontAvx2(const WavefrontJob& job) { RunWavefront<Avx2>(job); }

// The gamma look-up of 32 bytes at a time by byte shuffles, which read 16
// entries. Bytes below 128 first: adding 0x70 - 16 k with saturation leaves
// a byte with high nibble h below 128, its low nibble kept, exactly for
// h <= k <= 7, so XORing the shuffles of T[k] ^ T[k + 1] (T[7] itself) over k
// leaves T[h]. The bytes from 128 on the same way with the top bit flipped.
__attribute__((target("avx2"))) void GammaRowAvx2(const uint8_t* in, uint8_t* out, int32_t n, const uint8_t* table) {
    __m256i steps[2][8];
    for (int half = 0; half < 2; ++half)
        for (int k = 0; k < 8; ++k) {
            const uint8_t* at = table + 128 * half + 16 * k;
            __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
            if (k < 7) t = _mm_xor_si128(t, _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16)));
            steps[half][k] = _mm256_broadcastsi128_si256(t);
        }
    const __m256i top = _mm256_set1_epi8(static_cast<char>(0x80));
    int32_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
        const __m256i flipped = _mm256_xor_si256(x, top);
        __m256i low = _mm256_setzero_si256(), high = _mm256_setzero_si256();
#pragma GCC unroll 8
        for (int k = 0; k < 8; ++k) {
            const __m256i shift = _mm256_set1_epi8(static_cast<char>(0x70 - 16 * k));
            low = _mm256_xor_si256(low, _mm256_shuffle_epi8(steps[0][k], _mm256_adds_epu8(x, shift)));
            high = _mm256_xor_si256(high, _mm256_shuffle_epi8(steps[1][k], _mm256_adds_epu8(flipped, shift)));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_or_si256(low, high));
    }
    for (; i < n; ++i) out[i] = table[in[i]];
}

}  // namespace kest

#endif
