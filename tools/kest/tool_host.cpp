#include "tool_host.h"

#include <cerrno>
#include <cstring>

#include "export/file_output.h"
#include "format/movie_format.h"
#include "sound/audio_format.h"
#include "progress_line.h"

namespace kest::tool {
namespace {

// The editor's callbacks carry no context, so the run they serve lives here.
struct ActiveRun {
    FrameSource* source = nullptr;
    ProgressLine* progress = nullptr;
    int32_t cancelAtFrame = -1;
    int32_t stopAtFrame = -1;
    int32_t frame = 0;
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

// What the file calls learn, reached through the table's user pointer.
struct FileState {
    std::string error;         // the system's reason for a failure
    int32_t failAtFrame = -1;  // writes fail from this frame on (tests)
};

MovieFile* Create(void* user, const char* path) {
    errno = 0;
    MovieFile* file = PlatformFileOps().create(nullptr, path);
    if (!file) static_cast<FileState*>(user)->error = std::strerror(errno);
    return file;
}

uint32_t Write(void* user, MovieFile* file, const void* bytes, uint32_t count) {
    FileState& state = *static_cast<FileState*>(user);
    if (state.failAtFrame >= 0 && active.frame >= state.failAtFrame) {
        state.error = std::string(std::strerror(ENOSPC)) + " (a failure made on request)";
        return 0;
    }
    errno = 0;
    const uint32_t written = PlatformFileOps().write(nullptr, file, bytes, count);
    if (written == 0) state.error = errno ? std::strerror(errno) : "nothing was written";
    return written;
}

void Close(void*, MovieFile* file) { PlatformFileOps().close(nullptr, file); }

// The record the editor would hand over for `shape`, saved to `path`.
OutputInfo HostRecord(const SourceShape& shape, const char* path) {
    OutputInfo info = VideoRecord(shape.width, shape.height, shape.rate, shape.scale, shape.frameCount, path,
                                  {ReadVideo, ReadAudio, AbortRequested, ShowProgress, UpdatePreview});
    if (shape.hasAudio) AddRecordSound(info, shape.audioRate, shape.audioChannels, shape.audioSamples);
    return info;
}

}  // namespace

std::optional<uint64_t> PlannedMovieBytes(const SourceShape& shape, const OutputSettings& settings) {
    const OutputInfo info = HostRecord(shape, "");
    if (CheckExportable(info, settings) != RefusalReason::None) return std::nullopt;
    const MovieGeometry geometry = ComputeGeometry(info.width, info.height, settings);
    const int64_t block = ComputeBlockSize(geometry.PictureBytes(), PlanAudio(info, settings.audioFormatIndex).maxAudioBytes);
    return static_cast<uint64_t>(kMovieHeaderSize) + static_cast<uint64_t>(info.frameCount) * static_cast<uint64_t>(block);
}

HostRun RunExport(FrameSource& source, const std::string& path, const OutputSettings& settings,
                  const HostOptions& options) {
    const OutputInfo info = HostRecord(source.Shape(), path.c_str());
    ProgressLine progress(options.progress);
    active = ActiveRun{&source, &progress, options.cancelAtFrame, options.stopAtFrame, 0};
    CancelOnInterrupt interrupt;
    FileState state;
    state.failAtFrame = options.failAtFrame;
    const FileOps files = {Create, Write, Close, &state};
    HostRun run;
    run.result = ExportMovie(info, settings, options.files ? *options.files : files);
    progress.Finish();
    run.fileError = state.error;
    active = ActiveRun{};
    return run;
}

}  // namespace kest::tool
