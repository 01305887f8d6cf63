// Bit truncation and the three ordered dithers, table-driven: per pixel
// three look-ups of entries that already hold the gamma correction, the
// matrix value, the clamp, the 5-bit field in the buffer's byte order and
// the intensity test. Word for word the same as the plain forms.

#include <algorithm>

#include "picture/dither_matrix.h"
#include "picture/gamma_table.h"
#include "picture/picture_converter.h"
#include "picture/reduction_tables.h"

namespace kest {
namespace {

void ReduceWithTables(const uint8_t* picture, int32_t sourceWidth, int32_t sourceHeight, Pixel16* destination,
                      int32_t targetWidth, int32_t targetHeight, int32_t useIntensityBit) {
    const OrderedTable& tables = OrderedTables(useIntensityBit);
    const uint16_t* matrix = DitherMatrix();
    const int32_t rows = std::min(sourceHeight, targetHeight);
    const int32_t columns = std::min(sourceWidth, targetWidth);
    const int32_t sourceStride = SourceRowStride(sourceWidth);
    const int32_t destinationStride = DestinationRowStride(targetWidth);
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* in = picture + static_cast<std::ptrdiff_t>(y) * sourceStride;
        Pixel16* out = destination + static_cast<std::ptrdiff_t>(targetHeight - 1 - y) * destinationStride;
        // The row's four matrix values, each selecting its tables; values
        // above 7 cannot occur in the fixed matrices.
        const uint32_t(*t[4])[256];
        for (int j = 0; j < 4; ++j) t[j] = tables[matrix[(y & 3) * 4 + j] & 7];
        int32_t x = 0;
        for (; x + 4 <= columns; x += 4, in += 12) {
            for (int j = 0; j < 4; ++j)
                PutStored(out + x + j, OrderedWord(t[j][0][in[3 * j]], t[j][1][in[3 * j + 1]], t[j][2][in[3 * j + 2]]));
        }
        for (; x < columns; ++x, in += 3) {
            const auto& tj = t[x & 3];
            PutStored(out + x, OrderedWord(tj[0][in[0]], tj[1][in[1]], tj[2][in[2]]));
        }
    }
}

}  // namespace

void ConvertBitTruncate(const uint8_t* picture, int32_t sourceWidth, int32_t sourceHeight, Pixel16* destination,
                        int32_t targetWidth, int32_t targetHeight, int32_t frameIndex, double gamma,
                        int32_t useIntensityBit) {
    if (frameIndex == 0) {
        BuildGammaTable(gamma);
        SelectDitherMatrix(MatrixChoice::AllZero);
    }
    // Matrix value 0 throughout: the tables of m = 0.
    const OrderedTable& tables = OrderedTables(useIntensityBit);
    const int32_t rows = std::min(sourceHeight, targetHeight);
    const int32_t columns = std::min(sourceWidth, targetWidth);
    const int32_t sourceStride = SourceRowStride(sourceWidth);
    const int32_t destinationStride = DestinationRowStride(targetWidth);
    const uint32_t* tb = tables[0][0];
    const uint32_t* tg = tables[0][1];
    const uint32_t* tr = tables[0][2];
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* in = picture + static_cast<std::ptrdiff_t>(y) * sourceStride;
        Pixel16* out = destination + static_cast<std::ptrdiff_t>(targetHeight - 1 - y) * destinationStride;
        for (int32_t x = 0; x < columns; ++x, in += 3) PutStored(out + x, OrderedWord(tb[in[0]], tg[in[1]], tr[in[2]]));
    }
}

void ConvertDither2x2(const uint8_t* picture, int32_t sourceWidth, int32_t sourceHeight, Pixel16* destination,
                      int32_t targetWidth, int32_t targetHeight, int32_t frameIndex, double gamma,
                      int32_t useIntensityBit) {
    if (frameIndex == 0) {
        BuildGammaTable(gamma);
        SelectDitherMatrix(MatrixChoice::Checkerboard);
    }
    ReduceWithTables(picture, sourceWidth, sourceHeight, destination, targetWidth, targetHeight, useIntensityBit);
}

void ConvertDither4x4(const uint8_t* picture, int32_t sourceWidth, int32_t sourceHeight, Pixel16* destination,
                      int32_t targetWidth, int32_t targetHeight, int32_t frameIndex, double gamma,
                      int32_t useIntensityBit) {
    if (frameIndex == 0) {
        BuildGammaTable(gamma);
        SelectDitherMatrix(MatrixChoice::Ordered4x4);
    }
    ReduceWithTables(picture, sourceWidth, sourceHeight, destination, targetWidth, targetHeight, useIntensityBit);
}

void ConvertTemporalDither2x2(const uint8_t* picture, int32_t sourceWidth, int32_t sourceHeight,
                              Pixel16* destination, int32_t targetWidth, int32_t targetHeight, int32_t frameIndex,
                              double gamma, int32_t useIntensityBit) {
    if (frameIndex == 0) BuildGammaTable(gamma);
    // Even frames, frame 0 among them, take the inverse checkerboard.
    SelectDitherMatrix(frameIndex % 2 != 0 ? MatrixChoice::Checkerboard : MatrixChoice::InverseCheckerboard);
    ReduceWithTables(picture, sourceWidth, sourceHeight, destination, targetWidth, targetHeight, useIntensityBit);
}

}  // namespace kest
