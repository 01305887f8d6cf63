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

// The player's colour of a word: each channel's 5-bit field followed by the
// shared intensity bit, a 6-bit value widened to 8 bits.
struct Rgb8 {
    uint8_t r, g, b;
};

inline Rgb8 ExpandPixel16(uint16_t word) {
    const unsigned intensity = word & 1u;
    auto widen = [intensity](unsigned field5) {
        const unsigned v6 = field5 << 1 | intensity;
        return static_cast<uint8_t>(v6 << 2 | v6 >> 4);
    };
    return {widen((word >> 6) & 31u), widen((word >> 11) & 31u), widen((word >> 1) & 31u)};
}

}  // namespace kest
