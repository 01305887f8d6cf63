#include "sound/low_pass_filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace kest {
namespace {

using LowPassFilter::kTaps;

TEST(LowPassDesign, WorkedCoefficients) {
    const LowPassFilter::Taps taps = LowPassFilter::DesignLowPass(7812, 44100);
    const double* h = taps.h;
    EXPECT_EQ(h[150], 0.3542857142857143);
    EXPECT_NEAR(h[149], 0.28551, 5e-6);
    EXPECT_NEAR(h[0], -0.0000737, 5e-8);
    double sum = 0;
    for (int k = 0; k < kTaps; ++k) {
        EXPECT_EQ(h[k], h[kTaps - 1 - k]) << k;
        sum += h[k];
    }
    EXPECT_NEAR(sum, 1.00017, 1e-5);  // not normalised
    EXPECT_EQ(LowPassFilter::DesignLowPass(22050, 48000).h[150], 0.91875);
}

// Constant inputs show the clamping and the unnormalised gain.
TEST(LowPassApply, ConstantInputs) {
    struct Case {
        int32_t cutoff, rate;
        int16_t in, out;
    };
    const Case cases[] = {
        {7812, 44100, 32767, 32767},    // sum about 32772.7, clamped
        {7812, 44100, -32768, -32768},
        {22050, 48000, 32767, 32763},   // taps add up to about 0.99989
        {22050, 48000, 0, 0},
    };
    for (const Case& c : cases) {
        const LowPassFilter::Taps taps = LowPassFilter::DesignLowPass(c.cutoff, c.rate);
        const double* h = taps.h;
        std::vector<int16_t> mono(4 + 300, c.in), stereo(2 * (4 + 300), c.in), out(8);
        EXPECT_EQ(LowPassFilter::FilterMono(h, mono.data(), out.data(), 4), 4);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], c.out) << c.in;
        EXPECT_EQ(LowPassFilter::FilterStereo(h, stereo.data(), out.data(), 4), 4);
        for (int i = 0; i < 8; ++i) EXPECT_EQ(out[i], c.out) << c.in;
    }
}

// A one-tap table makes the sum the sample times the tap: truncation goes
// toward zero on both sides.
TEST(LowPassApply, TruncatesTowardZero) {
    struct Case {
        int16_t sample;
        double tap;
        int16_t out;
    };
    const Case cases[] = {{7, 0.1, 0}, {-7, 0.1, 0}, {-3, 0.5, -1}, {3, 0.5, 1}, {-32768, 2.0, -32768}};
    for (const Case& c : cases) {
        double h[kTaps] = {};
        h[150] = c.tap;
        std::vector<int16_t> in(301, 0), out(1);
        in[150] = c.sample;
        LowPassFilter::FilterMono(h, in.data(), out.data(), 1);
        EXPECT_EQ(out[0], c.out) << c.sample << " x " << c.tap;
    }
}

// Output i is centred on input i + 150, each channel on its own, and running
// in place equals running into a separate buffer.
TEST(LowPassApply, InPlaceEqualsSeparateAndChannelsStayApart) {
    const LowPassFilter::Taps taps = LowPassFilter::DesignLowPass(7812, 44100);
    const double* h = taps.h;
    const int32_t count = 1000;
    std::vector<int16_t> mono(count + 300), stereo(2 * (count + 300));
    uint32_t seed = 7;
    for (std::size_t i = 0; i < mono.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        mono[i] = static_cast<int16_t>(seed >> 16);
        stereo[2 * i] = mono[i];
        stereo[2 * i + 1] = static_cast<int16_t>(i % 64 < 32 ? 20000 : -20000);
    }
    std::vector<int16_t> separate(count), separateStereo(2 * count);
    LowPassFilter::FilterMono(h, mono.data(), separate.data(), count);
    LowPassFilter::FilterStereo(h, stereo.data(), separateStereo.data(), count);
    for (int32_t i = 0; i < count; i += 97) {
        double sum = 0.0;
        for (int k = 0; k < kTaps; ++k) sum = sum + mono[i + k] * h[k];
        EXPECT_EQ(separate[i], static_cast<int16_t>(std::trunc(std::fmax(-32768.0, std::fmin(32767.0, sum)))));
        EXPECT_EQ(separateStereo[2 * i], separate[i]);
    }
    std::vector<int16_t> square(count);
    std::vector<int16_t> squareIn(count + 300);
    for (std::size_t i = 0; i < squareIn.size(); ++i) squareIn[i] = stereo[2 * i + 1];
    LowPassFilter::FilterMono(h, squareIn.data(), square.data(), count);
    for (int32_t i = 0; i < count; ++i) ASSERT_EQ(separateStereo[2 * i + 1], square[i]) << i;

    LowPassFilter::FilterMono(h, mono.data(), mono.data(), count);
    LowPassFilter::FilterStereo(h, stereo.data(), stereo.data(), count);
    EXPECT_TRUE(std::equal(separate.begin(), separate.end(), mono.begin()));
    EXPECT_TRUE(std::equal(separateStereo.begin(), separateStereo.end(), stereo.begin()));
}

}  // namespace
}  // namespace kest
