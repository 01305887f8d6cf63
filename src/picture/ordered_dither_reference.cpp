// Plain form, a pixel at a time: the reference for the table-driven dithers.
// The three ordered dithers: a matrix value of 0 .. 7 is added to each
// gamma-corrected channel before the reduction to 5 bits.

#include <algorithm>

#include "picture/converter_reference.h"

namespace kest {
namespace {

// The matrix row follows the row counter from the bottom of the picture, so
// the topmost converted row uses row (rows - 1) & 3 whatever the target height.
void ReduceWithMatrix(const PictureState& state, const PictureFrame& f) {
    const uint16_t* table = state.gamma.Entries();
    const uint16_t* matrix = state.matrix;
    const int32_t useIntensityBit = f.useIntensityBit;
    const PictureWalk walk(f);
    for (int32_t y = 0; y < walk.rows; ++y) {
        const uint8_t* in = walk.In(y);
        Pixel16* out = walk.Out(y);
        const uint16_t* matrixRow = matrix + (y & 3) * 4;
        for (int32_t x = 0; x < walk.columns; ++x, in += 3) {
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

void ConvertDither2x2Reference(PictureState& state, const PictureFrame& f) {
    if (f.frameIndex == 0) {
        BuildGammaTable(state.gamma, f.gamma);
        SelectDitherMatrix(state.matrix, MatrixChoice::Checkerboard);
    }
    ReduceWithMatrix(state, f);
}

void ConvertDither4x4Reference(PictureState& state, const PictureFrame& f) {
    if (f.frameIndex == 0) {
        BuildGammaTable(state.gamma, f.gamma);
        SelectDitherMatrix(state.matrix, MatrixChoice::Ordered4x4);
    }
    ReduceWithMatrix(state, f);
}

void ConvertTemporalDither2x2Reference(PictureState& state, const PictureFrame& f) {
    if (f.frameIndex == 0) BuildGammaTable(state.gamma, f.gamma);
    // Even frames, frame 0 among them, take the inverse checkerboard.
    SelectDitherMatrix(state.matrix,
                       f.frameIndex % 2 != 0 ? MatrixChoice::Checkerboard : MatrixChoice::InverseCheckerboard);
    ReduceWithMatrix(state, f);
}

}  // namespace kest
