// The transposes of 16 lanes between lane buffers and step vectors with
// 256-bit registers, for the AVX2 kernel and, twice over, the AVX-512 one.
// Include after <immintrin.h>, defining KEST_TRANSPOSE_TARGET as the
// including file's target attribute.
#pragma once

#include <cstdint>

namespace kest {
namespace {

// 48 bytes of each of the 16 lanes into 48 vectors of one byte position
// each, widened to 16 bits: lanes j and j + 8 share a register, one in
// each half, through the same unpack network as with SSE2.
KEST_TRANSPOSE_TARGET inline void TransposeIn16(uint8_t* const* lanes, int32_t offset, __m256i* out) {
#pragma GCC unroll 16
    for (int k = 0; k < 3; ++k) {
        __m256i a[8];
#pragma GCC unroll 16
        for (int j = 0; j < 8; ++j) {
            const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes[j] + offset + 16 * k));
            const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes[j + 8] + offset + 16 * k));
            a[j] = _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
        }
        __m256i b[8], c[8];
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
            const __m256i lo = _mm256_permute4x64_epi64(_mm256_unpacklo_epi32(c[q], c[4 + q]), 0xD8);
            const __m256i hi = _mm256_permute4x64_epi64(_mm256_unpackhi_epi32(c[q], c[4 + q]), 0xD8);
            out[16 * k + 4 * q + 0] = _mm256_cvtepu8_epi16(_mm256_castsi256_si128(lo));
            out[16 * k + 4 * q + 1] = _mm256_cvtepu8_epi16(_mm256_extracti128_si256(lo, 1));
            out[16 * k + 4 * q + 2] = _mm256_cvtepu8_epi16(_mm256_castsi256_si128(hi));
            out[16 * k + 4 * q + 3] = _mm256_cvtepu8_epi16(_mm256_extracti128_si256(hi, 1));
        }
    }
}

// 16 step vectors of 16 words back into the lanes, 16 words each.
KEST_TRANSPOSE_TARGET inline void TransposeOut16(const __m256i* in, uint8_t* const* lanes, int32_t offset) {
    __m256i half[2][8];
#pragma GCC unroll 16
    for (int h = 0; h < 2; ++h) {
        const __m256i* v = in + 8 * h;
        __m256i p[8], q[8];
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
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(lanes[m] + offset),
                            _mm256_permute2x128_si256(half[0][m], half[1][m], 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(lanes[m + 8] + offset),
                            _mm256_permute2x128_si256(half[0][m], half[1][m], 0x31));
    }
}

}  // namespace
}  // namespace kest
