// Temporal error diffusion, table-driven: each channel's clamp, 6-bit level,
// field bits and both possible errors come from one look-up of its corrected
// value; the shared bit then picks the error. Word for word the same as the
// plain form.

#include <algorithm>
#include <iterator>

#include "picture/gamma_table.h"
#include "picture/picture_converter.h"
#include "picture/reduction_tables.h"

namespace kest {
namespace {

constexpr int32_t kPlaneSide = kMaxPictureSide;

// Cell y * 512 + x for pixel (y, x), y counted from the bottom row; cleared
// on frame index 0, kept between frames. Apart from the plain form's planes.
int16_t bluePlane[kPlaneSide * kPlaneSide];
int16_t greenPlane[kPlaneSide * kPlaneSide];
int16_t redPlane[kPlaneSide * kPlaneSide];

}  // namespace

void ConvertTemporalErrorDiffusion(const uint8_t* picture, int32_t sourceWidth, int32_t sourceHeight,
                                   Pixel16* destination, int32_t targetWidth, int32_t targetHeight,
                                   int32_t frameIndex, double gamma, int32_t useIntensityBit) {
    if (frameIndex == 0) {
        std::fill(std::begin(bluePlane), std::end(bluePlane), int16_t{0});
        std::fill(std::begin(greenPlane), std::end(greenPlane), int16_t{0});
        std::fill(std::begin(redPlane), std::end(redPlane), int16_t{0});
        BuildGammaTable(gamma);
    }
    const uint16_t* table = GammaTable();
    const QuantizeTable& q = QuantizeTables();
    const uint32_t* qb = q[0] + kQuantizeBias;
    const uint32_t* qg = q[1] + kQuantizeBias;
    const uint32_t* qr = q[2] + kQuantizeBias;
    const int32_t rows = std::min({sourceHeight, targetHeight, kPlaneSide});
    const int32_t columns = std::min({sourceWidth, targetWidth, kPlaneSide});
    const int32_t sourceStride = SourceRowStride(sourceWidth);
    const int32_t destinationStride = DestinationRowStride(targetWidth);
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* in = picture + static_cast<std::ptrdiff_t>(y) * sourceStride;
        Pixel16* out = destination + static_cast<std::ptrdiff_t>(targetHeight - 1 - y) * destinationStride;
        int16_t* blue = bluePlane + y * kPlaneSide;
        int16_t* green = greenPlane + y * kPlaneSide;
        int16_t* red = redPlane + y * kPlaneSide;
        for (int32_t x = 0; x < columns; ++x, in += 3) {
            // Gamma 0 .. 255 plus a carried error of -6 .. 6 stays inside
            // the tables' -16 .. 271.
            const uint32_t b = qb[table[in[0]] + blue[x]];
            const uint32_t g = qg[table[in[1]] + green[x]];
            const uint32_t r = qr[table[in[2]] + red[x]];
            const uint32_t intensity = QuantizedIntensity(b, g, r, useIntensityBit);
            blue[x] = QuantizedError(b, intensity);
            green[x] = QuantizedError(g, intensity);
            red[x] = QuantizedError(r, intensity);
            PutStored(out + x, QuantizedWord(b, g, r, intensity));
        }
    }
}

}  // namespace kest
