#include "sound/adpcm_encoder.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace kest {
namespace {

TEST(AdpcmTables, StandardSteps) {
    EXPECT_EQ(AdpcmStepTable[0], 16);
    EXPECT_EQ(AdpcmStepTable[4], 23);
    EXPECT_EQ(AdpcmStepTable[24], 157);
    EXPECT_EQ(AdpcmStepTable[36], 494);
    EXPECT_EQ(AdpcmStepTable[48], 1552);
    for (int i = 1; i < 49; ++i) EXPECT_GT(AdpcmStepTable[i], AdpcmStepTable[i - 1]) << i;
    const int8_t adjust[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
    for (int c = 0; c < 16; ++c) EXPECT_EQ(AdpcmIndexAdjust[c], adjust[c & 7]) << c;
}

TEST(AdpcmDecode, DiffsAtTheSmallestStep) {
    const int expected[8] = {2, 6, 10, 14, 18, 22, 26, 30};
    for (uint8_t c = 0; c < 16; ++c) {
        AdpcmDecoderState s{};
        const int diff = AdpcmDecodeCode(s, c);
        EXPECT_EQ(diff, (c & 8) ? -expected[c & 7] : expected[c & 7]) << int(c);
    }
}

// The constant-32767 run: codes, predictions (2076 overshoots 12 bits and is
// kept) and the step index after each code.
TEST(AdpcmEncoder, ConstantFullScale) {
    const uint8_t codes[12] = {7, 7, 7, 7, 7, 4, 0, 8, 0, 8, 0, 8};
    const int16_t predicted[12] = {30, 93, 229, 522, 1153, 1967, 2076, 1977, 2067, 1985, 2059, 1991};
    const int8_t index[12] = {8, 16, 24, 32, 40, 42, 41, 40, 39, 38, 37, 36};
    AdpcmEncoder encoder;
    AdpcmDecoderState player{};
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        const uint8_t code = encoder.Encode(32767);
        EXPECT_EQ(code, codes[i]);
        EXPECT_EQ(AdpcmDecodeCode(player, code), predicted[i]);
        EXPECT_EQ(player.stepIndex, index[i]);
    }
}

TEST(AdpcmEncoder, SilenceAlternatesZeroAndEight) {
    AdpcmEncoder encoder;
    AdpcmDecoderState player{};
    for (int i = 0; i < 64; ++i) {
        const uint8_t code = encoder.Encode(0);
        ASSERT_EQ(code, i % 2 ? 8 : 0) << i;
        ASSERT_EQ(AdpcmDecodeCode(player, code), i % 2 ? 0 : 2);
        ASSERT_EQ(player.stepIndex, 0);
    }
}

TEST(AdpcmEncoder, EdgesOfTheComparisons) {
    struct Case {
        int16_t sample;
        uint8_t code;
    };
    const Case cases[] = {
        {16 * 16, 3},   // d = 16 equals the step: bit 2 stays clear
        {17 * 16, 4},   // d = 17 passes it
        {-1, 8},        // x = -1: below the prediction, no magnitude
        {-17, 8},       // x = -2
        {8 * 16, 1},    // d = 8 equals step/2: only the step/4 bit
        {-32768, 15},
    };
    AdpcmEncoder encoder;
    for (const Case& c : cases) {
        encoder.Encode(32767);  // something to reset
        encoder.Reset();
        EXPECT_EQ(encoder.Encode(c.sample), c.code) << c.sample;
    }
}

// The index is clamped at both ends, whatever the code's sign.
TEST(AdpcmDecode, IndexStaysWithinTheTable) {
    for (uint8_t c = 0; c < 16; ++c) {
        AdpcmDecoderState low{0, 0};
        AdpcmDecodeCode(low, c);
        EXPECT_EQ(low.stepIndex, (c & 4) ? AdpcmIndexAdjust[c] : 0) << int(c);
        AdpcmDecoderState high{0, 48};
        AdpcmDecodeCode(high, c);
        EXPECT_EQ(high.stepIndex, (c & 4) ? 48 : 47) << int(c);
    }
}

// The branch-free encoder against the plain one, code for code and state for
// state: full-scale noise, quiet noise around the smallest steps, silence,
// full-scale squares that push the prediction past 12 bits and the index to
// both ends, and differences landing exactly on the step boundaries.
TEST(AdpcmEncoder, EqualsThePlainEncoder) {
    std::mt19937 random(16);
    std::uniform_int_distribution<int> full(-32768, 32767), quiet(-400, 400), run(1, 40);
    std::vector<int16_t> sound;
    for (int i = 0; i < 20000; ++i) sound.push_back(static_cast<int16_t>(full(random)));
    for (int i = 0; i < 5000; ++i) sound.push_back(static_cast<int16_t>(quiet(random)));
    sound.insert(sound.end(), 300, 0);
    for (int r = 0; r < 400; ++r) sound.insert(sound.end(), run(random), r % 2 ? int16_t{32767} : int16_t{-32768});
    for (int r = 0; r < 2000; ++r) sound.push_back(static_cast<int16_t>((r % 7) * 16 * (r % 2 ? 1 : -1)));
    AdpcmEncoder encoder;
    AdpcmDecoderState plain{};
    for (std::size_t i = 0; i < sound.size(); ++i) {
        ASSERT_EQ(encoder.Encode(sound[i]), AdpcmEncodeReference(plain, sound[i])) << i;
        ASSERT_EQ(encoder.State().predicted, plain.predicted) << i;
        ASSERT_EQ(encoder.State().stepIndex, plain.stepIndex) << i;
    }
}

}  // namespace
}  // namespace kest
