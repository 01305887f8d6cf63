#include "picture/dither_matrix.h"

#include <cstring>

namespace kest {
namespace {

constexpr uint16_t kCheckerboard[16] = {
    0, 4, 0, 4,
    4, 0, 4, 0,
    0, 4, 0, 4,
    4, 0, 4, 0,
};
constexpr uint16_t kOrdered4x4[16] = {
    0, 4, 1, 5,
    6, 2, 7, 3,
    1, 5, 0, 4,
    7, 3, 6, 2,
};
constexpr uint16_t kInverseCheckerboard[16] = {
    4, 0, 4, 0,
    0, 4, 0, 4,
    4, 0, 4, 0,
    0, 4, 0, 4,
};

}  // namespace

void SelectDitherMatrix(DitherMatrix& matrix, MatrixChoice choice) {
    switch (choice) {
        case MatrixChoice::Checkerboard: std::memcpy(matrix, kCheckerboard, sizeof matrix); break;
        case MatrixChoice::Ordered4x4: std::memcpy(matrix, kOrdered4x4, sizeof matrix); break;
        case MatrixChoice::InverseCheckerboard: std::memcpy(matrix, kInverseCheckerboard, sizeof matrix); break;
        default: std::memset(matrix, 0, sizeof matrix); break;
    }
}

}  // namespace kest
