// PSNR and SSIM against values worked out by hand.
#include <gtest/gtest.h>

#include <cmath>

#include "kest/picture_metrics.h"

namespace kest::testing {
namespace {

using tool::RgbImage;

RgbImage Pattern(int32_t width, int32_t height, int shift) {
    RgbImage image{width, height, std::vector<uint8_t>(static_cast<std::size_t>(width) * height * 3)};
    for (std::size_t i = 0; i < image.rgb.size(); ++i) image.rgb[i] = static_cast<uint8_t>((i * 37 % 200) + 20 + shift);
    return image;
}

TEST(PictureMetrics, PsnrAndSsim) {
    const RgbImage a = Pattern(40, 30, 0);
    EXPECT_TRUE(std::isinf(tool::Psnr(a, a)));
    EXPECT_DOUBLE_EQ(tool::Ssim(a, a), 1.0);

    // Every value off by one: a mean squared error of 1.
    const RgbImage b = Pattern(40, 30, 1);
    EXPECT_NEAR(tool::Psnr(a, b), 20 * std::log10(255.0), 1e-9);
    // A uniform shift changes only the means, and by little against C1.
    EXPECT_GT(tool::Ssim(a, b), 0.999);

    // The negative: the structure is reversed.
    RgbImage negative = a;
    for (uint8_t& v : negative.rgb) v = static_cast<uint8_t>(255 - v);
    EXPECT_LT(tool::Ssim(a, negative), 0.0);
    // Flat grey keeps the mean but none of the structure.
    RgbImage grey = a;
    for (uint8_t& v : grey.rgb) v = 120;
    EXPECT_LT(tool::Ssim(a, grey), 0.1);
}

}  // namespace
}  // namespace kest::testing
