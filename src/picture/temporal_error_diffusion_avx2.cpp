// Temporal error diffusion, AVX2 tier: 32 pixels a step. The clamp is a
// saturating signed byte add of the carried error to the corrected byte with
// its top bit flipped, so the errors stay bytes; the levels are worked out
// in 16-bit lanes.

#if defined(__x86_64__)
#include <immintrin.h>

#include "picture/simd_bytes_avx2.h"
#include "picture/temporal_error_diffusion_rows.h"

namespace kest {
namespace {

struct Constants {
    BgrShufflesAvx2 bgr;
    __m256i flip, intensity, halfBias, halfFactor, evenLevelFactor, levelFactor, levelOffset, swap;
};

__attribute__((target("avx2"))) Constants MakeConstants(int32_t useIntensityBit) {
    Constants k;
    k.bgr = MakeBgrShufflesAvx2();
    k.flip = _mm256_set1_epi8(static_cast<char>(0x80));
    k.intensity = _mm256_set1_epi8(useIntensityBit ? 1 : 0);
    k.halfFactor = _mm256_set1_epi16(static_cast<int16_t>(kHalfLevelFactor));
    k.halfBias = _mm256_set1_epi16(static_cast<int16_t>(kHalfLevelBias));
    k.evenLevelFactor = _mm256_set1_epi16(static_cast<int16_t>(2 * kLevelFactor));
    k.levelFactor = _mm256_set1_epi16(static_cast<int16_t>(kLevelFactor));
    k.levelOffset = _mm256_set1_epi16(static_cast<int16_t>(kLevelOffset));
    k.swap = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14,  //
                              1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
    return k;
}

__attribute__((target("avx2"), always_inline)) inline __m256i HalfLevel(const Constants& k, __m256i v) {
    return _mm256_mulhi_epu16(_mm256_add_epi16(v, k.halfBias), k.halfFactor);
}

// The clamped values minus the level of 2 * half + the intensity bit, whose
// part of the level product `offset` already holds.
__attribute__((target("avx2"), always_inline)) inline __m256i Error(const Constants& k, __m256i v, __m256i half,
                                                                    __m256i offset) {
    const __m256i level =
        _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(half, k.evenLevelFactor), offset), 6);
    return _mm256_sub_epi16(v, level);
}

// Sixteen words, lanes as in `half`, high byte first in memory.
__attribute__((target("avx2"), always_inline)) inline __m256i Words(const Constants& k, const __m256i (&half)[3],
                                                                    __m256i intensity) {
    const __m256i word =
        _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(half[1], 11), _mm256_slli_epi16(half[2], 6)),
                        _mm256_or_si256(_mm256_slli_epi16(half[0], 1), intensity));
    return _mm256_shuffle_epi8(word, k.swap);
}

template <bool kGamma>
__attribute__((target("avx2"))) int32_t Row(const uint8_t* in, Pixel16* out, int8_t* const errors[3],
                                             int32_t columns, const Constants& k, const uint16_t* gammaPairs) {
    const __m256i zero = _mm256_setzero_si256();
    int32_t x = 0;
    for (; x + 32 <= columns; x += 32, in += 96) {
        BgrBlocksAvx2 blocks = kGamma ? LoadBgr32Avx2(in, gammaPairs) : LoadBgr32Avx2(in);
        blocks = {_mm256_xor_si256(blocks.a, k.flip), _mm256_xor_si256(blocks.b, k.flip),
                  _mm256_xor_si256(blocks.d, k.flip)};
        // Pixels 0-15 in the low half, 16-31 in the high one, as the errors.
        __m256i flipped[3], v[3];
#pragma GCC unroll 3
        for (int c = 0; c < 3; ++c) {
            const __m256i carried = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(errors[c] + x));
            flipped[c] = _mm256_adds_epi8(BgrChannelAvx2(k.bgr, blocks, c), carried);
            v[c] = _mm256_xor_si256(flipped[c], k.flip);
        }
        // The flip leaves bit 0 alone.
        const __m256i intensity =
            _mm256_and_si256(_mm256_and_si256(flipped[0], flipped[1]), _mm256_and_si256(flipped[2], k.intensity));
        // 16-bit lanes: pixels 0-7 | 16-23 and 8-15 | 24-31.
        const __m256i intensityLanes[2] = {_mm256_unpacklo_epi8(intensity, zero),
                                           _mm256_unpackhi_epi8(intensity, zero)};
        __m256i half[2][3], error[2][3];
#pragma GCC unroll 2
        for (int h = 0; h < 2; ++h) {
            const __m256i offset =
                _mm256_add_epi16(_mm256_mullo_epi16(intensityLanes[h], k.levelFactor), k.levelOffset);
#pragma GCC unroll 3
            for (int c = 0; c < 3; ++c) {
                const __m256i lanes = h == 0 ? _mm256_unpacklo_epi8(v[c], zero) : _mm256_unpackhi_epi8(v[c], zero);
                half[h][c] = HalfLevel(k, lanes);
                error[h][c] = Error(k, lanes, half[h][c], offset);
            }
        }
        // Packing the two halves back puts the errors in pixel order.
#pragma GCC unroll 3
        for (int c = 0; c < 3; ++c)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(errors[c] + x),
                                _mm256_packs_epi16(error[0][c], error[1][c]));
        const __m256i first = Words(k, half[0], intensityLanes[0]);
        const __m256i second = Words(k, half[1], intensityLanes[1]);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_permute2x128_si256(first, second, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x + 16), _mm256_permute2x128_si256(first, second, 0x31));
    }
    return x;
}

}  // namespace

__attribute__((target("avx2"))) void TemporalFrameAvx2(PictureState& state, const PictureFrame& f,
                                                       const PictureWalk& walk) {
    const Constants k = MakeConstants(f.useIntensityBit);
    const uint16_t* gamma = state.gamma.Entries();
    for (int32_t y = 0; y < walk.rows; ++y) {
        const TemporalErrorRows errors(state, y);
        const uint8_t* in = walk.In(y);
        Pixel16* out = walk.Out(y);
        const int32_t x = state.gamma.identity ? Row<false>(in, out, errors.channel, walk.columns, k, state.gammaPairs)
                                               : Row<true>(in, out, errors.channel, walk.columns, k, state.gammaPairs);
        TemporalPixels(in, out, errors.channel, x, walk.columns, gamma, f.useIntensityBit);
    }
}

}  // namespace kest
#endif
