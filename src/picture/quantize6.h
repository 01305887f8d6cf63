// One pixel reduced to the player's 6-bit channels: the 5-bit field of each
// channel followed by the intensity bit that the three share. Both error
// diffusers quantise with this and differ only in where the errors go.
#pragma once

#include <algorithm>
#include <cstdint>

#include "picture/pixel16.h"

namespace kest {

struct Quantized6 {
    uint8_t qb, qg, qr;   // 0 .. 63, lowest bit equal to `intensity`
    uint8_t intensity;    // 0 or 1
    int16_t eb, eg, er;   // clamped value minus reconstructed level, -6 .. 6
    Pixel16 word;
};

// vb, vg, vr: corrected channel values, any signed 16-bit value. Each is
// clamped to 0 .. 255 first and what the clamp cuts off is not part of the
// error. The shared bit is set when bit value 1 is set in all three clamped
// values (not bit value 4 as in truncation); it then overrides the lowest bit
// of every quantised channel.
inline Quantized6 Quantize6(int16_t vb, int16_t vg, int16_t vr, int32_t useIntensityBit) {
    const int32_t b = std::clamp<int32_t>(vb, 0, 255);
    const int32_t g = std::clamp<int32_t>(vg, 0, 255);
    const int32_t r = std::clamp<int32_t>(vr, 0, 255);
    const int32_t intensity = useIntensityBit && (b & g & r & 1) ? 1 : 0;
    // Nearest of 64 levels, trunc(v * 63 / 255 + 0.5) exactly (no ties occur),
    // then the low bit forced.
    const int32_t qb = ((126 * b + 255) / 510 & ~1) | intensity;
    const int32_t qg = ((126 * g + 255) / 510 & ~1) | intensity;
    const int32_t qr = ((126 * r + 255) / 510 & ~1) | intensity;
    // Level q stands for trunc(q * 255 / 63 + 0.5): 0, 4, ..., 125, 130, ..., 255.
    const auto level = [](int32_t q) { return (510 * q + 63) / 126; };
    Quantized6 out;
    out.qb = static_cast<uint8_t>(qb);
    out.qg = static_cast<uint8_t>(qg);
    out.qr = static_cast<uint8_t>(qr);
    out.intensity = static_cast<uint8_t>(intensity);
    out.eb = static_cast<int16_t>(b - level(qb));
    out.eg = static_cast<int16_t>(g - level(qg));
    out.er = static_cast<int16_t>(r - level(qr));
    out.word = PackPixel16(static_cast<unsigned>(qg >> 1), static_cast<unsigned>(qr >> 1),
                           static_cast<unsigned>(qb >> 1), static_cast<unsigned>(intensity));
    return out;
}

}  // namespace kest
