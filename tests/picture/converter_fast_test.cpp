// The fast converters against their plain forms, word for word: runs of
// random pictures in every reduceMode, at sizes that end inside and outside
// the unrolled steps, at the 510/511/512 columns where the planar planes
// wrap, with several gammas and both intensity settings. The buffers start
// with a marker so that words written out of place show too.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "picture_harness.h"

namespace kest {
namespace {

using testing::Source;
using testing::Target;

// Noise, stretches of near-black and near-white, and smooth ramps: the
// clamps and the carried errors at both ends get exercised, not only the
// middle of the range.
Source MixedSource(int32_t width, int32_t height, std::mt19937& random) {
    Source s = testing::RandomSource(width, height, random);
    std::uniform_int_distribution<int> kind(0, 3), small(0, 7);
    for (int32_t y = 0; y < height; ++y) {
        const int k = kind(random);
        for (int32_t x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                uint8_t& v = s.Pixel(y, x)[c];
                if (k == 1) v = static_cast<uint8_t>(small(random));
                if (k == 2) v = static_cast<uint8_t>(255 - small(random));
                if (k == 3) v = static_cast<uint8_t>((x * 5 + y * 3 + c * 80) & 0xFF);
            }
    }
    return s;
}

TEST(FastConverters, EqualThePlainForms) {
    struct Geometry {
        int32_t sourceWidth, sourceHeight, targetWidth, targetHeight;
    } const geometries[] = {
        {1, 1, 4, 1},    {3, 2, 4, 2},      {5, 7, 8, 7},     {37, 23, 40, 27}, {41, 4, 44, 4},
        {47, 3, 48, 3},  {64, 9, 64, 12},
        {510, 6, 512, 6}, {511, 5, 512, 5}, {512, 6, 512, 6}, {600, 9, 512, 8}, {700, 520, 512, 512},
    };
    struct Settings {
        double gamma;
        int32_t intensity;
    } const settings[] = {{1.0, 0}, {1.0, 1}, {1.8, 1}, {0.4, 0}, {3.0, 1}};

    std::mt19937 random(8);
    for (uint16_t mode = 0; mode <= 6; ++mode)
        for (const Geometry& g : geometries)
            for (const Settings& s : settings) {
                // The full-screen case once per mode is enough.
                if (g.targetHeight == 512 && (s.gamma != 1.8)) continue;
                const PictureConverter fast = SelectPictureConverter(mode);
                const PictureConverter plain = SelectReferenceConverter(mode);
                Target actual(g.targetWidth, g.targetHeight), expected(g.targetWidth, g.targetHeight);
                const Source pictures[2] = {MixedSource(g.sourceWidth, g.sourceHeight, random),
                                            MixedSource(g.sourceWidth, g.sourceHeight, random)};
                for (int32_t frame = 0; frame < 5; ++frame) {
                    const double gamma = frame == 0 ? s.gamma : 0.7;  // ignored after frame 0
                    // Frames 0 and 2 repeat a picture, so carried errors meet
                    // the same input again.
                    const Source& picture = pictures[frame == 3 ? 1 : 0 + (frame & 1)];
                    Convert(plain, picture, expected, frame, gamma, s.intensity);
                    Convert(fast, picture, actual, frame, gamma, s.intensity);
                    ASSERT_EQ(actual.words, expected.words)
                        << "mode " << mode << " source " << g.sourceWidth << "x" << g.sourceHeight << " target "
                        << g.targetWidth << "x" << g.targetHeight << " gamma " << s.gamma << " intensity "
                        << s.intensity << " frame " << frame;
                }
            }
}

// The whole-row steps of every tier this processor runs, the widest and
// those an export on a smaller processor takes, against the plain forms:
// every width around the 8- to 64-pixel steps and their tails, full rows and
// a source wider than the target, the identity gamma and others, both
// intensity settings. One run per setting goes through all the widths, two
// frames each, so every width also meets errors carried from the frame
// before (building a gamma table is what costs here, once per run).
TEST(FastConverters, EveryTierEqualsThePlainForms) {
    struct Geometry {
        int32_t sourceWidth, targetWidth;
    };
    std::vector<Geometry> geometries;
    for (int32_t width = 1; width <= 130; ++width) geometries.push_back({width, width});
    for (const int32_t width : {510, 511, 512}) geometries.push_back({width, width});
    geometries.push_back({600, 512});
    const double gammas[] = {1.0, 1.8, 0.45, 2.2, 3.0};
    constexpr int32_t kHeight = 3;
    std::mt19937 random(10);
    for (int t = 0; t <= static_cast<int>(DetectedSimdTier()); ++t) {
        const auto tier = static_cast<SimdTier>(t);
        for (uint16_t mode = 0; mode <= 4; ++mode)
            for (const double gamma : gammas)
                for (const int32_t intensity : {0, 1}) {
                    int32_t frame = 0;
                    for (const Geometry& g : geometries) {
                        const Source pictures[2] = {MixedSource(g.sourceWidth, kHeight, random),
                                                    MixedSource(g.sourceWidth, kHeight, random)};
                        for (const Source& picture : pictures) {
                            Target actual(g.targetWidth, kHeight), expected(g.targetWidth, kHeight);
                            Convert(SelectReferenceConverter(mode), picture, expected, frame, gamma, intensity);
                            Convert(SelectPictureConverter(mode), picture, actual, frame, gamma, intensity, tier);
                            ASSERT_EQ(actual.words, expected.words)
                                << "tier " << t << " mode " << mode << " width " << g.sourceWidth << " -> "
                                << g.targetWidth << " gamma " << gamma << " intensity " << intensity << " frame "
                                << frame;
                            ++frame;
                        }
                    }
                }
    }
}

// Planar error diffusion on every tier against the plain form, through runs
// of frames whose sizes change: widths around the lane counts (8, 16, 32)
// and where the skew stops being its minimum, the 510/511/512 columns where
// the planes wrap, heights around multiples of the lanes, one and two rows,
// later frames narrower or shorter than earlier ones (which then read the
// cells the earlier frames left right of their own area), and new runs after
// wider ones.
TEST(FastConverters, PlanarEveryTierThroughChangingSizes) {
    struct Size {
        int32_t sourceWidth, sourceHeight, targetWidth, targetHeight;
    };
    struct Run {
        double gamma;
        int32_t intensity;
        std::vector<Size> frames;
    } const runs[] = {
        {1.0, 0, {{512, 33, 512, 33}, {512, 33, 512, 33}, {511, 16, 511, 16}, {510, 7, 512, 7}, {1, 1, 4, 1}}},
        {1.8, 1, {{45, 9, 48, 9}, {46, 8, 48, 8}, {93, 17, 96, 17}, {94, 15, 96, 15}, {189, 31, 192, 31},
                  {190, 32, 192, 32}, {29, 2, 32, 2}, {61, 1, 64, 1}, {300, 40, 300, 40}}},
        {0.45, 0, {{64, 65, 64, 65}, {130, 3, 132, 3}, {2, 2, 4, 2}, {1, 5, 4, 5}, {5, 1, 8, 1}}},
        {2.2, 1, {{511, 8, 512, 8}, {512, 8, 512, 8}, {100, 100, 100, 100}, {513, 10, 512, 10}, {37, 23, 40, 27}}},
        {1.0, 1, {{40, 12, 40, 12}, {600, 600, 512, 512}, {509, 511, 512, 512}, {600, 9, 512, 8}}},
        {3.0, 0, {{47, 3, 48, 3}, {31, 47, 32, 47}, {17, 64, 20, 64}}},
    };
    std::mt19937 random(12);
    for (int t = 0; t <= static_cast<int>(DetectedSimdTier()); ++t) {
        const auto tier = static_cast<SimdTier>(t);
        for (const Run& run : runs)
            for (int32_t frame = 0; frame < static_cast<int32_t>(run.frames.size()); ++frame) {
                const Size& z = run.frames[static_cast<std::size_t>(frame)];
                const Source picture = MixedSource(z.sourceWidth, z.sourceHeight, random);
                Target actual(z.targetWidth, z.targetHeight), expected(z.targetWidth, z.targetHeight);
                Convert(SelectReferenceConverter(5), picture, expected, frame, run.gamma, run.intensity, tier);
                Convert(ConvertPlanarErrorDiffusion, picture, actual, frame, run.gamma, run.intensity, tier);
                ASSERT_EQ(actual.words, expected.words)
                    << "tier " << t << " gamma " << run.gamma << " intensity " << run.intensity << " frame " << frame
                    << " source " << z.sourceWidth << "x" << z.sourceHeight << " target " << z.targetWidth << "x"
                    << z.targetHeight;
            }
    }
}

// A new run starts over: the fast forms' carried state and cached tables
// follow a new frame 0 with other settings exactly as the plain forms do.
TEST(FastConverters, NewRunWithOtherSettings) {
    std::mt19937 random(9);
    const Source picture = MixedSource(40, 12, random);
    for (uint16_t mode = 0; mode <= 5; ++mode) {
        Target actual(40, 12), expected(40, 12);
        for (const auto& [gamma, intensity] : {std::pair{1.0, 1}, std::pair{2.2, 0}, std::pair{2.2, 1}})
            for (int32_t frame = 0; frame < 3; ++frame) {
                Convert(SelectReferenceConverter(mode), picture, expected, frame, gamma, intensity);
                Convert(SelectPictureConverter(mode), picture, actual, frame, gamma, intensity);
                ASSERT_EQ(actual.words, expected.words) << "mode " << mode << " gamma " << gamma << " frame " << frame;
            }
    }
}

}  // namespace
}  // namespace kest
