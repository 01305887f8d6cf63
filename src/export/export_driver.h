// One export, from the host's record to the closed file.
#pragma once

#include "export/export_outcome.h"
#include "export/file_output.h"
#include "plugin/host_records.h"
#include "settings/output_settings.h"

namespace kest {

// Why `info` cannot be exported with `settings` as they stand, or None.
// Looks only at the record and the settings: no callback, no allocation.
RefusalReason CheckExportable(const OutputInfo& info, const OutputSettings& settings);

// Runs the export with the process-wide settings, writing through `files`.
ExportResult ExportMovie(const OutputInfo& info, const FileOps& files = PlatformFileOps());

// The table's output entry: 1 when the export completed, was cancelled or
// had no video; 0 when it failed or was refused.
int32_t KEST_CDECL OutputMovie(OutputInfo* info);

}  // namespace kest
