// Plain form, a pixel at a time: the reference for the table-driven dithers.
// The three ordered dithers: a matrix value of 0 .. 7 is added to each
// gamma-corrected channel before the reduction to 5 bits.

#include <algorithm>

#include "picture/dither_matrix.h"
#include "picture/gamma_table.h"
#include "picture/picture_converter.h"

namespace kest {
namespace {

// The matrix row follows the row counter from the bottom of the picture, so
// the topmost converted row uses row (rows - 1) & 3 whatever the target height.
void ReduceWithMatrix(const uint8_t* picture, int32_t sourceWidth, int32_t sourceHeight, Pixel16* destination,
                      int32_t targetWidth, int32_t targetHeight, int32_t useIntensityBit) {
    const uint16_t* table = GammaTable();
    const uint16_t* matrix = DitherMatrix();
    const int32_t rows = std::min(sourceHeight, targetHeight);
    const int32_t columns = std::min(sourceWidth, targetWidth);
    const int32_t sourceStride = SourceRowStride(sourceWidth);
    const int32_t destinationStride = DestinationRowStride(targetWidth);
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* in = picture + static_cast<std::ptrdiff_t>(y) * sourceStride;
        Pixel16* out = destination + static_cast<std::ptrdiff_t>(targetHeight - 1 - y) * destinationStride;
        const uint16_t* matrixRow = matrix + (y & 3) * 4;
        for (int32_t x = 0; x < columns; ++x, in += 3) {
            const unsigned m = matrixRow[x & 3];
            // At most 255 + 7: the clamp keeps a full channel at 31.
            const unsigned b = std::min(table[in[0]] + m, 255u);
            const unsigned g = std::min(table[in[1]] + m, 255u);
            const unsigned r = std::min(table[in[2]] + m, 255u);
            const unsigned intensity = useIntensityBit && (r & g & b & 4) ? 1 : 0;
            StorePixel16(out + x, PackPixel16(g >> 3, r >> 3, b >> 3, intensity));
        }
    }
}

}  // namespace

void ConvertDither2x2Reference(const uint8_t* picture, int32_t sourceWidth, int32_t sourceHeight, Pixel16* destination,
                      int32_t targetWidth, int32_t targetHeight, int32_t frameIndex, double gamma,
                      int32_t useIntensityBit) {
    if (frameIndex == 0) {
        BuildGammaTable(gamma);
        SelectDitherMatrix(MatrixChoice::Checkerboard);
    }
    ReduceWithMatrix(picture, sourceWidth, sourceHeight, destination, targetWidth, targetHeight, useIntensityBit);
}

void ConvertDither4x4Reference(const uint8_t* picture, int32_t sourceWidth, int32_t sourceHeight, Pixel16* destination,
                      int32_t targetWidth, int32_t targetHeight, int32_t frameIndex, double gamma,
                      int32_t useIntensityBit) {
    if (frameIndex == 0) {
        BuildGammaTable(gamma);
        SelectDitherMatrix(MatrixChoice::Ordered4x4);
    }
    ReduceWithMatrix(picture, sourceWidth, sourceHeight, destination, targetWidth, targetHeight, useIntensityBit);
}

void ConvertTemporalDither2x2Reference(const uint8_t* picture, int32_t sourceWidth, int32_t sourceHeight,
                              Pixel16* destination, int32_t targetWidth, int32_t targetHeight, int32_t frameIndex,
                              double gamma, int32_t useIntensityBit) {
    if (frameIndex == 0) BuildGammaTable(gamma);
    // Even frames, frame 0 among them, take the inverse checkerboard.
    SelectDitherMatrix(frameIndex % 2 != 0 ? MatrixChoice::Checkerboard : MatrixChoice::InverseCheckerboard);
    ReduceWithMatrix(picture, sourceWidth, sourceHeight, destination, targetWidth, targetHeight, useIntensityBit);
}

}  // namespace kest
