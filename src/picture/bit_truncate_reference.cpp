// Bit truncation in its plain form, a pixel at a time: the reference that
// the table-driven ConvertBitTruncate is checked against.

#include <algorithm>

#include "picture/dither_matrix.h"
#include "picture/gamma_table.h"
#include "picture/picture_converter.h"

namespace kest {

void ConvertBitTruncateReference(const uint8_t* picture, int32_t sourceWidth, int32_t sourceHeight,
                        Pixel16* destination, int32_t targetWidth, int32_t targetHeight,
                        int32_t frameIndex, double gamma, int32_t useIntensityBit) {
    // The ordered reduction with nothing added; the shared matrix is cleared
    // so that it matches what this run converts with.
    if (frameIndex == 0) {
        BuildGammaTable(gamma);
        SelectDitherMatrix(MatrixChoice::AllZero);
    }
    const uint16_t* table = GammaTable();
    const int32_t rows = std::min(sourceHeight, targetHeight);
    const int32_t columns = std::min(sourceWidth, targetWidth);
    const int32_t sourceStride = SourceRowStride(sourceWidth);
    const int32_t destinationStride = DestinationRowStride(targetWidth);
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* in = picture + static_cast<std::ptrdiff_t>(y) * sourceStride;
        Pixel16* out = destination + static_cast<std::ptrdiff_t>(targetHeight - 1 - y) * destinationStride;
        for (int32_t x = 0; x < columns; ++x, in += 3) {
            const unsigned b = table[in[0]], g = table[in[1]], r = table[in[2]];
            const unsigned intensity = useIntensityBit && (r & g & b & 4) ? 1 : 0;
            StorePixel16(out + x, PackPixel16(g >> 3, r >> 3, b >> 3, intensity));
        }
    }
}

}  // namespace kest
