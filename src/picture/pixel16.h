// The player's pixel: green in bits 15-11, red 10-6, blue 5-1 and one
// intensity bit (bit 0) shared by the three channels, so each channel reads
// as a 6-bit value. Words are stored big-endian in the movie file, and the
// picture buffer already holds them in that byte order.
#pragma once

#include <cstdint>

namespace kest {

using Pixel16 = uint16_t;

inline constexpr Pixel16 PackPixel16(unsigned g5, unsigned r5, unsigned b5, unsigned intensity) {
    return static_cast<Pixel16>(g5 << 11 | r5 << 6 | b5 << 1 | intensity);
}

// Writes `word` so that its high byte comes first in memory.
inline void StorePixel16(Pixel16* at, Pixel16 word) {
    auto* bytes = reinterpret_cast<uint8_t*>(at);
    bytes[0] = static_cast<uint8_t>(word >> 8);
    bytes[1] = static_cast<uint8_t>(word);
}

inline Pixel16 LoadPixel16(const Pixel16* at) {
    auto* bytes = reinterpret_cast<const uint8_t*>(at);
    return static_cast<Pixel16>(bytes[0] << 8 | bytes[1]);
}

}  // namespace kest
