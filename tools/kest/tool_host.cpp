#include "tool_host.h"

#include <cerrno>
#include <cstring>

#include "export/file_output.h"
#include "export/movie_format.h"
#include "sound/audio_format.h"
#include "progress_line.h"

namespace kest::tool {
namespace {

// The callbacks are plain functions, so the run they serve lives here.
struct ActiveRun {
    FrameSource* source = nullptr;
    ProgressLine* progress = nullptr;
    int32_t cancelAtFrame = -1;
    int32_t failAtFrame = -1;
    int32_t stopAtFrame = -1;
    int32_t frame = 0;
    std::string fileError;
};
ActiveRun active;

void* KEST_CDECL ReadVideo(int32_t frame, int32_t) {
    return const_cast<uint8_t*>(active.source->Picture(frame));
}

void* KEST_CDECL ReadAudio(int32_t start, int32_t count, int32_t* delivered) {
    const int16_t* samples = active.source->Audio(start, count);
    if (delivered) *delivered = count;
    return const_cast<int16_t*>(samples);
}

int32_t KEST_CDECL AbortRequested() {
    if (!active.source->Failure().empty()) return 1;
    if (active.stopAtFrame >= 0 && active.frame >= active.stopAtFrame) {
        active.stopAtFrame = -1;
        StopForSignal();
    }
    return CancelRequested() || (active.cancelAtFrame >= 0 && active.frame >= active.cancelAtFrame);
}

int32_t KEST_CDECL ShowProgress(int32_t frame, int32_t frameCount) {
    active.frame = frame;
    active.progress->Show(frame, frameCount);
    return 0;
}

int32_t KEST_CDECL UpdatePreview() {
    ++active.frame;
    return 0;
}

// The platform's file calls, keeping the system's reason for a failure.
MovieFile* Create(const char* path) {
    errno = 0;
    MovieFile* file = PlatformFileOps().create(path);
    if (!file) active.fileError = std::strerror(errno);
    return file;
}

uint32_t Write(MovieFile* file, const void* bytes, uint32_t count) {
    if (active.failAtFrame >= 0 && active.frame >= active.failAtFrame) {
        active.fileError = std::string(std::strerror(ENOSPC)) + " (a failure made on request)";
        return 0;
    }
    errno = 0;
    const uint32_t written = PlatformFileOps().write(file, bytes, count);
    if (written == 0) active.fileError = errno ? std::strerror(errno) : "nothing was written";
    return written;
}

void Close(MovieFile* file) { PlatformFileOps().close(file); }

constexpr FileOps kToolFileOps = {Create, Write, Close};

// The record the editor would hand over for `shape`, without callbacks.
OutputInfo HostRecord(const SourceShape& shape) {
    OutputInfo info{};
    info.flags = kFlagVideo | (shape.hasAudio ? kFlagAudio : 0);
    info.width = shape.width;
    info.height = shape.height;
    info.rate = shape.rate;
    info.scale = shape.scale;
    info.frameCount = shape.frameCount;
    if (shape.hasAudio) {
        info.audioRate = shape.audioRate;
        info.audioChannels = shape.audioChannels;
        info.audioSamples = shape.audioSamples;
        info.audioSampleBytes = 2 * shape.audioChannels;
    }
    return info;
}

}  // namespace

std::optional<uint64_t> PlannedMovieBytes(const SourceShape& shape, const OutputSettings& settings) {
    OutputInfo info = HostRecord(shape);
    info.savePath = "";
    info.readVideo = ReadVideo;
    info.readAudio = ReadAudio;
    info.abortRequested = AbortRequested;
    info.showProgress = ShowProgress;
    info.updatePreview = UpdatePreview;
    if (CheckExportable(info, settings) != RefusalReason::None) return std::nullopt;
    const MovieGeometry geometry = ComputeGeometry(info.width, info.height, settings);
    const int64_t block = ComputeBlockSize(geometry.PictureBytes(), PlanAudio(info, settings.audioFormatIndex).maxAudioBytes);
    return static_cast<uint64_t>(kMovieHeaderSize) + static_cast<uint64_t>(info.frameCount) * static_cast<uint64_t>(block);
}

HostRun RunExport(FrameSource& source, const std::string& path, const HostOptions& options) {
    OutputInfo info = HostRecord(source.Shape());
    info.savePath = path.c_str();
    info.readVideo = ReadVideo;
    info.readAudio = ReadAudio;
    info.abortRequested = AbortRequested;
    info.showProgress = ShowProgress;
    info.updatePreview = UpdatePreview;

    ProgressLine progress(options.progress);
    active = ActiveRun{&source, &progress, options.cancelAtFrame, options.failAtFrame, options.stopAtFrame, 0, {}};
    CancelOnInterrupt interrupt;
    HostRun run;
    run.result = ExportMovie(info, options.files ? *options.files : kToolFileOps);
    progress.Finish();
    run.fileError = active.fileError;
    active = ActiveRun{};
    return run;
}

}  // namespace kest::tool
