// The vectorised filter against the plain loop, sample for sample, on every
// summing path this processor runs: random sound, loud sound that clamps,
// counts around the block and vector widths, in place and apart.

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "sound/low_pass_filter.h"

namespace kest {
namespace {

using LowPassFilter::Path;

std::vector<int16_t> RandomSound(std::size_t n, std::mt19937& random, bool loud) {
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::uniform_int_distribution<int> square(0, 1);
    std::vector<int16_t> v(n);
    // Loud sound: full-scale square waves of random lengths, whose filtered
    // overshoot crosses the 16-bit range and is clamped.
    int level = 32767, left = 0;
    for (auto& s : v) {
        if (loud) {
            if (left-- <= 0) {
                level = square(random) ? 32767 : -32768;
                left = sample(random) & 63;
            }
            s = static_cast<int16_t>(level);
        } else {
            s = static_cast<int16_t>(sample(random));
        }
    }
    return v;
}

TEST(LowPassFastPaths, EqualThePlainLoop) {
    const Path paths[] = {Path::Plain, Path::Sse2, Path::Avx2, Path::Avx512};
    struct Design {
        int32_t cutoff, rate;
    } const designs[] = {{7812, 44100}, {16000, 48000}, {1953, 48000}};
    const int32_t counts[] = {0, 1, 7, 8, 15, 16, 17, 511, 512, 513, 1601};
    std::mt19937 random(301);
    for (const Path path : paths) {
        if (!LowPassFilter::PathAvailable(path)) continue;
        for (const Design& d : designs) {
            const LowPassFilter::Taps taps = LowPassFilter::DesignLowPass(d.cutoff, d.rate);
            const double* h = taps.h;
            for (const int32_t count : counts)
                for (const bool loud : {false, true}) {
                    const auto n = static_cast<std::size_t>(count + 300);
                    const std::vector<int16_t> mono = RandomSound(n, random, loud);
                    const std::vector<int16_t> stereo = RandomSound(2 * n, random, loud);
                    std::vector<int16_t> expected(2 * n), actual(2 * n);
                    LowPassFilter::FilterMonoReference(h, mono.data(), expected.data(), count);
                    LowPassFilter::FilterMonoOn(path, h, mono.data(), actual.data(), count);
                    ASSERT_EQ(actual, expected) << "mono path " << int(path) << " count " << count;
                    std::vector<int16_t> inPlace = mono;
                    LowPassFilter::FilterMonoOn(path, h, inPlace.data(), inPlace.data(), count);
                    inPlace.resize(static_cast<std::size_t>(count));
                    expected.resize(static_cast<std::size_t>(count));
                    ASSERT_EQ(inPlace, expected) << "mono in place, path " << int(path) << " count " << count;

                    expected.assign(2 * n, 0);
                    actual.assign(2 * n, 0);
                    LowPassFilter::FilterStereoReference(h, stereo.data(), expected.data(), count);
                    LowPassFilter::FilterStereoOn(path, h, stereo.data(), actual.data(), count);
                    ASSERT_EQ(actual, expected) << "stereo path " << int(path) << " count " << count;
                    inPlace = stereo;
                    LowPassFilter::FilterStereoOn(path, h, inPlace.data(), inPlace.data(), count);
                    inPlace.resize(2 * static_cast<std::size_t>(count));
                    expected.resize(2 * static_cast<std::size_t>(count));
                    ASSERT_EQ(inPlace, expected) << "stereo in place, path " << int(path) << " count " << count;
                }
        }
    }
}

// A tier gets the widest summing path it runs, and the export's tier is the
// detected one.
TEST(LowPassFastPaths, EachTierTakesTheWidestPathItRuns) {
    using LowPassFilter::PathOf;
    EXPECT_EQ(PathOf(SimdTier::Plain), Path::Plain);
#if defined(__SSE2__)
    EXPECT_EQ(PathOf(SimdTier::Sse2), Path::Sse2);
#endif
#if defined(__x86_64__)
    EXPECT_EQ(PathOf(SimdTier::Avx2), Path::Avx2);
    EXPECT_EQ(PathOf(SimdTier::Avx512), Path::Avx512);
#endif
    EXPECT_EQ(LowPassFilter::BestPath(), PathOf(DetectedSimdTier()));
}

}  // namespace
}  // namespace kest
