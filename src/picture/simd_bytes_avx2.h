// Byte work for AVX2 kernels: the shuffles that part 16 BGR pixels into
// their three channels, and 32 pixels' bytes loaded as two such groups,
// through a byte table on the way in if need be. x86-64 only; every function
// is compiled for AVX2 alone, so a caller must run on the AVX2 tier or above.
//
// A byte table is looked up two bytes at a time by scalar loads (see
// LookUpPairs16Sse2): on the processors measured that beats sixteen byte
// shuffles over parts of the table for every 32 bytes by about a quarter of
// the converters' time, and a gather more so.
#pragma once

#if defined(__x86_64__)
#include <immintrin.h>

#include <array>
#include <cstdint>

#include "picture/simd_bytes_sse2.h"

namespace kest {

// Byte i of channel c in a group of 16 pixels is source byte 3i + c of the
// group's 48, which lies in the 16-byte block (3i + c) / 16: per channel and
// block, the shuffle that takes those bytes (0x80 takes none).
inline constexpr auto kBgrDeinterleave = [] {
    std::array<std::array<std::array<uint8_t, 16>, 3>, 3> masks{};
    for (int c = 0; c < 3; ++c)
        for (int block = 0; block < 3; ++block)
            for (int i = 0; i < 16; ++i) {
                const int at = 3 * i + c;
                masks[c][block][i] = static_cast<uint8_t>(at / 16 == block ? at % 16 : 0x80);
            }
    return masks;
}();

// The nine shuffles in both 128-bit halves.
struct BgrShufflesAvx2 {
    __m256i mask[3][3];
};

__attribute__((target("avx2"))) inline BgrShufflesAvx2 MakeBgrShufflesAvx2() {
    BgrShufflesAvx2 s;
    for (int c = 0; c < 3; ++c)
        for (int block = 0; block < 3; ++block)
            s.mask[c][block] = _mm256_broadcastsi128_si256(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(kBgrDeinterleave[c][block].data())));
    return s;
}

// Thirty-two pixels' 96 bytes as two groups of 16, one in each half:
// a = bytes 0-15 | 48-63, b = 16-31 | 64-79, d = 32-47 | 80-95.
struct BgrBlocksAvx2 {
    __m256i a, b, d;
};

__attribute__((target("avx2"), always_inline)) inline BgrBlocksAvx2 LoadBgr32Avx2(const uint8_t* in) {
    const auto at = [in](int offset) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + offset)); };
    return {_mm256_inserti128_si256(_mm256_castsi128_si256(at(0)), at(48), 1),
            _mm256_inserti128_si256(_mm256_castsi128_si256(at(16)), at(64), 1),
            _mm256_inserti128_si256(_mm256_castsi128_si256(at(32)), at(80), 1)};
}

// The same with every byte through the table whose pairs are `pairs`.
__attribute__((target("avx2"), always_inline)) inline BgrBlocksAvx2 LoadBgr32Avx2(const uint8_t* in,
                                                                                  const uint16_t* pairs) {
    const auto at = [in, pairs](int offset) { return LookUpPairs16Sse2(in + offset, pairs); };
    return {_mm256_inserti128_si256(_mm256_castsi128_si256(at(0)), at(48), 1),
            _mm256_inserti128_si256(_mm256_castsi128_si256(at(16)), at(64), 1),
            _mm256_inserti128_si256(_mm256_castsi128_si256(at(32)), at(80), 1)};
}

// Channel c of the 32 pixels: pixels 0-15 in the low half, 16-31 in the high.
__attribute__((target("avx2"), always_inline)) inline __m256i BgrChannelAvx2(const BgrShufflesAvx2& s,
                                                                             const BgrBlocksAvx2& in, int c) {
    return _mm256_or_si256(
        _mm256_or_si256(_mm256_shuffle_epi8(in.a, s.mask[c][0]), _mm256_shuffle_epi8(in.b, s.mask[c][1])),
        _mm256_shuffle_epi8(in.d, s.mask[c][2]));
}

}  // namespace kest
#endif
