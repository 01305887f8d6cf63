// kest info and kest extract through the real binary: validation of good,
// truncated and damaged files, frames placed on the player's screen pixel by
// pixel, the sound decoded back, and the preview video.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "base/big_endian.h"
#include "format/movie_format.h"
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
    for (const char* line : {"KEST-V4.0", "256 x 192", "300 (from the file length)", "duration      10.000 s (the length of the sound)",
                             "by the ticks  10.000 s (300 frames of 2 ticks at 60 Hz)", "at (0, 32)",
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
        bool movie;  // false: not a movie at all, so the plain report is the one reason alone
    };
    const uint32_t block = GetBigEndian32(&good[30]);
    const std::size_t audioLength = 1024 + 16 + 256 * 192 * 2;  // in frame 0's record
    const Case cases[] = {
        {"partial record", 1024 + 3 * block + 100, 0, 0, "ends inside a record", true},
        {"header only", 600, 0, 0, "shorter than the 1024-byte header", false},
        {"magic", good.size(), 3, 'X', "not a KEST movie", false},
        {"block size", good.size(), 31, 0, "too small", true},
        {"frame header", good.size(), 1024 + 7 * block + 9, 0x55, "first at frame 7", true},
        {"odd PCM length", good.size(), audioLength + 5 * block + 1, 0x93, "first frame 5 with 1427 bytes", true},
        {"fill", good.size(), 1024 + 5 * block - 1, 1, "not all zero, first at frame 4", true},
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
            if (c.movie || *format) EXPECT_TRUE(Has(run.out, c.message)) << run.out;
            else EXPECT_EQ(run.out, "");
            EXPECT_TRUE(Has(run.err, c.message)) << run.err;
        }
    }

    // Not a movie, and endless: the header says so and nothing more is read.
    const ToolRun zero = RunKestWithin(uint64_t{512} << 20, {"info", "/dev/zero"});
    EXPECT_EQ(zero.status, 1);
    EXPECT_EQ(zero.out, "");
    EXPECT_TRUE(Has(zero.err, "not a KEST movie")) << zero.err;
    EXPECT_EQ(std::count(zero.err.begin(), zero.err.end(), '\n'), 1) << zero.err;
}

// The comment is CP932 text: the plain report and the JSON give it as UTF-8,
// the JSON also as the bytes themselves, and the JSON parses whatever the
// comment holds.
TEST(KestInfo, CommentIsDecodedFromItsCodePage) {
    const std::string dir = ScratchDir();
    ASSERT_EQ(RunKest({"export", "-q", "-o", dir + "c.KTD"}).status, 0);
    std::vector<uint8_t> bytes = ReadBytes(dir + "c.KTD");
    // "テスト" in CP932, a quote, a backslash and a control character.
    const uint8_t comment[] = {0x83, 0x65, 0x83, 0x58, 0x83, 0x67, '"', '\\', 0x01, 0};
    std::memcpy(&bytes[40], comment, sizeof comment);
    WriteBytes(dir + "c.KTD", bytes.data(), bytes.size());

    const ToolRun text = RunKest({"info", dir + "c.KTD"});
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_TRUE(Has(text.out, "comment       \"\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88\\\"\\\\\\u0001\"")) << text.out;

    const ToolRun json = RunKest({"info", "--json", dir + "c.KTD"});
    EXPECT_EQ(json.status, 0) << json.err;
    WriteBytes(dir + "c.json", json.out.data(), json.out.size());
    const ToolRun parsed = RunProgram("python3", {"-c",
                                                  "import json,sys; d=json.load(open(sys.argv[1],encoding='utf-8')); "
                                                  "sys.stdout.buffer.write((d['comment']+'|'+d['commentBytes']).encode())",
                                                  dir + "c.json"});
    EXPECT_EQ(parsed.status, 0) << parsed.err << json.out;
    EXPECT_EQ(parsed.out, "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88\"\\\x01|836583588367225c01");
}

// What a PCM stereo movie's report and sound look like when one frame's
// sound ends inside a sample frame: the report names the frame, and the
// channels stay in step after it.
TEST(KestInfo, StereoSoundInWholeSampleFrames) {
    const std::string dir = ScratchDir();
    const int32_t frames = 25, rate = 44100;
    ResetSettings();
    Settings().audioFormatIndex = static_cast<int16_t>(AudioFormatIndexOfCode(0x2F));  // PCM 22.05 kHz stereo
    MemoryHost host(64, 48, frames);
    host.info.rate = 25;
    std::vector<int16_t> sound;
    for (int32_t i = 0; i < rate; ++i) {  // a tone on the left, silence on the right
        sound.push_back(static_cast<int16_t>(std::lround(12000 * std::sin(2 * 3.14159265358979 * 500 * i / rate))));
        sound.push_back(0);
    }
    host.SetAudio(rate, 2, sound);
    ASSERT_EQ(host.Run().outcome, ExportOutcome::Completed);
    ResetSettings();

    const ToolRun good = RunKest({"info", host.path});
    EXPECT_EQ(good.status, 0) << good.out;
    // 25 fps: frames shown 2 or 3 ticks, so only the sound fixes the length.
    EXPECT_TRUE(Has(good.out, "duration      1.000 s (the length of the sound)")) << good.out;
    EXPECT_TRUE(Has(good.out, "by the ticks  0.833-1.250 s (25 frames of 2 to 3 ticks at 60 Hz)")) << good.out;

    std::vector<uint8_t> bytes = host.FileBytes();
    const uint32_t block = GetBigEndian32(&bytes[30]);
    const std::size_t lengthAt = 1024 + 2 * std::size_t{block} + 16 + 64 * 48 * 2;
    const uint32_t length = GetBigEndian16(&bytes[lengthAt]) - 2;  // frame 2 loses half a sample frame
    bytes[lengthAt] = static_cast<uint8_t>(length >> 8);
    bytes[lengthAt + 1] = static_cast<uint8_t>(length);
    bytes[lengthAt + 2 + length] = bytes[lengthAt + 3 + length] = 0;  // and its fill stays zero
    WriteBytes(dir + "split.KTD", bytes.data(), bytes.size());

    const ToolRun bad = RunKest({"info", dir + "split.KTD"});
    EXPECT_EQ(bad.status, 1);
    const std::string named = "a multiple of 4 bytes), first frame 2 with " + std::to_string(length) + " bytes";
    EXPECT_TRUE(Has(bad.out, named)) << bad.out;
    EXPECT_TRUE(Has(bad.out, "valid         no"));

    ASSERT_EQ(RunKest({"extract", dir + "split.KTD", "--wav", dir + "s.wav", "--preview", dir + "s.mp4"}).status, 0);
    RunFfmpeg({"-i", dir + "s.mp4", "-map", "0:a", "-c:a", "pcm_s16le", dir + "p.wav"});
    for (const char* file : {"s.wav", "p.wav"}) {
        SCOPED_TRACE(file);
        const Wav wav = ReadWav(dir + file);
        ASSERT_EQ(wav.channels, 2);
        ASSERT_GT(wav.samples.size(), 2u * wav.rate / 2);
        double left = 0, right = 0;  // the second half, well after frame 2
        for (std::size_t i = wav.samples.size() / 4 * 2; i + 1 < wav.samples.size(); i += 2) {
            left += std::abs(wav.samples[i]);
            right += std::abs(wav.samples[i + 1]);
        }
        EXPECT_GT(left, 100 * right + 1);
    }
}

// Every reading command on a movie larger than the memory it may use: the
// records are read one at a time. The file is sparse, so it costs no disk.
TEST(KestExtract, LongMovieInFlatMemory) {
    const std::string dir = ScratchDir();
    const std::string path = dir + "long.KTD";
    const uint64_t limit = uint64_t{512} << 20;
    const uint32_t block = 32u << 20, frames = 48, audioBytes = 3200;  // 1600 silent PCM samples a frame
    OutputSettings settings{};
    settings.lineSpacing = static_cast<uint16_t>(LineSpacing::NoGap);
    const MovieGeometry g = ComputeGeometry(512, 480, settings);
    uint8_t header[kMovieHeaderSize];
    BuildMovieHeader(header, {40, g.width, g.height, {2, 2}, 0xBD, block, "", 0});
    uint8_t frameHeader[kFrameHeaderSize];
    BuildFrameHeader(frameHeader, g);
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(header), sizeof header);
        const char length[2] = {static_cast<char>(audioBytes >> 8), static_cast<char>(audioBytes & 0xFF)};
        for (uint64_t j = 0; j < frames; ++j) {
            const uint64_t at = kMovieHeaderSize + j * block;
            out.seekp(static_cast<std::streamoff>(at));
            out.write(reinterpret_cast<const char*>(frameHeader), sizeof frameHeader);
            out.seekp(static_cast<std::streamoff>(at + kFrameHeaderSize + g.PictureBytes()));
            out.write(length, 2);
        }
    }
    std::filesystem::resize_file(path, kMovieHeaderSize + uint64_t{frames} * block);
    ASSERT_GT(std::filesystem::file_size(path), 3 * limit);

    for (const char* format : {"", "--json"}) {
        std::vector<std::string> args = {"info", path};
        if (*format) args.push_back(format);
        const ToolRun info = RunKestWithin(limit, args);
        EXPECT_EQ(info.status, 0) << info.err << info.out;
    }
    const ToolRun run = RunKestWithin(limit, {"extract", path, "--wav", dir + "l.wav", "--frame", "47", "--png", dir + "l.png",
                                              "--frames", dir + "frames", "--preview", dir + "l.mp4"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Has(run.out, "l.wav: 76800 samples at 48000 Hz, mono")) << run.out;
    EXPECT_TRUE(Has(run.out, "48 frames"));
    EXPECT_FALSE(ReadBytes(dir + "frames/frame_000047.png").empty());
    EXPECT_EQ(DecodeRgb(dir + "l.png", 512, 512).size(), 512u * 512 * 3);
    RunFfmpeg({"-i", dir + "l.mp4", "-map", "0:v", "-f", "rawvideo", "-pix_fmt", "gray", dir + "l.gray"});
    EXPECT_EQ(ReadBytes(dir + "l.gray").size(), 48u * 512 * 512);

    // Fill is checked to the end of a record, however long the record.
    {
        std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(static_cast<std::streamoff>(kMovieHeaderSize + 41 * uint64_t{block} - 5));
        out.put(1);
    }
    const ToolRun dirty = RunKestWithin(limit, {"info", path});
    EXPECT_EQ(dirty.status, 1);
    EXPECT_TRUE(Has(dirty.out, "not all zero, first at frame 40")) << dirty.out;
}

// Reports that cannot be written are failures.
TEST(KestInfo, OutputThatCannotBeWrittenFails) {
    const std::string dir = ScratchDir();
    ASSERT_EQ(RunKest({"export", "-q", "-o", dir + "m.KTD"}).status, 0);
    ASSERT_EQ(RunKest({"settings", "make", "-o", dir + "s.blob"}).status, 0);
    const std::string kest = std::string("'") + KEST_TOOL + "' ";
    for (const std::string& command : std::vector<std::string>{"info " + dir + "m.KTD", "info --json " + dir + "m.KTD",
                                      "settings show " + dir + "s.blob", "export --list-audio"}) {
        SCOPED_TRACE(command);
        const ToolRun run = RunProgram("sh", {"-c", kest + command + " >/dev/full"});
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_TRUE(Has(run.err, "cannot write to standard output")) << run.err;
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
        ASSERT_EQ(RunKest({"export", dir + "tone.nut", "-o", dir + "t.KTD", "-q", "-y", "--audio", c.audio}).status, 0);
        const ToolRun run = RunKest({"extract", dir + "t.KTD", "--wav", dir + "t.wav", "-y"});
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

// ADPCM that overshoots the 12-bit range (a full-scale square wave) comes
// back as the player plays it, held to 12 bits, unless the encoder's own
// reckoning is asked for.
TEST(KestExtract, WavDecodesAdpcmAsThePlayerDoes) {
    const std::string dir = ScratchDir();
    MemoryHost host(16, 16, 10);
    std::vector<int16_t> square;
    for (int i = 0; i < 48000 / 3; ++i) square.push_back(i % 400 < 200 ? 32767 : -32768);
    host.SetAudio(48000, 1, square);
    ResetSettings();
    ASSERT_EQ(host.Run().outcome, ExportOutcome::Completed);
    struct Case {
        std::vector<std::string> decoder;
        int16_t highest, lowest;
    };
    for (const Case& c : {Case{{}, 2047 * 16, -2048 * 16}, Case{{"--decoder", "exact"}, 32767, -32768}}) {
        std::vector<std::string> args = {"extract", host.path, "-y", "--wav", dir + "a.wav"};
        args.insert(args.end(), c.decoder.begin(), c.decoder.end());
        ASSERT_EQ(RunKest(args).status, 0);
        const Wav wav = ReadWav(dir + "a.wav");
        ASSERT_FALSE(wav.samples.empty());
        EXPECT_EQ(*std::max_element(wav.samples.begin(), wav.samples.end()), c.highest);
        EXPECT_EQ(*std::min_element(wav.samples.begin(), wav.samples.end()), c.lowest);
    }
    EXPECT_EQ(RunKest({"extract", host.path, "--wav", dir + "a.wav", "--decoder", "other"}).status, 2);
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
