#include "export/export_driver.h"

#include <cstring>

#include "export/big_endian.h"
#include "export/movie_format.h"
#include "picture/picture_converter.h"
#include "plugin/heap.h"
#include "sound/frame_audio_producer.h"

namespace kest {
namespace {

constexpr std::size_t kMaxSavePath = 259;
constexpr std::size_t kFillBytes = 2048;  // the fill is at most 1031 bytes

// Everything one run holds, released on every way out.
struct ExportRun {
    const FileOps& files;
    MovieFile* file = nullptr;
    uint8_t* picture = nullptr;
    uint8_t* fill = nullptr;
    bool producerBegun = false;

    explicit ExportRun(const FileOps& ops) : files(ops) {}
    ExportRun(const ExportRun&) = delete;
    ExportRun& operator=(const ExportRun&) = delete;

    ~ExportRun() {
        if (file) files.close(file);
        HeapRelease(fill);
        if (producerBegun) FrameAudioProducer::End();
        HeapRelease(picture);
    }

    // A write that reports 0 bytes is a failure; an empty block is not
    // written at all, since the platform reports 0 for it too.
    bool Put(const void* bytes, int64_t count) {
        return count == 0 || files.write(file, bytes, static_cast<uint32_t>(count)) != 0;
    }
};

}  // namespace

RefusalReason CheckExportable(const OutputInfo& info, const OutputSettings& settings) {
    if (info.frameCount <= 0) return RefusalReason::FrameCount;
    if (info.width <= 0 || info.height <= 0) return RefusalReason::PictureSize;
    if (info.rate <= 0 || info.scale <= 0) return RefusalReason::FrameRate;
    if (!ComputeFrameTicks(info.rate, info.scale)) return RefusalReason::FrameRateTooLow;
    if (!info.savePath || strnlen(info.savePath, kMaxSavePath + 1) > kMaxSavePath) return RefusalReason::SavePath;
    if (!info.readVideo || !info.abortRequested || !info.showProgress || !info.updatePreview ||
        ((info.flags & kFlagAudio) && !info.readAudio))
        return RefusalReason::MissingCallback;
    if (info.flags & kFlagAudio) {
        if (info.audioRate <= 0) return RefusalReason::AudioRate;
        if (info.audioChannels <= 0) return RefusalReason::AudioChannels;
        if (info.audioSamples < 0) return RefusalReason::AudioSamples;
        const int32_t channelsUsed = info.audioChannels == 1 ? 1 : 2;
        if (info.audioSampleBytes % 2 != 0 || info.audioSampleBytes < 2 * channelsUsed)
            return RefusalReason::AudioSampleBytes;
    }
    if (PlanAudio(info, settings.audioFormatIndex).maxAudioBytes > kMaxAudioLength) return RefusalReason::AudioTooLarge;
    return RefusalReason::None;
}

ExportResult ExportMovie(const OutputInfo& info, const FileOps& files) {
    ExportResult result;
    if (!(info.flags & kFlagVideo)) {
        result.outcome = ExportOutcome::NoVideo;
        return result;
    }
    const OutputSettings& settings = Settings();
    result.reason = CheckExportable(info, settings);
    if (result.reason != RefusalReason::None) {
        result.outcome = ExportOutcome::Refused;
        return result;
    }

    ExportRun run(files);
    run.producerBegun = true;
    if (!FrameAudioProducer::Begin(info, settings.audioFormatIndex)) {
        result.outcome = ExportOutcome::AllocationFailed;
        return result;
    }
    const AudioPlan& audio = FrameAudioProducer::Plan();

    const MovieGeometry geometry = ComputeGeometry(info.width, info.height, settings);
    const int64_t pictureBytes = geometry.PictureBytes();
    const int64_t blockSize = ComputeBlockSize(pictureBytes, audio.maxAudioBytes);

    uint8_t header[kMovieHeaderSize];
    BuildMovieHeader(header, {audio.version, geometry.width, geometry.height, *ComputeFrameTicks(info.rate, info.scale),
                              audio.audioCode, static_cast<uint32_t>(blockSize), settings.comment,
                              CommentLength(settings)});
    uint8_t frameHeader[kFrameHeaderSize];
    BuildFrameHeader(frameHeader, geometry);

    run.picture = static_cast<uint8_t*>(HeapAllocate(static_cast<std::size_t>(pictureBytes)));
    run.fill = static_cast<uint8_t*>(HeapAllocate(kFillBytes));
    if (!run.picture || !run.fill) {
        result.outcome = ExportOutcome::AllocationFailed;
        return result;
    }

    run.file = files.create(info.savePath);
    if (!run.file) {
        result.outcome = ExportOutcome::CreateFailed;
        return result;
    }
    if (!run.Put(header, sizeof header)) {
        result.outcome = ExportOutcome::WriteFailed;
        return result;
    }

    const PictureConverter convert = SelectPictureConverter(settings.reduceMode);
    for (int32_t j = 0; j < info.frameCount; ++j) {
        if (info.abortRequested()) {
            result.outcome = ExportOutcome::Cancelled;
            return result;
        }
        info.showProgress(j, info.frameCount);
        const auto* source = static_cast<const uint8_t*>(info.readVideo(j, 0));
        if (!source) {
            result.outcome = ExportOutcome::NoPicture;
            return result;
        }
        convert(source, info.width, info.height, reinterpret_cast<Pixel16*>(run.picture), geometry.width,
                geometry.height, j, settings.gamma, settings.useIntensityBit);

        int64_t recordBytes = 0;
        bool written = run.Put(frameHeader, kFrameHeaderSize);
        recordBytes += kFrameHeaderSize;
        written = written && run.Put(run.picture, pictureBytes);
        recordBytes += pictureBytes;
        if (written) {
            const AudioBytes payload = FrameAudioProducer::ProduceFrame();
            uint8_t length[2];
            PutBigEndian16(length, static_cast<uint32_t>(payload.count));
            written = run.Put(length, 2) && run.Put(payload.bytes, payload.count);
            recordBytes += 2 + payload.count;
            written = written && run.Put(run.fill, blockSize - recordBytes);
        }
        if (!written) {
            result.outcome = ExportOutcome::WriteFailed;
            return result;
        }
        info.updatePreview();
        result.framesWritten = j + 1;
    }
    result.outcome = ExportOutcome::Completed;
    return result;
}

int32_t KEST_CDECL OutputMovie(OutputInfo* info) {
    if (!info) return 0;
    return HostResult(ExportMovie(*info).outcome);
}

}  // namespace kest
