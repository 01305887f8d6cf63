// Bit truncation and the ordered dithers, SSE2 steps of 16 pixels: the row
// is parted into channels by unpacks (its bytes looked up in pairs on the way
// in unless the gamma table is the identity), the saturating add is
// min(v + m, 255), and the word's two bytes are formed apart and interleaved
// high byte first.

#if defined(__SSE2__)
#include <emmintrin.h>

#include "base/cpu_features.h"
#include "picture/ordered_reduction_steps.h"
#include "picture/simd_bytes_sse2.h"

namespace kest {

namespace {

struct Step16 {
    __m128i m, intensity, f8, low3, c0, x3e;
};

Step16 MakeStep16(const uint16_t* matrixRow, int32_t useIntensityBit) {
    return {_mm_set1_epi32(static_cast<int32_t>(matrixRow[0] | matrixRow[1] << 8 | matrixRow[2] << 16 |
                                                static_cast<uint32_t>(matrixRow[3]) << 24)),
            _mm_set1_epi8(useIntensityBit ? 1 : 0),
            _mm_set1_epi8(static_cast<char>(0xF8)),
            _mm_set1_epi8(7),
            _mm_set1_epi8(static_cast<char>(0xC0)),
            _mm_set1_epi8(0x3E)};
}

// Sixteen pixels from their corrected channel bytes.
inline void Reduce16(const Step16& k, const BgrPlanesSse2& planes, Pixel16* out) {
    const __m128i blue = _mm_adds_epu8(planes.blue, k.m);
    const __m128i green = _mm_adds_epu8(planes.green, k.m);
    const __m128i red = _mm_adds_epu8(planes.red, k.m);
    // High byte: green's 5 bits, then red's top 3. Low byte: red's low 2 of
    // its 5, blue's 5, the intensity bit. 16-bit shifts carry bits across
    // bytes, and the masks drop them.
    const __m128i high = _mm_or_si128(_mm_and_si128(green, k.f8), _mm_and_si128(_mm_srli_epi16(red, 5), k.low3));
    const __m128i all = _mm_and_si128(_mm_and_si128(blue, green), red);
    const __m128i low = _mm_or_si128(
        _mm_or_si128(_mm_and_si128(_mm_slli_epi16(red, 3), k.c0), _mm_and_si128(_mm_srli_epi16(blue, 2), k.x3e)),
        _mm_and_si128(_mm_srli_epi16(all, 2), k.intensity));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(high, low));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(high, low));
}

}  // namespace

KEST_ALIGN_STACK int32_t ReduceRowGammaSse2(const uint8_t* in, Pixel16* out, int32_t columns,
                                            const uint16_t* matrixRow, int32_t useIntensityBit, const uint8_t*,
                                            const uint16_t* gammaPairs) {
    const Step16 k = MakeStep16(matrixRow, useIntensityBit);
    int32_t x = 0;
    for (; x + 16 <= columns; x += 16, in += 48) Reduce16(k, DeinterleaveBgr16Sse2(in, gammaPairs), out + x);
    return x;
}

KEST_ALIGN_STACK int32_t ReduceRowIdentitySse2(const uint8_t* in, Pixel16* out, int32_t columns,
                                               const uint16_t* matrixRow, int32_t useIntensityBit, const uint8_t*,
                                               const uint16_t*) {
    const Step16 k = MakeStep16(matrixRow, useIntensityBit);
    int32_t x = 0;
    for (; x + 16 <= columns; x += 16, in += 48) Reduce16(k, DeinterleaveBgr16Sse2(in), out + x);
    return x;
}

}  // namespace kest
#endif
