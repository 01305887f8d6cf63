// Look-up tables for the fast converters. Each folds a channel's whole path
// from source byte (or corrected value) to its bits of the Pixel16 word into
// one entry, and holds those bits already in the buffer's byte order (high
// byte first in memory), so a pixel is three look-ups and an OR.
#pragma once

#include <bit>
#include <cstdint>

#include "picture/gamma_table.h"
#include "picture/pixel16.h"

namespace kest {

// The stored form of a word: the native value whose bytes in memory are the
// word's big-endian bytes.
inline constexpr uint16_t StoredForm(uint16_t word) {
    if constexpr (std::endian::native == std::endian::little) return static_cast<uint16_t>(word << 8 | word >> 8);
    return word;
}
inline void PutStored(Pixel16* at, uint16_t stored) { *at = stored; }

// Entry [m][c][byte], channel c = 0 blue, 1 green, 2 red: the channel's field
// of trunc-to-5-bits(min(gamma[byte] + m, 255)) in stored form (low 16 bits),
// and bit 31 when the intensity bit is in use and that value has bit value 4
// set. A pixel's stored word is the OR of its three entries' low halves, with
// the stored intensity bit added when bit 31 is set in all three.
using OrderedTable = uint32_t[8][3][256];
void BuildOrderedTable(OrderedTable& table, const GammaTable& gamma, int32_t useIntensityBit);
inline constexpr uint32_t kOrderedFlag = 0x80000000u;
inline constexpr uint16_t kStoredIntensity = StoredForm(1);

inline uint16_t OrderedWord(uint32_t b, uint32_t g, uint32_t r) {
    return static_cast<uint16_t>((b | g | r) | ((b & g & r) >> 31) * kStoredIntensity);
}

// Entry [c][v + kQuantizeBias] for a corrected value v of -16 .. 271, the
// steps of Quantize6 for one channel: low 16 bits the channel's field of the
// even 6-bit level in stored form; bit 16 the clamped value's bit 0; bits
// 20-23 the error + 8 with the low bit forced to 0, bits 24-27 with it
// forced to 1.
inline constexpr int32_t kQuantizeBias = 16;
using QuantizeTable = uint32_t[3][256 + 2 * kQuantizeBias];
const QuantizeTable& QuantizeTables();  // a constant: the same for every gamma

// The intensity bit of a pixel from its three entries (0 or 1).
inline uint32_t QuantizedIntensity(uint32_t b, uint32_t g, uint32_t r, int32_t useIntensityBit) {
    return (b & g & r) >> 16 & (useIntensityBit ? 1u : 0u);
}
inline int16_t QuantizedError(uint32_t entry, uint32_t intensity) {
    return static_cast<int16_t>(static_cast<int32_t>(entry >> (20 + 4 * intensity) & 15) - 8);
}
inline uint16_t QuantizedWord(uint32_t b, uint32_t g, uint32_t r, uint32_t intensity) {
    return static_cast<uint16_t>((b | g | r) | intensity * kStoredIntensity);
}

}  // namespace kest
