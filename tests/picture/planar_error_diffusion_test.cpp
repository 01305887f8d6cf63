#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "picture_harness.h"
#include "reference_converters.h"

namespace kest {
namespace {

using testing::ConvertPixel;
using testing::FlatSource;
using testing::kUntouched;
using testing::RandomSource;
using testing::ReferenceConverter;
using testing::Source;
using testing::Target;

std::vector<Pixel16> Words(const Target& target) {
    std::vector<Pixel16> words;
    for (int32_t row = 0; row < target.height; ++row)
        for (int32_t x = 0; x < DestinationRowStride(target.width); ++x) words.push_back(target.At(row, x));
    return words;
}

TEST(PlanarErrorDiffusion, WorkedPictures) {
    struct Case {
        const char* name;
        Source source;
        int32_t targetWidth, targetHeight, intensity;
        std::vector<Pixel16> words;  // top destination row first
    } const cases[] = {
        {"black", FlatSource(4, 2, 0, 0, 0), 4, 2, 1, std::vector<Pixel16>(8, 0x0000)},
        // Seeds -2 each: the sum -72 corrects 128 to 127, q 31 forced to 30.
        {"1x1 grey", FlatSource(1, 1, 128, 128, 128), 4, 1, 0, {0x7BDE, kUntouched, kUntouched, kUntouched}},
        {"1x1 grey intensity", FlatSource(1, 1, 128, 128, 128), 4, 1, 1,
         {0x7BDF, kUntouched, kUntouched, kUntouched}},
        {"4x4 grey", FlatSource(4, 4, 128, 128, 128), 4, 4, 0,
         {0x8420, 0x8420, 0x8420, 0x8420, 0x7BDE, 0x8420, 0x8420, 0x7BDE,  //
          0x8420, 0x8420, 0x8420, 0x8420, 0x7BDE, 0x8420, 0x7BDE, 0x8420}},
        // Each channel's plane is seeded with its own channel's error.
        {"4x2 colour", FlatSource(4, 2, 144, 45, 51), 4, 2, 0,
         {0x31A4, 0x29A4, 0x29A4, 0x31A2, 0x31A2, 0x31A2, 0x31A4, 0x31A4}},
    };
    for (const Case& c : cases) {
        Target target(c.targetWidth, c.targetHeight);
        Convert(ConvertPlanarErrorDiffusion, c.source, target, 0, 1.0, c.intensity);
        EXPECT_EQ(Words(target), c.words) << c.name;
    }
}

TEST(PlanarErrorDiffusion, EachFrameStandsOnItsOwn) {
    std::mt19937 random(11);
    const Source picture = RandomSource(96, 64, random);
    Target asFirst(96, 64), asFifth(96, 64), scratch(96, 64);
    Convert(ConvertPlanarErrorDiffusion, picture, asFirst, 0, 1.8, 1);
    for (int32_t frame = 0; frame < 5; ++frame)
        Convert(ConvertPlanarErrorDiffusion, RandomSource(96, 64, random), scratch, frame, 1.8, 1);
    Convert(ConvertPlanarErrorDiffusion, picture, asFifth, 5, 1.8, 1);
    EXPECT_EQ(asFirst.words, asFifth.words);
}

TEST(PlanarErrorDiffusion, NewRunForgetsAWiderPicture) {
    // Cells right of the converted area are read as 0; only the frame-0 clear
    // removes what a wider picture of the previous run left there.
    std::mt19937 random(5);
    Target wide(512, 8), grey(4, 4);
    Convert(ConvertPlanarErrorDiffusion, RandomSource(512, 8, random), wide, 0);
    Convert(ConvertPlanarErrorDiffusion, FlatSource(4, 4, 128, 128, 128), grey, 0);
    EXPECT_EQ(Words(grey), (std::vector<Pixel16>{0x8420, 0x8420, 0x8420, 0x8420, 0x7BDE, 0x8420, 0x8420, 0x7BDE,
                                                 0x8420, 0x8420, 0x8420, 0x8420, 0x7BDE, 0x8420, 0x7BDE, 0x8420}));
}

TEST(PlanarErrorDiffusion, RowEndReadsTheNextRowsSeeds) {
    // With 511 or 512 columns the last pixels' right-hand neighbours above are
    // the seeds of the current and the previous row; with 510 they are 0. A
    // first column of 6 seeds every row with the largest error, 6, and a last
    // column of 14 lies close enough to a step for it to matter.
    for (int32_t width : {510, 511, 512}) {
        Source picture = FlatSource(width, 6, 128, 128, 128);
        for (int32_t y = 0; y < 6; ++y) {
            uint8_t* p = picture.Pixel(y, 0);
            p[0] = p[1] = p[2] = 6;
        }
        for (int32_t y = 0; y < 6; ++y) {
            uint8_t* p = picture.Pixel(y, width - 1);
            p[0] = p[1] = p[2] = 14;
        }
        Target target(512, 6);
        Convert(ConvertPlanarErrorDiffusion, picture, target, 0);

        ReferenceConverter linear(5), zeroed(5);
        zeroed.linearRowEnd = false;
        Target expected(512, 6), withZeros(512, 6);
        linear.Convert(picture, expected, 0, 1.0, 0);
        zeroed.Convert(picture, withZeros, 0, 1.0, 0);
        EXPECT_EQ(Words(target), Words(expected)) << width;
        if (width >= 511) {
            EXPECT_NE(Words(expected), Words(withZeros)) << width << ": the picture does not reach the row end";
        } else {
            EXPECT_EQ(Words(expected), Words(withZeros)) << width;
        }
    }
}

TEST(PlanarErrorDiffusion, EmptyOrOversizedCallerIsSafe) {
    // Outside the driver's guarantee: nothing to convert, or more than the
    // planes hold (only 512 x 512 pixels are converted).
    Target one(1, 1);
    ConvertPlanarErrorDiffusion(testing::StateOf(ConvertPlanarErrorDiffusion, DetectedSimdTier()),
                                {nullptr, 0, 0, one.words.data(), 1, 1, 0, 1.0, 0});
    EXPECT_EQ(one.At(0, 0), kUntouched);

    const Source picture = FlatSource(520, 520, 128, 128, 128);
    Target target(520, 520);
    Convert(ConvertPlanarErrorDiffusion, picture, target, 0);
    EXPECT_NE(target.FromBottom(511, 511), kUntouched);
    EXPECT_EQ(target.FromBottom(0, 512), kUntouched);
    EXPECT_EQ(target.FromBottom(512, 0), kUntouched);
}

}  // namespace
}  // namespace kest
