// kest export through the real binary: the demo clip, real files through
// FFmpeg compared with the in-memory host, the host-side options, and every
// way an export can fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "base/big_endian.h"
#include "format/movie_reader.h"
#include "settings/output_settings.h"
#include "support/memory_host.h"
#include "tool_runner.h"

namespace kest::testing {
namespace {

MovieReport Inspect(const std::vector<uint8_t>& bytes) { return InspectMovie(bytes.data(), bytes.size()); }

TEST(KestExport, DemoClipInEveryReduceMode) {
    const std::string dir = ScratchDir();
    std::vector<std::vector<uint8_t>> pictures;
    for (const char* mode : {"bit", "dither2x2", "dither4x4", "temporal2x2", "temporal-ed", "planar-ed"}) {
        SCOPED_TRACE(mode);
        const std::string out = dir + mode + ".KTD";
        const ToolRun run = RunKest({"export", "-o", out, "--reduce", mode});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("300 frames, 256 x 192"), std::string::npos) << run.out;
        const std::vector<uint8_t> bytes = ReadBytes(out);
        const MovieReport report = Inspect(bytes);
        ASSERT_TRUE(report.readable);
        EXPECT_TRUE(report.warnings.empty());
        EXPECT_EQ(report.layout.frameCount, 300u);
        EXPECT_EQ(report.layout.audioCode, 0x403u);  // the demo has sound; row 0 by default
        EXPECT_EQ(RunKest({"info", out}).status, 0);
        MovieFrame frame;
        std::string why;
        // The first two frames: the temporal dither differs from the plain
        // one only on alternate frames.
        std::vector<uint8_t> both;
        for (uint64_t j = 0; j < 2; ++j) {
            ASSERT_TRUE(ReadMovieFrame(report.layout, bytes.data(), bytes.size(), j, frame, why));
            both.insert(both.end(), frame.picture, frame.picture + report.layout.pictureBytes);
        }
        pictures.push_back(both);
    }
    // Each mode reaches the export: no two give the same pictures.
    for (std::size_t a = 0; a < pictures.size(); ++a)
        for (std::size_t b = a + 1; b < pictures.size(); ++b) EXPECT_TRUE(pictures[a] != pictures[b]) << a << " " << b;
}

// A small clip of BGR24 pictures and 16-bit sound: what the tool reads from a
// file must reach the export exactly as the in-memory host hands it over.
struct RawClip {
    int width, height, fps, frames, rate, channels;
    std::vector<uint8_t> bgr;  // top-down, unpadded, as ffmpeg's rawvideo
    std::vector<int16_t> samples;
};

RawClip MakeClip(int width, int height, int frames, int rate, int channels) {
    RawClip c{width, height, 10, frames, rate, channels, {}, {}};
    for (int f = 0; f < frames; ++f)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int k = 0; k < 3; ++k) c.bgr.push_back(static_cast<uint8_t>(x * 5 + y * 9 + f * 13 + k * 80));
    const int sampleFrames = rate * frames / c.fps;
    for (int i = 0; i < sampleFrames; ++i)
        for (int ch = 0; ch < channels; ++ch)
            c.samples.push_back(static_cast<int16_t>(9000 * std::sin(i * (0.05 + 0.02 * ch)) + (i * 37 % 201) - 100));
    return c;
}

// The same clip as the editor hands it over: bottom row first, rows padded.
std::vector<uint8_t> HostPicture(const RawClip& c, int frame) {
    const int stride = (c.width * 3 + 3) / 4 * 4;
    std::vector<uint8_t> picture(static_cast<std::size_t>(stride) * c.height, 0);
    const std::size_t frameBytes = static_cast<std::size_t>(c.width) * c.height * 3;
    for (int y = 0; y < c.height; ++y)
        std::memcpy(&picture[static_cast<std::size_t>(c.height - 1 - y) * stride],
                    &c.bgr[frame * frameBytes + static_cast<std::size_t>(y) * c.width * 3], static_cast<std::size_t>(c.width) * 3);
    return picture;
}

TEST(KestExport, FileInputMatchesTheInMemoryHostByteForByte) {
    struct Case {
        const char* container;
        int width, height, channels, rate;
        const char* reduce;
        const char* audio;
        uint16_t reduceMode;
        int16_t audioIndex;
    };
    const Case cases[] = {
        {"nut", 42, 24, 2, 8000, "temporal-ed", "pcm16s", 4, 10},
        {"avi", 41, 20, 1, 11025, "planar-ed", "adpcm15.6", 5, 0},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.container);
        const std::string dir = ScratchDir();
        const RawClip clip = MakeClip(t.width, t.height, 12, t.rate, t.channels);
        const std::string input = dir + "clip." + t.container;
        MuxRaw(input, clip.width, clip.height, clip.fps, clip.bgr, clip.rate, clip.channels, clip.samples);
        const ToolRun run = RunKest({"export", input, "-o", dir + "tool.KTD", "--reduce", t.reduce, "--audio", t.audio});
        ASSERT_EQ(run.status, 0) << run.err;

        ResetSettings();
        Settings().reduceMode = t.reduceMode;
        Settings().audioFormatIndex = t.audioIndex;
        MemoryHost host(clip.width, clip.height, clip.frames);
        host.info.rate = clip.fps;
        host.picture = [&clip](int32_t frame) { return HostPicture(clip, frame); };
        host.SetAudio(clip.rate, clip.channels, clip.samples);
        ASSERT_EQ(host.Run().outcome, ExportOutcome::Completed);
        ResetSettings();

        const std::vector<uint8_t> tool = ReadBytes(dir + "tool.KTD");
        EXPECT_EQ(tool.size(), host.FileBytes().size());
        EXPECT_TRUE(tool == host.FileBytes());
    }
}

// A picture larger than the movie goes through the scaler while decoding
// runs on threads of its own: the pictures are FFmpeg's own scaler's, in
// order, however many threads decode.
TEST(KestExport, ScaledPicturesAreFfmpegsWhateverTheThreads) {
    const std::string dir = ScratchDir();
    const std::string input = dir + "wide.avi";
    RunFfmpeg({"-f", "lavfi", "-i", "testsrc2=size=1280x720:rate=25:duration=1.2", "-c:v", "mpeg4", "-q:v", "3", input});
    const std::string reference = dir + "scaled.bgr";
    RunFfmpeg({"-i", input, "-vf", "scale=w=512:h=288:flags=bicubic+accurate_rnd,format=bgr24", "-f", "rawvideo",
               reference});
    RawClip clip{512, 288, 25, 30, 0, 0, ReadBytes(reference), {}};
    ASSERT_EQ(clip.bgr.size(), static_cast<std::size_t>(clip.width) * clip.height * 3 * clip.frames);

    ResetSettings();
    MemoryHost host(clip.width, clip.height, clip.frames);
    host.info.rate = clip.fps;
    host.picture = [&clip](int32_t frame) { return HostPicture(clip, frame); };
    ASSERT_EQ(host.Run().outcome, ExportOutcome::Completed);
    ResetSettings();

    for (const char* threads : {"0", "1", "3"}) {
        SCOPED_TRACE(threads);
        const std::string out = dir + "t" + threads + ".KTD";
        const ToolRun run = RunKest({"export", input, "-o", out, "--reduce", "bit", "--threads", threads});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(ReadBytes(out) == host.FileBytes());
    }
}

TEST(KestExport, HostSideOptionsShapeTheMovie) {
    const std::string dir = ScratchDir();
    // 2 s of 25 fps pictures at 640 x 360 and 5.1 sound whose only signal is
    // the centre channel, as film dialogue often is.
    const std::string input = dir + "in.mkv";
    RunFfmpeg({"-f", "lavfi", "-i", "testsrc=size=640x360:rate=25:duration=2", "-f", "lavfi", "-i",
               "sine=frequency=500:sample_rate=48000:duration=2", "-filter_complex",
               "[1:a]pan=5.1|FL=0*c0|FR=0*c0|FC=c0|LFE=0*c0|BL=0*c0|BR=0*c0[a]", "-map", "0:v", "-map", "[a]", "-c:v",
               "mpeg4", "-q:v", "5", "-c:a", "pcm_s16le", input});
    struct Case {
        std::vector<std::string> options;
        uint32_t frames, width, height;
        double seconds;
    };
    const Case cases[] = {
        {{}, 50, 512, 288, 2},  // larger than 512 wide: fitted, aspect kept
        {{"--size", "64x48", "--fps", "10"}, 20, 64, 48, 2},
        {{"--size", "64x48", "--fps", "10", "--start", "0.5", "--duration", "1"}, 10, 64, 48, 1},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"export", input, "-o", dir + "out.KTD", "-y", "--audio", "pcm16s"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const ToolRun run = RunKest(args);
        ASSERT_EQ(run.status, 0) << run.err;
        const std::vector<uint8_t> bytes = ReadBytes(dir + "out.KTD");
        const MovieReport report = Inspect(bytes);
        ASSERT_TRUE(report.readable);
        EXPECT_EQ(report.layout.frameCount, c.frames);
        EXPECT_EQ(report.layout.width, c.width);
        EXPECT_EQ(report.layout.height, c.height);
        // 16000 Hz stereo over the whole range: 4 bytes a sample frame.
        EXPECT_EQ(report.layout.audioBytes, static_cast<uint64_t>(c.seconds * 16000 * 4));
    }
    // The downmix keeps the centre channel in both output channels.
    ASSERT_EQ(RunKest({"extract", dir + "out.KTD", "--wav", dir + "out.wav"}).status, 0);
    const Wav wav = ReadWav(dir + "out.wav");
    ASSERT_EQ(wav.channels, 2);
    double left = 0, right = 0;
    for (std::size_t i = 0; i + 1 < wav.samples.size(); i += 2) {
        left += std::abs(wav.samples[i]);
        right += std::abs(wav.samples[i + 1]);
    }
    EXPECT_GT(left / static_cast<double>(wav.samples.size() / 2), 500);
    EXPECT_NEAR(left, right, left * 0.01);
    // The host stated the range's sound exactly: it lasts to the last frame.
    double tail = 0;
    for (std::size_t i = wav.samples.size() - 3200; i < wav.samples.size(); ++i) tail += std::abs(wav.samples[i]);
    EXPECT_GT(tail / 3200, 500);
}

TEST(KestExport, CancelEndsAfterTheLastWholeRecord) {
    const std::string dir = ScratchDir();
    const ToolRun run = RunKest({"export", "-o", dir + "c.KTD", "--cancel-at-frame", "5"});
    EXPECT_EQ(run.status, 130);
    EXPECT_NE(run.err.find("holds the 5 complete frame"), std::string::npos) << run.err;
    const std::vector<uint8_t> bytes = ReadBytes(dir + "c.KTD");
    const MovieReport report = Inspect(bytes);
    ASSERT_TRUE(report.readable);
    EXPECT_EQ(report.layout.frameCount, 5u);
    EXPECT_EQ(report.layout.trailingBytes, 0u);
}

TEST(KestExport, FailuresNameTheCauseAndExitWithOne) {
    const std::string dir = ScratchDir();
    const std::string input = dir + "in.nut";
    const RawClip clip = MakeClip(16, 16, 4, 8000, 1);
    MuxRaw(input, 16, 16, 10, clip.bgr, clip.rate, 1, clip.samples);
    const std::string audioOnly = dir + "sound.wav";
    RunFfmpeg({"-f", "lavfi", "-i", "sine=duration=0.2", audioOnly});
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{"export", dir + "missing.mp4", "-o", dir + "a.KTD"}, "cannot open"},
        {{"export", audioOnly, "-o", dir + "a.KTD"}, "no video stream"},
        {{"export", "-o", dir + "no/such/folder/a.KTD"}, "cannot create"},
        {{"export", "-o", dir}, "cannot create"},
        {{"export", "-o", "/dev/full"}, "No space left on device"},
        // 1 frame a second cannot carry 48 kHz stereo in a 16-bit length.
        {{"export", input, "--fps", "1", "--audio", "pcm48s", "-o", dir + "a.KTD"}, "export refused"},
        {{"export", input, "--start", "5", "-o", dir + "a.KTD"}, "past the end"},
        {{"info", dir + "missing.KTD"}, "cannot open"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1]);
        const ToolRun run = RunKest(c.args);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "a.KTD"));
}

TEST(KestExport, UsageErrorsExitWithTwo) {
    const std::string dir = ScratchDir();
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"export"},
        {"export", "-o", dir + "a.KTD", "--reduce", "sharpen"},
        {"export", "-o", dir + "a.KTD", "--gamma", "3.5"},
        {"export", "-o", dir + "a.KTD", "--audio", "17"},
        {"export", "-o", dir + "a.KTD", "--audio", "mp3"},
        {"export", "-o", dir + "a.KTD", "--line-spacing", "double"},
        {"export", "-o", dir + "a.KTD", "--comment", std::string(984, 'x')},
        {"export", "in.mp4", "-o", dir + "a.KTD", "--size", "64"},
        {"export", "in.mp4", "-o", dir + "a.KTD", "--fps", "0"},
        {"export", "-o", dir + "a.KTD", "--unknown"},
        {"extract", dir + "a.KTD", "--frame", "1"},
        {"settings", "make"},
    };
    for (const auto& args : cases) {
        const ToolRun run = RunKest(args);
        EXPECT_EQ(run.status, 2) << (args.empty() ? "" : args.back()) << "\n" << run.err;
        EXPECT_FALSE(run.err.empty());
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "a.KTD"));
}

TEST(KestSettings, MakeWritesTheEditorsBlobAndExportTakesIt) {
    const std::string dir = ScratchDir();
    const std::vector<std::string> options = {"--reduce", "dither4x4", "--gamma", "1.5", "--line-spacing", "gap",
                                              "--center-h", "--intensity", "--audio", "pcm44.1m", "--comment", "blob"};
    std::vector<std::string> make = {"settings", "make", "-o", dir + "s.bin"};
    make.insert(make.end(), options.begin(), options.end());
    ASSERT_EQ(RunKest(make).status, 0);

    ResetSettings();
    OutputSettings& s = Settings();
    s.reduceMode = 2, s.gamma = 1.5, s.lineSpacing = 2, s.centerHorizontally = 1, s.useIntensityBit = 1;
    s.audioFormatIndex = 12;
    std::strcpy(s.comment, "blob");
    std::vector<uint8_t> expected(kConfigBlobSize);
    GetConfigBlob(expected.data());
    ResetSettings();
    EXPECT_TRUE(ReadBytes(dir + "s.bin") == expected);

    const ToolRun show = RunKest({"settings", "show", dir + "s.bin"});
    EXPECT_EQ(show.status, 0);
    EXPECT_NE(show.out.find("dither4x4"), std::string::npos);
    EXPECT_NE(show.out.find("pcm44.1m"), std::string::npos);

    // The blob and the same options give the same movie; an option given
    // with the blob overrides it.
    std::vector<std::string> direct = {"export", "-o", dir + "direct.KTD", "-q"};
    direct.insert(direct.end(), options.begin(), options.end());
    ASSERT_EQ(RunKest(direct).status, 0);
    ASSERT_EQ(RunKest({"export", "-o", dir + "blob.KTD", "-q", "--settings", dir + "s.bin"}).status, 0);
    EXPECT_TRUE(ReadBytes(dir + "direct.KTD") == ReadBytes(dir + "blob.KTD"));
    ASSERT_EQ(RunKest({"export", "-o", dir + "over.KTD", "-q", "--settings", dir + "s.bin", "--audio", "0"}).status, 0);
    EXPECT_EQ(Inspect(ReadBytes(dir + "over.KTD")).layout.audioCode, 0x403u);

    WriteBytes(dir + "short.bin", expected.data(), 1000);
    const ToolRun bad = RunKest({"export", "-o", dir + "x.KTD", "--settings", dir + "short.bin"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("not 1016"), std::string::npos);
}

}  // namespace
}  // namespace kest::testing
