// Temporal error diffusion, AVX-512 tier: 64 pixels a step, all in bytes,
// the last step of a row under masks, so no row needs the tables. The clamp
// is a saturating signed byte add of the carried error to the corrected
// byte with its top bit flipped; byte permutes then look up the even 6-bit
// level of that (flipped) value and the level's value, flipped again so that
// the wrapping byte difference is the error.

#if defined(__x86_64__)
#include <immintrin.h>

#include <array>

#include "picture/simd_bytes_avx512.h"
#include "picture/temporal_error_diffusion_rows.h"

#define KEST_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))

namespace kest {
namespace {

// The lowest `count` bits (none for a count of 0 or less).
constexpr uint64_t LowBits(int32_t count) {
    return count <= 0 ? 0 : count >= 64 ? ~uint64_t{0} : (uint64_t{1} << count) - 1;
}

// Entry s: Quantize6's even level of the clamped value s ^ 0x80.
constexpr auto kEvenLevel = [] {
    std::array<uint8_t, 256> t{};
    for (int s = 0; s < 256; ++s) t[s] = static_cast<uint8_t>((126 * (s ^ 0x80) + 255) / 510 & ~1);
    return t;
}();
// Entry q: what level q stands for, with its top bit flipped.
constexpr auto kFlippedLevelValue = [] {
    std::array<uint8_t, 64> t{};
    for (int q = 0; q < 64; ++q) t[q] = static_cast<uint8_t>(((510 * q + 63) / 126) ^ 0x80);
    return t;
}();
// [half][j]: output byte j of words 32 * half ..: even bytes the high byte
// of word j / 2, odd ones its low byte (the second register).
constexpr auto kWordBytes = [] {
    std::array<std::array<uint8_t, 64>, 2> at{};
    for (int half = 0; half < 2; ++half)
        for (int j = 0; j < 64; ++j) at[half][j] = static_cast<uint8_t>((j & 1) * 64 + 32 * half + j / 2);
    return at;
}();

struct Constants {
    ByteTableAvx512 evenLevel;
    __m512i levelValue, gather[3], words[2];
    __mmask64 fromLast[3];
    __m512i flip, intensity, f8, c0;
};

KEST_AVX512 Constants MakeConstants(int32_t useIntensityBit) {
    Constants k;
    k.evenLevel = LoadByteTableAvx512(kEvenLevel.data());
    k.levelValue = _mm512_loadu_si512(kFlippedLevelValue.data());
    for (int c = 0; c < 3; ++c) {
        k.gather[c] = _mm512_loadu_si512(kBgrGather64[c].data());
        k.fromLast[c] = kBgrFromLast64[c];
    }
    for (int half = 0; half < 2; ++half) k.words[half] = _mm512_loadu_si512(kWordBytes[half].data());
    k.flip = _mm512_set1_epi8(static_cast<char>(0x80));
    k.intensity = _mm512_set1_epi8(useIntensityBit ? 1 : 0);
    k.f8 = _mm512_set1_epi8(static_cast<char>(0xF8));
    k.c0 = _mm512_set1_epi8(static_cast<char>(0xC0));
    return k;
}

template <bool kGamma>
KEST_AVX512 void Row(const uint8_t* in, Pixel16* out, int8_t* const errors[3], int32_t columns, const Constants& k,
                     const ByteTableAvx512& table) {
    for (int32_t x = 0; x < columns; x += 64, in += 192) {
        const int32_t n = columns - x;  // the step's pixels are min(n, 64)
        __m512i first, middle, last;
        if (n >= 64) {
            first = _mm512_loadu_si512(in);
            middle = _mm512_loadu_si512(in + 64);
            last = _mm512_loadu_si512(in + 128);
        } else {
            first = _mm512_maskz_loadu_epi8(LowBits(3 * n), in);
            middle = _mm512_maskz_loadu_epi8(LowBits(3 * n - 64), in + 64);
            last = _mm512_maskz_loadu_epi8(LowBits(3 * n - 128), in + 128);
        }
        // The corrected bytes, top bit flipped (the flip is in the table).
        if constexpr (kGamma) {
            first = LookUpAvx512(table, first);
            middle = LookUpAvx512(table, middle);
            last = LookUpAvx512(table, last);
        } else {
            first = _mm512_xor_si512(first, k.flip);
            middle = _mm512_xor_si512(middle, k.flip);
            last = _mm512_xor_si512(last, k.flip);
        }
        const __mmask64 pixels = LowBits(n);
        __m512i flipped[3];
#pragma GCC unroll 3
        for (int c = 0; c < 3; ++c) {
            const __m512i carried = _mm512_maskz_loadu_epi8(pixels, errors[c] + x);
            flipped[c] = _mm512_adds_epi8(BgrChannelAvx512(first, middle, last, k.gather[c], k.fromLast[c]), carried);
        }
        // The flip leaves bit 0 alone.
        const __m512i intensity = _mm512_and_si512(
            _mm512_ternarylogic_epi32(flipped[0], flipped[1], flipped[2], 0x80), k.intensity);
        __m512i level[3];
#pragma GCC unroll 3
        for (int c = 0; c < 3; ++c) {
            level[c] = _mm512_or_si512(LookUpAvx512(k.evenLevel, flipped[c]), intensity);
            // Both sides flipped: the difference is the clamped value's. (The
            // zeroing form, as this compiler's plain one starts from an
            // undefined value and warns.)
            const __m512i value = _mm512_maskz_permutexvar_epi8(~__mmask64{0}, level[c], k.levelValue);
            const __m512i error = _mm512_sub_epi8(flipped[c], value);
            _mm512_mask_storeu_epi8(errors[c] + x, pixels, error);
        }
        // High byte: green's 5 bits, then red's top 3. Low byte: red's low 2
        // of its 5, then blue's 6-bit level, whose low bit is the intensity
        // bit. 16-bit shifts carry bits across bytes, and the selects drop
        // them.
        // (0xCA: the first operand's bits choose the second's, else the third's.)
        const __m512i high =
            _mm512_ternarylogic_epi32(k.f8, _mm512_slli_epi16(level[1], 2), _mm512_srli_epi16(level[2], 3), 0xCA);
        const __m512i low = _mm512_ternarylogic_epi32(k.c0, _mm512_slli_epi16(level[2], 5), level[0], 0xCA);
        _mm512_mask_storeu_epi16(out + x, static_cast<__mmask32>(LowBits(n)),
                                 _mm512_permutex2var_epi8(high, k.words[0], low));
        _mm512_mask_storeu_epi16(out + x + 32, static_cast<__mmask32>(LowBits(n - 32)),
                                 _mm512_permutex2var_epi8(high, k.words[1], low));
    }
}

}  // namespace

KEST_AVX512 void TemporalFrameAvx512(PictureState& state, const PictureFrame& f, const PictureWalk& walk) {
    const Constants k = MakeConstants(f.useIntensityBit);
    // The corrected bytes with the top bit flipped, ready for the signed add.
    uint8_t flippedGamma[256];
    for (int i = 0; i < 256; ++i) flippedGamma[i] = static_cast<uint8_t>(state.gamma.bytes[i] ^ 0x80);
    const ByteTableAvx512 table = LoadByteTableAvx512(flippedGamma);
    for (int32_t y = 0; y < walk.rows; ++y) {
        const TemporalErrorRows errors(state, y);
        if (state.gamma.identity)
            Row<false>(walk.In(y), walk.Out(y), errors.channel, walk.columns, k, table);
        else
            Row<true>(walk.In(y), walk.Out(y), errors.channel, walk.columns, k, table);
    }
}

}  // namespace kest
#endif
