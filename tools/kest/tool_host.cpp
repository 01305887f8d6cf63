#include "tool_host.h"

#include <cerrno>
#include <cstring>

#include "export/file_output.h"
#include "progress_line.h"

namespace kest::tool {
namespace {

// The callbacks are plain functions, so the run they serve lives here.
struct ActiveRun {
    FrameSource* source = nullptr;
    ProgressLine* progress = nullptr;
    int32_t cancelAtFrame = -1;
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

// The platform's file calls, keeping the system's reason for a failure in
// the string the user pointer names.
MovieFile* Create(void* user, const char* path) {
    errno = 0;
    MovieFile* file = PlatformFileOps().create(nullptr, path);
    if (!file) *static_cast<std::string*>(user) = std::strerror(errno);
    return file;
}

uint32_t Write(void* user, MovieFile* file, const void* bytes, uint32_t count) {
    errno = 0;
    const uint32_t written = PlatformFileOps().write(nullptr, file, bytes, count);
    if (written == 0) *static_cast<std::string*>(user) = errno ? std::strerror(errno) : "nothing was written";
    return written;
}

void Close(void*, MovieFile* file) { PlatformFileOps().close(nullptr, file); }

}  // namespace

HostRun RunExport(FrameSource& source, const std::string& path, const OutputSettings& settings,
                  const HostOptions& options) {
    const SourceShape& shape = source.Shape();
    OutputInfo info = VideoRecord(shape.width, shape.height, shape.rate, shape.scale, shape.frameCount, path.c_str(),
                                  {ReadVideo, ReadAudio, AbortRequested, ShowProgress, UpdatePreview});
    if (shape.hasAudio) AddRecordSound(info, shape.audioRate, shape.audioChannels, shape.audioSamples);

    ProgressLine progress(options.progress);
    active = ActiveRun{&source, &progress, options.cancelAtFrame, 0};
    CancelOnInterrupt interrupt;
    HostRun run;
    const FileOps files = {Create, Write, Close, &run.fileError};
    run.result = ExportMovie(info, settings, files);
    progress.Finish();
    active = ActiveRun{};
    return run;
}

}  // namespace kest::tool
