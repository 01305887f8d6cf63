// Every converter against the plain model, word for word, over runs of
// random pictures: the guard for any faster converter.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "picture_harness.h"
#include "reference_converters.h"

namespace kest {
namespace {

using testing::RandomSource;
using testing::ReferenceConverter;
using testing::Source;
using testing::Target;

TEST(ConvertersMatchTheModel, RandomRuns) {
    struct Geometry {
        int32_t sourceWidth, sourceHeight, targetWidth, targetHeight;
    } const geometries[] = {
        {1, 1, 4, 1}, {3, 2, 4, 2}, {37, 23, 40, 27}, {600, 9, 512, 8}, {20, 30, 20, 16}, {511, 5, 512, 5}, {512, 4, 512, 4},
    };
    struct Settings {
        double gamma;
        int32_t intensity;
    } const settings[] = {{1.0, 0}, {1.0, 1}, {1.7, 1}, {0.6, 0}};

    std::mt19937 random(2024);
    for (uint16_t mode = 0; mode <= 6; ++mode)
        for (const Geometry& g : geometries)
            for (const Settings& s : settings) {
                ReferenceConverter model(mode);
                const PictureConverter convert = SelectPictureConverter(mode);
                Target actual(g.targetWidth, g.targetHeight), expected(g.targetWidth, g.targetHeight);
                // Frames of a run alternate between two pictures so that carried
                // errors and the temporal matrix both show.
                const Source pictures[2] = {RandomSource(g.sourceWidth, g.sourceHeight, random),
                                            RandomSource(g.sourceWidth, g.sourceHeight, random)};
                for (int32_t frame = 0; frame < 4; ++frame) {
                    // Later frames get another gamma, which must be ignored.
                    const double gamma = frame == 0 ? s.gamma : 2.5;
                    Convert(convert, pictures[frame & 1], actual, frame, gamma, s.intensity);
                    model.Convert(pictures[frame & 1], expected, frame, gamma, s.intensity);
                    ASSERT_EQ(actual.words, expected.words)
                        << "mode " << mode << " source " << g.sourceWidth << "x" << g.sourceHeight << " target "
                        << g.targetWidth << "x" << g.targetHeight << " gamma " << s.gamma << " intensity "
                        << s.intensity << " frame " << frame;
                }
            }
}

}  // namespace
}  // namespace kest
