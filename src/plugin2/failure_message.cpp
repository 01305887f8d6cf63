#include "plugin2/failure_message.h"

#include <cstdio>

#include "format/movie_format.h"
#include "sound/audio_format.h"

namespace kest::host2 {
namespace {

// Windows error codes that change what the user is told.
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorHandleDiskFull = 39;
constexpr uint32_t kErrorDiskFull = 112;

constexpr char kPrefix[] = "KEST 出力: ";

std::string FolderOf(const std::string& path) {
    const std::size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string(".") : path.substr(0, cut);
}

// "29.97", "0.5", "30": at most three decimals, no trailing zeros.
std::string FrameRate(int32_t rate, int32_t scale) {
    char text[48];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(rate) / static_cast<double>(scale));
    std::string s = text;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

std::string ErrorCode(uint32_t systemError) { return "Windows のエラー " + std::to_string(systemError); }

std::string Refusal(RefusalReason reason, const kest::OutputInfo& record, const OutputSettings& settings) {
    switch (reason) {
        case RefusalReason::None: break;
        case RefusalReason::FrameCount: return "出力するフレームがありません。";
        case RefusalReason::PictureSize: return "画像の幅または高さが 0 です。";
        case RefusalReason::FrameRate:
            return "フレームレートが正しくありません（" + std::to_string(record.rate) + "/" +
                   std::to_string(record.scale) + "）。";
        case RefusalReason::FrameRateTooLow:
            return "フレームレート " + FrameRate(record.rate, record.scale) +
                   " fps は低すぎます。KEST の動画は 1/1.01 fps（約 0.99 fps）以上が必要です。フレームレートを上げてください。";
        case RefusalReason::AudioTooLarge: {
            const std::string chosen = CompactLabel(SelectAudioFormat(settings.audioFormatIndex).label);
            std::string text = "フレームレート " + FrameRate(record.rate, record.scale) + " fps では、音声形式「" +
                               chosen + "」の 1 フレーム分の音声が 65535 バイトを超えます。";
            const std::string fitting = FittingAudioFormats(record);
            if (fitting.empty()) return text + "どの音声形式でも収まらないので、フレームレートを上げてください。";
            return text + "フレームレートを上げるか、設定で次の音声形式のどれかを選んでください: " + fitting;
        }
        case RefusalReason::SavePath: return "保存先のファイル名が渡されませんでした。";
        case RefusalReason::AudioRate: return "音声のサンプリングレートが 0 です。";
        case RefusalReason::AudioChannels: return "音声のチャンネル数が 0 です。";
        case RefusalReason::AudioSamples: return "音声の長さが負の値です。";
        case RefusalReason::AudioSampleBytes: return "音声のチャンネル数が多すぎます。";
        case RefusalReason::MissingCallback: return "編集ソフトから画像や音声を受け取る関数が渡されませんでした。";
    }
    return "この出力の内容は KEST の動画にできません。";
}

}  // namespace

std::string CompactLabel(const char* label) {
    std::string out;
    for (const char* c = label; *c; ++c) {
        if (*c == ' ' && !out.empty() && out.back() == ' ') continue;
        out += *c;
    }
    return out;
}

std::string FittingAudioFormats(const kest::OutputInfo& record) {
    std::string list;
    for (int32_t row = 0; row < kAudioFormatCount; ++row) {
        if (PlanAudio(record, row).maxAudioBytes > kMaxAudioLength) continue;
        if (!list.empty()) list += "、";
        list += CompactLabel(kAudioFormats[row].label);
    }
    return list;
}

std::string DescribeFailure(const ExportResult& result, const kest::OutputInfo& record, const OutputSettings& settings,
                            const std::string& path, uint32_t systemError) {
    const std::string frames = std::to_string(result.framesWritten);
    switch (result.outcome) {
        case ExportOutcome::Completed:
        case ExportOutcome::Cancelled:
        case ExportOutcome::NoVideo:
            return {};
        case ExportOutcome::Refused:
            return kPrefix + std::string("出力できません。") + Refusal(result.reason, record, settings);
        case ExportOutcome::AllocationFailed:
            return kPrefix + std::string("メモリーが足りないため出力できませんでした（ファイルは作っていません）。"
                                         "ほかのアプリケーションを閉じてから、もう一度出力してください。");
        case ExportOutcome::CreateFailed:
            if (systemError == kErrorPathNotFound || systemError == kErrorFileNotFound)
                return kPrefix + std::string("保存先のフォルダーがありません: ") + FolderOf(path) +
                       " 。フォルダーを作るか、別の保存先を選んでください。";
            return kPrefix + std::string("ファイルを作れませんでした: ") + path + " （" + ErrorCode(systemError) +
                   (systemError == kErrorAccessDenied ? "、書き込みが許可されていないか、使用中のファイルです" : "") +
                   "）。別の保存先か別のファイル名を選んでください。";
        case ExportOutcome::WriteFailed:
            if (systemError == kErrorDiskFull || systemError == kErrorHandleDiskFull)
                return kPrefix + std::string("ディスクがいっぱいで書き込めませんでした: ") + path + " 。" + frames +
                       " フレームまで書いたところで止まったので、このファイルは途中までです。"
                       "空きを作るか別のドライブを選んで、もう一度出力してください。";
            return kPrefix + std::string("ファイルに書き込めませんでした: ") + path + " （" + ErrorCode(systemError) +
                   "）。" + frames + " フレームまで書いたところで止まったので、このファイルは途中までです。";
        case ExportOutcome::NoPicture:
            return kPrefix + std::string("編集ソフトから ") + std::to_string(result.framesWritten + 1) +
                   " フレーム目の画像を受け取れませんでした。ファイルは " + frames + " フレームで終わっています。";
    }
    return kPrefix + std::string("出力に失敗しました。");
}

}  // namespace kest::host2
