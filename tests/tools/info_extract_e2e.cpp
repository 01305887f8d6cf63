// kest info and kest extract through the real binary: validation of good,
// truncated and damaged files, frames placed on the player's screen pixel by
// pixel, the sound decoded back, and the preview video.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "base/big_endian.h"
#include "format/movie_reader.h"
#include "picture/pixel16.h"
#include "settings/output_settings.h"
#include "support/memory_host.h"
#include "tool_runner.h"

namespace kest::testing {
namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(KestInfo, ValidatesGoodTruncatedAndDamagedFiles) {
    const std::string dir = ScratchDir();
    ASSERT_EQ(RunKest({"export", "-q", "-o", dir + "good.KTD", "--audio", "pcm22.05m", "--center", "--comment", "hi"}).status, 0);
    const std::vector<uint8_t> good = ReadBytes(dir + "good.KTD");

    const ToolRun ok = RunKest({"info", dir + "good.KTD"});
    EXPECT_EQ(ok.status, 0) << ok.err;
    for (const char* line : {"KEST-V4.0", "256 x 192", "300 (from the file length)", "10.000-10.000 s", "at (0, 32)",
                             "address 0xC08000", "PCM 22.05kHz  Mono (pcm22.05m)", "\"hi\"", "valid         yes"})
        EXPECT_TRUE(Has(ok.out, line)) << line << "\n" << ok.out;
    const ToolRun json = RunKest({"info", "--json", dir + "good.KTD"});
    EXPECT_EQ(json.status, 0);
    EXPECT_TRUE(Has(json.out, "\"valid\": true"));
    EXPECT_TRUE(Has(json.out, "\"frames\": 300"));

    struct Case {
        const char* name;
        std::size_t keep;        // bytes kept from the front
        std::size_t at;          // a byte to overwrite, or 0
        uint8_t value;
        const char* message;
    };
    const uint32_t block = GetBigEndian32(&good[30]);
    const Case cases[] = {
        {"partial record", 1024 + 3 * block + 100, 0, 0, "ends inside a record"},
        {"header only", 600, 0, 0, "shorter than the 1024-byte header"},
        {"magic", good.size(), 3, 'X', "not a KEST movie"},
        {"block size", good.size(), 31, 0, "too small"},
        {"frame header", good.size(), 1024 + 7 * block + 9, 0x55, "first at frame 7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(c.keep));
        if (c.at) bytes[c.at] = c.value;
        WriteBytes(dir + "bad.KTD", bytes.data(), bytes.size());
        for (const char* format : {"--json", ""}) {
            std::vector<std::string> args = {"info", dir + "bad.KTD"};
            if (*format) args.push_back(format);
            const ToolRun run = RunKest(args);
            EXPECT_EQ(run.status, 1);
            EXPECT_TRUE(Has(run.out, c.message)) << run.out;
            EXPECT_TRUE(Has(run.err, c.message)) << run.err;
        }
    }
}

TEST(KestExtract, PngShowsThePictureWhereThePlayerPutsIt) {
    const std::string dir = ScratchDir();
    // 12 x 8: line gap on (width up to 128), centred at (116, 120).
    const int32_t w = 12, h = 8;
    auto colour = [](int32_t x, int32_t y, int k) { return static_cast<uint8_t>((x * 21 + y * 29 + k * 90) & 0xF8); };
    ResetSettings();
    Settings().centerHorizontally = 1;
    Settings().centerVertically = 1;
    MemoryHost host(w, h, 2);
    host.picture = [&](int32_t) {
        std::vector<uint8_t> p = FlatPicture(w, h, 0, 0, 0);
        const int32_t stride = (w * 3 + 3) / 4 * 4;
        for (int32_t y = 0; y < h; ++y)  // y counted from the top
            for (int32_t x = 0; x < w; ++x)
                for (int k = 0; k < 3; ++k) p[static_cast<std::size_t>(h - 1 - y) * stride + 3 * x + k] = colour(x, y, k);
        return p;
    };
    ASSERT_EQ(host.Run().outcome, ExportOutcome::Completed);
    ResetSettings();

    ASSERT_EQ(RunKest({"extract", host.path, "--frame", "1", "--png", dir + "screen.png"}).status, 0);
    ASSERT_EQ(RunKest({"extract", host.path, "--frame", "1", "--png", dir + "picture.png", "--picture-only"}).status, 0);
    const std::vector<uint8_t> screen = DecodeRgb(dir + "screen.png", 512, 512);
    const std::vector<uint8_t> picture = DecodeRgb(dir + "picture.png", w, h);
    ASSERT_EQ(screen.size(), 512u * 512 * 3);
    ASSERT_EQ(picture.size(), static_cast<std::size_t>(w) * h * 3);

    auto expected = [&](int32_t x, int32_t y) {
        // Gamma 1 and multiples of 8: each channel's top five bits, no intensity.
        return ExpandPixel16(PackPixel16(colour(x, y, 1) >> 3, colour(x, y, 2) >> 3, colour(x, y, 0) >> 3, 0));
    };
    int lit = 0;
    for (int32_t sy = 0; sy < 512; ++sy)
        for (int32_t sx = 0; sx < 512; ++sx) {
            const uint8_t* got = &screen[(static_cast<std::size_t>(sy) * 512 + sx) * 3];
            Rgb8 want{0, 0, 0};
            const int32_t x = sx - 116, row = sy - 120;
            if (x >= 0 && x < w && row >= 0 && row < 2 * h && row % 2 == 0) {
                want = expected(x, row / 2);
                ++lit;
            }
            ASSERT_EQ(got[0], want.r) << sx << "," << sy;
            ASSERT_EQ(got[1], want.g) << sx << "," << sy;
            ASSERT_EQ(got[2], want.b) << sx << "," << sy;
        }
    EXPECT_EQ(lit, w * h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const Rgb8 want = expected(x, y);
            const uint8_t* got = &picture[(static_cast<std::size_t>(y) * w + x) * 3];
            EXPECT_EQ(got[0], want.r);
            EXPECT_EQ(got[1], want.g);
            EXPECT_EQ(got[2], want.b);
        }

    const ToolRun past = RunKest({"extract", host.path, "--frame", "2", "--png", dir + "x.png"});
    EXPECT_EQ(past.status, 1);
    EXPECT_TRUE(Has(past.err, "holds 2 complete frame"));
}

// A 1 kHz tone at half scale comes back at its frequency and level from
// both kinds of sound.
TEST(KestExtract, WavGivesTheToneBack) {
    const std::string dir = ScratchDir();
    const int rate = 48000, seconds = 1;
    std::vector<int16_t> tone;
    for (int i = 0; i < rate * seconds; ++i)
        tone.push_back(static_cast<int16_t>(std::lround(16384 * std::sin(2 * 3.14159265358979 * 1000 * i / rate))));
    const std::vector<uint8_t> pictures(static_cast<std::size_t>(16 * 16 * 3 * 10 * seconds), 100);
    MuxRaw(dir + "tone.nut", 16, 16, 10, pictures, rate, 1, tone);
    struct Case {
        const char* audio;
        int rate;
        double levelTolerance;
    };
    for (const Case& c : {Case{"adpcm15.6", 15625, 0.1}, Case{"pcm16m", 16000, 0.02}}) {
        SCOPED_TRACE(c.audio);
        ASSERT_EQ(RunKest({"export", dir + "tone.nut", "-o", dir + "t.KTD", "-q", "--audio", c.audio}).status, 0);
        const ToolRun run = RunKest({"extract", dir + "t.KTD", "--wav", dir + "t.wav"});
        ASSERT_EQ(run.status, 0) << run.err;
        const Wav wav = ReadWav(dir + "t.wav");
        EXPECT_EQ(wav.rate, c.rate);
        EXPECT_EQ(wav.channels, 1);
        ASSERT_GT(wav.samples.size(), static_cast<std::size_t>(c.rate * 9 / 10));
        // The middle of the sound, away from the filter's run-in.
        const std::size_t from = wav.samples.size() / 4, to = wav.samples.size() * 3 / 4;
        int crossings = 0;
        double energy = 0;
        for (std::size_t i = from; i < to; ++i) {
            energy += static_cast<double>(wav.samples[i]) * wav.samples[i];
            if ((wav.samples[i - 1] < 0) != (wav.samples[i] < 0)) ++crossings;
        }
        const double span = static_cast<double>(to - from) / c.rate;
        EXPECT_NEAR(crossings / 2.0 / span, 1000.0, 10.0);
        EXPECT_NEAR(std::sqrt(energy / static_cast<double>(to - from)), 16384 / std::sqrt(2.0),
                    16384 / std::sqrt(2.0) * c.levelTolerance);
    }
}

TEST(KestExtract, PreviewAndFramesFromAnH264File) {
    const std::string dir = ScratchDir();
    RunFfmpeg({"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=30:duration=1", "-f", "lavfi", "-i",
               "sine=frequency=440:sample_rate=44100:duration=1", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a",
               "aac", dir + "in.mp4"});
    ASSERT_EQ(RunKest({"export", dir + "in.mp4", "-o", dir + "m.KTD", "-q", "--reduce", "dither2x2"}).status, 0);
    ASSERT_EQ(RunKest({"info", dir + "m.KTD"}).status, 0);
    const ToolRun run = RunKest({"extract", dir + "m.KTD", "--preview", dir + "p.mp4", "--frames", dir + "frames"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Has(run.out, "30 frames"));
    // ffmpeg reads the preview back: 30 pictures of the screen, and sound.
    RunFfmpeg({"-i", dir + "p.mp4", "-map", "0:v", "-f", "rawvideo", "-pix_fmt", "gray", dir + "p.gray"});
    EXPECT_EQ(ReadBytes(dir + "p.gray").size(), 30u * 512 * 512);
    RunFfmpeg({"-i", dir + "p.mp4", "-map", "0:a", "-f", "null", "-"});
    const ToolRun probe = RunKest({"info", dir + "p.mp4"});
    EXPECT_EQ(probe.status, 1);  // and it is, rightly, not a KEST movie
    EXPECT_FALSE(ReadBytes(dir + "frames/frame_000029.png").empty());
    EXPECT_TRUE(ReadBytes(dir + "frames/frame_000030.png").empty());
}

}  // namespace
}  // namespace kest::testing
