// The player's ADPCM decoder against the export's own on a stream that
// overshoots the 12-bit range.
#include <gtest/gtest.h>

#include <vector>

#include "kest/player_adpcm.h"

namespace kest::testing {
namespace {

TEST(PlayerAdpcm, HoldsThePredictionTo12BitsWhereTheEncoderOvershoots) {
    // A constant full-scale input makes the encoder's own decoder run past
    // 2047 (to 2076 at the sixth code) and choose the codes after it from there.
    AdpcmEncoder encoder;
    std::vector<uint8_t> codes;
    for (int i = 0; i < 12; ++i) codes.push_back(encoder.Encode(32767));
    ASSERT_EQ(codes, (std::vector<uint8_t>{7, 7, 7, 7, 7, 4, 0, 8, 0, 8, 0, 8}));

    AdpcmDecoderState exact, player;
    std::vector<int16_t> exactValues, playerValues;
    for (const uint8_t code : codes) {
        exactValues.push_back(AdpcmDecodeCode(exact, code));
        playerValues.push_back(tool::PlayerAdpcmDecode(player, code));
    }
    EXPECT_EQ(exactValues, (std::vector<int16_t>{30, 93, 229, 522, 1153, 1967, 2076, 1977, 2067, 1985, 2059, 1991}));
    // The same until the overshoot, which stops at 2047; the stream goes on
    // from there with the same step sizes.
    EXPECT_EQ(playerValues, (std::vector<int16_t>{30, 93, 229, 522, 1153, 1967, 2047, 1948, 2038, 1956, 2030, 1962}));
    EXPECT_EQ(player.stepIndex, exact.stepIndex);

    // And at the bottom: a run of the most negative code saturates at -2048.
    AdpcmDecoderState low;
    int16_t last = 0;
    for (int i = 0; i < 40; ++i) last = tool::PlayerAdpcmDecode(low, 15);
    EXPECT_EQ(last, -2048);
}

}  // namespace
}  // namespace kest::testing
