// Inside the temporal error diffusion converter: the arithmetic its vector
// steps share, the tables that finish a row, and each tier's pass over a
// frame. Errors are carried as bytes in state.temporalBytes.
//
// In 16-bit lanes (the SSE2 and AVX2 tiers) a channel's clamped value v
// (0 .. 255) has its even 6-bit level 2 * ((v + 2) * 8096 >> 16), the high
// half of a 16-bit product, and level q stands for (259 q + 33) >> 6; both
// equal Quantize6's divisions for every value, as the checks below show.
#pragma once

#include <algorithm>
#include <cstdint>

#include "picture/picture_converter.h"
#include "picture/reduction_tables.h"

namespace kest {

inline constexpr uint16_t kHalfLevelBias = 2, kHalfLevelFactor = 8096;    // then >> 16
inline constexpr uint16_t kLevelFactor = 259, kLevelOffset = 33;           // then >> 6

inline constexpr bool VectorQuantiseIsExact() {
    for (int32_t v = 0; v <= 255; ++v) {
        if (((v + kHalfLevelBias) * kHalfLevelFactor) >> 16 != (126 * v + 255) / 510 >> 1) return false;
    }
    for (int32_t q = 0; q <= 63; ++q)
        if (((kLevelFactor * q + kLevelOffset) >> 6) != (510 * q + 63) / 126) return false;
    return true;
}
static_assert(VectorQuantiseIsExact());

// The clamp as the vector steps do it: a corrected byte g with its top bit
// flipped reads as the signed byte g - 128, a saturating signed add of the
// error keeps it within -128 .. 127, and flipping back gives
// clamp(g + error, 0, 255); the flip leaves bit 0, the intensity test's bit,
// alone.
inline constexpr bool FlippedClampIsExact() {
    for (int32_t g = 0; g <= 255; ++g)
        for (int32_t error = -6; error <= 6; ++error) {
            const int32_t sum = std::clamp(static_cast<int8_t>(g ^ 0x80) + error, -128, 127);
            if ((static_cast<uint8_t>(sum) ^ 0x80) != std::clamp(g + error, 0, 255)) return false;
        }
    return true;
}
static_assert(FlippedClampIsExact());

// Pixels `x` .. `columns` - 1 of a row through the quantisation tables, for
// what a tier's vector steps leave over.
inline void TemporalPixels(const uint8_t* in, Pixel16* out, int8_t* const errors[3], int32_t x, int32_t columns,
                           const uint16_t* gamma, int32_t useIntensityBit) {
    const QuantizeTable& q = QuantizeTables();
    const uint32_t* qb = q[0] + kQuantizeBias;
    const uint32_t* qg = q[1] + kQuantizeBias;
    const uint32_t* qr = q[2] + kQuantizeBias;
    int8_t* blue = errors[0];
    int8_t* green = errors[1];
    int8_t* red = errors[2];
    for (in += 3 * x; x < columns; ++x, in += 3) {
        // Gamma 0 .. 255 plus a carried error of -6 .. 6 stays inside the
        // tables' -16 .. 271.
        const uint32_t b = qb[gamma[in[0]] + blue[x]];
        const uint32_t g = qg[gamma[in[1]] + green[x]];
        const uint32_t r = qr[gamma[in[2]] + red[x]];
        const uint32_t intensity = QuantizedIntensity(b, g, r, useIntensityBit);
        blue[x] = static_cast<int8_t>(QuantizedError(b, intensity));
        green[x] = static_cast<int8_t>(QuantizedError(g, intensity));
        red[x] = static_cast<int8_t>(QuantizedError(r, intensity));
        PutStored(out + x, QuantizedWord(b, g, r, intensity));
    }
}

// Row y's three error rows.
struct TemporalErrorRows {
    int8_t* channel[3];
    TemporalErrorRows(PictureState& state, int32_t y) {
        for (int c = 0; c < 3; ++c) channel[c] = state.temporalBytes[c] + y * kMaxPictureSide;
    }
};

// Every row of a frame; the walk is already limited to the planes' side.
void TemporalFrameTables(PictureState& state, const PictureFrame& f, const PictureWalk& walk);
#if defined(__SSE2__)
void TemporalFrameSse2(PictureState& state, const PictureFrame& f, const PictureWalk& walk);
#endif
#if defined(__x86_64__)
void TemporalFrameAvx2(PictureState& state, const PictureFrame& f, const PictureWalk& walk);
void TemporalFrameAvx512(PictureState& state, const PictureFrame& f, const PictureWalk& walk);
#endif

}  // namespace kest
