// Inside bit truncation and the ordered dithers: the 32-pixel step in AVX2
// registers, which the AVX2 and AVX-512 tiers share. x86-64 only.
#pragma once

#if defined(__x86_64__)
#include <immintrin.h>

#include <cstdint>

#include "picture/pixel16.h"
#include "picture/simd_bytes_avx2.h"

namespace kest {

// What the 32-pixel step needs besides the pixels: the deinterleaving
// shuffles in both halves, the row's matrix values and the field masks.
struct Step32 {
    __m256i shuffle[3][3];
    __m256i m, intensity, f8, low3, c0, x3e;
};

__attribute__((target("avx2"))) inline Step32 MakeStep32(const uint16_t* matrixRow, int32_t useIntensityBit) {
    Step32 k;
    for (int c = 0; c < 3; ++c)
        for (int block = 0; block < 3; ++block)
            k.shuffle[c][block] = _mm256_broadcastsi128_si256(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(kBgrDeinterleave[c][block].data())));
    alignas(16) uint8_t dither[16];
    for (int i = 0; i < 16; ++i) dither[i] = static_cast<uint8_t>(matrixRow[i & 3]);
    k.m = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(dither)));
    k.intensity = _mm256_set1_epi8(useIntensityBit ? 1 : 0);
    k.f8 = _mm256_set1_epi8(static_cast<char>(0xF8));
    k.low3 = _mm256_set1_epi8(7);
    k.c0 = _mm256_set1_epi8(static_cast<char>(0xC0));
    k.x3e = _mm256_set1_epi8(0x3E);
    return k;
}

// Thirty-two pixels: two groups of 16, one in each 128-bit half, where the
// byte shuffles work as in the 16-pixel step. The group's corrected bytes
// lie as a = 0-15 | 48-63, b = 16-31 | 64-79, d = 32-47 | 80-95.
__attribute__((target("avx2"), always_inline)) inline void Reduce32(const Step32& k, __m256i a, __m256i b, __m256i d,
                                                                    Pixel16* out) {
    __m256i ch[3];
    for (int c = 0; c < 3; ++c)
        ch[c] = _mm256_adds_epu8(_mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(a, k.shuffle[c][0]),
                                                                 _mm256_shuffle_epi8(b, k.shuffle[c][1])),
                                                 _mm256_shuffle_epi8(d, k.shuffle[c][2])),
                                 k.m);
    const __m256i blue = ch[0], green = ch[1], red = ch[2];
    const __m256i high =
        _mm256_or_si256(_mm256_and_si256(green, k.f8), _mm256_and_si256(_mm256_srli_epi16(red, 5), k.low3));
    const __m256i all = _mm256_and_si256(_mm256_and_si256(blue, green), red);
    const __m256i low = _mm256_or_si256(_mm256_or_si256(_mm256_and_si256(_mm256_slli_epi16(red, 3), k.c0),
                                                        _mm256_and_si256(_mm256_srli_epi16(blue, 2), k.x3e)),
                                        _mm256_and_si256(_mm256_srli_epi16(all, 2), k.intensity));
    const __m256i first = _mm256_unpacklo_epi8(high, low);   // pixels 0-7 | 16-23
    const __m256i second = _mm256_unpackhi_epi8(high, low);  // pixels 8-15 | 24-31
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(first, second, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 16), _mm256_permute2x128_si256(first, second, 0x31));
}

}  // namespace kest
#endif
