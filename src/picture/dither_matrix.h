// A dither matrix: 16 values added to every channel of a pixel before the
// reduction to 5 bits, indexed (y & 3) * 4 + (x & 3) with y the row counted
// from the bottom of the picture. The ordered converters choose theirs on
// frame index 0, the temporal dither on every frame.
#pragma once

#include <cstdint>

namespace kest {

enum class MatrixChoice : int32_t {
    AllZero = 0,
    Checkerboard = 1,      // 0 4 / 4 0, half a 5-bit step on half the pixels
    Ordered4x4 = 2,        // 0 .. 7, each twice
    InverseCheckerboard = 3,
};

using DitherMatrix = uint16_t[16];

// Copies the chosen fixed matrix into `matrix`; 0 and any value other than
// 1, 2 and 3 make it all zero.
void SelectDitherMatrix(DitherMatrix& matrix, MatrixChoice choice);

}  // namespace kest
