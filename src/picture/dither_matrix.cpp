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

uint16_t current[16];

}  // namespace

void SelectDitherMatrix(MatrixChoice choice) {
    switch (choice) {
        case MatrixChoice::Checkerboard: std::memcpy(current, kCheckerboard, sizeof current); break;
        case MatrixChoice::Ordered4x4: std::memcpy(current, kOrdered4x4, sizeof current); break;
        case MatrixChoice::InverseCheckerboard: std::memcpy(current, kInverseCheckerboard, sizeof current); break;
        default: std::memset(current, 0, sizeof current); break;
    }
}

const uint16_t* DitherMatrix() { return current; }

}  // namespace kest
