// Temporal error diffusion, AVX-512 tier: 64 pixels a step, the last step
// of a row under masks, so no row needs the tables. As in the AVX2 tier the
// clamp is a saturating signed byte add to the corrected byte with its top
// bit flipped, and the levels are worked out in 16-bit lanes.

#if defined(__x86_64__)
#include <immintrin.h>

#include "picture/simd_bytes_avx512.h"
#include "picture/temporal_error_diffusion_rows.h"

#define KEST_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))

namespace kest {
namespace {

// The lowest `count` bits (none for a count of 0 or less).
constexpr uint64_t LowBits(int32_t count) {
    return count <= 0 ? 0 : count >= 64 ? ~uint64_t{0} : (uint64_t{1} << count) - 1;
}

struct Constants {
    __m512i gather[3];
    __mmask64 fromLast[3];
    __m512i flip, intensity, halfBias, halfFactor, evenLevelFactor, levelFactor, levelOffset, swap;
    __m512i firstWords, lastWords;
};

KEST_AVX512 Constants MakeConstants(int32_t useIntensityBit) {
    Constants k;
    for (int c = 0; c < 3; ++c) {
        k.gather[c] = _mm512_loadu_si512(kBgrGather64[c].data());
        k.fromLast[c] = kBgrFromLast64[c];
    }
    k.flip = _mm512_set1_epi8(static_cast<char>(0x80));
    k.intensity = _mm512_set1_epi8(useIntensityBit ? 1 : 0);
    k.halfFactor = _mm512_set1_epi16(static_cast<int16_t>(kHalfLevelFactor));
    k.halfBias = _mm512_set1_epi16(static_cast<int16_t>(kHalfLevelBias));
    k.evenLevelFactor = _mm512_set1_epi16(static_cast<int16_t>(2 * kLevelFactor));
    k.levelFactor = _mm512_set1_epi16(static_cast<int16_t>(kLevelFactor));
    k.levelOffset = _mm512_set1_epi16(static_cast<int16_t>(kLevelOffset));
    // Each word's two bytes exchanged, within every 16-byte lane.
    k.swap = _mm512_set4_epi32(0x0E0F0C0D, 0x0A0B0809, 0x06070405, 0x02030001);
    // The unpacked lanes hold pixels 0-7 | 16-23 | 32-39 | 48-55 and
    // 8-15 | 24-31 | 40-47 | 56-63: quadwords that put them back in order.
    k.firstWords = _mm512_set_epi64(11, 10, 3, 2, 9, 8, 1, 0);
    k.lastWords = _mm512_set_epi64(15, 14, 7, 6, 13, 12, 5, 4);
    return k;
}

KEST_AVX512 inline __m512i HalfLevel(const Constants& k, __m512i v) {
    return _mm512_mulhi_epu16(_mm512_add_epi16(v, k.halfBias), k.halfFactor);
}

KEST_AVX512 inline __m512i Error(const Constants& k, __m512i v, __m512i half, __m512i offset) {
    const __m512i level =
        _mm512_srli_epi16(_mm512_add_epi16(_mm512_mullo_epi16(half, k.evenLevelFactor), offset), 6);
    return _mm512_sub_epi16(v, level);
}

KEST_AVX512 inline __m512i Words(const Constants& k, const __m512i (&half)[3], __m512i intensity) {
    const __m512i word =
        _mm512_or_si512(_mm512_or_si512(_mm512_slli_epi16(half[1], 11), _mm512_slli_epi16(half[2], 6)),
                        _mm512_or_si512(_mm512_slli_epi16(half[0], 1), intensity));
    return _mm512_shuffle_epi8(word, k.swap);
}

template <bool kGamma>
KEST_AVX512 void Row(const uint8_t* in, Pixel16* out, int8_t* const errors[3], int32_t columns, const Constants& k,
                     const ByteTableAvx512& table) {
    const __m512i zero = _mm512_setzero_si512();
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
        __m512i flipped[3], v[3];
#pragma GCC unroll 3
        for (int c = 0; c < 3; ++c) {
            const __m512i carried = _mm512_maskz_loadu_epi8(pixels, errors[c] + x);
            flipped[c] = _mm512_adds_epi8(BgrChannelAvx512(first, middle, last, k.gather[c], k.fromLast[c]), carried);
            v[c] = _mm512_xor_si512(flipped[c], k.flip);
        }
        // The flip leaves bit 0 alone.
        const __m512i intensity = _mm512_ternarylogic_epi32(flipped[0], flipped[1], flipped[2], 0x80);
        const __m512i intensityLanes[2] = {_mm512_unpacklo_epi8(_mm512_and_si512(intensity, k.intensity), zero),
                                           _mm512_unpackhi_epi8(_mm512_and_si512(intensity, k.intensity), zero)};
        __m512i half[2][3], error[2][3];
#pragma GCC unroll 2
        for (int h = 0; h < 2; ++h) {
            const __m512i offset =
                _mm512_add_epi16(_mm512_mullo_epi16(intensityLanes[h], k.levelFactor), k.levelOffset);
#pragma GCC unroll 3
            for (int c = 0; c < 3; ++c) {
                const __m512i lanes = h == 0 ? _mm512_unpacklo_epi8(v[c], zero) : _mm512_unpackhi_epi8(v[c], zero);
                half[h][c] = HalfLevel(k, lanes);
                error[h][c] = Error(k, lanes, half[h][c], offset);
            }
        }
        // Packing the two halves back puts the errors in pixel order.
#pragma GCC unroll 3
        for (int c = 0; c < 3; ++c)
            _mm512_mask_storeu_epi8(errors[c] + x, pixels, _mm512_packs_epi16(error[0][c], error[1][c]));
        const __m512i low = Words(k, half[0], intensityLanes[0]);
        const __m512i high = Words(k, half[1], intensityLanes[1]);
        _mm512_mask_storeu_epi16(out + x, static_cast<__mmask32>(LowBits(n)),
                                 _mm512_permutex2var_epi64(low, k.firstWords, high));
        _mm512_mask_storeu_epi16(out + x + 32, static_cast<__mmask32>(LowBits(n - 32)),
                                 _mm512_permutex2var_epi64(low, k.lastWords, high));
    }
}

}  // namespace

KEST_AVX512 void TemporalFrameAvx512(PictureState& state, const PictureFrame& f, const PictureWalk& walk) {
    const Constants k = MakeConstants(f.useIntensityBit);
    // The corrected bytes with the top bit flipped, ready for the signed add.
    alignas(64) uint8_t flippedGamma[256];
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
