#include "export/export_driver.h"

#include <cstring>
#include <new>

#include "base/big_endian.h"
#include "base/cpu_features.h"
#include "base/heap.h"
#include "format/movie_format.h"
#include "picture/picture_converter.h"
#include "sound/frame_audio_producer.h"

namespace kest {
namespace {

constexpr std::size_t kMaxSavePath = 259;

// What an export carries from frame to frame, in one block of the heap.
struct ExportState {
    PictureState picture;
    FrameAudioProducer sound;
};

// Everything one run holds, released on every way out.
struct ExportRun {
    const FileOps& files;
    MovieFile* file = nullptr;
    ExportState* state = nullptr;
    uint8_t* record = nullptr;  // one frame record, blockSize bytes

    explicit ExportRun(const FileOps& ops) : files(ops) {}
    ExportRun(const ExportRun&) = delete;
    ExportRun& operator=(const ExportRun&) = delete;

    ~ExportRun() {
        if (file) files.close(files.user, file);
        HeapRelease(record);
        if (state) {
            state->~ExportState();
            HeapRelease(state);
        }
    }

    bool TakeState() {
        void* block = HeapAllocate(sizeof(ExportState));
        if (!block) return false;
        state = new (block) ExportState{};
        state->picture.tier = DetectedSimdTier();
        return true;
    }

    // A write that reports 0 bytes is a failure.
    bool Put(const void* bytes, int64_t count) {
        return files.write(files.user, file, bytes, static_cast<uint32_t>(count)) != 0;
    }
};

RefusalReason CheckRecord(const OutputInfo& info) {
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
    return RefusalReason::None;
}

RefusalReason CheckPlan(const AudioPlan& plan) {
    return plan.maxAudioBytes > kMaxAudioLength ? RefusalReason::AudioTooLarge : RefusalReason::None;
}

}  // namespace

RefusalReason CheckExportable(const OutputInfo& info, const OutputSettings& settings) {
    const RefusalReason reason = CheckRecord(info);
    if (reason != RefusalReason::None) return reason;
    return CheckPlan(PlanAudio(info, settings.audioFormatIndex));
}

ExportResult ExportMovie(const OutputInfo& info, const OutputSettings& settings, const FileOps& files) {
    ExportResult result;
    if (!(info.flags & kFlagVideo)) {
        result.outcome = ExportOutcome::NoVideo;
        return result;
    }
    result.reason = CheckRecord(info);
    // The plan of the run's sound, made once: the refusal and the producer
    // both go by it.
    const AudioPlan audio = result.reason == RefusalReason::None ? PlanAudio(info, settings.audioFormatIndex)
                                                                 : AudioPlan{};
    if (result.reason == RefusalReason::None) result.reason = CheckPlan(audio);
    if (result.reason != RefusalReason::None) {
        result.outcome = ExportOutcome::Refused;
        return result;
    }

    ExportRun run(files);
    if (!run.TakeState() || !run.state->sound.Begin(info, audio, run.state->picture.tier)) {
        result.outcome = ExportOutcome::AllocationFailed;
        return result;
    }

    const MovieGeometry geometry = ComputeGeometry(info.width, info.height, settings);
    const int64_t pictureBytes = geometry.PictureBytes();
    const int64_t blockSize = ComputeBlockSize(pictureBytes, audio.maxAudioBytes);

    uint8_t header[kMovieHeaderSize];
    BuildMovieHeader(header, {audio.version, geometry.width, geometry.height, *ComputeFrameTicks(info.rate, info.scale),
                              audio.audioCode, static_cast<uint32_t>(blockSize), settings.comment,
                              CommentLength(settings)});

    // The record is built in place: the frame header, the same in every
    // record, once; the picture straight from the converter, which leaves
    // the columns and rows it does not cover as they were (zero); then the
    // frame's sound and its zero fill.
    run.record = static_cast<uint8_t*>(HeapAllocate(static_cast<std::size_t>(blockSize)));
    if (!run.record) {
        result.outcome = ExportOutcome::AllocationFailed;
        return result;
    }
    uint8_t (&frameHeader)[kFrameHeaderSize] = *reinterpret_cast<uint8_t(*)[kFrameHeaderSize]>(run.record);
    BuildFrameHeader(frameHeader, geometry);
    auto* picture = reinterpret_cast<Pixel16*>(run.record + kFrameHeaderSize);
    uint8_t* const sound = run.record + kFrameHeaderSize + pictureBytes;

    run.file = files.create(files.user, info.savePath);
    if (!run.file) {
        result.outcome = ExportOutcome::CreateFailed;
        return result;
    }
    if (!run.Put(header, sizeof header)) {
        result.outcome = ExportOutcome::WriteFailed;
        return result;
    }

    const PictureConverter convert = SelectPictureConverter(settings.reduceMode);
    int64_t soundBytesBefore = 0;  // the previous frame's payload, to be cleared
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
        convert(run.state->picture, {source, info.width, info.height, picture, geometry.width, geometry.height, j,
                                     settings.gamma, settings.useIntensityBit});

        const AudioBytes payload = run.state->sound.ProduceFrame();
        PutBigEndian16(sound, static_cast<uint32_t>(payload.count));
        if (payload.count > 0) std::memcpy(sound + 2, payload.bytes, static_cast<std::size_t>(payload.count));
        if (soundBytesBefore > payload.count)
            std::memset(sound + 2 + payload.count, 0, static_cast<std::size_t>(soundBytesBefore - payload.count));
        soundBytesBefore = payload.count;
        if (!run.Put(run.record, blockSize)) {
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
    // A copy: the dialog and the blob entries may change the record while
    // the export runs, and that must not reach this export.
    const OutputSettings settings = Settings();
    return HostResult(ExportMovie(*info, settings).outcome);
}

}  // namespace kest
