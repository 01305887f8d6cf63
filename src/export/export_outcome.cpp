#include "export/export_outcome.h"

namespace kest {

const char* DescribeOutcome(ExportOutcome outcome) {
    switch (outcome) {
        case ExportOutcome::Completed: return "export completed";
        case ExportOutcome::Cancelled: return "export cancelled";
        case ExportOutcome::NoVideo: return "nothing to export: the source has no video";
        case ExportOutcome::Refused: return "export refused";
        case ExportOutcome::AllocationFailed: return "not enough memory for the export's buffers";
        case ExportOutcome::CreateFailed: return "the output file could not be created; check the folder and its permissions";
        case ExportOutcome::WriteFailed: return "writing the output file failed (disk full?); the file is incomplete";
        case ExportOutcome::NoPicture: return "the host delivered no picture for a frame; the file is incomplete";
    }
    return "unknown outcome";
}

const char* DescribeRefusal(RefusalReason reason) {
    switch (reason) {
        case RefusalReason::None: return "";
        case RefusalReason::FrameCount: return "the movie has no frames";
        case RefusalReason::PictureSize: return "the picture has no width or height";
        case RefusalReason::FrameRate: return "the frame rate is not a positive fraction";
        case RefusalReason::FrameRateTooLow: return "the frame rate is below 1/1.01 frames per second";
        case RefusalReason::AudioTooLarge:
            return "one frame's sound would exceed 65535 bytes; raise the frame rate or choose a smaller sound format";
        case RefusalReason::SavePath: return "the output path is missing or longer than 259 bytes";
        case RefusalReason::AudioRate: return "the sound has no sample rate";
        case RefusalReason::AudioChannels: return "the sound has no channels";
        case RefusalReason::AudioSamples: return "the sound has a negative length";
        case RefusalReason::AudioSampleBytes: return "the sound's sample frame size does not match 16-bit samples";
        case RefusalReason::MissingCallback: return "the host did not provide all of its callbacks";
    }
    return "unknown reason";
}

int32_t HostResult(ExportOutcome outcome) {
    switch (outcome) {
        case ExportOutcome::Completed:
        case ExportOutcome::Cancelled:
        case ExportOutcome::NoVideo:
            return 1;
        default:
            return 0;
    }
}

}  // namespace kest
