// One export, from the host's record to the closed file.
#pragma once

#include "base/host_records.h"
#include "export/export_outcome.h"
#include "export/file_output.h"
#include "settings/output_settings.h"

namespace kest {

// Why `info` cannot be exported with `settings` as they stand, or None.
// Looks only at the record and the settings: no callback, no allocation.
RefusalReason CheckExportable(const OutputInfo& info, const OutputSettings& settings);

// Runs one export with `settings`, writing through `files`. Everything the
// run carries from frame to frame belongs to it and is taken from the heap
// before the file is created.
ExportResult ExportMovie(const OutputInfo& info, const OutputSettings& settings,
                         const FileOps& files = PlatformFileOps());

// The table's output entry: exports with a copy of the process-wide settings
// record, taken at the call. 1 when the export completed, was cancelled or
// had no video; 0 when it failed or was refused.
int32_t KEST_CDECL OutputMovie(OutputInfo* info);

}  // namespace kest
