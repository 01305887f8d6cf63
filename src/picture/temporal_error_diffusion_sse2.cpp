// Temporal error diffusion, SSE2 tier: eight pixels a step in 16-bit lanes.
// SSE2 has no byte shuffle, so the scalar loads that take each channel's
// byte out of the row go through the gamma table on the way into the lanes:
// any gamma costs the same pass as the identity.

#if defined(__SSE2__)
#include <emmintrin.h>

#include "base/cpu_features.h"
#include "picture/temporal_error_diffusion_rows.h"

namespace kest {
namespace {

struct Constants {
    __m128i zero, top, halfFactor, halfOffset, evenLevelFactor, levelFactor, levelOffset, intensity;
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
    return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(v, k.halfFactor), k.halfOffset), 11);
}

// Clamped value minus the level of 2 * half + the intensity bit, whose
// contribution to the level product `offset` already holds, stored as bytes.
inline void StoreError8(int8_t* at, __m128i v, __m128i half, __m128i offset, const Constants& k) {
    const __m128i level = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(half, k.evenLevelFactor), offset), 6);
    const __m128i error = _mm_sub_epi16(v, level);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(at), _mm_packs_epi16(error, error));
}

int32_t Row(const uint8_t* in, Pixel16* out, int8_t* const errors[3], int32_t columns, const uint16_t* gamma,
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
        const __m128i word = _mm_or_si128(
            _mm_or_si128(_mm_slli_epi16(half[1], 11), _mm_slli_epi16(half[2], 6)),
            _mm_or_si128(_mm_slli_epi16(half[0], 1), intensity));
        // High byte first in memory.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                         _mm_or_si128(_mm_slli_epi16(word, 8), _mm_srli_epi16(word, 8)));
    }
    return x;
}

}  // namespace

KEST_ALIGN_STACK void TemporalFrameSse2(PictureState& state, const PictureFrame& f, const PictureWalk& walk) {
    const Constants k = {_mm_setzero_si128(),
                         _mm_set1_epi16(255),
                         _mm_set1_epi16(static_cast<int16_t>(kHalfLevelFactor)),
                         _mm_set1_epi16(static_cast<int16_t>(kHalfLevelOffset)),
                         _mm_set1_epi16(static_cast<int16_t>(2 * kLevelFactor)),
                         _mm_set1_epi16(static_cast<int16_t>(kLevelFactor)),
                         _mm_set1_epi16(static_cast<int16_t>(kLevelOffset)),
                         _mm_set1_epi16(f.useIntensityBit ? 1 : 0)};
    const uint16_t* gamma = state.gamma.Entries();
    for (int32_t y = 0; y < walk.rows; ++y) {
        const TemporalErrorRows errors(state, y);
        const uint8_t* in = walk.In(y);
        Pixel16* out = walk.Out(y);
        const int32_t x = Row(in, out, errors.channel, walk.columns, gamma, k);
        TemporalPixels(in, out, errors.channel, x, walk.columns, gamma, f.useIntensityBit);
    }
}

}  // namespace kest
#endif
