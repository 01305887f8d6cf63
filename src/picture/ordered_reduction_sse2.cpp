// Bit truncation and the ordered dithers, SSE2 step for the identity gamma
// table: a channel's byte is its corrected value, the row is parted into
// channels by unpacks, the saturating add is min(v + m, 255), and the word's
// two bytes are formed apart and interleaved high byte first.

#if defined(__SSE2__)
#include <emmintrin.h>

#include "base/cpu_features.h"
#include "picture/ordered_reduction_steps.h"
#include "picture/simd_bytes_sse2.h"

namespace kest {

KEST_ALIGN_STACK int32_t ReduceRowIdentitySse2(const uint8_t* in, Pixel16* out, int32_t columns,
                                               const uint16_t* matrixRow, int32_t useIntensityBit, const uint8_t*) {
    const __m128i m = _mm_set1_epi32(static_cast<int32_t>(matrixRow[0] | matrixRow[1] << 8 | matrixRow[2] << 16 |
                                                          static_cast<uint32_t>(matrixRow[3]) << 24));
    const __m128i intensity = _mm_set1_epi8(useIntensityBit ? 1 : 0);
    const __m128i f8 = _mm_set1_epi8(static_cast<char>(0xF8)), low3 = _mm_set1_epi8(7);
    const __m128i c0 = _mm_set1_epi8(static_cast<char>(0xC0)), x3e = _mm_set1_epi8(0x3E);
    int32_t x = 0;
    for (; x + 16 <= columns; x += 16, in += 48) {
        const BgrPlanesSse2 planes = DeinterleaveBgr16Sse2(in);
        const __m128i blue = _mm_adds_epu8(planes.blue, m);
        const __m128i green = _mm_adds_epu8(planes.green, m);
        const __m128i red = _mm_adds_epu8(planes.red, m);
        // High byte: green's 5 bits, then red's top 3. Low byte: red's low 2
        // of its 5, blue's 5, the intensity bit. 16-bit shifts carry bits
        // across bytes, and the masks drop them.
        const __m128i high = _mm_or_si128(_mm_and_si128(green, f8), _mm_and_si128(_mm_srli_epi16(red, 5), low3));
        const __m128i all = _mm_and_si128(_mm_and_si128(blue, green), red);
        const __m128i low = _mm_or_si128(
            _mm_or_si128(_mm_and_si128(_mm_slli_epi16(red, 3), c0), _mm_and_si128(_mm_srli_epi16(blue, 2), x3e)),
            _mm_and_si128(_mm_srli_epi16(all, 2), intensity));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_unpacklo_epi8(high, low));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x + 8), _mm_unpackhi_epi8(high, low));
    }
    return x;
}

}  // namespace kest
#endif
