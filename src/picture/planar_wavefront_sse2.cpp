// The fast planar form with SSE2: eight rows at once. This is what the
// 32-bit module runs, with only eight xmm registers.

#include "picture/planar_wavefront.h"

#if defined(__SSE2__)
#include <emmintrin.h>

#define KEST_WAVEFRONT_TARGET
#include "picture/planar_wavefront_kernel.h"

namespace kest {
namespace {

struct Sse2 {
    using R = __m128i;
    static constexpr int32_t kLanes = kSse2Lanes;

    static R Load(const int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const R*>(p)); }
    static R LoadAligned(const int16_t* p) { return _mm_load_si128(reinterpret_cast<const R*>(p)); }
    static void StoreAligned(int16_t* p, R v) { _mm_store_si128(reinterpret_cast<R*>(p), v); }
    static R Set(int16_t v) { return _mm_set1_epi16(v); }
    static R Add(R a, R b) { return _mm_add_epi16(a, b); }
    static R Sub(R a, R b) { return _mm_sub_epi16(a, b); }
    static R MulLo(R a, R b) { return _mm_mullo_epi16(a, b); }
    static R MulHi(R a, R b) { return _mm_mulhi_epi16(a, b); }
    static R Max(R a, R b) { return _mm_max_epi16(a, b); }
    static R Min(R a, R b) { return _mm_min_epi16(a, b); }
    static R And(R a, R b) { return _mm_and_si128(a, b); }
    static R Or(R a, R b) { return _mm_or_si128(a, b); }
    // a + k where a < limit.
    static R AddWhereLess(R a, R limit, R k) { return _mm_add_epi16(a, _mm_and_si128(_mm_cmpgt_epi16(limit, a), k)); }
    // b where the mask is set, a elsewhere.
    static R Blend(R mask, R a, R b) { return _mm_or_si128(_mm_and_si128(mask, b), _mm_andnot_si128(mask, a)); }
    template <int n>
    static R ShiftLeft(R a) { return _mm_slli_epi16(a, n); }
    template <int n>
    static R ShiftRight(R a) { return _mm_srli_epi16(a, n); }
    template <int n>
    static R ShiftRightArithmetic(R a) { return _mm_srai_epi16(a, n); }
    static bool Any(R a) { return _mm_movemask_epi8(a) != 0; }

    // 48 bytes of each of the eight lanes (16 steps of blue, green, red) into
    // 48 vectors of one byte position each, widened to 16 bits.
    static void TransposeIn(uint8_t* const* lanes, int32_t offset, R* out) {
        const R z = _mm_setzero_si128();
#pragma GCC unroll 16
        for (int k = 0; k < 3; ++k) {
            R a[8];
#pragma GCC unroll 16
            for (int j = 0; j < 8; ++j) a[j] = _mm_loadu_si128(reinterpret_cast<const R*>(lanes[j] + offset + 16 * k));
            R b[8], c[8];
#pragma GCC unroll 16
            for (int j = 0; j < 4; ++j) {
                b[2 * j] = _mm_unpacklo_epi8(a[2 * j], a[2 * j + 1]);
                b[2 * j + 1] = _mm_unpackhi_epi8(a[2 * j], a[2 * j + 1]);
            }
#pragma GCC unroll 16
            for (int h = 0; h < 2; ++h) {
                // Rows 4h .. 4h + 3: columns 0-3, 4-7, 8-11, 12-15 in 32-bit groups.
                c[4 * h + 0] = _mm_unpacklo_epi16(b[4 * h], b[4 * h + 2]);
                c[4 * h + 1] = _mm_unpackhi_epi16(b[4 * h], b[4 * h + 2]);
                c[4 * h + 2] = _mm_unpacklo_epi16(b[4 * h + 1], b[4 * h + 3]);
                c[4 * h + 3] = _mm_unpackhi_epi16(b[4 * h + 1], b[4 * h + 3]);
            }
#pragma GCC unroll 16
            for (int q = 0; q < 4; ++q) {
                // Columns 4q .. 4q + 3, two to a vector.
                const R lo = _mm_unpacklo_epi32(c[q], c[4 + q]);
                const R hi = _mm_unpackhi_epi32(c[q], c[4 + q]);
                out[16 * k + 4 * q + 0] = _mm_unpacklo_epi8(lo, z);
                out[16 * k + 4 * q + 1] = _mm_unpackhi_epi8(lo, z);
                out[16 * k + 4 * q + 2] = _mm_unpacklo_epi8(hi, z);
                out[16 * k + 4 * q + 3] = _mm_unpackhi_epi8(hi, z);
            }
        }
    }

    // 16 step vectors of eight words back into the lanes, 16 words each.
    static void TransposeOut(const R* in, uint8_t* const* lanes, int32_t offset) {
#pragma GCC unroll 16
        for (int h = 0; h < 2; ++h) {
            const R* v = in + 8 * h;
            R p[8], q[8];
#pragma GCC unroll 16
            for (int j = 0; j < 4; ++j) {
                p[2 * j] = _mm_unpacklo_epi16(v[2 * j], v[2 * j + 1]);
                p[2 * j + 1] = _mm_unpackhi_epi16(v[2 * j], v[2 * j + 1]);
            }
#pragma GCC unroll 16
            for (int g = 0; g < 2; ++g) {
                q[4 * g + 0] = _mm_unpacklo_epi32(p[4 * g], p[4 * g + 2]);
                q[4 * g + 1] = _mm_unpackhi_epi32(p[4 * g], p[4 * g + 2]);
                q[4 * g + 2] = _mm_unpacklo_epi32(p[4 * g + 1], p[4 * g + 3]);
                q[4 * g + 3] = _mm_unpackhi_epi32(p[4 * g + 1], p[4 * g + 3]);
            }
#pragma GCC unroll 16
            for (int j = 0; j < 4; ++j) {
                _mm_storeu_si128(reinterpret_cast<R*>(lanes[2 * j] + offset + 16 * h), _mm_unpacklo_epi64(q[j], q[4 + j]));
                _mm_storeu_si128(reinterpret_cast<R*>(lanes[2 * j + 1] + offset + 16 * h),
                                 _mm_unpackhi_epi64(q[j], q[4 + j]));
            }
        }
    }
};

}  // namespace

KEST_ALIGN_STACK void RunWavefrontSse2(const WavefrontJob& job) { RunWavefront<Sse2>(job); }

}  // namespace kest

#endif
