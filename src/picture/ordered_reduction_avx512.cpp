// Bit truncation and the ordered dithers, AVX-512 steps (F, BW and VBMI).

#if defined(__x86_64__)
#include <immintrin.h>

#include <array>

#include "picture/ordered_reduction_step32.h"
#include "picture/ordered_reduction_steps.h"
#include "picture/simd_bytes_avx512.h"

namespace kest {
namespace {

// Sixty-four pixels a step, all in 512-bit registers: a channel's 64 bytes
// are gathered from the 192 source bytes by two byte permutes (one over the
// first 128 bytes, one for the rest), go through the gamma table unless it
// is the identity, and the word's two bytes are interleaved by one permute
// per 64 bytes of output. Returns the pixels done, a multiple of 64.
constexpr auto kWordBytes = [] {
    // [half][j]: output byte j of words 32 * half ..: even bytes the high
    // byte of word j / 2, odd ones its low byte (the second register).
    std::array<std::array<uint8_t, 64>, 2> at{};
    for (int half = 0; half < 2; ++half)
        for (int j = 0; j < 64; ++j) at[half][j] = static_cast<uint8_t>((j & 1) * 64 + 32 * half + j / 2);
    return at;
}();

// One channel's 64 corrected bytes, the matrix values added.
__attribute__((target("avx512f,avx512bw,avx512vbmi"), always_inline)) inline __m512i Channel64(
    __m512i first, __m512i middle, __m512i last, __m512i gather, __mmask64 fromLast, __m512i m) {
    return _mm512_adds_epu8(BgrChannelAvx512(first, middle, last, gather, fromLast), m);
}

template <bool kGamma>
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) int32_t ReduceRowAvx512(const uint8_t* in, Pixel16* out,
                                                                                int32_t columns,
                                                                                const uint16_t* matrixRow,
                                                                                int32_t useIntensityBit,
                                                                                const uint8_t* gammaBytes, const uint16_t*) {
    ByteTableAvx512 table = {};
    if constexpr (kGamma) table = LoadByteTableAvx512(gammaBytes);
    // Held in named registers: arrays of them end up on the stack.
    const __m512i gatherBlue = _mm512_loadu_si512(kBgrGather64[0].data());
    const __m512i gatherGreen = _mm512_loadu_si512(kBgrGather64[1].data());
    const __m512i gatherRed = _mm512_loadu_si512(kBgrGather64[2].data());
    const __mmask64 lastBlue = kBgrFromLast64[0], lastGreen = kBgrFromLast64[1], lastRed = kBgrFromLast64[2];
    const __m512i firstWords = _mm512_loadu_si512(kWordBytes[0].data());
    const __m512i lastWords = _mm512_loadu_si512(kWordBytes[1].data());
    // The four matrix values of the row (0 .. 7), repeated.
    const __m512i m = _mm512_set1_epi32(static_cast<int32_t>(matrixRow[0] | matrixRow[1] << 8 | matrixRow[2] << 16 |
                                                             static_cast<uint32_t>(matrixRow[3]) << 24));
    const __m512i intensity = _mm512_set1_epi8(useIntensityBit ? 1 : 0);
    const __m512i f8 = _mm512_set1_epi8(static_cast<char>(0xF8)), low3 = _mm512_set1_epi8(7);
    const __m512i c0 = _mm512_set1_epi8(static_cast<char>(0xC0)), x3e = _mm512_set1_epi8(0x3E);
    int32_t x = 0;
    for (; x + 64 <= columns; x += 64, in += 192) {
        __m512i first = _mm512_loadu_si512(in);
        __m512i middle = _mm512_loadu_si512(in + 64);
        __m512i last = _mm512_loadu_si512(in + 128);
        if constexpr (kGamma) {
            first = LookUpAvx512(table, first);
            middle = LookUpAvx512(table, middle);
            last = LookUpAvx512(table, last);
        }
        const __m512i blue = Channel64(first, middle, last, gatherBlue, lastBlue, m);
        const __m512i green = Channel64(first, middle, last, gatherGreen, lastGreen, m);
        const __m512i red = Channel64(first, middle, last, gatherRed, lastRed, m);
        const __m512i high =
            _mm512_or_si512(_mm512_and_si512(green, f8), _mm512_and_si512(_mm512_srli_epi16(red, 5), low3));
        const __m512i all = _mm512_and_si512(_mm512_and_si512(blue, green), red);
        const __m512i low = _mm512_or_si512(_mm512_or_si512(_mm512_and_si512(_mm512_slli_epi16(red, 3), c0),
                                                            _mm512_and_si512(_mm512_srli_epi16(blue, 2), x3e)),
                                            _mm512_and_si512(_mm512_srli_epi16(all, 2), intensity));
        _mm512_storeu_si512(out + x, _mm512_permutex2var_epi8(high, firstWords, low));
        _mm512_storeu_si512(out + x + 32, _mm512_permutex2var_epi8(high, lastWords, low));
    }
    return x;
}

}  // namespace

// Pixels 0 .. 32n - 1 of a row under any gamma table; returns 32n. The
// source bytes go through the table in registers, after which a channel's
// byte is its corrected value and the 32-pixel step applies as for the
// identity.
__attribute__((target("avx2,avx512f,avx512bw,avx512vbmi"))) int32_t ReduceRowGammaAvx512(
    const uint8_t* in, Pixel16* out, int32_t columns, const uint16_t* matrixRow, int32_t useIntensityBit,
    const uint8_t* gammaBytes, const uint16_t*) {
    const ByteTableAvx512 table = LoadByteTableAvx512(gammaBytes);
    const Step32 k = MakeStep32(matrixRow, useIntensityBit);
    // Quadwords of first (0-7) and rest (8-15): a = 0-15 | 48-63,
    // b = 16-31 | 64-79, d = 32-47 | 80-95.
    const __m512i abLanes = _mm512_set_epi64(9, 8, 3, 2, 7, 6, 1, 0);
    const __m512i daLanes = _mm512_set_epi64(7, 6, 1, 0, 11, 10, 5, 4);
    int32_t x = 0;
    for (; x + 32 <= columns; x += 32, in += 96) {
        const __m512i first = LookUpAvx512(table, _mm512_loadu_si512(in));                      // bytes 0-63
        const __m512i rest = LookUpAvx512(table, _mm512_maskz_loadu_epi8(0xFFFFFFFFu, in + 64));  // bytes 64-95
        // Lanes of 16 bytes rearranged as a | b and d | a; halves taken
        // with zeroing masks, as this compiler's plain casts start from
        // undefined values and warn.
        const __m512i ab = _mm512_permutex2var_epi64(first, abLanes, rest);
        const __m512i da = _mm512_permutex2var_epi64(first, daLanes, rest);
        const __m256i a = _mm512_maskz_extracti64x4_epi64(0xF, ab, 0);
        const __m256i b = _mm512_maskz_extracti64x4_epi64(0xF, ab, 1);
        const __m256i d = _mm512_maskz_extracti64x4_epi64(0xF, da, 0);
        Reduce32(k, a, b, d, out + x);
    }
    return x;
}

__attribute__((target("avx512f,avx512bw,avx512vbmi"))) int32_t ReduceRowIdentityAvx512(
    const uint8_t* in, Pixel16* out, int32_t columns, const uint16_t* matrixRow, int32_t useIntensityBit,
    const uint8_t* gammaBytes, const uint16_t* gammaPairs) {
    return ReduceRowAvx512<false>(in, out, columns, matrixRow, useIntensityBit, gammaBytes, gammaPairs);
}

__attribute__((target("avx512f,avx512bw,avx512vbmi"))) int32_t ReduceRowGamma64Avx512(
    const uint8_t* in, Pixel16* out, int32_t columns, const uint16_t* matrixRow, int32_t useIntensityBit,
    const uint8_t* gammaBytes, const uint16_t* gammaPairs) {
    return ReduceRowAvx512<true>(in, out, columns, matrixRow, useIntensityBit, gammaBytes, gammaPairs);
}

}  // namespace kest
#endif
