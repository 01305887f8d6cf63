// Temporal error diffusion, SSE2 tier, levels in 16-bit lanes. With the
// identity gamma, 16 pixels a step are parted into channels by unpacks and
// clamped by a saturating signed byte add, as in the wider tiers. SSE2 has
// no byte shuffle to look up a table with, so under any other gamma the
// scalar loads that take each channel's byte out of the row go through the
// table on the way into the lanes, eight pixels a step.

#if defined(__SSE2__)
#include <emmintrin.h>

#include "base/cpu_features.h"
#include "picture/simd_bytes_sse2.h"
#include "picture/temporal_error_diffusion_rows.h"

namespace kest {
namespace {

struct Constants {
    __m128i zero, top, halfBias, halfFactor, evenLevelFactor, levelFactor, levelOffset, intensity, flip;
};

// Eight corrected values of channel c: gamma[in[3i + c]].
inline __m128i Gather8(const uint8_t* in, const uint16_t* gamma) {
    __m128i v = _mm_cvtsi32_si128(gamma[in[0]]);
    v = _mm_insert_epi16(v, gamma[in[3]], 1);
    v = _mm_insert_epi16(v, gamma[in[6]], 2);
    v = _mm_insert_epi16(v, gamma[in[9]], 3);
    v = _mm_insert_epi16(v, gamma[in[12]], 4);
    v = _mm_insert_epi16(v, gamma[in[15]], 5);
    v = _mm_insert_epi16(v, gamma[in[18]], 6);
    return _mm_insert_epi16(v, gamma[in[21]], 7);
}

// The carried errors of eight pixels, widened with their sign.
inline __m128i LoadErrors8(const int8_t* at) {
    const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(at));
    return _mm_srai_epi16(_mm_unpacklo_epi8(bytes, bytes), 8);
}

inline __m128i HalfLevel(const Constants& k, __m128i v) {
    return _mm_mulhi_epu16(_mm_add_epi16(v, k.halfBias), k.halfFactor);
}

// Clamped value minus the level of 2 * half + the intensity bit, whose
// contribution to the level product `offset` already holds, stored as bytes.
inline void StoreError8(int8_t* at, __m128i v, __m128i half, __m128i offset, const Constants& k) {
    const __m128i level = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(half, k.evenLevelFactor), offset), 6);
    const __m128i error = _mm_sub_epi16(v, level);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(at), _mm_packs_epi16(error, error));
}

inline __m128i Words(const __m128i (&half)[3], __m128i intensity) {
    const __m128i word = _mm_or_si128(_mm_or_si128(_mm_slli_epi16(half[1], 11), _mm_slli_epi16(half[2], 6)),
                                      _mm_or_si128(_mm_slli_epi16(half[0], 1), intensity));
    // High byte first in memory.
    return _mm_or_si128(_mm_slli_epi16(word, 8), _mm_srli_epi16(word, 8));
}

int32_t RowIdentity(const uint8_t* in, Pixel16* out, int8_t* const errors[3], int32_t columns, const Constants& k) {
    int32_t x = 0;
    for (; x + 16 <= columns; x += 16, in += 48) {
        const BgrPlanesSse2 planes = DeinterleaveBgr16Sse2(in);
        const __m128i channel[3] = {planes.blue, planes.green, planes.red};
        __m128i flipped[3], v[3];
#pragma GCC unroll 3
        for (int c = 0; c < 3; ++c) {
            const __m128i carried = _mm_loadu_si128(reinterpret_cast<const __m128i*>(errors[c] + x));
            flipped[c] = _mm_adds_epi8(_mm_xor_si128(channel[c], k.flip), carried);
            v[c] = _mm_xor_si128(flipped[c], k.flip);
        }
        // The flip leaves bit 0 alone.
        const __m128i intensity = _mm_and_si128(_mm_and_si128(flipped[0], flipped[1]),
                                                _mm_and_si128(flipped[2], _mm_packus_epi16(k.intensity, k.intensity)));
        const __m128i intensityLanes[2] = {_mm_unpacklo_epi8(intensity, k.zero), _mm_unpackhi_epi8(intensity, k.zero)};
        __m128i half[2][3], error[2][3];
#pragma GCC unroll 2
        for (int h = 0; h < 2; ++h) {
            const __m128i offset = _mm_add_epi16(_mm_mullo_epi16(intensityLanes[h], k.levelFactor), k.levelOffset);
#pragma GCC unroll 3
            for (int c = 0; c < 3; ++c) {
                const __m128i lanes = h == 0 ? _mm_unpacklo_epi8(v[c], k.zero) : _mm_unpackhi_epi8(v[c], k.zero);
                half[h][c] = HalfLevel(k, lanes);
                const __m128i level =
                    _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(half[h][c], k.evenLevelFactor), offset), 6);
                error[h][c] = _mm_sub_epi16(lanes, level);
            }
        }
#pragma GCC unroll 3
        for (int c = 0; c < 3; ++c)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(errors[c] + x), _mm_packs_epi16(error[0][c], error[1][c]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), Words(half[0], intensityLanes[0]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x + 8), Words(half[1], intensityLanes[1]));
    }
    return x;
}

int32_t RowGamma(const uint8_t* in, Pixel16* out, int8_t* const errors[3], int32_t columns, const uint16_t* gamma,
            const Constants& k) {
    int32_t x = 0;
    for (; x + 8 <= columns; x += 8, in += 24) {
        __m128i v[3], half[3];
#pragma GCC unroll 3
        for (int c = 0; c < 3; ++c) {
            const __m128i corrected = _mm_add_epi16(Gather8(in + c, gamma), LoadErrors8(errors[c] + x));
            v[c] = _mm_min_epi16(_mm_max_epi16(corrected, k.zero), k.top);
            half[c] = HalfLevel(k, v[c]);
        }
        const __m128i intensity = _mm_and_si128(_mm_and_si128(v[0], v[1]), _mm_and_si128(v[2], k.intensity));
        const __m128i offset = _mm_add_epi16(_mm_mullo_epi16(intensity, k.levelFactor), k.levelOffset);
#pragma GCC unroll 3
        for (int c = 0; c < 3; ++c) StoreError8(errors[c] + x, v[c], half[c], offset, k);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), Words(half, intensity));
    }
    return x;
}

}  // namespace

KEST_ALIGN_STACK void TemporalFrameSse2(PictureState& state, const PictureFrame& f, const PictureWalk& walk) {
    const Constants k = {_mm_setzero_si128(),
                         _mm_set1_epi16(255),
                         _mm_set1_epi16(static_cast<int16_t>(kHalfLevelBias)),
                         _mm_set1_epi16(static_cast<int16_t>(kHalfLevelFactor)),
                         _mm_set1_epi16(static_cast<int16_t>(2 * kLevelFactor)),
                         _mm_set1_epi16(static_cast<int16_t>(kLevelFactor)),
                         _mm_set1_epi16(static_cast<int16_t>(kLevelOffset)),
                         _mm_set1_epi16(f.useIntensityBit ? 1 : 0),
                         _mm_set1_epi8(static_cast<char>(0x80))};
    const uint16_t* gamma = state.gamma.Entries();
    for (int32_t y = 0; y < walk.rows; ++y) {
        const TemporalErrorRows errors(state, y);
        const uint8_t* in = walk.In(y);
        Pixel16* out = walk.Out(y);
        const int32_t x = state.gamma.identity ? RowIdentity(in, out, errors.channel, walk.columns, k)
                                               : RowGamma(in, out, errors.channel, walk.columns, gamma, k);
        TemporalPixels(in, out, errors.channel, x, walk.columns, gamma, f.useIntensityBit);
    }
}

}  // namespace kest
#endif
