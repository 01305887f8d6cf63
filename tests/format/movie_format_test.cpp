#include "format/movie_format.h"

#include <gtest/gtest.h>

#include <cstring>

#include "base/big_endian.h"

namespace kest {
namespace {

OutputSettings SettingsWith(uint16_t lineSpacing, bool centre) {
    OutputSettings s{};
    s.gamma = 1.0;
    s.lineSpacing = lineSpacing;
    s.centerHorizontally = centre;
    s.centerVertically = centre;
    return s;
}

TEST(MovieGeometry, WorkedCases) {
    struct Case {
        int32_t hostW, hostH;
        uint16_t spacing;
        bool centre;
        int32_t w, h;
        bool gap;
        int32_t x, y;
        uint32_t address;
    };
    const Case cases[] = {
        {100, 100, 0, true, 100, 100, true, 28, 28, 0xC07038},
        {640, 480, 0, true, 512, 480, false, 0, 16, 0xC04000},
        {130, 96, 0, true, 132, 96, false, 62, 80, 0xC1407C},
        {200, 300, 2, false, 200, 128, true, 0, 0, 0xC00000},
        {320, 240, 2, false, 320, 240, true, 0, 0, 0xC00000},
        {100, 300, 1, false, 100, 256, false, 0, 0, 0xC00000},
        {512, 512, 2, false, 512, 256, true, 0, 0, 0xC00000},
        {255, 255, 0, true, 256, 255, false, 0, 0, 0xC00000},
        {1920, 1080, 0, false, 512, 512, false, 0, 0, 0xC00000},
        {100, 100, 7, false, 100, 100, true, 0, 0, 0xC00000},  // unknown spacing acts as automatic
        {128, 64, 0, false, 128, 64, true, 0, 0, 0xC00000},    // 128 is still spaced
        {300, 200, 1, true, 300, 200, false, 106, 28, 0xC00000 + 2 * 106 + 1024 * 28},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.hostW << "x" << c.hostH << " spacing " << c.spacing);
        MovieGeometry g = ComputeGeometry(c.hostW, c.hostH, SettingsWith(c.spacing, c.centre));
        EXPECT_EQ(g.width, c.w);
        EXPECT_EQ(g.height, c.h);
        EXPECT_EQ(g.lineGap, c.gap);
        EXPECT_EQ(g.x, c.x);
        EXPECT_EQ(g.y, c.y);
        EXPECT_EQ(g.destAddress, c.address);
        EXPECT_EQ(g.LinePitch(), c.gap ? 2048u : 1024u);
    }
    // Vertical centring of 320 x 240 with a gap.
    OutputSettings s = SettingsWith(2, false);
    s.centerVertically = 1;
    EXPECT_EQ(ComputeGeometry(320, 240, s).y, 16);
}

TEST(FrameTicks, WorkedRates) {
    struct Case {
        int32_t rate, scale;
        uint32_t min, max;
    };
    const Case cases[] = {
        {30, 1, 2, 2},  {30000, 1001, 2, 2}, {24000, 1001, 2, 3}, {25, 1, 2, 3},
        {12, 1, 5, 5},  {7, 1, 8, 9},        {50, 1, 1, 2},       {60000, 1001, 1, 1},
        {120, 1, 1, 1}, {1, 1, 60, 60},
    };
    for (const Case& c : cases) {
        auto ticks = ComputeFrameTicks(c.rate, c.scale);
        ASSERT_TRUE(ticks) << c.rate << "/" << c.scale;
        EXPECT_EQ(ticks->min, c.min) << c.rate << "/" << c.scale;
        EXPECT_EQ(ticks->max, c.max) << c.rate << "/" << c.scale;
    }
    EXPECT_FALSE(ComputeFrameTicks(1, 2));      // half a frame per second has no tick count
    EXPECT_TRUE(ComputeFrameTicks(100, 101));   // exactly 1 after the 1.01 allowance
    EXPECT_FALSE(ComputeFrameTicks(0, 1));
    EXPECT_FALSE(ComputeFrameTicks(30, 0));
}

TEST(BlockSize, WorkedValues) {
    EXPECT_EQ(ComputeBlockSize(256 * 192 * 2, 261), 99328);
    EXPECT_EQ(ComputeBlockSize(256 * 192 * 2, 6404), 105472);
    EXPECT_EQ(ComputeBlockSize(256 * 192 * 2, 2946), 101376);
    EXPECT_EQ(ComputeBlockSize(512 * 480 * 2, 6404), 498688);
    // Exactly full: 16 + P + 2 + M = 1024 needs no second kilobyte.
    EXPECT_EQ(ComputeBlockSize(1000, 6), 1024);
    EXPECT_EQ(ComputeBlockSize(1000, 7), 2048);
}

TEST(MovieHeader, FieldsAndComment) {
    uint8_t header[kMovieHeaderSize];
    const char comment[] = "hello";
    BuildMovieHeader(header, {40, 512, 480, {2, 3}, 0xBF, 498688, comment, 5});
    EXPECT_EQ(std::memcmp(header, "KEST-V4.0\0", 10), 0);
    EXPECT_EQ(GetBigEndian32(header + 10), 512u);
    EXPECT_EQ(GetBigEndian32(header + 14), 480u);
    EXPECT_EQ(GetBigEndian32(header + 18), 2u);
    EXPECT_EQ(GetBigEndian32(header + 22), 3u);
    EXPECT_EQ(GetBigEndian32(header + 26), 0xBFu);
    EXPECT_EQ(GetBigEndian32(header + 30), 498688u);
    EXPECT_EQ(GetBigEndian32(header + 34), 1024u);
    EXPECT_EQ(header[38], 0x43);
    EXPECT_EQ(header[39], 0x4D);
    EXPECT_EQ(std::memcmp(header + 40, "hello", 5), 0);
    for (int i = 45; i < kMovieHeaderSize; ++i) ASSERT_EQ(header[i], 0) << i;

    BuildMovieHeader(header, {30, 4, 4, {1, 1}, 0, 1024, "", 0});
    EXPECT_EQ(std::memcmp(header, "KEST-V3.0\0", 10), 0);
    for (int i = 40; i < kMovieHeaderSize; ++i) ASSERT_EQ(header[i], 0) << i;
}

TEST(FrameHeader, Layout) {
    uint8_t bytes[kFrameHeaderSize];
    MovieGeometry g{132, 96, false, 62, 80, 0xC1407C};
    BuildFrameHeader(bytes, g);
    const uint8_t expected[16] = {0x00, 0xC1, 0x40, 0x7C, 0, 132, 0, 96, 0, 0, 0x04, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(bytes, expected, 16), 0);
    g.lineGap = true;
    BuildFrameHeader(bytes, g);
    EXPECT_EQ(GetBigEndian32(bytes + 8), 2048u);
}

}  // namespace
}  // namespace kest
