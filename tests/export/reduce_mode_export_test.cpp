// Whole exports with each colour reduction: the file carries the words of
// the converter that reduceMode names, and a run inherits nothing from the
// one before.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/big_endian.h"
#include "picture/reference_converters.h"
#include "settings/output_settings.h"
#include "support/memory_host.h"

namespace kest {
namespace {

using testing::MemoryHost;

class ReduceModeExport : public ::testing::Test {
protected:
    std::vector<uint8_t> Export(uint16_t reduceMode);
    OutputSettings settings = DefaultSettings();
};

// A picture that changes from frame to frame, so that what one frame leaves
// behind shows in the next.
std::vector<uint8_t> MovingPicture(int32_t width, int32_t height, int32_t frame) {
    const int32_t stride = SourceRowStride(width);
    std::vector<uint8_t> bytes(static_cast<std::size_t>(stride) * height, 0);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* p = &bytes[static_cast<std::size_t>(y) * stride + 3 * x];
            p[0] = static_cast<uint8_t>(x * 5 + frame * 3);
            p[1] = static_cast<uint8_t>(y * 7 + x);
            p[2] = static_cast<uint8_t>(97 + frame * 11 + (x ^ y));
        }
    return bytes;
}

constexpr int32_t kWidth = 38, kHeight = 30, kFrames = 4;

std::vector<uint8_t> ReduceModeExport::Export(uint16_t reduceMode) {
    MemoryHost host(kWidth, kHeight, kFrames);
    host.settings = settings;
    host.settings.reduceMode = reduceMode;
    host.picture = [](int32_t frame) { return MovingPicture(kWidth, kHeight, frame); };
    EXPECT_EQ(host.Run().outcome, ExportOutcome::Completed) << reduceMode;
    return host.FileBytes();
}

TEST_F(ReduceModeExport, EachModeStoresItsOwnConversion) {
    settings.gamma = 1.3;
    settings.useIntensityBit = 1;
    std::vector<std::vector<uint8_t>> files;
    for (uint16_t mode = 0; mode <= 5; ++mode) {
        const std::vector<uint8_t> file = Export(mode);
        ASSERT_GT(file.size(), 1024u) << mode;
        const int32_t width = static_cast<int32_t>(GetBigEndian32(&file[10]));
        const int32_t height = static_cast<int32_t>(GetBigEndian32(&file[14]));
        const std::size_t block = GetBigEndian32(&file[30]);
        ASSERT_EQ(width, 40);
        ASSERT_EQ(height, kHeight);
        ASSERT_EQ(file.size(), 1024 + kFrames * block) << mode;

        testing::ReferenceConverter model(mode);
        testing::Target expected(width, height);
        std::fill(expected.words.begin(), expected.words.end(), Pixel16{0});  // the driver's cleared buffer
        for (int32_t frame = 0; frame < kFrames; ++frame) {
            const testing::Source source{kWidth, kHeight, MovingPicture(kWidth, kHeight, frame)};
            model.Convert(source, expected, frame, 1.3, 1);
            const auto* stored = &file[1024 + frame * block + 16];
            const auto* wanted = reinterpret_cast<const uint8_t*>(expected.words.data());
            ASSERT_TRUE(std::equal(wanted, wanted + width * height * 2, stored)) << "mode " << mode << " frame " << frame;
        }
        files.push_back(file);
    }
    for (std::size_t a = 0; a < files.size(); ++a)
        for (std::size_t b = a + 1; b < files.size(); ++b) EXPECT_NE(files[a], files[b]) << a << " and " << b;
}

TEST_F(ReduceModeExport, SecondRunStartsAfresh) {
    settings.useIntensityBit = 1;
    for (uint16_t mode : {uint16_t{3}, uint16_t{4}, uint16_t{5}}) {
        const std::vector<uint8_t> first = Export(mode);
        const std::vector<uint8_t> second = Export(mode);
        EXPECT_EQ(first, second) << mode;
    }
}

TEST_F(ReduceModeExport, UnknownModesExportAsTruncation) {
    const std::vector<uint8_t> truncated = Export(0);
    // An ordered dither first, so that a matrix left behind would show.
    Export(2);
    EXPECT_EQ(Export(6), truncated);
    Export(3);
    EXPECT_EQ(Export(65535), truncated);
}

}  // namespace
}  // namespace kest
