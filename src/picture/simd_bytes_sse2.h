// Byte work for SSE2 kernels, which have no byte shuffle: 16 BGR pixels
// parted into their three channels by unpacks alone, and a byte table looked
// up two bytes at a time on the way into a register.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>

#include <cstdint>
#include <cstring>

namespace kest {

struct BgrPlanesSse2 {
    __m128i blue, green, red;
};

// Sixteen bytes through a 256-entry table, two at a time: entry a | b << 8
// of `pairs` holds table[a] | table[b] << 8 (see BuildGammaPairs), so each
// 16-bit load from the row is one look-up of a pair in its memory order.
inline __m128i LookUpPairs16Sse2(const uint8_t* in, const uint16_t* pairs) {
    uint32_t word[4];
    std::memcpy(word, in, sizeof word);
    const auto pair = [pairs](uint32_t bytes) {
        return static_cast<int32_t>(pairs[bytes & 0xFFFF] | static_cast<uint32_t>(pairs[bytes >> 16]) << 16);
    };
    return _mm_setr_epi32(pair(word[0]), pair(word[1]), pair(word[2]), pair(word[3]));
}

// Each round interleaves, byte by byte, the low half of the first register
// with the high half of the second, the first's high half with the third's
// low half, and the second's low half with the third's high half; four
// rounds take 48 bytes of BGR triples to 16 bytes of each channel in pixel
// order.
inline BgrPlanesSse2 DeinterleaveBgr16Sse2(__m128i r0, __m128i r1, __m128i r2) {
#pragma GCC unroll 4
    for (int round = 0; round < 4; ++round) {
        const __m128i s0 = _mm_unpacklo_epi8(r0, _mm_unpackhi_epi64(r1, r1));
        const __m128i s1 = _mm_unpackhi_epi8(r0, _mm_unpacklo_epi64(r2, r2));
        const __m128i s2 = _mm_unpacklo_epi8(r1, _mm_unpackhi_epi64(r2, r2));
        r0 = s0, r1 = s1, r2 = s2;
    }
    return {r0, r1, r2};
}

inline BgrPlanesSse2 DeinterleaveBgr16Sse2(const uint8_t* in) {
    return DeinterleaveBgr16Sse2(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16)),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 32)));
}

// The 16 pixels' bytes through the table first.
inline BgrPlanesSse2 DeinterleaveBgr16Sse2(const uint8_t* in, const uint16_t* pairs) {
    return DeinterleaveBgr16Sse2(LookUpPairs16Sse2(in, pairs), LookUpPairs16Sse2(in + 16, pairs),
                                 LookUpPairs16Sse2(in + 32, pairs));
}

}  // namespace kest
#endif
