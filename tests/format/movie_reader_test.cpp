#include "format/movie_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "base/big_endian.h"
#include "settings/output_settings.h"
#include "support/memory_host.h"

namespace kest {
namespace {

// A 12 x 8 movie of 3 frames, centred, without sound: small enough to
// truncate at every length.
std::vector<uint8_t> SmallMovie() {
    testing::MemoryHost host(12, 8, 3);
    host.settings = DefaultSettings();
    host.settings.centerHorizontally = 1;
    host.settings.centerVertically = 1;
    std::strcpy(host.settings.comment, "hello");
    host.picture = [](int32_t) { return testing::FlatPicture(12, 8, 0, 0, 248); };
    EXPECT_EQ(host.Run().outcome, ExportOutcome::Completed);
    return host.FileBytes();
}

// The report as a reader of files makes it: the head from a buffer of its
// own, then each record from one of its own.
MovieReport Piecewise(const std::vector<uint8_t>& bytes) {
    const std::vector<uint8_t> head(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(bytes.size(), 1040)));
    MovieReport report = InspectMovieHead(head.data(), head.size(), bytes.size());
    if (!report.readable) return report;
    MovieRecordTally tally;
    for (uint64_t j = 0; j < report.layout.frameCount; ++j) {
        const auto at = bytes.begin() + static_cast<std::ptrdiff_t>(1024 + j * report.layout.blockSize);
        const std::vector<uint8_t> record(at, at + report.layout.blockSize);
        CheckMovieRecord(report.layout, j, record.data(), record.size(), tally);
    }
    FinishMovieReport(tally, report);
    return report;
}

bool Mentions(const std::vector<std::string>& lines, const std::string& part) {
    for (const auto& line : lines)
        if (line.find(part) != std::string::npos) return true;
    return false;
}

TEST(MovieReader, ReadsWhatTheExportWrites) {
    const std::vector<uint8_t> movie = SmallMovie();
    const MovieReport report = InspectMovie(movie.data(), movie.size());
    ASSERT_TRUE(report.readable);
    EXPECT_TRUE(report.errors.empty());
    EXPECT_TRUE(report.warnings.empty()) << report.warnings.front();
    const MovieLayout& m = report.layout;
    EXPECT_EQ(m.version, 30);
    EXPECT_EQ(m.width, 12u);
    EXPECT_EQ(m.height, 8u);
    EXPECT_EQ(m.frameCount, 3u);
    EXPECT_EQ(m.trailingBytes, 0u);
    EXPECT_EQ(m.comment, "hello");
    EXPECT_EQ(m.audioCode, 0u);
    EXPECT_EQ(m.audioFormatIndex, -1);
    // 12 wide, line gap on: x = (256 - 24) / 2, y = (256 - 16) / 2.
    EXPECT_EQ(m.frameHeader.linePitch, 2048u);
    EXPECT_EQ(m.screenX, 116u);
    EXPECT_EQ(m.screenY, 120u);

    MovieFrame frame;
    std::string why;
    ASSERT_TRUE(ReadMovieFrame(m, movie.data(), movie.size(), 2, frame, why)) << why;
    EXPECT_EQ(GetBigEndian16(frame.picture), 0x07C0u);  // red 248
    EXPECT_EQ(frame.audio[0], 0x80);                     // silent filler
    EXPECT_FALSE(ReadMovieFrame(m, movie.data(), movie.size(), 3, frame, why));
    EXPECT_NE(why.find("holds 3"), std::string::npos);
}

TEST(MovieReader, NamesWhatIsWrong) {
    struct Case {
        const char* name;
        void (*damage)(std::vector<uint8_t>&);
        bool readable;
        const char* message;
    };
    const Case cases[] = {
        {"short", [](std::vector<uint8_t>& b) { b.resize(1000); }, false, "shorter than the 1024-byte header"},
        {"magic", [](std::vector<uint8_t>& b) { b[5] = 'X'; }, false, "not a KEST movie"},
        {"header size", [](std::vector<uint8_t>& b) { PutBigEndian32(&b[34], 512); }, false, "header size is 512"},
        {"width", [](std::vector<uint8_t>& b) { PutBigEndian32(&b[10], 600); }, false, "width 600"},
        {"height", [](std::vector<uint8_t>& b) { PutBigEndian32(&b[14], 0); }, false, "height 0"},
        {"block too small", [](std::vector<uint8_t>& b) { PutBigEndian32(&b[30], 100); }, false, "too small"},
        {"block not 1024s", [](std::vector<uint8_t>& b) { PutBigEndian32(&b[30], 1000); }, true, "multiple of 1024"},
        {"tag", [](std::vector<uint8_t>& b) { b[38] = 0; }, true, "comment tag"},
        {"partial record", [](std::vector<uint8_t>& b) { b.resize(b.size() - 10); }, true, "ends inside a record"},
        {"frame header", [](std::vector<uint8_t>& b) { b[1024 + 2 * 1024 + 3] ^= 2; }, true, "first at frame 2"},
        {"audio length", [](std::vector<uint8_t>& b) { PutBigEndian16(&b[1024 + 1024 + 16 + 192], 2000); }, true,
         "audio length past"},
        {"code vs magic", [](std::vector<uint8_t>& b) { PutBigEndian32(&b[26], 0xBF); }, true, "KEST-V4.0"},
        {"unknown code", [](std::vector<uint8_t>& b) { PutBigEndian32(&b[26], 0x1234); }, true, "unknown audio code"},
        {"fill", [](std::vector<uint8_t>& b) { b[1024 + 2 * 1024 - 1] = 1; }, true, "not all zero, first at frame 1"},
        {"PCM stereo",  // a frame's sound that ends inside a stereo sample frame
         [](std::vector<uint8_t>& b) {
             std::memcpy(&b[0], "KEST-V4.0", 10);
             PutBigEndian32(&b[26], 0x2F);
             PutBigEndian16(&b[1024 + 1024 + 16 + 192], 130);
         },
         true, "(a multiple of 4 bytes), first frame 1 with 130 bytes"},
    };
    const std::vector<uint8_t> good = SmallMovie();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes = good;
        c.damage(bytes);
        const MovieReport report = InspectMovie(bytes.data(), bytes.size());
        EXPECT_EQ(report.readable, c.readable);
        EXPECT_TRUE(Mentions(c.readable ? report.warnings : report.errors, c.message));
        const MovieReport pieces = Piecewise(bytes);
        EXPECT_EQ(pieces.errors, report.errors);
        EXPECT_EQ(pieces.warnings, report.warnings);
        EXPECT_EQ(pieces.layout.frameCount, report.layout.frameCount);
        EXPECT_EQ(pieces.layout.audioBytes, report.layout.audioBytes);
    }
}

// Whatever the bytes, inspecting them and reading every frame they claim
// stays inside the buffer (the sanitizer build checks the reads).
TEST(MovieReader, ArbitraryBytesAreSafe) {
    const std::vector<uint8_t> good = SmallMovie();
    std::mt19937 random(7);
    auto readAll = [](const std::vector<uint8_t>& bytes) {
        // An exact-size copy so that any overrun leaves the allocation.
        const std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size() + 1]);
        if (!bytes.empty()) std::memcpy(exact.get(), bytes.data(), bytes.size());
        const MovieReport report = InspectMovie(exact.get(), bytes.size());
        EXPECT_EQ(report.readable, report.errors.empty());
        if (!report.readable) return;
        MovieFrame frame;
        std::string why;
        for (uint64_t j = 0; j <= report.layout.frameCount && j < 8; ++j) {
            if (!ReadMovieFrame(report.layout, exact.get(), bytes.size(), j, frame, why)) {
                EXPECT_FALSE(why.empty());
                continue;
            }
            volatile uint8_t sink = 0;
            for (uint32_t i = 0; i < frame.audioLength; ++i) sink = static_cast<uint8_t>(sink ^ frame.audio[i]);
            for (uint64_t i = 0; i < report.layout.pictureBytes; ++i) sink = static_cast<uint8_t>(sink ^ frame.picture[i]);
        }
    };
    for (std::size_t length = 0; length <= good.size(); length += 7)
        readAll(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length)));
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> bytes = good;
        for (int flips = 0; flips < 4; ++flips) {
            // Mostly the header and the record headers, where the sizes live.
            const std::size_t at = random() % 2 ? random() % 48 : 1024 + random() % (bytes.size() - 1024);
            bytes[at] = static_cast<uint8_t>(random());
        }
        readAll(bytes);
    }
    EXPECT_FALSE(InspectMovie(nullptr, 0).readable);
}

TEST(MovieReader, ExpandsEachChannelWithTheIntensityBit) {
    const Rgb8 white = ExpandPixel16(0xFFFF);
    EXPECT_EQ(white.r, 255);
    EXPECT_EQ(white.g, 255);
    EXPECT_EQ(white.b, 255);
    const Rgb8 red = ExpandPixel16(0x07C0);  // red field 31, no intensity: 62 of 63
    EXPECT_EQ(red.r, 62 << 2 | 62 >> 4);
    EXPECT_EQ(red.g, 0);
    EXPECT_EQ(red.b, 0);
    const Rgb8 dim = ExpandPixel16(0x0001);  // intensity alone: 1 of 63 in each channel
    EXPECT_EQ(dim.r, 4);
    EXPECT_EQ(dim.g, 4);
    EXPECT_EQ(dim.b, 4);
}

}  // namespace
}  // namespace kest
