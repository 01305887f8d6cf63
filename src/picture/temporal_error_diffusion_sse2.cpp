// Temporal error diffusion, SSE2 tier: 16 pixels a step, parted into
// channels by unpacks (under a gamma other than the identity the row's
// bytes are looked up in pairs as they are loaded, SSE2 having no byte
// shuffle), clamped by a saturating signed byte add as in the wider tiers,
// the levels worked out in 16-bit lanes.

#if defined(__SSE2__)
#include <emmintrin.h>

#include "base/cpu_features.h"
#include "picture/simd_bytes_sse2.h"
#include "picture/temporal_error_diffusion_rows.h"

namespace kest {
namespace {

struct Constants {
    __m128i zero, halfBias, halfFactor, evenLevelFactor, levelFactor, levelOffset, intensity, flip;
};

inline __m128i HalfLevel(const Constants& k, __m128i v) {
    return _mm_mulhi_epu16(_mm_add_epi16(v, k.halfBias), k.halfFactor);
}

inline __m128i Words(const __m128i (&half)[3], __m128i intensity) {
    const __m128i word = _mm_or_si128(_mm_or_si128(_mm_slli_epi16(half[1], 11), _mm_slli_epi16(half[2], 6)),
                                      _mm_or_si128(_mm_slli_epi16(half[0], 1), intensity));
    // High byte first in memory.
    return _mm_or_si128(_mm_slli_epi16(word, 8), _mm_srli_epi16(word, 8));
}

template <bool kGamma>
int32_t Row(const uint8_t* in, Pixel16* out, int8_t* const errors[3], int32_t columns, const uint16_t* gammaPairs,
            const Constants& k) {
    int32_t x = 0;
    for (; x + 16 <= columns; x += 16, in += 48) {
        const BgrPlanesSse2 planes = kGamma ? DeinterleaveBgr16Sse2(in, gammaPairs) : DeinterleaveBgr16Sse2(in);
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
                                                _mm_and_si128(flipped[2], k.intensity));
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

}  // namespace

KEST_ALIGN_STACK void TemporalFrameSse2(PictureState& state, const PictureFrame& f, const PictureWalk& walk) {
    const Constants k = {_mm_setzero_si128(),
                         _mm_set1_epi16(static_cast<int16_t>(kHalfLevelBias)),
                         _mm_set1_epi16(static_cast<int16_t>(kHalfLevelFactor)),
                         _mm_set1_epi16(static_cast<int16_t>(2 * kLevelFactor)),
                         _mm_set1_epi16(static_cast<int16_t>(kLevelFactor)),
                         _mm_set1_epi16(static_cast<int16_t>(kLevelOffset)),
                         _mm_set1_epi8(f.useIntensityBit ? 1 : 0),
                         _mm_set1_epi8(static_cast<char>(0x80))};
    const uint16_t* gamma = state.gamma.Entries();
    const uint16_t* pairs = state.gammaPairs;
    for (int32_t y = 0; y < walk.rows; ++y) {
        const TemporalErrorRows errors(state, y);
        const uint8_t* in = walk.In(y);
        Pixel16* out = walk.Out(y);
        const int32_t x = state.gamma.identity ? Row<false>(in, out, errors.channel, walk.columns, pairs, k)
                                               : Row<true>(in, out, errors.channel, walk.columns, pairs, k);
        TemporalPixels(in, out, errors.channel, x, walk.columns, gamma, f.useIntensityBit);
    }
}

}  // namespace kest
#endif
