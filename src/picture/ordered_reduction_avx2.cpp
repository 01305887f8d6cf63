// Bit truncation and the ordered dithers, AVX2 steps: with the identity
// gamma table (gamma 1.0, the default) a channel's byte is its corrected
// value, and 32 or 16 pixels at a time are reduced with byte arithmetic: the
// saturating add is min(v + m, 255), and the word's two bytes are formed
// apart and interleaved high byte first. Under any other table the bytes
// are looked up in pairs as they are loaded.

#if defined(__x86_64__)
#include <immintrin.h>

#include "picture/ordered_reduction_step32.h"
#include "picture/ordered_reduction_steps.h"
#include "picture/simd_bytes_avx2.h"

namespace kest {

// Pixels 0 .. 16n - 1 of a row, n as large as `columns` allows; returns 16n.
// `matrixRow` holds the row's four matrix values (all 0 for truncation).
__attribute__((target("avx2"))) int32_t ReduceRowIdentityAvx2(const uint8_t* in, Pixel16* out, int32_t columns,
                                                                const uint16_t* matrixRow, int32_t useIntensityBit,
                                                                const uint8_t*, const uint16_t*) {
    int32_t x = 0;
    const Step32 k = MakeStep32(matrixRow, useIntensityBit);
    for (; x + 32 <= columns; x += 32, in += 96) {
        __m256i a = _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)));
        __m256i b = _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16)));
        __m256i d = _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 32)));
        a = _mm256_inserti128_si256(a, _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 48)), 1);
        b = _mm256_inserti128_si256(b, _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 64)), 1);
        d = _mm256_inserti128_si256(d, _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 80)), 1);
        Reduce32(k, a, b, d, out + x);
    }

    __m128i shuffle[3][3];
    for (int c = 0; c < 3; ++c)
        for (int block = 0; block < 3; ++block)
            shuffle[c][block] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kBgrDeinterleave[c][block].data()));
    const __m128i m = _mm256_castsi256_si128(k.m), intensityMask = _mm256_castsi256_si128(k.intensity);
    const __m128i f8 = _mm256_castsi256_si128(k.f8), low3 = _mm256_castsi256_si128(k.low3);
    const __m128i c0 = _mm256_castsi256_si128(k.c0), x3e = _mm256_castsi256_si128(k.x3e);
    for (; x + 16 <= columns; x += 16, in += 48) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 32));
        __m128i ch[3];
        for (int c = 0; c < 3; ++c)
            ch[c] = _mm_adds_epu8(_mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, shuffle[c][0]),
                                                            _mm_shuffle_epi8(b, shuffle[c][1])),
                                               _mm_shuffle_epi8(d, shuffle[c][2])),
                                  m);
        const __m128i blue = ch[0], green = ch[1], red = ch[2];
        // High byte: green's 5 bits, then red's top 3. Low byte: red's low 2
        // of its 5, blue's 5, the intensity bit. 16-bit shifts carry bits
        // across bytes, and the masks drop them.
        const __m128i high = _mm_or_si128(_mm_and_si128(green, f8), _mm_and_si128(_mm_srli_epi16(red, 5), low3));
        const __m128i all = _mm_and_si128(_mm_and_si128(blue, green), red);
        const __m128i low = _mm_or_si128(
            _mm_or_si128(_mm_and_si128(_mm_slli_epi16(red, 3), c0), _mm_and_si128(_mm_srli_epi16(blue, 2), x3e)),
            _mm_and_si128(_mm_srli_epi16(all, 2), intensityMask));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_unpacklo_epi8(high, low));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x + 8), _mm_unpackhi_epi8(high, low));
    }
    return x;
}

// Pixels 0 .. 32n - 1 of a row under any gamma table; returns 32n. The
// source bytes go through the table in pairs as they are loaded, after which
// the 32-pixel step applies as for the identity.
__attribute__((target("avx2"))) int32_t ReduceRowGammaAvx2(const uint8_t* in, Pixel16* out, int32_t columns,
                                                             const uint16_t* matrixRow, int32_t useIntensityBit,
                                                             const uint8_t*, const uint16_t* gammaPairs) {
    const Step32 k = MakeStep32(matrixRow, useIntensityBit);
    int32_t x = 0;
    for (; x + 32 <= columns; x += 32, in += 96) {
        const BgrBlocksAvx2 blocks = LoadBgr32Avx2(in, gammaPairs);
        Reduce32(k, blocks.a, blocks.b, blocks.d, out + x);
    }
    return x;
}

}  // namespace kest
#endif
