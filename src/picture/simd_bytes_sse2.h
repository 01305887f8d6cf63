// Byte work for SSE2 kernels, which have no byte shuffle: 16 BGR pixels
// parted into their three channels by unpacks alone.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>

namespace kest {

struct BgrPlanesSse2 {
    __m128i blue, green, red;
};

// Each round interleaves, byte by byte, the low half of the first register
// with the high half of the second, the first's high half with the third's
// low half, and the second's low half with the third's high half; four
// rounds take 48 bytes of BGR triples to 16 bytes of each channel in pixel
// order.
inline BgrPlanesSse2 DeinterleaveBgr16Sse2(const uint8_t* in) {
    __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    __m128i r1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
    __m128i r2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 32));
#pragma GCC unroll 4
    for (int round = 0; round < 4; ++round) {
        const __m128i s0 = _mm_unpacklo_epi8(r0, _mm_unpackhi_epi64(r1, r1));
        const __m128i s1 = _mm_unpackhi_epi8(r0, _mm_unpacklo_epi64(r2, r2));
        const __m128i s2 = _mm_unpacklo_epi8(r1, _mm_unpackhi_epi64(r2, r2));
        r0 = s0, r1 = s1, r2 = s2;
    }
    return {r0, r1, r2};
}

}  // namespace kest
#endif
