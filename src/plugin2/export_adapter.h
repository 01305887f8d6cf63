// The one place where the 64-bit host's export record meets the core's
// export: everything else in this folder only talks to the host.
#pragma once

#include <cstdint>

#include "export/export_outcome.h"
#include "base/host_records.h"
#include "plugin2/host2_records.h"

namespace kest::host2 {

struct HostExport {
    ExportResult result;
    kest::OutputInfo record{};  // what the core was given, for describing a refusal
    uint32_t systemError = 0;  // the Windows error of the create or write that failed; 0 otherwise
};

// Runs one export of `info` with the process-wide settings, writing to
// info.savePath (any length) through CreateFileW.
HostExport ExportForHost(const OutputInfo& info);

}  // namespace kest::host2
