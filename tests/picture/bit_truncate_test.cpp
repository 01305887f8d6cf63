#include <gtest/gtest.h>

#include <cstdint>

#include "picture/gamma_table.h"
#include "picture_harness.h"

namespace kest {
namespace {

using testing::ConvertPixel;
using testing::FlatSource;
using testing::kUntouched;
using testing::Source;
using testing::Target;

TEST(GammaTable, EndsGuardsAndMidTones) {
    struct Case {
        double gamma;
        uint16_t at128;
    } const cases[] = {{1.0, 128}, {2.0, 181}, {0.5, 64}, {3.0, 203}, {0.1, 0}};
    GammaTable built{};
    for (const Case& c : cases) {
        BuildGammaTable(built, c.gamma);
        const uint16_t* table = built.Entries();
        EXPECT_EQ(built.identity, c.gamma == 1.0) << c.gamma;
        EXPECT_EQ(table[128], c.at128) << c.gamma;
        EXPECT_EQ(table[0], 0) << c.gamma;
        EXPECT_EQ(table[255], 255) << c.gamma;
        for (int i = 1; i <= 8; ++i) {
            EXPECT_EQ(table[-i], 0) << c.gamma;
            EXPECT_EQ(table[255 + i], 255) << c.gamma;
        }
        for (int i = 1; i < 256; ++i) ASSERT_LE(table[i - 1], table[i]) << c.gamma << " at " << i;
    }
    BuildGammaTable(built, 1.0);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(built.Entries()[i], i);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(built.bytes[i], i);
    EXPECT_TRUE(built.identity);
}

TEST(BitTruncate, PixelWords) {
    struct Case {
        uint8_t blue, green, red;
        int32_t intensity;
        Pixel16 word;
    } const cases[] = {
        {255, 255, 255, 1, 0xFFFF}, {255, 255, 255, 0, 0xFFFE}, {0, 0, 248, 0, 0x07C0}, {0, 248, 0, 0, 0xF800},
        {248, 0, 0, 0, 0x003E},     {4, 4, 4, 1, 0x0001},       {4, 4, 3, 1, 0x0000},   {7, 7, 7, 1, 0x0001},
        {8, 8, 8, 1, 0x0842},       {4, 4, 4, 0, 0x0000},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ConvertPixel(ConvertBitTruncate, c.blue, c.green, c.red, 0, 1.0, c.intensity), c.word)
            << int(c.blue) << "," << int(c.green) << "," << int(c.red) << " intensity " << c.intensity;

    // Stored high byte first.
    Target target(1, 1);
    Convert(ConvertBitTruncate, FlatSource(1, 1, 0, 0, 248), target, 0);
    const auto* bytes = reinterpret_cast<const uint8_t*>(target.words.data());
    EXPECT_EQ(bytes[0], 0x07);
    EXPECT_EQ(bytes[1], 0xC0);
}

TEST(BitTruncate, GammaIsTakenOnFrameZeroOnly) {
    // 128 is 181 under gamma 2.0: green field 22, not 16.
    EXPECT_EQ(ConvertPixel(ConvertBitTruncate, 0, 128, 0, 0, 2.0), 22 << 11);
    EXPECT_EQ(ConvertPixel(ConvertBitTruncate, 0, 128, 0, 1, 1.0), 22 << 11);
    EXPECT_EQ(ConvertPixel(ConvertBitTruncate, 0, 128, 0, 7, 0.5), 22 << 11);
    // A new run rebuilds it.
    EXPECT_EQ(ConvertPixel(ConvertBitTruncate, 0, 128, 0, 0, 0.5), 8 << 11);
}

TEST(BitTruncate, BottomRowFirstIntoTopRowFirst) {
    // 3 x 2 source, stride 12 bytes, into 4 x 2: the bottom row fills
    // destination row 1 and column 3 stays as it was.
    Source source = FlatSource(3, 2, 0, 0, 0);
    ASSERT_EQ(source.bytes.size(), 24u);
    for (int32_t x = 0; x < 3; ++x) source.Pixel(0, x)[0] = static_cast<uint8_t>(8 * (x + 1));  // blue 8, 16, 24
    for (int32_t x = 0; x < 3; ++x) source.Pixel(1, x)[2] = static_cast<uint8_t>(8 * (x + 1));  // red 8, 16, 24
    Target target(4, 2);
    Convert(ConvertBitTruncate, source, target, 0);
    for (int32_t x = 0; x < 3; ++x) {
        EXPECT_EQ(target.At(1, x), (x + 1) << 1) << x;
        EXPECT_EQ(target.At(0, x), (x + 1) << 6) << x;
    }
    EXPECT_EQ(target.At(0, 3), kUntouched);
    EXPECT_EQ(target.At(1, 3), kUntouched);
}

TEST(BitTruncate, LargerSourceGivesItsLowerLeftCorner) {
    // 600 x 600: blue marks columns past 511, red rows past 511.
    Source source = FlatSource(600, 600, 0, 0, 0);
    for (int32_t y = 0; y < 600; ++y)
        for (int32_t x = 0; x < 600; ++x) {
            uint8_t* p = source.Pixel(y, x);
            p[0] = x >= 512 ? 255 : 0;
            p[2] = y >= 512 ? 255 : 0;
            p[1] = static_cast<uint8_t>((x + y) * 8);
        }
    Target target(512, 512);
    Convert(ConvertBitTruncate, source, target, 0);
    for (int32_t y = 0; y < 512; ++y)
        for (int32_t x = 0; x < 512; ++x)
            ASSERT_EQ(target.FromBottom(y, x), ((x + y) * 8 & 255) >> 3 << 11) << y << "," << x;
}

TEST(ConverterDispatch, EachModeHasItsConverterAndTheRestTruncate) {
    EXPECT_EQ(SelectPictureConverter(0), ConvertBitTruncate);
    EXPECT_EQ(SelectPictureConverter(1), ConvertDither2x2);
    EXPECT_EQ(SelectPictureConverter(2), ConvertDither4x4);
    EXPECT_EQ(SelectPictureConverter(3), ConvertTemporalDither2x2);
    EXPECT_EQ(SelectPictureConverter(4), ConvertTemporalErrorDiffusion);
    EXPECT_EQ(SelectPictureConverter(5), ConvertPlanarErrorDiffusion);
    for (uint16_t mode : {uint16_t{6}, uint16_t{7}, uint16_t{256}, uint16_t{32768}, uint16_t{65535}})
        EXPECT_EQ(SelectPictureConverter(mode), ConvertBitTruncate) << mode;
}

}  // namespace
}  // namespace kest
