#include <gtest/gtest.h>

#include <cstdint>

#include "picture/dither_matrix.h"
#include "picture_harness.h"

namespace kest {
namespace {

using testing::ConvertPixel;
using testing::FlatSource;
using testing::kUntouched;
using testing::Target;

TEST(DitherMatrix, FixedChoicesAndAllZeroForTheRest) {
    struct Case {
        int32_t choice;
        uint16_t values[16];
    } const cases[] = {
        {1, {0, 4, 0, 4, 4, 0, 4, 0, 0, 4, 0, 4, 4, 0, 4, 0}},
        {2, {0, 4, 1, 5, 6, 2, 7, 3, 1, 5, 0, 4, 7, 3, 6, 2}},
        {3, {4, 0, 4, 0, 0, 4, 0, 4, 4, 0, 4, 0, 0, 4, 0, 4}},
        {0, {}},
        {4, {}},
        {-1, {}},
    };
    for (const Case& c : cases) {
        DitherMatrix matrix;
        SelectDitherMatrix(matrix, MatrixChoice::Ordered4x4);  // something non-zero to overwrite
        SelectDitherMatrix(matrix, static_cast<MatrixChoice>(c.choice));
        for (int i = 0; i < 16; ++i) EXPECT_EQ(matrix[i], c.values[i]) << "choice " << c.choice << " at " << i;
    }
}

// Each flat 4 x 4 picture gives a pattern indexed [y & 3][x & 3], y counted
// from the bottom row.
struct PatternCase {
    const char* name;
    PictureConverter convert;
    uint8_t level;  // all three channels
    int32_t intensity;
    Pixel16 pattern[4][4];
};

TEST(OrderedDither, FlatPicturePatterns) {
    const PatternCase cases[] = {
        {"2x2 level 4", ConvertDither2x2, 4, 0,
         {{0x0000, 0x0842, 0x0000, 0x0842}, {0x0842, 0x0000, 0x0842, 0x0000},
          {0x0000, 0x0842, 0x0000, 0x0842}, {0x0842, 0x0000, 0x0842, 0x0000}}},
        // 4 carries bit value 4, 8 does not.
        {"2x2 level 4 intensity", ConvertDither2x2, 4, 1,
         {{0x0001, 0x0842, 0x0001, 0x0842}, {0x0842, 0x0001, 0x0842, 0x0001},
          {0x0001, 0x0842, 0x0001, 0x0842}, {0x0842, 0x0001, 0x0842, 0x0001}}},
        // 255 + 4 is held at 255.
        {"2x2 white", ConvertDither2x2, 255, 0,
         {{0xFFFE, 0xFFFE, 0xFFFE, 0xFFFE}, {0xFFFE, 0xFFFE, 0xFFFE, 0xFFFE},
          {0xFFFE, 0xFFFE, 0xFFFE, 0xFFFE}, {0xFFFE, 0xFFFE, 0xFFFE, 0xFFFE}}},
        {"2x2 white intensity", ConvertDither2x2, 255, 1,
         {{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF},
          {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}}},
        // Intensity exactly where m is 4 .. 7.
        {"4x4 black intensity", ConvertDither4x4, 0, 1,
         {{0x0000, 0x0001, 0x0000, 0x0001}, {0x0001, 0x0000, 0x0001, 0x0000},
          {0x0000, 0x0001, 0x0000, 0x0001}, {0x0001, 0x0000, 0x0001, 0x0000}}},
        // 3 + m reaches 8 where m is 5, 6 or 7.
        {"4x4 level 3", ConvertDither4x4, 3, 0,
         {{0x0000, 0x0000, 0x0000, 0x0842}, {0x0842, 0x0000, 0x0842, 0x0000},
          {0x0000, 0x0842, 0x0000, 0x0000}, {0x0842, 0x0000, 0x0842, 0x0000}}},
        {"4x4 white", ConvertDither4x4, 255, 0,
         {{0xFFFE, 0xFFFE, 0xFFFE, 0xFFFE}, {0xFFFE, 0xFFFE, 0xFFFE, 0xFFFE},
          {0xFFFE, 0xFFFE, 0xFFFE, 0xFFFE}, {0xFFFE, 0xFFFE, 0xFFFE, 0xFFFE}}},
    };
    for (const PatternCase& c : cases) {
        // 8 x 8 so that the pattern must repeat in both directions.
        Target target(8, 8);
        Convert(c.convert, FlatSource(8, 8, c.level, c.level, c.level), target, 0, 1.0, c.intensity);
        for (int32_t y = 0; y < 8; ++y)
            for (int32_t x = 0; x < 8; ++x)
                EXPECT_EQ(target.FromBottom(y, x), c.pattern[y & 3][x & 3]) << c.name << " at y " << y << " x " << x;
    }
}

TEST(OrderedDither, MatrixStaysForTheRunAndIsChosenAgainAtFrameZero) {
    // Later frames of a 2x2 run keep the checkerboard; a 4x4 run then takes
    // its own matrix.
    EXPECT_EQ(ConvertPixel(ConvertDither2x2, 4, 4, 4, 0), 0x0000);
    Target target(2, 1);
    Convert(ConvertDither2x2, FlatSource(2, 1, 4, 4, 4), target, 3);
    EXPECT_EQ(target.At(0, 1), 0x0842);
    Convert(ConvertDither4x4, FlatSource(2, 1, 3, 3, 3), target, 0);
    EXPECT_EQ(target.At(0, 1), 0x0000);  // m = 4 in the ordered matrix, 7 is still field 0
}

TEST(TemporalDither, ParityOfTheFrameChoosesTheCheckerboard) {
    // Level 4: +4 gives field 1, +0 field 0. Frame 0 and every even frame add
    // 4 at (0, 0); odd frames add it at (0, 1).
    for (int32_t frame = 0; frame < 6; ++frame) {
        Target target(2, 1);
        Convert(ConvertTemporalDither2x2, FlatSource(2, 1, 4, 4, 4), target, frame);
        const bool even = frame % 2 == 0;
        EXPECT_EQ(target.At(0, 0), even ? 0x0842 : 0x0000) << frame;
        EXPECT_EQ(target.At(0, 1), even ? 0x0000 : 0x0842) << frame;
    }
}

TEST(OrderedDither, MatrixRowFollowsTheRowCountedFromTheBottom) {
    // 3 source rows; level 1 + m: field 1 only where m = 7, i.e. (y & 3, x & 3)
    // = (1, 2) or (3, 0). The top source row y = 2 uses matrix row 2, which
    // holds no 7; row y = 1 does, at x = 2.
    for (int32_t targetHeight : {3, 4}) {
        Target target(4, targetHeight);
        Convert(ConvertDither4x4, FlatSource(4, 3, 1, 1, 1), target, 0);
        const int32_t top = targetHeight - 3;
        for (int32_t x = 0; x < 4; ++x) {
            EXPECT_EQ(target.At(top, x), 0x0000) << targetHeight << " x " << x;
            EXPECT_EQ(target.At(top + 1, x), x == 2 ? 0x0842 : 0x0000) << targetHeight << " x " << x;
            EXPECT_EQ(target.At(top + 2, x), 0x0000) << targetHeight << " x " << x;
            if (top == 1) {
                EXPECT_EQ(target.At(0, x), kUntouched) << x;
            }
        }
    }
}

}  // namespace
}  // namespace kest
