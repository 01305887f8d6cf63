// Plain form, a pixel at a time: the reference for the fast converter.
// Each pixel's quantisation error goes to the same pixel of the next frame,
// whole; nothing moves sideways within a picture.

#include <algorithm>
#include <iterator>

#include "picture/gamma_table.h"
#include "picture/picture_converter.h"
#include "picture/quantize6.h"

namespace kest {
namespace {

constexpr int32_t kPlaneSide = kMaxPictureSide;

// One ErrorPlane per channel, cell y * 512 + x for pixel (y, x), y counted
// from the bottom row. Cleared on frame index 0, kept between frames.
int16_t bluePlane[kPlaneSide * kPlaneSide];
int16_t greenPlane[kPlaneSide * kPlaneSide];
int16_t redPlane[kPlaneSide * kPlaneSide];

}  // namespace

void ConvertTemporalErrorDiffusionReference(const uint8_t* picture, int32_t sourceWidth, int32_t sourceHeight,
                                   Pixel16* destination, int32_t targetWidth, int32_t targetHeight,
                                   int32_t frameIndex, double gamma, int32_t useIntensityBit) {
    if (frameIndex == 0) {
        std::fill(std::begin(bluePlane), std::end(bluePlane), int16_t{0});
        std::fill(std::begin(greenPlane), std::end(greenPlane), int16_t{0});
        std::fill(std::begin(redPlane), std::end(redPlane), int16_t{0});
        BuildGammaTable(gamma);
    }
    const uint16_t* table = GammaTable();
    // The planes hold 512 x 512 pixels; a larger caller converts no more.
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
            const Quantized6 q = Quantize6(static_cast<int16_t>(table[in[0]] + blue[x]),
                                           static_cast<int16_t>(table[in[1]] + green[x]),
                                           static_cast<int16_t>(table[in[2]] + red[x]), useIntensityBit);
            blue[x] = q.eb;
            green[x] = q.eg;
            red[x] = q.er;
            StorePixel16(out + x, q.word);
        }
    }
}

}  // namespace kest
