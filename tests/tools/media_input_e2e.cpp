// How kest export takes real inputs, through the binary: pictures as a
// player shows them (turned upright, square pixels, deinterlaced), frame
// rates the player can show and that keep every picture, stills and image
// sequences, damaged timestamps, empty sound, inputs that cannot be read,
// standard input and FIFOs, and FFmpeg's own messages kept back.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "format/movie_reader.h"
#include "tool_runner.h"

namespace kest::testing {
namespace {

MovieLayout Layout(const std::string& movie) {
    const std::vector<uint8_t> bytes = ReadBytes(movie);
    const MovieReport report = InspectMovie(bytes.data(), bytes.size());
    EXPECT_TRUE(report.readable) << movie;
    return report.layout;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Frame `frame` of a movie as stored, RGB top row first.
std::vector<uint8_t> MoviePicture(const std::string& movie, int frame, int width, int height) {
    const std::string png = movie + "." + std::to_string(frame) + ".png";
    const ToolRun run = RunKest({"extract", movie, "--frame", std::to_string(frame), "--png", png, "--picture-only"});
    EXPECT_EQ(run.status, 0) << run.err;
    return DecodeRgb(png, width, height);
}

double MeanDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return 1e9;
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) sum += std::abs(a[i] - b[i]);
    return sum / static_cast<double>(a.size());
}

TEST(KestMediaInput, PicturesComeOutAsAPlayerShowsThem) {
    const std::string dir = ScratchDir();
    // A phone-style clip stored 64 x 32 and marked to be shown turned: white
    // with one black corner, so that a wrong turn or a mirror shows.
    RunFfmpeg({"-f", "lavfi", "-i", "color=white:size=64x32:rate=10:duration=0.5", "-vf",
               "drawbox=x=40:y=0:w=24:h=12:color=black:t=fill", "-c:v", "libx264", "-pix_fmt", "yuv444p", dir + "flat.mp4"});
    RunFfmpeg({"-i", dir + "flat.mp4", "-c", "copy", "-metadata:s:v:0", "rotate=90", dir + "phone.mp4"});
    ASSERT_EQ(RunKest({"export", dir + "phone.mp4", "-o", dir + "phone.KTD", "-q"}).status, 0);
    const MovieLayout upright = Layout(dir + "phone.KTD");
    ASSERT_EQ(upright.width, 32u);
    ASSERT_EQ(upright.height, 64u);
    // As ffmpeg itself shows it.
    RunFfmpeg({"-i", dir + "phone.mp4", "-frames:v", "1", dir + "shown.png"});
    EXPECT_LT(MeanDifference(MoviePicture(dir + "phone.KTD", 0, 32, 64), DecodeRgb(dir + "shown.png", 32, 64)), 12);
    ASSERT_EQ(RunKest({"export", dir + "phone.mp4", "-o", dir + "stored.KTD", "-q", "--no-autorotate"}).status, 0);
    EXPECT_EQ(Layout(dir + "stored.KTD").width, 64u);

    // DVD-sized pictures with non-square pixels, fitted into 512 wide.
    struct Case {
        const char* sar;
        uint32_t width, height;
    };
    for (const Case c : {Case{"8/9", 512, 384}, Case{"32/27", 512, 288}}) {
        SCOPED_TRACE(c.sar);
        RunFfmpeg({"-f", "lavfi", "-i", "testsrc=size=720x480:rate=10:duration=0.2", "-vf", std::string("setsar=") + c.sar,
                   "-c:v", "mpeg4", dir + "dvd.mp4"});
        ASSERT_EQ(RunKest({"export", dir + "dvd.mp4", "-o", dir + "dvd.KTD", "-q", "-y"}).status, 0);
        const MovieLayout dvd = Layout(dir + "dvd.KTD");
        EXPECT_EQ(dvd.width, c.width);
        EXPECT_EQ(dvd.height, c.height);
    }
}

// How far rows differ from the mean of their neighbours: the comb of two
// fields from different moments woven into one picture.
double Comb(const std::vector<uint8_t>& rgb, int width, int height) {
    double sum = 0;
    for (int y = 1; y + 1 < height; ++y)
        for (int x = 0; x < width * 3; ++x) {
            const auto at = [&](int row) { return static_cast<double>(rgb[static_cast<std::size_t>(row) * width * 3 + x]); };
            sum += std::abs(2 * at(y) - at(y - 1) - at(y + 1));
        }
    return sum;
}

TEST(KestMediaInput, InterlacedVideoIsDeinterlacedUnlessTurnedOff) {
    const std::string dir = ScratchDir();
    // A white bar moving 8 pixels a field, woven into interlaced MPEG-2.
    RunFfmpeg({"-f", "lavfi", "-i", "color=black:size=128x96:rate=50:duration=0.4", "-f", "lavfi", "-i",
               "color=white:size=16x96:rate=50:duration=0.4", "-filter_complex",
               "[0][1]overlay=x='t*400':y=0,tinterlace=interleave_top,fieldorder=tff", "-c:v", "mpeg2video", "-flags",
               "+ilme+ildct", "-top", "1", "-q:v", "2", dir + "fields.mpg"});
    ASSERT_EQ(RunKest({"export", dir + "fields.mpg", "-o", dir + "auto.KTD", "-q"}).status, 0);
    ASSERT_EQ(RunKest({"export", dir + "fields.mpg", "-o", dir + "off.KTD", "-q", "--deinterlace", "off"}).status, 0);
    const double woven = Comb(MoviePicture(dir + "off.KTD", 4, 128, 96), 128, 96);
    const double deinterlaced = Comb(MoviePicture(dir + "auto.KTD", 4, 128, 96), 128, 96);
    EXPECT_GT(woven, 0);
    EXPECT_LT(deinterlaced, woven / 3);
}

TEST(KestMediaInput, FrameRatesAboveThePlayersClockAreCapped) {
    const std::string dir = ScratchDir();
    RunFfmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=120:duration=1", "-f", "lavfi", "-i",
               "sine=duration=1:sample_rate=16000", "-c:v", "mpeg4", "-c:a", "pcm_s16le", dir + "fast.mkv"});
    const ToolRun run = RunKest({"export", dir + "fast.mkv", "-o", dir + "fast.KTD", "--audio", "pcm16s"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Has(run.out, "60 fps")) << run.out;
    const MovieLayout fast = Layout(dir + "fast.KTD");
    EXPECT_EQ(fast.frameCount, 60u);
    EXPECT_EQ(fast.ticksMin, 1u);
    // The pictures last as long as the sound: one second, within a frame.
    EXPECT_NEAR(static_cast<double>(fast.audioBytes), 16000 * 4, 16000 * 4 / 60.0);

    const ToolRun refused = RunKest({"export", dir + "fast.mkv", "-o", dir + "x.KTD", "--fps", "120"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(Has(refused.err, "at most 60")) << refused.err;
    EXPECT_FALSE(std::filesystem::exists(dir + "x.KTD"));
}

TEST(KestMediaInput, AVariableRateKeepsEveryPicture) {
    const std::string dir = ScratchDir();
    // 1 s at 10 fps, then 1 s at 30 fps; every picture a different grey.
    RunFfmpeg({"-f", "lavfi", "-i", "nullsrc=size=64x48:rate=10:duration=1,geq=lum='mod(N*37\\,256)':cb=128:cr=128", "-f",
               "lavfi", "-i", "nullsrc=size=64x48:rate=30:duration=1,geq=lum='mod(N*37+100\\,256)':cb=128:cr=128",
               "-filter_complex", "[0][1]concat=n=2:v=1:a=0,settb=1/30", "-fps_mode", "vfr", "-c:v", "mpeg4", "-q:v", "2",
               dir + "vfr.mp4"});
    const ToolRun run = RunKest({"export", dir + "vfr.mp4", "-o", dir + "vfr.KTD", "--reduce", "bit"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Has(run.out, "at 30 fps")) << run.out;
    const std::vector<uint8_t> bytes = ReadBytes(dir + "vfr.KTD");
    const MovieReport report = InspectMovie(bytes.data(), bytes.size());
    ASSERT_TRUE(report.readable);
    EXPECT_NEAR(static_cast<double>(report.layout.frameCount), 60, 1);
    int changes = 0;
    std::vector<uint8_t> previous;
    for (uint64_t j = 0; j < report.layout.frameCount; ++j) {
        MovieFrame frame;
        std::string why;
        ASSERT_TRUE(ReadMovieFrame(report.layout, bytes.data(), bytes.size(), j, frame, why)) << why;
        std::vector<uint8_t> picture(frame.picture, frame.picture + report.layout.pictureBytes);
        if (j > 0 && picture != previous) ++changes;
        previous = std::move(picture);
    }
    EXPECT_EQ(changes, 39);  // 40 pictures, none lost
}

TEST(KestMediaInput, StillsLastAndImageSequencesTakeTheirRate) {
    const std::string dir = ScratchDir();
    RunFfmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48", "-frames:v", "1", dir + "still.png"});
    for (int i = 1; i <= 6; ++i)
        RunFfmpeg({"-f", "lavfi", "-i", "testsrc=size=32x24:rate=25", "-vf", "select=eq(n\\," + std::to_string(i) + ")",
                   "-frames:v", "1", dir + "img00" + std::to_string(i) + ".png"});
    struct Case {
        std::vector<std::string> args;
        uint32_t frames, ticksMin, ticksMax;
    };
    const Case cases[] = {
        {{dir + "still.png", "--duration", "2"}, 50, 2, 3},
        {{dir + "still.png"}, 125, 2, 3},  // 5 s
        {{dir + "img%03d.png", "--input-fps", "3"}, 6, 20, 20},
        {{dir + "img%03d.png"}, 6, 2, 3},  // 25 fps
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        std::vector<std::string> args = {"export", "-y", "-q", "-o", dir + "s.KTD"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ToolRun run = RunKest(args);
        ASSERT_EQ(run.status, 0) << run.err;
        const MovieLayout layout = Layout(dir + "s.KTD");
        EXPECT_EQ(layout.frameCount, c.frames);
        EXPECT_EQ(layout.ticksMin, c.ticksMin);
        EXPECT_EQ(layout.ticksMax, c.ticksMax);
    }
    RunFfmpeg({"-f", "lavfi", "-i", "testsrc=size=32x24:rate=10:duration=0.2", "-c:v", "mpeg4", dir + "clip.mkv"});
    const ToolRun refused = RunKest({"export", dir + "clip.mkv", "-o", dir + "x.KTD", "--input-fps", "3"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(Has(refused.err, "states its own frame rate")) << refused.err;
}

TEST(KestMediaInput, TimestampJumpsInATransportStreamAreRepaired) {
    const std::string dir = ScratchDir();
    // Two 1-second recordings, the second stamped 30 s later, joined byte
    // for byte as a capture that restarts does.
    RunFfmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=25:duration=1", "-f", "lavfi", "-i", "sine=duration=1", "-c:v",
               "mpeg2video", "-c:a", "mp2", dir + "a.ts"});
    RunFfmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=25:duration=1", "-f", "lavfi", "-i", "sine=duration=1", "-c:v",
               "mpeg2video", "-c:a", "mp2", "-output_ts_offset", "30", dir + "b.ts"});
    std::vector<uint8_t> joined = ReadBytes(dir + "a.ts");
    const std::vector<uint8_t> second = ReadBytes(dir + "b.ts");
    joined.insert(joined.end(), second.begin(), second.end());
    WriteBytes(dir + "jump.ts", joined.data(), joined.size());
    const ToolRun run = RunKest({"export", dir + "jump.ts", "-o", dir + "jump.KTD"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Has(run.out, "timestamps jumped and were repaired")) << run.out;
    EXPECT_NEAR(static_cast<double>(Layout(dir + "jump.KTD").frameCount), 50, 2);
}

TEST(KestMediaInput, ASoundStreamWithoutSamplesGivesSilence) {
    const std::string dir = ScratchDir();
    RunFfmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=1", "-f", "s16le", "-ar", "48000", "-ac", "2", "-i",
               "/dev/null", "-map", "0", "-map", "1", "-c:v", "mpeg4", "-c:a", "pcm_s16le", dir + "mute.mkv"});
    const ToolRun run = RunKest({"export", dir + "mute.mkv", "-o", dir + "mute.KTD", "--audio", "pcm16s"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Has(run.out, "no samples")) << run.out;
    const MovieLayout layout = Layout(dir + "mute.KTD");
    EXPECT_EQ(layout.audioFormatIndex, 10);
    EXPECT_EQ(layout.audioBytes, 16000u * 4);
    ASSERT_EQ(RunKest({"extract", dir + "mute.KTD", "--wav", dir + "mute.wav"}).status, 0);
    const Wav wav = ReadWav(dir + "mute.wav");
    ASSERT_FALSE(wav.samples.empty());
    for (const int16_t s : wav.samples) ASSERT_EQ(s, 0);
}

TEST(KestMediaInput, InputsThatHoldNoVideoSayWhy) {
    const std::string dir = ScratchDir();
    WriteBytes(dir + "empty.mp4", "", 0);
    const std::string text = "these are notes, not a video\n";
    WriteBytes(dir + "notes.mp4", text.data(), text.size());
    std::filesystem::create_directory(dir + "folder.mp4");
    RunFfmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=25:duration=1", "-c:v", "mpeg2video", dir + "live.ts"});
    // An MP4 cut off before its index, as an interrupted download leaves it.
    RunFfmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=25:duration=1", "-c:v", "mpeg4", dir + "whole.mp4"});
    const std::vector<uint8_t> whole = ReadBytes(dir + "whole.mp4");
    WriteBytes(dir + "cut.mp4", whole.data(), whole.size() / 2);
    struct Case {
        std::vector<std::string> args;
        std::string input;
        const char* message;
    };
    const Case cases[] = {
        {{dir + "empty.mp4"}, "/dev/null", "is empty"},
        {{dir + "notes.mp4"}, "/dev/null", "not a video file"},
        {{dir + "folder.mp4"}, "/dev/null", "is a folder"},
        {{dir + "cut.mp4"}, "/dev/null", "is a damaged or incomplete mov"},
        {{"-"}, "/dev/null", "standard input is empty"},
        // A stream that does not say its length cannot be planned in one pass.
        {{"-"}, dir + "live.ts", "does not say how long it is"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        std::vector<std::string> args = {"export", "-y", "-o", dir + "x.KTD"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ToolRun run = RunKestWithInput(args, c.input);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(Has(run.err, c.message)) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "x.KTD"));
}

TEST(KestMediaInput, StandardInputAndFifosAreReadInOnePass) {
    const std::string dir = ScratchDir();
    RunFfmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=25:duration=1", "-f", "lavfi", "-i", "sine=duration=1", "-c:v",
               "mpeg4", "-c:a", "pcm_s16le", dir + "in.mkv"});
    RunFfmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=25:duration=1", "-c:v", "mpeg2video", dir + "live.ts"});
    ASSERT_EQ(::mkfifo((dir + "fifo").c_str(), 0600), 0);
    // The writer gives up after a while should nobody read.
    ASSERT_EQ(std::system(("timeout 60 sh -c 'cat " + dir + "in.mkv > " + dir + "fifo' &").c_str()), 0);
    struct Case {
        std::vector<std::string> args;
        std::string input;
        uint32_t frames;
    };
    const Case cases[] = {
        {{"-"}, dir + "in.mkv", 25},
        {{dir + "fifo"}, "/dev/null", 25},
        {{"-", "--duration", "0.6"}, dir + "live.ts", 15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.input);
        std::vector<std::string> args = {"export", "-y", "-q", "-o", dir + "out.KTD", "--audio", "pcm16s"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ToolRun run = RunKestWithInput(args, c.input, 60);
        ASSERT_EQ(run.status, 0) << run.err;
        const MovieLayout layout = Layout(dir + "out.KTD");
        EXPECT_EQ(layout.frameCount, c.frames);
    }
    // The sound came through standard input too.
    ASSERT_EQ(RunKestWithInput({"export", "-q", "-o", dir + "in.KTD", "--audio", "pcm16s", "-"}, dir + "in.mkv").status, 0);
    EXPECT_EQ(Layout(dir + "in.KTD").audioBytes, 16000u * 4);

    // A header that states the wrong length: the movie keeps the planned
    // frame count and the summary says what happened.
    const std::vector<uint8_t> original = ReadBytes(dir + "in.mkv");
    const uint8_t durationElement[] = {0x44, 0x89, 0x88};  // a 64-bit float, milliseconds
    const auto at = std::search(original.begin(), original.end(), std::begin(durationElement), std::end(durationElement));
    ASSERT_NE(at, original.end());
    struct Lie {
        double milliseconds;
        uint32_t frames;
        const char* note;
    };
    for (const Lie lie : {Lie{2000, 50, "ended early: 25 of 50 frames"}, Lie{500, 13, "went on past the length"}}) {
        SCOPED_TRACE(lie.note);
        std::vector<uint8_t> bytes = original;
        uint64_t bits = 0;
        std::memcpy(&bits, &lie.milliseconds, sizeof bits);
        for (int i = 0; i < 8; ++i)
            bytes[static_cast<std::size_t>(at - original.begin()) + 3 + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
        WriteBytes(dir + "lie.mkv", bytes.data(), bytes.size());
        const ToolRun run = RunKestWithInput({"export", "-y", "-o", dir + "lie.KTD", "-"}, dir + "lie.mkv", 60);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(Has(run.out, lie.note)) << run.out;
        EXPECT_EQ(Layout(dir + "lie.KTD").frameCount, lie.frames);
    }
}

TEST(KestMediaInput, FfmpegSpeaksOnlyWhenAskedTo) {
    const std::string dir = ScratchDir();
    RunFfmpeg({"-f", "lavfi", "-i", "testsrc=size=128x96:rate=25:duration=1", "-c:v", "mpeg4", "-g", "100", dir + "in.avi"});
    // Garbage over the middle of the pictures: the decoder complains.
    std::vector<uint8_t> bytes = ReadBytes(dir + "in.avi");
    for (std::size_t i = bytes.size() / 3; i < bytes.size() / 3 + 3000 && i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 7919 >> 3);
    WriteBytes(dir + "damaged.avi", bytes.data(), bytes.size());

    const ToolRun quiet = RunKest({"export", dir + "damaged.avi", "-o", dir + "a.KTD"});
    ASSERT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_EQ(quiet.err, "");
    EXPECT_TRUE(Has(quiet.out, "FFmpeg reported problems")) << quiet.out;
    const ToolRun verbose = RunKest({"export", dir + "damaged.avi", "-o", dir + "b.KTD", "-v"});
    ASSERT_EQ(verbose.status, 0) << verbose.err;
    EXPECT_TRUE(Has(verbose.err, "[mpeg4 @")) << verbose.err;
    const ToolRun silent = RunKest({"export", dir + "damaged.avi", "-o", dir + "c.KTD", "-q"});
    EXPECT_EQ(silent.out + silent.err, "");
    EXPECT_TRUE(ReadBytes(dir + "a.KTD") == ReadBytes(dir + "b.KTD"));
}

}  // namespace
}  // namespace kest::testing
