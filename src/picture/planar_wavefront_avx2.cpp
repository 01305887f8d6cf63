// The fast planar form with AVX2: sixteen rows at once. Only 64-bit builds
// have it; every function here carries the target itself, so that nothing
// of it reaches code the processor might run without AVX2.

#include "picture/planar_wavefront.h"

#if defined(__x86_64__)
#include <immintrin.h>

#define KEST_WAVEFRONT_TARGET __attribute__((target("avx2")))
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
    KEST_AVX2 R CmpGt(R a, R b) { return _mm256_cmpgt_epi16(a, b); }
    KEST_AVX2 R Blend(R mask, R a, R b) { return _mm256_blendv_epi8(a, b, mask); }
    template <int n>
    KEST_AVX2 R ShiftLeft(R a) { return _mm256_slli_epi16(a, n); }
    template <int n>
    KEST_AVX2 R ShiftRight(R a) { return _mm256_srli_epi16(a, n); }
    template <int n>
    KEST_AVX2 R ShiftRightArithmetic(R a) { return _mm256_srai_epi16(a, n); }
    KEST_AVX2 bool Any(R a) { return _mm256_movemask_epi8(a) != 0; }

    // 48 bytes of each of the 16 lanes into 48 vectors of one byte position
    // each, widened to 16 bits: lanes j and j + 8 share a register, one in
    // each half, through the same unpack network as with SSE2.
    KEST_AVX2 void TransposeIn(uint8_t* const* lanes, int32_t offset, R* out) {
#pragma GCC unroll 16
        for (int k = 0; k < 3; ++k) {
            R a[8];
#pragma GCC unroll 16
            for (int j = 0; j < 8; ++j) {
                const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes[j] + offset + 16 * k));
                const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes[j + 8] + offset + 16 * k));
                a[j] = _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
            }
            R b[8], c[8];
#pragma GCC unroll 16
            for (int j = 0; j < 4; ++j) {
                b[2 * j] = _mm256_unpacklo_epi8(a[2 * j], a[2 * j + 1]);
                b[2 * j + 1] = _mm256_unpackhi_epi8(a[2 * j], a[2 * j + 1]);
            }
#pragma GCC unroll 16
            for (int h = 0; h < 2; ++h) {
                c[4 * h + 0] = _mm256_unpacklo_epi16(b[4 * h], b[4 * h + 2]);
                c[4 * h + 1] = _mm256_unpackhi_epi16(b[4 * h], b[4 * h + 2]);
                c[4 * h + 2] = _mm256_unpacklo_epi16(b[4 * h + 1], b[4 * h + 3]);
                c[4 * h + 3] = _mm256_unpackhi_epi16(b[4 * h + 1], b[4 * h + 3]);
            }
#pragma GCC unroll 16
            for (int q = 0; q < 4; ++q) {
                // Each half: two columns of eight lanes; the permute puts a
                // column's 16 lanes together.
                const R lo = _mm256_permute4x64_epi64(_mm256_unpacklo_epi32(c[q], c[4 + q]), 0xD8);
                const R hi = _mm256_permute4x64_epi64(_mm256_unpackhi_epi32(c[q], c[4 + q]), 0xD8);
                out[16 * k + 4 * q + 0] = _mm256_cvtepu8_epi16(_mm256_castsi256_si128(lo));
                out[16 * k + 4 * q + 1] = _mm256_cvtepu8_epi16(_mm256_extracti128_si256(lo, 1));
                out[16 * k + 4 * q + 2] = _mm256_cvtepu8_epi16(_mm256_castsi256_si128(hi));
                out[16 * k + 4 * q + 3] = _mm256_cvtepu8_epi16(_mm256_extracti128_si256(hi, 1));
            }
        }
    }

    // 16 step vectors of 16 words back into the lanes, 16 words each.
    KEST_AVX2 void TransposeOut(const R* in, uint8_t* const* lanes, int32_t offset) {
        R half[2][8];
#pragma GCC unroll 16
        for (int h = 0; h < 2; ++h) {
            const R* v = in + 8 * h;
            R p[8], q[8];
#pragma GCC unroll 16
            for (int j = 0; j < 4; ++j) {
                p[2 * j] = _mm256_unpacklo_epi16(v[2 * j], v[2 * j + 1]);
                p[2 * j + 1] = _mm256_unpackhi_epi16(v[2 * j], v[2 * j + 1]);
            }
#pragma GCC unroll 16
            for (int g = 0; g < 2; ++g) {
                q[4 * g + 0] = _mm256_unpacklo_epi32(p[4 * g], p[4 * g + 2]);
                q[4 * g + 1] = _mm256_unpackhi_epi32(p[4 * g], p[4 * g + 2]);
                q[4 * g + 2] = _mm256_unpacklo_epi32(p[4 * g + 1], p[4 * g + 3]);
                q[4 * g + 3] = _mm256_unpackhi_epi32(p[4 * g + 1], p[4 * g + 3]);
            }
            // half[h][m]: lane m in the low half, lane m + 8 in the high one.
#pragma GCC unroll 16
            for (int j = 0; j < 4; ++j) {
                half[h][2 * j] = _mm256_unpacklo_epi64(q[j], q[4 + j]);
                half[h][2 * j + 1] = _mm256_unpackhi_epi64(q[j], q[4 + j]);
            }
        }
#pragma GCC unroll 16
        for (int m = 0; m < 8; ++m) {
            _mm256_storeu_si256(reinterpret_cast<R*>(lanes[m] + offset),
                                _mm256_permute2x128_si256(half[0][m], half[1][m], 0x20));
            _mm256_storeu_si256(reinterpret_cast<R*>(lanes[m + 8] + offset),
                                _mm256_permute2x128_si256(half[0][m], half[1][m], 0x31));
        }
    }
};

#undef KEST_AVX2

}  // namespace

void RunWavefrontAvx2(const WavefrontJob& job) { RunWavefront<Avx2>(job); }

}  // namespace kest

#endif
