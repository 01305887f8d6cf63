// How one export ended. The editor only sees 1 or 0 from OutputMovie; hosts
// of our own use the outcome to tell their user exactly what happened.
#pragma once

#include <cstdint>

namespace kest {

enum class ExportOutcome {
    Completed,         // every frame written
    Cancelled,         // abortRequested said stop; the file ends after the last whole record
    NoVideo,           // the record has no video: nothing was done
    Refused,           // the record cannot be exported correctly; see RefusalReason
    AllocationFailed,  // a buffer could not be obtained; no file was created
    CreateFailed,      // the file could not be created
    WriteFailed,       // a write reported 0 bytes; the file holds what was written
    NoPicture,         // readVideo returned null; the file holds the records before it
};

enum class RefusalReason {
    None,
    FrameCount,        // frameCount <= 0
    PictureSize,       // width or height <= 0
    FrameRate,         // rate or scale <= 0
    FrameRateTooLow,   // below 1 / 1.01 frames per second: no tick count
    AudioTooLarge,     // a frame's audio would not fit the 16-bit length
    SavePath,          // null, or longer than 259 bytes
    AudioRate,         // audioRate <= 0
    AudioChannels,     // audioChannels <= 0
    AudioSamples,      // audioSamples < 0
    AudioSampleBytes,  // odd, or too small for the channels used
    MissingCallback,   // a callback the export calls is null
};

struct ExportResult {
    ExportOutcome outcome = ExportOutcome::Completed;
    RefusalReason reason = RefusalReason::None;
    int32_t framesWritten = 0;  // complete records in the file
};

// One sentence for a user: what happened and, for failures, what to do.
const char* DescribeOutcome(ExportOutcome outcome);
const char* DescribeRefusal(RefusalReason reason);

// 1 for what the editor should treat as done (completed, cancelled, no
// video), 0 for a failed export.
int32_t HostResult(ExportOutcome outcome);

}  // namespace kest
