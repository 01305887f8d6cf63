#include "settings/config_dialog_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "settings/output_settings.h"
#include "sound/audio_format.h"

namespace kest {
namespace {

OutputSettings FreshRecord() {
    ResetSettings();
    return Settings();
}

// A record with every byte in use, including the reserved bytes and bytes
// behind the comment's terminator that no one may touch.
OutputSettings BusyRecord() {
    OutputSettings s = FreshRecord();
    s.reduceMode = 3;
    s.lineSpacing = 2;
    s.useIntensityBit = 1;
    s.centerHorizontally = 0;
    s.centerVertically = 1;
    s.gamma = 2.3;
    std::memset(s.comment, 'z', kCommentBytes);
    std::memcpy(s.comment, "abc", 4);
    s.audioFormatIndex = 9;
    for (int i = 0; i < 6; ++i) s.reserved[i] = static_cast<uint8_t>(0xA0 + i);
    return s;
}

bool SameBytes(const OutputSettings& a, const OutputSettings& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

int CheckedIndex(const bool* checks, int count) {
    int found = -1;
    for (int i = 0; i < count; ++i) {
        if (checks[i]) {
            if (found >= 0) return -2;  // more than one
            found = i;
        }
    }
    return found;
}

TEST(ConfigDialogModel, DefaultRecordShowsDefaultControls) {
    OutputSettings s = FreshRecord();
    const DialogControls c = InitialiseControls(s);
    EXPECT_EQ(CheckedIndex(c.reduceModeChecked, kReduceModeButtons), 0);
    EXPECT_EQ(c.gammaPosition, 10);
    EXPECT_STREQ(GammaLabelText(c.gammaPosition).data(), " 1.0");
    EXPECT_EQ(CheckedIndex(c.lineSpacingChecked, kLineSpacingButtons), 0);
    EXPECT_FALSE(c.centerHorizontally);
    EXPECT_FALSE(c.centerVertically);
    EXPECT_FALSE(c.useIntensityBit);
    EXPECT_EQ(c.audioSelection, 0);
    EXPECT_EQ(c.comment, "");
}

TEST(ConfigDialogModel, OkWithoutChangesKeepsEveryByte) {
    for (const OutputSettings& before : {FreshRecord(), BusyRecord()}) {
        OutputSettings s = before;
        const DialogControls c = InitialiseControls(s);
        ReadBackControls(c, s);
        EXPECT_TRUE(SameBytes(s, before));
    }
}

TEST(ConfigDialogModel, GammaIsCutToATenthAndWrittenBackOnOpening) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double stored;
        int32_t position;
        const char* label;
    } cases[] = {
        {0.05, 1, " 0.1"}, {0.15, 1, " 0.1"}, {5.0, 30, " 3.0"}, {2.99, 29, " 2.9"},
        {nan, 1, " 0.1"},  {-2.0, 1, " 0.1"}, {1e300, 30, " 3.0"}, {inf, 30, " 3.0"},
        {-inf, 1, " 0.1"}, {0.3, 3, " 0.3"},  {3.0, 30, " 3.0"},  {2.35, 23, " 2.3"},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.stored);
        OutputSettings s = BusyRecord();
        s.gamma = t.stored;
        OutputSettings expected = s;
        expected.gamma = t.position / 10.0;

        const DialogControls c = InitialiseControls(s);
        EXPECT_EQ(c.gammaPosition, t.position);
        EXPECT_STREQ(GammaLabelText(c.gammaPosition).data(), t.label);
        // Cancel reads nothing back: the normalised gamma is the only change.
        EXPECT_TRUE(SameBytes(s, expected));
    }
}

TEST(ConfigDialogModel, EveryTrackbarPositionStoresItsTenthAndShowsItAgain) {
    for (int32_t k = kGammaPositionMin; k <= kGammaPositionMax; ++k) {
        SCOPED_TRACE(k);
        OutputSettings s = FreshRecord();
        DialogControls c = InitialiseControls(s);
        c.gammaPosition = k;
        ReadBackControls(c, s);
        EXPECT_EQ(s.gamma, k / 10.0);
        EXPECT_EQ(InitialiseControls(s).gammaPosition, k);
        EXPECT_EQ(s.gamma, k / 10.0);
    }
}

TEST(ConfigDialogModel, ReduceModeButtons) {
    const struct {
        uint16_t stored;
        int shown;
    } cases[] = {{0, 0}, {1, 1}, {3, 3}, {5, 5}, {6, 0}, {0xFFFF, 0}};
    for (const auto& t : cases) {
        SCOPED_TRACE(t.stored);
        OutputSettings s = FreshRecord();
        s.reduceMode = t.stored;
        const DialogControls c = InitialiseControls(s);
        EXPECT_EQ(CheckedIndex(c.reduceModeChecked, kReduceModeButtons), t.shown);
        ReadBackControls(c, s);
        EXPECT_EQ(s.reduceMode, t.shown);
    }
}

TEST(ConfigDialogModel, ReduceModeReadBackTakesTheFirstCheckedOfTheFirstFive) {
    OutputSettings s = FreshRecord();
    DialogControls c = InitialiseControls(s);
    std::memset(c.reduceModeChecked, 0, sizeof c.reduceModeChecked);
    ReadBackControls(c, s);
    EXPECT_EQ(s.reduceMode, 5);  // the last button is never asked

    c.reduceModeChecked[4] = c.reduceModeChecked[2] = true;
    ReadBackControls(c, s);
    EXPECT_EQ(s.reduceMode, 2);
}

TEST(ConfigDialogModel, LineSpacingButtons) {
    const struct {
        uint16_t stored;
        int shown;
    } cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 0}, {7, 0}};
    for (const auto& t : cases) {
        SCOPED_TRACE(t.stored);
        OutputSettings s = FreshRecord();
        s.lineSpacing = t.stored;
        const DialogControls c = InitialiseControls(s);
        EXPECT_EQ(CheckedIndex(c.lineSpacingChecked, kLineSpacingButtons), t.shown);
        ReadBackControls(c, s);
        EXPECT_EQ(s.lineSpacing, t.shown);
    }
}

TEST(ConfigDialogModel, CheckBoxesShowNonzeroAsCheckedAndStoreOneOrZero) {
    OutputSettings s = FreshRecord();
    s.centerHorizontally = -5;
    s.centerVertically = 0;
    s.useIntensityBit = 0x100;
    DialogControls c = InitialiseControls(s);
    EXPECT_TRUE(c.centerHorizontally);
    EXPECT_FALSE(c.centerVertically);
    EXPECT_TRUE(c.useIntensityBit);
    ReadBackControls(c, s);
    EXPECT_EQ(s.centerHorizontally, 1);
    EXPECT_EQ(s.centerVertically, 0);
    EXPECT_EQ(s.useIntensityBit, 1);

    c.centerHorizontally = false;
    c.centerVertically = true;
    ReadBackControls(c, s);
    EXPECT_EQ(s.centerHorizontally, 0);
    EXPECT_EQ(s.centerVertically, 1);
}

TEST(ConfigDialogModel, AudioListSelection) {
    const struct {
        int16_t stored;
        int32_t shown;
    } cases[] = {{0, 0}, {16, 16}, {17, -1}, {-1, -1}, {-32768, -1}, {5, 5}};
    for (const auto& t : cases) {
        SCOPED_TRACE(t.stored);
        OutputSettings s = FreshRecord();
        s.audioFormatIndex = t.stored;
        const DialogControls c = InitialiseControls(s);
        EXPECT_EQ(c.audioSelection, t.shown);
        ReadBackControls(c, s);
        EXPECT_EQ(s.audioFormatIndex, t.shown);  // no selection stores -1
    }

    OutputSettings s = FreshRecord();
    s.audioFormatIndex = -1;
    DialogControls c = InitialiseControls(s);
    c.audioSelection = 16;  // "PCM 16.0 kHz  Mono" chosen
    ReadBackControls(c, s);
    EXPECT_EQ(s.audioFormatIndex, 16);
}

// The list shows the table's rows in order; a position is a row.
TEST(ConfigDialogModel, AudioListTextsAreTheFormatRows) {
    const char* const texts[kAudioFormatCount] = {
        "ADPCM 15.6kHz Mono",   "ADPCM 10.4kHz Mono",   "ADPCM  7.8kHz Mono",   "ADPCM  5.2kHz Mono",
        "ADPCM  3.9kHz Mono",   "PCM 48.0 kHz  Stereo", "PCM 44.1 kHz  Stereo", "PCM 32.0 kHz  Stereo",
        "PCM 24.0 kHz  Stereo", "PCM 22.05kHz  Stereo", "PCM 16.0 kHz  Stereo", "PCM 48.0 kHz  Mono",
        "PCM 44.1 kHz  Mono",   "PCM 32.0 kHz  Mono",   "PCM 24.0 kHz  Mono",   "PCM 22.05kHz  Mono",
        "PCM 16.0 kHz  Mono",
    };
    for (int i = 0; i < kAudioFormatCount; ++i) EXPECT_STREQ(kAudioFormats[i].label, texts[i]) << i;
}

TEST(ConfigDialogModel, CommentIsStoredCutTo983BytesAndNothingBehindItMoves) {
    const struct {
        std::string text;
        std::string stored;
    } cases[] = {
        {"", ""},
        {"line one\r\nline two\r\n", "line one\r\nline two\r\n"},
        {"\x83\x52\x83\x81\x83\x93\x83\x67", "\x83\x52\x83\x81\x83\x93\x83\x67"},
        {std::string(983, 'a'), std::string(983, 'a')},
        {std::string(984, 'b'), std::string(983, 'b')},
        {std::string(3000, 'c'), std::string(983, 'c')},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.text.size());
        OutputSettings s = BusyRecord();
        std::memset(s.comment, 'z', kCommentBytes - 1);
        s.comment[kCommentBytes - 1] = '\0';
        OutputSettings expected = s;
        std::memcpy(expected.comment, t.stored.c_str(), t.stored.size() + 1);

        DialogControls c = InitialiseControls(s);
        c.comment = t.text;
        ReadBackControls(c, s);
        EXPECT_TRUE(SameBytes(s, expected));
        EXPECT_EQ(std::string(s.comment), t.stored);
    }
}

TEST(ConfigDialogModel, CommentWithoutTerminatorShowsItsFirst983Bytes) {
    OutputSettings s = FreshRecord();
    std::memset(s.comment, 'x', kCommentBytes);
    s.audioFormatIndex = 0x4141;  // would run on into the text if read unbounded
    const DialogControls c = InitialiseControls(s);
    EXPECT_EQ(c.comment, std::string(983, 'x'));

    ReadBackControls(c, s);
    EXPECT_EQ(s.comment[kCommentBytes - 1], '\0');
    EXPECT_EQ(CommentLength(s), 983u);
}

}  // namespace
}  // namespace kest
