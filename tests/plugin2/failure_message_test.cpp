#include "plugin2/failure_message.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kest::host2 {
namespace {

kest::OutputInfo Record(int32_t rate, int32_t scale, int32_t audioRate) {
    kest::OutputInfo r{};
    r.flags = kFlagVideo | (audioRate ? kFlagAudio : 0);
    r.width = 320;
    r.height = 240;
    r.rate = rate;
    r.scale = scale;
    r.frameCount = 10;
    r.audioRate = audioRate;
    r.audioChannels = 2;
    r.audioSamples = audioRate * 10 * scale / rate;
    r.audioSampleBytes = 4;
    return r;
}

OutputSettings WithAudio(int16_t row) {
    OutputSettings s;
    std::memset(&s, 0, sizeof s);
    s.gamma = 1.0;
    s.audioFormatIndex = row;
    return s;
}

ExportResult Result(ExportOutcome outcome, int32_t frames = 0, RefusalReason reason = RefusalReason::None) {
    ExportResult r;
    r.outcome = outcome;
    r.reason = reason;
    r.framesWritten = frames;
    return r;
}

constexpr char kPath[] = "C:\\動画\\出力\\movie.KTD";

TEST(FailureMessage, SaysWhatFailedWhereAndHowFarItGot) {
    const struct {
        ExportResult result;
        uint32_t error;
        std::vector<std::string> says;
    } cases[] = {
        // The folder is named, not the file.
        {Result(ExportOutcome::CreateFailed), 3, {"保存先のフォルダーがありません: C:\\動画\\出力 "}},
        {Result(ExportOutcome::CreateFailed), 5, {"ファイルを作れませんでした: C:\\動画\\出力\\movie.KTD", "エラー 5"}},
        {Result(ExportOutcome::WriteFailed, 7), 112, {"ディスクがいっぱい", kPath, "7 フレームまで"}},
        {Result(ExportOutcome::WriteFailed, 0), 39, {"ディスクがいっぱい", "0 フレームまで"}},
        {Result(ExportOutcome::WriteFailed, 4), 1784, {"書き込めませんでした", "エラー 1784", "4 フレームまで"}},
        {Result(ExportOutcome::AllocationFailed), 0, {"メモリーが足りない"}},
        {Result(ExportOutcome::NoPicture, 2), 0, {"3 フレーム目の画像", "2 フレームで終わって"}},
        {Result(ExportOutcome::Refused, 0, RefusalReason::FrameRateTooLow), 0, {"フレームレート 0.5 fps は低すぎます"}},
    };
    for (const auto& c : cases) {
        const kest::OutputInfo record = Record(1, 2, 0);
        const std::string text = DescribeFailure(c.result, record, WithAudio(0), kPath, c.error);
        EXPECT_EQ(text.rfind("KEST 出力: ", 0), 0u) << text;
        for (const std::string& part : c.says) EXPECT_NE(text.find(part), std::string::npos) << part << " in " << text;
    }
}

TEST(FailureMessage, NoMessageWhenTheHostCountsTheExportAsDone) {
    for (ExportOutcome outcome : {ExportOutcome::Completed, ExportOutcome::Cancelled, ExportOutcome::NoVideo})
        EXPECT_EQ(DescribeFailure(Result(outcome), Record(30, 1, 0), WithAudio(0), kPath, 0), "");
}

TEST(FailureMessage, SoundTooLargeForAFrameListsTheFormatsThatFit) {
    // One frame a second of 48 kHz sound: 4-bit ADPCM always fits in a
    // frame's 65535 bytes; 16-bit PCM only up to 16 kHz stereo, 32 kHz mono.
    const kest::OutputInfo record = Record(1, 1, 48000);
    const std::string text = DescribeFailure(Result(ExportOutcome::Refused, 0, RefusalReason::AudioTooLarge), record,
                                             WithAudio(5), kPath, 0);
    EXPECT_NE(text.find("フレームレート 1 fps では、音声形式「PCM 48.0 kHz Stereo」"), std::string::npos) << text;
    EXPECT_NE(text.find("次の音声形式のどれかを選んでください: ADPCM 15.6kHz Mono、ADPCM 10.4kHz Mono、"
                        "ADPCM 7.8kHz Mono、ADPCM 5.2kHz Mono、ADPCM 3.9kHz Mono、PCM 16.0 kHz Stereo、"
                        "PCM 32.0 kHz Mono、PCM 24.0 kHz Mono、PCM 22.05kHz Mono、PCM 16.0 kHz Mono"),
              std::string::npos)
        << text;
    // At 30000/1001 fps every one of the 17 formats fits.
    const std::string all = FittingAudioFormats(Record(30000, 1001, 48000));
    int listed = 1;
    for (std::size_t at = 0; (at = all.find("、", at)) != std::string::npos; ++at) ++listed;
    EXPECT_EQ(listed, 17) << all;
}

}  // namespace
}  // namespace kest::host2
