// Byte work for AVX-512 kernels (F, BW and VBMI): a 256-entry byte table
// held in four registers, and the permutes that part 64 BGR pixels into
// their three channels. x86-64 only; a caller must run on the AVX-512 tier.
#pragma once

#if defined(__x86_64__)
#include <immintrin.h>

#include <array>
#include <cstdint>

namespace kest {

struct ByteTableAvx512 {
    __m512i part[4];
};

__attribute__((target("avx512f,avx512bw,avx512vbmi"))) inline ByteTableAvx512 LoadByteTableAvx512(
    const uint8_t* entries) {
    return {{_mm512_loadu_si512(entries), _mm512_loadu_si512(entries + 64), _mm512_loadu_si512(entries + 128),
             _mm512_loadu_si512(entries + 192)}};
}

// 64 bytes through the table: a two-register permute covers 128 entries, and
// bit 7 of the byte picks the half.
__attribute__((target("avx512f,avx512bw,avx512vbmi"), always_inline)) inline __m512i LookUpAvx512(
    const ByteTableAvx512& table, __m512i v) {
    const __m512i lower = _mm512_permutex2var_epi8(table.part[0], v, table.part[1]);
    const __m512i upper = _mm512_permutex2var_epi8(table.part[2], v, table.part[3]);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), lower, upper);
}

// [c][i]: index of source byte 3i + c of 64 pixels within their first 128
// bytes, or within bytes 128-191 when that is where it lies.
inline constexpr auto kBgrGather64 = [] {
    std::array<std::array<uint8_t, 64>, 3> at{};
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 64; ++i) at[c][i] = static_cast<uint8_t>((3 * i + c) % 128);
    return at;
}();
// [c]: bit i set when source byte 3i + c lies in bytes 128-191.
inline constexpr auto kBgrFromLast64 = [] {
    std::array<uint64_t, 3> mask{};
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 64; ++i) mask[c] |= uint64_t{3 * i + c >= 128} << i;
    return mask;
}();

// One channel's 64 bytes, pixel order, from the 192 bytes in three registers.
__attribute__((target("avx512f,avx512bw,avx512vbmi"), always_inline)) inline __m512i BgrChannelAvx512(
    __m512i first, __m512i middle, __m512i last, __m512i gather, __mmask64 fromLast) {
    const __m512i low = _mm512_permutex2var_epi8(first, gather, middle);
    return _mm512_mask_permutexvar_epi8(low, fromLast, gather, last);
}

}  // namespace kest
#endif
