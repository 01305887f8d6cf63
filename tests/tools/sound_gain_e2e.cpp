// The sound's gain before the export: --gain as a 16-bit gain stage, and
// --normalize choosing the largest gain that keeps the ADPCM encoder's
// predictor in the player's 12-bit range, which an export without it warns
// about.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "format/movie_reader.h"
#include "sound/adpcm_encoder.h"
#include "tool_runner.h"

namespace kest::testing {
namespace {

constexpr int kWidth = 16, kHeight = 8, kFps = 10, kFrames = 20, kRate = 16000;

std::vector<uint8_t> GreyFrames() { return std::vector<uint8_t>(kWidth * kHeight * 3 * kFrames, 100); }

// A sweep at nearly full scale: the encoder overshoots on its steep parts.
std::vector<int16_t> LoudSweep() {
    std::vector<int16_t> samples;
    for (int i = 0; i < kRate * kFrames / kFps; ++i) {
        const double t = static_cast<double>(i) / kRate;
        samples.push_back(static_cast<int16_t>(std::lround(32700 * std::sin(2 * M_PI * (50 + 1500 * t) * t))));
    }
    return samples;
}

// The encoder's predictor over the movie's ADPCM stream, as the encoder
// decodes its own codes: the lowest and highest values it takes.
std::pair<int, int> PredictorSpan(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    const MovieReport report = InspectMovie(bytes.data(), bytes.size());
    EXPECT_TRUE(report.readable);
    AdpcmDecoderState state;
    int low = 0, high = 0;
    MovieFrame frame;
    std::string why;
    for (uint64_t j = 0; j < report.layout.frameCount; ++j) {
        EXPECT_TRUE(ReadMovieFrame(report.layout, bytes.data(), bytes.size(), j, frame, why)) << why;
        for (uint32_t i = 0; i < frame.audioLength; ++i)
            for (const int code : {frame.audio[i] & 15, frame.audio[i] >> 4}) {
                const int p = AdpcmDecodeCode(state, static_cast<uint8_t>(code));
                low = std::min(low, p), high = std::max(high, p);
            }
    }
    return {low, high};
}

TEST(KestSoundGain, GainIsA16BitGainStageBeforeTheExport) {
    const std::string dir = ScratchDir();
    std::vector<int16_t> quiet;
    for (int i = 0; i < kRate * kFrames / kFps; ++i)
        quiet.push_back(static_cast<int16_t>(std::lround(12000 * std::sin(i * 0.01)) + i % 7 - 3));
    MuxRaw(dir + "in.nut", kWidth, kHeight, kFps, GreyFrames(), kRate, 1, quiet);
    struct Case {
        const char* decibels;
        const char* audio;
    };
    // +9 dB clips the peaks; -7.5 dB rounds every sample.
    for (const Case& c : {Case{"9", "adpcm15.6"}, Case{"-7.5", "pcm16m"}}) {
        SCOPED_TRACE(c.decibels);
        const double factor = std::pow(10.0, std::stod(c.decibels) / 20);
        std::vector<int16_t> scaled;
        for (const int16_t s : quiet)
            scaled.push_back(static_cast<int16_t>(std::clamp(std::round(s * factor), -32768.0, 32767.0)));
        const std::string name = dir + c.audio;
        MuxRaw(name + ".nut", kWidth, kHeight, kFps, GreyFrames(), kRate, 1, scaled);
        const ToolRun run = RunKest({"export", dir + "in.nut", "-o", name + "gain.KTD", "--audio", c.audio, "--gain", c.decibels});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("sound gain " + std::string(c.decibels[0] == '-' ? "" : "+") + c.decibels), std::string::npos)
            << run.out;
        ASSERT_EQ(RunKest({"export", name + ".nut", "-o", name + "ref.KTD", "--audio", c.audio, "-q"}).status, 0);
        EXPECT_TRUE(ReadBytes(name + "gain.KTD") == ReadBytes(name + "ref.KTD"));
    }
}

TEST(KestSoundGain, NormalizeKeepsThePredictorInThePlayersRange) {
    const std::string dir = ScratchDir();
    const std::string input = dir + "loud.nut";
    MuxRaw(input, kWidth, kHeight, kFps, GreyFrames(), kRate, 1, LoudSweep());

    // Without help the predictor overshoots, and the export says so.
    const ToolRun plain = RunKest({"export", input, "-o", dir + "plain.KTD"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_NE(plain.out.find("warning: the sound's ADPCM predictor left the player's 12-bit range"), std::string::npos)
        << plain.out;
    EXPECT_NE(plain.out.find("--normalize"), std::string::npos);
    const auto [plainLow, plainHigh] = PredictorSpan(dir + "plain.KTD");
    EXPECT_TRUE(plainLow < -2048 || plainHigh > 2047);
    EXPECT_TRUE(RunKest({"export", input, "-o", dir + "quiet.KTD", "-q"}).out.empty());

    const ToolRun normalized = RunKest({"export", input, "-o", dir + "norm.KTD", "--normalize"});
    ASSERT_EQ(normalized.status, 0) << normalized.err;
    EXPECT_EQ(normalized.out.find("warning"), std::string::npos) << normalized.out;
    const std::string::size_type at = normalized.out.find("sound gain ");
    ASSERT_NE(at, std::string::npos) << normalized.out;
    EXPECT_NE(normalized.out.find("chosen by --normalize"), std::string::npos);
    const double chosen = std::stod(normalized.out.substr(at + 11));
    EXPECT_LT(chosen, 0);
    const auto [low, high] = PredictorSpan(dir + "norm.KTD");
    EXPECT_GE(low, -2048);
    EXPECT_LE(high, 2047);

    // The gain chosen is --gain's own, and 0.1 dB more overshoots.
    char decibels[16], louder[16];
    std::snprintf(decibels, sizeof decibels, "%.1f", chosen);
    std::snprintf(louder, sizeof louder, "%.1f", chosen + 0.1);
    ASSERT_EQ(RunKest({"export", input, "-o", dir + "same.KTD", "-q", "--gain", decibels}).status, 0);
    EXPECT_TRUE(ReadBytes(dir + "same.KTD") == ReadBytes(dir + "norm.KTD"));
    const ToolRun over = RunKest({"export", input, "-o", dir + "over.KTD", "--gain", louder});
    EXPECT_NE(over.out.find("warning: the sound's ADPCM predictor left"), std::string::npos) << louder << "\n" << over.out;
}

TEST(KestSoundGain, NormalizeLeavesPcmAndInRangeSoundAsItIs) {
    const std::string dir = ScratchDir();
    const std::string input = dir + "loud.nut";
    MuxRaw(input, kWidth, kHeight, kFps, GreyFrames(), kRate, 1, LoudSweep());
    const ToolRun pcm = RunKest({"export", input, "-o", dir + "pcm.KTD", "--audio", "pcm16m", "--normalize"});
    ASSERT_EQ(pcm.status, 0) << pcm.err;
    EXPECT_NE(pcm.out.find("PCM sound has no predictor"), std::string::npos) << pcm.out;
    ASSERT_EQ(RunKest({"export", input, "-o", dir + "pcm0.KTD", "--audio", "pcm16m", "-q"}).status, 0);
    EXPECT_TRUE(ReadBytes(dir + "pcm.KTD") == ReadBytes(dir + "pcm0.KTD"));

    // The demo clip's sound stays in range: 0 dB, the same movie.
    const ToolRun demo = RunKest({"export", "-o", dir + "demo.KTD", "--normalize"});
    ASSERT_EQ(demo.status, 0) << demo.err;
    EXPECT_NE(demo.out.find("sound gain 0 dB chosen by --normalize"), std::string::npos) << demo.out;
    ASSERT_EQ(RunKest({"export", "-o", dir + "demo0.KTD", "-q"}).status, 0);
    EXPECT_TRUE(ReadBytes(dir + "demo.KTD") == ReadBytes(dir + "demo0.KTD"));

    for (const std::vector<std::string>& wrong :
         {std::vector<std::string>{"--gain", "-3", "--normalize"}, {"--gain", "61"}, {"--gain", "nan"}, {"--gain", "x"}}) {
        std::vector<std::string> args = {"export", "-o", dir + "bad.KTD"};
        args.insert(args.end(), wrong.begin(), wrong.end());
        const ToolRun run = RunKest(args);
        EXPECT_EQ(run.status, 2) << wrong[1] << "\n" << run.err;
        EXPECT_NE(run.err.find("--gain"), std::string::npos) << run.err;
    }
}

}  // namespace
}  // namespace kest::testing
