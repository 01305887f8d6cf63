#include "export/export_driver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/big_endian.h"
#include "format/movie_format.h"
#include "base/heap.h"
#include "support/memory_host.h"

namespace kest {
namespace {

using testing::Callback;
using testing::FlatPicture;
using testing::MemoryHost;

class ExportDriver : public ::testing::Test {
protected:
    void SetUp() override { ResetSettings(); }
    void TearDown() override {
        ResetSettings();
        HeapResetFailure();
    }
};

// A picture whose every pixel is different enough to show where it lands:
// blue = x * 8, green = row counted from the bottom * 8, red = 248.
std::vector<uint8_t> CoordinatePicture(int32_t width, int32_t height) {
    std::vector<uint8_t> bytes = FlatPicture(width, height, 0, 0, 0);
    const int32_t stride = (width * 3 + 3) / 4 * 4;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* p = &bytes[static_cast<std::size_t>(y * stride + x * 3)];
            p[0] = static_cast<uint8_t>(x * 8), p[1] = static_cast<uint8_t>(y * 8), p[2] = 248;
        }
    return bytes;
}

TEST_F(ExportDriver, SilentMovieOfThreeHundredFrames) {
    MemoryHost host(256, 192, 300);
    host.picture = [](int32_t) { return CoordinatePicture(256, 192); };
    ASSERT_EQ(host.Run().outcome, ExportOutcome::Completed);

    const std::vector<uint8_t> file = host.FileBytes();
    const std::size_t block = 99328;
    ASSERT_EQ(file.size(), 1024 + 300 * block);
    EXPECT_EQ(std::memcmp(file.data(), "KEST-V3.0\0", 10), 0);
    EXPECT_EQ(GetBigEndian32(&file[10]), 256u);
    EXPECT_EQ(GetBigEndian32(&file[14]), 192u);
    EXPECT_EQ(GetBigEndian32(&file[18]), 2u);
    EXPECT_EQ(GetBigEndian32(&file[22]), 2u);
    EXPECT_EQ(GetBigEndian32(&file[26]), 0u);
    EXPECT_EQ(GetBigEndian32(&file[30]), block);

    const std::size_t picture = 256 * 192 * 2;
    std::vector<int32_t> lengths;
    for (std::size_t j = 0; j < 300; ++j) {
        const uint8_t* record = &file[1024 + j * block];
        ASSERT_EQ(std::memcmp(record, &file[1024], 16), 0) << "frame header of frame " << j;
        const uint32_t length = GetBigEndian16(record + 16 + picture);
        lengths.push_back(static_cast<int32_t>(length));
        for (uint32_t i = 0; i < length; ++i) ASSERT_EQ(record[18 + picture + i], 0x80) << j;
        for (std::size_t i = 18 + picture + length; i < block; ++i) ASSERT_EQ(record[i], 0) << j;
    }
    EXPECT_EQ((std::vector<int32_t>(lengths.begin(), lengths.begin() + 3)), (std::vector<int32_t>{260, 260, 261}));

    // Top row of the file is the top row of the picture (row 191 from the
    // bottom): green 191 * 8 & 255 = 248, blue 0 at column 0, red 248.
    const uint8_t* first = &file[1024 + 16];
    EXPECT_EQ(GetBigEndian16(first), (248u >> 3) << 11 | (248u >> 3) << 6);
    // Last row of the file is the bottom row: green 0; column 3 has blue 24.
    const uint8_t* last = first + (191 * 256 + 3) * 2;
    EXPECT_EQ(GetBigEndian16(last), (248u >> 3) << 6 | (24u >> 3) << 1);
}

TEST_F(ExportDriver, CallbacksComeInTheHostsOrder) {
    MemoryHost host(8, 8, 3);
    ASSERT_EQ(host.RunThroughTable(), 1);
    std::vector<Callback> expected;
    for (int j = 0; j < 3; ++j)
        expected.insert(expected.end(), {Callback::Abort, Callback::Progress, Callback::Video, Callback::Preview});
    ASSERT_EQ(host.calls.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(host.calls[i].callback, expected[i]) << i;
        const int32_t frame = static_cast<int32_t>(i / 4);
        if (expected[i] == Callback::Progress || expected[i] == Callback::Video) {
            EXPECT_EQ(host.calls[i].a, frame);
            EXPECT_EQ(host.calls[i].b, expected[i] == Callback::Progress ? 3 : 0);
        }
    }
}

TEST_F(ExportDriver, PaddedColumnsStayBlack) {
    MemoryHost host(130, 96, 2);
    host.picture = [](int32_t) { return FlatPicture(130, 96, 255, 255, 255); };
    host.settings.centerHorizontally = host.settings.centerVertically = 1;
    ASSERT_EQ(host.Run().outcome, ExportOutcome::Completed);
    const std::vector<uint8_t> file = host.FileBytes();
    const uint32_t block = GetBigEndian32(&file[30]);
    ASSERT_EQ(GetBigEndian32(&file[10]), 132u);
    EXPECT_EQ(GetBigEndian32(&file[1024]), 0xC1407Cu);
    for (uint32_t j = 0; j < 2; ++j)
        for (int row = 0; row < 96; ++row) {
            const uint8_t* pixels = &file[1024 + j * block + 16 + static_cast<uint32_t>(row) * 132 * 2];
            EXPECT_EQ(GetBigEndian16(pixels + 129 * 2), 0xFFFEu);
            EXPECT_EQ(GetBigEndian16(pixels + 130 * 2), 0u);
            EXPECT_EQ(GetBigEndian16(pixels + 131 * 2), 0u);
        }
}

TEST_F(ExportDriver, CommentWithoutTerminatorIsCutTo983Bytes) {
    MemoryHost host(4, 4, 1);
    std::memset(host.settings.comment, 'c', kCommentBytes);
    ASSERT_EQ(host.Run().outcome, ExportOutcome::Completed);
    const std::vector<uint8_t> file = host.FileBytes();
    for (int i = 40; i < 40 + 983; ++i) ASSERT_EQ(file[static_cast<std::size_t>(i)], 'c') << i;
    EXPECT_EQ(file[1023], 0);
}

// The export takes the process-wide record once, at the call: the dialog or
// the blob changing it meanwhile does not reach the frames still to come.
TEST_F(ExportDriver, SettingsChangedDuringTheExportDoNotReachIt) {
    const auto movingPicture = [](int32_t frame) {
        return FlatPicture(64, 32, static_cast<uint8_t>(frame * 40 + 3), 77, 200);
    };
    MemoryHost steady(64, 32, 4);
    steady.picture = movingPicture;
    steady.settings.reduceMode = 4;
    ASSERT_EQ(steady.RunThroughTable(), 1);

    MemoryHost changing(64, 32, 4);
    changing.settings = steady.settings;
    OutputSettings other = steady.settings;
    other.reduceMode = 1, other.gamma = 2.5, other.useIntensityBit = 1;
    changing.picture = [&](int32_t frame) {
        if (frame == 1) SetConfigBlob(&other, kConfigBlobSize);
        return movingPicture(frame);
    };
    ASSERT_EQ(changing.RunThroughTable(), 1);
    EXPECT_EQ(std::memcmp(&Settings(), &other, sizeof other), 0);
    EXPECT_EQ(changing.FileBytes(), steady.FileBytes());
}

TEST_F(ExportDriver, CancelKeepsWholeRecordsOnly) {
    for (int32_t cancelAt : {0, 3}) {
        MemoryHost host(16, 16, 10);
        host.cancelAtFrame = cancelAt;
        ExportResult r = host.Run();
        EXPECT_EQ(r.outcome, ExportOutcome::Cancelled);
        EXPECT_EQ(r.framesWritten, cancelAt);
        EXPECT_EQ(HostResult(r.outcome), 1);
        const std::vector<uint8_t> file = host.FileBytes();
        ASSERT_GE(file.size(), 1024u);
        EXPECT_EQ(file.size(), 1024 + cancelAt * GetBigEndian32(&file[30]));
        EXPECT_EQ(host.Count(Callback::Video), cancelAt);
        EXPECT_EQ(host.Count(Callback::Preview), cancelAt);
    }
}

// Wraps the platform's file operations and makes the write numbered
// `failAt` report 0 bytes.
struct FailingWrites {
    int failAt = -1;
    int writes = 0;
    static uint32_t Write(void* user, MovieFile* file, const void* bytes, uint32_t count) {
        auto& self = *static_cast<FailingWrites*>(user);
        if (self.writes++ == self.failAt) return 0;
        return PlatformFileOps().write(nullptr, file, bytes, count);
    }
    FileOps Ops() { return {PlatformFileOps().create, Write, PlatformFileOps().close, this}; }
};

TEST_F(ExportDriver, FailedWriteEndsTheExportAtThatWrite) {
    // Writes: the header, then one a frame, the whole record at once.
    const int32_t block = 1024;  // 4 x 4 picture, 261 audio bytes at most
    for (bool withSound : {false, true}) {
        for (int failAt = 0; failAt < 4; ++failAt) {
            SCOPED_TRACE(::testing::Message() << (withSound ? "sound, " : "silent, ") << failAt);
            MemoryHost host(4, 4, 3);
            if (withSound) host.SetAudio(44100, 2, std::vector<int16_t>(2 * 5000, 1000));
            FailingWrites failing{failAt};
            ExportResult r = host.Run(failing.Ops());
            EXPECT_EQ(r.outcome, ExportOutcome::WriteFailed);
            EXPECT_EQ(HostResult(r.outcome), 0);
            EXPECT_EQ(failing.writes, failAt + 1);
            const int completeFrames = failAt == 0 ? 0 : failAt - 1;
            EXPECT_EQ(r.framesWritten, completeFrames);
            EXPECT_EQ(host.Count(Callback::Preview), completeFrames);
            const std::size_t size = host.FileBytes().size();
            EXPECT_EQ(size, failAt == 0 ? 0u : 1024u + static_cast<std::size_t>(completeFrames * block));
        }
    }
}

TEST_F(ExportDriver, MissingFolderCreatesNothing) {
    MemoryHost host(4, 4, 1);
    const std::string path = ::testing::TempDir() + "no_such_folder_kest/out.KTD";
    host.info.savePath = path.c_str();
    EXPECT_EQ(host.Run().outcome, ExportOutcome::CreateFailed);
    EXPECT_EQ(host.RunThroughTable(), 0);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(ExportDriver, NullPictureFailsAfterTheRecordsBefore) {
    MemoryHost host(4, 4, 5);
    host.nullPictureAtFrame = 2;
    ExportResult r = host.Run();
    EXPECT_EQ(r.outcome, ExportOutcome::NoPicture);
    EXPECT_EQ(r.framesWritten, 2);
    EXPECT_EQ(host.FileBytes().size(), 1024u + 2 * 1024u);
    EXPECT_EQ(HostResult(r.outcome), 0);
}

TEST_F(ExportDriver, AudioWithoutVideoDoesNothing) {
    MemoryHost host(4, 4, 1);
    host.info.flags = kFlagAudio;
    EXPECT_EQ(host.RunThroughTable(), 1);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_FALSE(host.FileExists());
}

TEST_F(ExportDriver, RecordsThatCannotBeWrittenAreRefusedUntouched) {
    struct Case {
        const char* what;
        void (*change)(OutputInfo&);
        RefusalReason reason;
    };
    static std::string longPath(260, 'a');
    const Case cases[] = {
        {"no frames", [](OutputInfo& i) { i.frameCount = 0; }, RefusalReason::FrameCount},
        {"negative frames", [](OutputInfo& i) { i.frameCount = -5; }, RefusalReason::FrameCount},
        {"no width", [](OutputInfo& i) { i.width = 0; }, RefusalReason::PictureSize},
        {"negative height", [](OutputInfo& i) { i.height = -1; }, RefusalReason::PictureSize},
        {"rate 0", [](OutputInfo& i) { i.rate = 0; }, RefusalReason::FrameRate},
        {"scale 0", [](OutputInfo& i) { i.scale = 0; }, RefusalReason::FrameRate},
        {"half a frame a second", [](OutputInfo& i) { i.rate = 1, i.scale = 2; }, RefusalReason::FrameRateTooLow},
        {"no path", [](OutputInfo& i) { i.savePath = nullptr; }, RefusalReason::SavePath},
        {"long path", [](OutputInfo& i) { i.savePath = longPath.c_str(); }, RefusalReason::SavePath},
        {"audio rate 0", [](OutputInfo& i) { i.flags |= kFlagAudio, i.audioRate = 0; }, RefusalReason::AudioRate},
        {"no channels", [](OutputInfo& i) { i.flags |= kFlagAudio, i.audioChannels = 0; }, RefusalReason::AudioChannels},
        {"negative samples", [](OutputInfo& i) { i.flags |= kFlagAudio, i.audioSamples = -1; }, RefusalReason::AudioSamples},
        {"odd sample bytes", [](OutputInfo& i) { i.flags |= kFlagAudio, i.audioSampleBytes = 5; }, RefusalReason::AudioSampleBytes},
        {"stereo in 2 bytes", [](OutputInfo& i) { i.flags |= kFlagAudio, i.audioSampleBytes = 2; }, RefusalReason::AudioSampleBytes},
        {"no picture callback", [](OutputInfo& i) { i.readVideo = nullptr; }, RefusalReason::MissingCallback},
        {"no sound callback", [](OutputInfo& i) { i.flags |= kFlagAudio, i.readAudio = nullptr; }, RefusalReason::MissingCallback},
        // 48000 Hz stereo PCM at 2 frames a second: 24000 * 4 bytes a frame.
        {"audio too large", [](OutputInfo& i) { i.flags |= kFlagAudio, i.rate = 2; }, RefusalReason::AudioTooLarge},
    };
    OutputSettings pcm = DefaultSettings();
    pcm.audioFormatIndex = 5;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryHost host(64, 48, 3);
        host.settings = pcm;
        host.info.audioRate = 48000;
        host.info.audioChannels = 2;
        host.info.audioSampleBytes = 4;
        host.info.audioSamples = 1000;
        c.change(host.info);
        ExportResult r = host.Run();
        EXPECT_EQ(r.outcome, ExportOutcome::Refused);
        EXPECT_EQ(r.reason, c.reason);
        EXPECT_TRUE(host.calls.empty());
        EXPECT_FALSE(host.FileExists());
        EXPECT_EQ(HostResult(r.outcome), 0);
        EXPECT_STRNE(DescribeRefusal(r.reason), "");
    }
    // A mono host needs only 2 bytes a sample frame.
    MemoryHost mono(64, 48, 1);
    mono.info.flags |= kFlagAudio;
    mono.info.audioRate = 48000, mono.info.audioChannels = 1, mono.info.audioSampleBytes = 2;
    EXPECT_EQ(CheckExportable(mono.info, pcm), RefusalReason::None);
    // The slowest PCM that still fits: 48000 Hz stereo at 3 frames a second.
    mono.info.rate = 3;
    EXPECT_EQ(CheckExportable(mono.info, pcm), RefusalReason::None);
}

TEST_F(ExportDriver, FailedAllocationCreatesNoFile) {
    MemoryHost probe(8, 8, 1);
    HeapFailFrom(-1);
    ASSERT_EQ(probe.Run().outcome, ExportOutcome::Completed);
    const long allocations = HeapAllocationCount();
    ASSERT_GE(allocations, 3);  // the run's state, the filler, the record
    for (long failAt = 0; failAt < allocations; ++failAt) {
        SCOPED_TRACE(failAt);
        MemoryHost host(8, 8, 1);
        HeapFailFrom(failAt);
        ExportResult r = host.Run();
        EXPECT_EQ(r.outcome, ExportOutcome::AllocationFailed);
        EXPECT_TRUE(host.calls.empty());
        EXPECT_FALSE(host.FileExists());
        HeapFailFrom(failAt);
        EXPECT_EQ(host.RunThroughTable(), 0);
    }
}

}  // namespace
}  // namespace kest
