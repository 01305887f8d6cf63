// The tool's host: fills OutputInfo from a FrameSource and answers the
// callbacks the way the editor does, then runs the plug-in's own export.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "export/export_driver.h"
#include "frame_source.h"

namespace kest::tool {

struct HostRun {
    ExportResult result;
    std::string fileError;  // the system's reason when creating or writing the file failed
};

struct HostOptions {
    bool progress = true;       // a progress line on a terminal
    int32_t cancelAtFrame = -1; // abortRequested says stop at this frame (tests)
    int32_t failAtFrame = -1;   // writes fail as on a full disk from this frame on (tests)
    int32_t stopAtFrame = -1;   // the process stops itself (SIGSTOP) before this frame (tests)
    const FileOps* files = nullptr;  // where the movie goes; null: the file at the path
};

// The movie's exact size in bytes, header and every record, as the export of
// `shape` with `settings` would write it; nothing when it would be refused.
std::optional<uint64_t> PlannedMovieBytes(const SourceShape& shape, const OutputSettings& settings);

// Exports `source` to `path` with `settings`.
HostRun RunExport(FrameSource& source, const std::string& path, const OutputSettings& settings,
                  const HostOptions& options);

}  // namespace kest::tool
