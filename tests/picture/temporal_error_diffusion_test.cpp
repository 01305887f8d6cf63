#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "picture/quantize6.h"
#include "picture_harness.h"

namespace kest {
namespace {

using testing::ConvertPixel;
using testing::FlatSource;
using testing::RandomSource;
using testing::Target;

TEST(Quantize6, MatchesTheDoublePrecisionRoundingForEveryValue) {
    for (int32_t v = -300; v <= 600; ++v) {
        const int32_t clamped = v < 0 ? 0 : v > 255 ? 255 : v;
        const int32_t nearest = static_cast<int32_t>(clamped * 63.0 / 255.0 + 0.5);
        for (int32_t useIntensity : {0, 1}) {
            const auto value = static_cast<int16_t>(v);
            const Quantized6 q = Quantize6(value, value, value, useIntensity);
            const int32_t bit = useIntensity && (clamped & 1);
            const int32_t forced = bit ? nearest | 1 : nearest & ~1;
            const int32_t level = static_cast<int32_t>(forced * 255.0 / 63.0 + 0.5);
            ASSERT_EQ(q.intensity, bit) << v;
            ASSERT_EQ(q.qb, forced) << v;
            ASSERT_EQ(q.eb, clamped - level) << v;
            ASSERT_GE(q.eb, -6) << v;
            ASSERT_LE(q.eb, 6) << v;
            ASSERT_EQ(q.word, (forced >> 1) * 0x0842 | bit) << v;
        }
    }
}

TEST(Quantize6, SharedBitNeedsAllThreeOddAndFieldsKeepTheirPlaces) {
    struct Case {
        int16_t b, g, r;
        int32_t intensity;
        Pixel16 word;
        int16_t eb, eg, er;
    } const cases[] = {
        {1, 1, 1, 1, 0x0001, -3, -3, -3},
        {1, 1, 2, 1, 0x0000, 1, 1, 2},
        {1, 1, 1, 0, 0x0000, 1, 1, 1},
        // q 31 forced to 30 (level 121), q 32 (130), q 63 forced to 62 (251).
        {125, 130, 255, 0, 16 << 11 | 31 << 6 | 15 << 1, 4, 0, 4},
        // Out of range: the clamp decides the bit and the error.
        {-40, 300, 255, 1, 0xFFC0, 0, 4, 4},
        {255, 300, 1000, 1, 0xFFFF, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const Quantized6 q = Quantize6(c.b, c.g, c.r, c.intensity);
        EXPECT_EQ(q.word, c.word) << c.b << "," << c.g << "," << c.r;
        EXPECT_EQ(q.eb, c.eb) << c.b << "," << c.g << "," << c.r;
        EXPECT_EQ(q.eg, c.eg) << c.b << "," << c.g << "," << c.r;
        EXPECT_EQ(q.er, c.er) << c.b << "," << c.g << "," << c.r;
    }
}

TEST(TemporalErrorDiffusion, GreySequencesCarryTheError) {
    struct Case {
        uint8_t level;
        int32_t intensity;
        Pixel16 words[8];
    } const cases[] = {
        {128, 0, {0x8420, 0x7BDE, 0x8420, 0x8420, 0x8420, 0x7BDE, 0x8420, 0x8420}},
        {128, 1, {0x8420, 0x7BDE, 0x8421, 0x7BDF, 0x8420, 0x8420, 0x7BDE, 0x8421}},
        // White loses the error 4 to the clamp every frame.
        {255, 0, {0xFFFE, 0xFFFE, 0xFFFE, 0xFFFE, 0xFFFE, 0xFFFE, 0xFFFE, 0xFFFE}},
        {255, 1, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}},
        {0, 0, {}},
        {0, 1, {}},
    };
    for (const Case& c : cases)
        for (int32_t frame = 0; frame < 8; ++frame)
            EXPECT_EQ(ConvertPixel(ConvertTemporalErrorDiffusion, c.level, c.level, c.level, frame, 1.0, c.intensity),
                      c.words[frame])
                << "level " << int(c.level) << " intensity " << c.intensity << " frame " << frame;
}

TEST(TemporalErrorDiffusion, ErrorStaysWithItsPixel) {
    // All channels 1, setting on: frame 0 forces q to 1 (word 1, error -3).
    // Frame 1 then sees 1 - 3 = -2, clamped to 0, where that error landed,
    // and a fresh 1 next to it in a pixel that was black on frame 0.
    Target target(2, 2);
    Convert(ConvertTemporalErrorDiffusion, FlatSource(1, 1, 1, 1, 1), target, 0, 1.0, 1);
    EXPECT_EQ(target.At(1, 0), 0x0001);
    Convert(ConvertTemporalErrorDiffusion, FlatSource(2, 2, 1, 1, 1), target, 1, 1.0, 1);
    EXPECT_EQ(target.At(1, 0), 0x0000);
    EXPECT_EQ(target.At(1, 1), 0x0001);
    EXPECT_EQ(target.At(0, 0), 0x0001);
}

TEST(TemporalErrorDiffusion, NewRunStartsFromClearedPlanes) {
    std::mt19937 random(7);
    const testing::Source picture = RandomSource(64, 48, random);
    Target first(64, 48), again(64, 48), other(64, 48);
    Convert(ConvertTemporalErrorDiffusion, picture, first, 0, 1.4, 1);
    for (int32_t frame = 0; frame < 5; ++frame)
        Convert(ConvertTemporalErrorDiffusion, RandomSource(64, 48, random), other, frame, 0.7, 1);
    Convert(ConvertTemporalErrorDiffusion, picture, again, 0, 1.4, 1);
    EXPECT_EQ(first.words, again.words);
}

TEST(TemporalErrorDiffusion, OversizedCallerStaysInsideThePlanes) {
    // Outside the driver's guarantee: only 512 x 512 pixels are converted.
    const testing::Source picture = FlatSource(520, 520, 128, 128, 128);
    Target target(520, 520);
    Convert(ConvertTemporalErrorDiffusion, picture, target, 0);
    Convert(ConvertTemporalErrorDiffusion, picture, target, 1);
    EXPECT_EQ(target.FromBottom(511, 511), 0x7BDE);
    EXPECT_EQ(target.FromBottom(0, 512), testing::kUntouched);
    EXPECT_EQ(target.FromBottom(512, 0), testing::kUntouched);
}

}  // namespace
}  // namespace kest
