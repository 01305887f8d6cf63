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

// The resampler's picks for a frame of `count` outputs: the nearest entry of
// the span for each, stepping source/target entries from `phase`.
std::vector<int32_t> Picks(int32_t source, int32_t target, int64_t phase, int32_t count) {
    std::vector<int32_t> at;
    int64_t index = 0;
    for (int32_t i = 0; i < count; ++i) {
        at.push_back(static_cast<int32_t>(index));
        index += source / target;
        phase += source % target;
        while (phase >= target) phase -= target, ++index;
    }
    return at;
}

// Picked outputs on every path against the plain form: the host rates of the
// audio rows down to each slower target, mono and stereo, frames of many
// lengths and phases, over noise, silence and clamping squares. Picks that
// repeat or leap further than the resampler ever does are summed too.
TEST(LowPassFastPaths, PickedOutputsEqualThePlainForm) {
    const Path paths[] = {Path::Plain, Path::Sse2, Path::Avx2, Path::Avx512};
    const int32_t sources[] = {44100, 48000, 32000, 22050, 11025};
    const int32_t targets[] = {15625, 10416, 7812, 5208, 3906, 44100, 32000, 24000, 22050, 16000};
    const int32_t counts[] = {1, 2, 7, 9, 17, 64, 130, 521, 1601};
    std::mt19937 random(1470);
    int kind = 0;
    auto check = [&](const std::vector<int32_t>& at, int channels, const char* what) {
        const auto count = static_cast<int32_t>(at.size());
        const auto frames = static_cast<std::size_t>(at.back() + 301);
        std::vector<int16_t> input = RandomSound(frames * channels, random, kind % 3 == 1);
        if (kind % 3 == 2) input.assign(input.size(), 0);
        ++kind;
        const LowPassFilter::Taps taps = LowPassFilter::DesignLowPass(7812, 44100);
        std::vector<int16_t> expected(at.size() * channels), actual(at.size() * channels);
        LowPassFilter::FilterPickedReference(taps.h, input.data(), channels, at.data(), count, expected.data());
        for (const Path path : paths) {
            if (!LowPassFilter::PathAvailable(path)) continue;
            actual.assign(actual.size(), 1);
            LowPassFilter::FilterPickedOn(path, taps.h, input.data(), channels, at.data(), count, actual.data());
            ASSERT_EQ(actual, expected) << what << ", path " << int(path) << ", " << channels << " channels, "
                                        << count << " outputs";
        }
    };
    for (const int32_t source : sources)
        for (const int32_t target : targets) {
            if (target >= source) continue;
            std::uniform_int_distribution<int64_t> phase(0, target - 1);
            for (const int32_t count : counts)
                for (const int channels : {1, 2}) {
                    SCOPED_TRACE(::testing::Message() << source << " -> " << target);
                    check(Picks(source, target, phase(random), count), channels, "resampler picks");
                }
        }
    std::uniform_int_distribution<int32_t> leap(0, 6);
    for (const int32_t count : counts) {
        std::vector<int32_t> at(static_cast<std::size_t>(count));
        for (int32_t i = 1; i < count; ++i) at[i] = at[i - 1] + leap(random);
        check(at, 1, "irregular picks");
        check(at, 2, "irregular picks");
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
