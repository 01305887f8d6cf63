// Plain form, a pixel at a time: the reference for the fast converter.
// Each pixel gathers a share of the errors of the 12 pixels processed before
// it nearby (weights of the Jarvis-Judice-Ninke filter, summing to 48) and
// adds it before quantising. Rows run in memory order, bottom row first, so
// in the picture the errors spread upward and to the right. Every frame is
// diffused on its own.

#include <algorithm>
#include <iterator>

#include "picture/converter_reference.h"
#include "picture/quantize6.h"

namespace kest {
namespace {

// Two border rows before the first row and two border columns before the
// first column; none after the last.
constexpr int32_t kBorder = kPlanarBorder;
constexpr int32_t kPlaneSide = kPlanarPlaneSide;  // 514

// One ErrorPlane per channel of the state. Cell (Y, K) is element Y * 514 + K, also for
// K = 514 and 515: those are cells 0 and 1 of row Y + 1. With 511 or 512
// converted columns the last pixels of a row therefore gather the row seeds
// of their own and the previous row as their right-hand neighbours above;
// stored files depend on it. Cells right of the converted area are never
// written and hold the 0 of the frame-0 clear.
using Planes = int16_t[3][kPlaneSide * kPlaneSide];

// Weighted errors around cell `at`, divided by 48 truncating toward zero.
inline int32_t Gather(const int16_t* plane, int32_t at) {
    const int16_t* below2 = plane + at - 2 * kPlaneSide;  // row processed two rows ago
    const int16_t* below1 = plane + at - kPlaneSide;      // previous row
    const int16_t* here = plane + at;
    const int32_t sum = 1 * below2[-2] + 3 * below2[-1] + 5 * below2[0] + 3 * below2[1] + 1 * below2[2] +
                        3 * below1[-2] + 5 * below1[-1] + 7 * below1[0] + 5 * below1[1] + 3 * below1[2] +
                        5 * here[-2] + 7 * here[-1];
    return sum / 48;
}

// The error a pixel leaves when quantised with no correction.
inline Quantized6 OwnError(const uint16_t* table, const uint8_t* pixel, int32_t useIntensityBit) {
    return Quantize6(static_cast<int16_t>(table[pixel[0]]), static_cast<int16_t>(table[pixel[1]]),
                     static_cast<int16_t>(table[pixel[2]]), useIntensityBit);
}

inline void PutError(Planes& planes, int32_t at, const Quantized6& q) {
    planes[0][at] = q.eb;
    planes[1][at] = q.eg;
    planes[2][at] = q.er;
}

}  // namespace

void ConvertPlanarErrorDiffusionReference(PictureState& state, const PictureFrame& f) {
    Planes& planes = state.planar;
    const uint8_t* const picture = f.picture;
    const int32_t useIntensityBit = f.useIntensityBit;
    if (f.frameIndex == 0) {
        for (auto& plane : planes) std::fill(std::begin(plane), std::end(plane), int16_t{0});
        BuildGammaTable(state.gamma, f.gamma);
    }
    const uint16_t* table = state.gamma.Entries();
    // The planes hold 512 x 512 pixels; a larger caller converts no more.
    const PictureWalk walk(f, kMaxPictureSide);
    const int32_t rows = walk.rows, columns = walk.columns;
    // The seeds read the first pixel: an empty picture has nothing to convert.
    if (rows <= 0 || columns <= 0) return;

    // Two copies of the bottom row stand below the picture, and the corner
    // takes its first pixel.
    const Quantized6 corner = OwnError(table, picture, useIntensityBit);
    for (int32_t at : {0, 1, kPlaneSide, kPlaneSide + 1}) PutError(planes, at, corner);
    for (int32_t x = 0; x < columns; ++x) {
        const Quantized6 q = OwnError(table, picture + 3 * x, useIntensityBit);
        PutError(planes, x + kBorder, q);
        PutError(planes, kPlaneSide + x + kBorder, q);
    }

    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* in = walk.In(y);
        Pixel16* out = walk.Out(y);
        const int32_t rowStart = (y + kBorder) * kPlaneSide;
        // Two copies of the row's first pixel stand to its left.
        const Quantized6 seed = OwnError(table, in, useIntensityBit);
        PutError(planes, rowStart, seed);
        PutError(planes, rowStart + 1, seed);
        for (int32_t x = 0; x < columns; ++x, in += 3) {
            const int32_t at = rowStart + x + kBorder;
            const Quantized6 q = Quantize6(static_cast<int16_t>(table[in[0]] + Gather(planes[0], at)),
                                           static_cast<int16_t>(table[in[1]] + Gather(planes[1], at)),
                                           static_cast<int16_t>(table[in[2]] + Gather(planes[2], at)),
                                           useIntensityBit);
            PutError(planes, at, q);
            StorePixel16(out + x, q.word);
        }
    }
}

}  // namespace kest
