#include "settings/output_settings.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace kest {
namespace {

using Blob = std::array<uint8_t, kConfigBlobSize>;

class OutputSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { ResetSettings(); }
    void TearDown() override { ResetSettings(); }

    static Blob Fetch() {
        Blob blob;
        blob.fill(0xEE);
        EXPECT_EQ(GetConfigBlob(blob.data()), kConfigBlobSize);
        return blob;
    }

    // Every byte distinct from the defaults, the reserved bytes and the bytes
    // behind the comment's terminator included.
    static Blob Patterned() {
        Blob blob;
        for (std::size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<uint8_t>(i * 7 + 3);
        blob[24 + 10] = 0;  // comment "..." of 10 bytes, then leftovers
        return blob;
    }
};

TEST_F(OutputSettingsTest, FreshRecordIsZeroExceptGammaOne) {
    Blob expected{};
    const uint8_t one[8] = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x3F};
    std::memcpy(expected.data() + 16, one, sizeof one);
    EXPECT_EQ(Fetch(), expected);
}

TEST_F(OutputSettingsTest, NullDestinationOnlyReportsTheSize) {
    EXPECT_EQ(GetConfigBlob(nullptr), 1016);
}

TEST_F(OutputSettingsTest, FullRoundTripKeepsEveryByte) {
    const Blob in = Patterned();
    EXPECT_EQ(SetConfigBlob(in.data(), kConfigBlobSize), 1016);
    EXPECT_EQ(Fetch(), in);
    EXPECT_EQ(std::memcmp(&Settings(), in.data(), in.size()), 0);
}

TEST_F(OutputSettingsTest, WrongSizeOrNullSourceIsRefusedWhole) {
    const Blob in = Patterned();
    ASSERT_EQ(SetConfigBlob(in.data(), kConfigBlobSize), kConfigBlobSize);

    Blob other;
    other.fill(0x55);
    for (int32_t size : {0, 1015, 1017, -1016}) {
        EXPECT_EQ(SetConfigBlob(other.data(), size), 0) << size;
        EXPECT_EQ(Fetch(), in) << size;
    }
    EXPECT_EQ(SetConfigBlob(nullptr, kConfigBlobSize), 0);
    EXPECT_EQ(Fetch(), in);
}

TEST_F(OutputSettingsTest, CommentLengthStopsAtTheTerminatorOrAt983) {
    OutputSettings& s = Settings();
    EXPECT_EQ(CommentLength(s), 0u);
    std::memset(s.comment, 'k', kCommentBytes);
    EXPECT_EQ(CommentLength(s), 983u);
    s.comment[983] = '\0';
    EXPECT_EQ(CommentLength(s), 983u);
    s.comment[500] = '\0';
    EXPECT_EQ(CommentLength(s), 500u);
}

}  // namespace
}  // namespace kest
