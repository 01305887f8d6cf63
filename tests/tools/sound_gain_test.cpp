// A 16-bit gain: rounded to the nearest integer, halves away from zero, and
// clipped to the 16-bit range.
#include <gtest/gtest.h>

#include "kest/sound_gain.h"

namespace kest::tool {
namespace {

TEST(SoundGain, RoundsHalvesAwayFromZeroAndClips) {
    struct Case {
        int16_t sample;
        double factor;
        int16_t expected;
    };
    const Case cases[] = {
        {3, 0.5, 2},          {-3, 0.5, -2},           {1, 0.5, 1},         {-1, 0.5, -1},
        {5, 0.3, 2},          {-5, 0.3, -2},           {1000, 1.0, 1000},   {-32768, 1.0, -32768},
        {20000, 2.0, 32767},  {-20000, 2.0, -32768},   {16384, 2.0, 32767}, {-16384, 2.0, -32768},
        {32767, -1.0, -32767}, {-32768, -1.0, 32767},
    };
    for (const Case& c : cases) EXPECT_EQ(ApplyGain(c.sample, c.factor), c.expected) << c.sample << " x " << c.factor;
    EXPECT_EQ(GainFactor(0), 1.0);  // 0 dB leaves every sample as it is
    EXPECT_NEAR(GainFactor(-6), 0.501187, 1e-6);
}

}  // namespace
}  // namespace kest::tool
