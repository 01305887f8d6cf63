// Byte work for AVX2 kernels: any 256-entry byte table applied to 32 bytes
// in registers, and the shuffles that part 16 BGR pixels into their three
// channels. x86-64 only; every function is compiled for AVX2 alone, so a
// caller must run on the AVX2 tier or above.
#pragma once

#if defined(__x86_64__)
#include <immintrin.h>

#include <array>
#include <cstdint>

namespace kest {

// A byte shuffle reads one of 16 entries by the index's low nibble and reads
// 0 when the index has bit 7 set. Sixteen shuffles, each over a part of the
// table made of differences, cover all 256 entries: part k is read where the
// byte's high nibble h is at most k (in the same half of the table), which a
// saturating add of 0x70 - 16 (k mod 8) to the byte (or, for the upper
// half, to the byte with bit 7 flipped) tells by bit 7, and the parts from h
// to the end of the half add up by XOR to row h of the table.
struct ByteTableAvx2 {
    __m256i part[16];
};

__attribute__((target("avx2"))) inline void BuildByteTableAvx2(ByteTableAvx2& table, const uint8_t* entries) {
    for (int k = 0; k < 16; ++k) {
        alignas(16) uint8_t part[16];
        const bool lastOfHalf = k == 7 || k == 15;
        for (int i = 0; i < 16; ++i)
            part[i] = static_cast<uint8_t>(entries[16 * k + i] ^ (lastOfHalf ? 0 : entries[16 * (k + 1) + i]));
        table.part[k] = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(part)));
    }
}

__attribute__((target("avx2"), always_inline)) inline __m256i LookUpAvx2(const ByteTableAvx2& table, __m256i v) {
    const __m256i flipped = _mm256_xor_si256(v, _mm256_set1_epi8(static_cast<char>(0x80)));
    __m256i sum[2] = {_mm256_setzero_si256(), _mm256_setzero_si256()};
#pragma GCC unroll 16
    for (int k = 0; k < 16; ++k) {
        const __m256i index =
            _mm256_adds_epu8(k < 8 ? v : flipped, _mm256_set1_epi8(static_cast<char>(0x70 - 16 * (k & 7))));
        sum[k & 1] = _mm256_xor_si256(sum[k & 1], _mm256_shuffle_epi8(table.part[k], index));
    }
    return _mm256_xor_si256(sum[0], sum[1]);
}

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

// Channel c of the 32 pixels: pixels 0-15 in the low half, 16-31 in the high.
__attribute__((target("avx2"), always_inline)) inline __m256i BgrChannelAvx2(const BgrShufflesAvx2& s,
                                                                             const BgrBlocksAvx2& in, int c) {
    return _mm256_or_si256(
        _mm256_or_si256(_mm256_shuffle_epi8(in.a, s.mask[c][0]), _mm256_shuffle_epi8(in.b, s.mask[c][1])),
        _mm256_shuffle_epi8(in.d, s.mask[c][2]));
}

}  // namespace kest
#endif
