// The tool's host: fills OutputInfo from a FrameSource and answers the
// callbacks the way the editor does, then runs the plug-in's own export.
#pragma once

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
};

// Exports `source` to `path` with `settings`.
HostRun RunExport(FrameSource& source, const std::string& path, const OutputSettings& settings,
                  const HostOptions& options);

}  // namespace kest::tool
