// What the user reads in the host's log when an export fails: the host
// itself only reports that the output did not succeed.
#pragma once

#include <cstdint>
#include <string>

#include "export/export_outcome.h"
#include "base/host_records.h"
#include "settings/output_settings.h"

namespace kest::host2 {

// One plain Japanese paragraph (UTF-8) saying what went wrong and what to
// do; empty for the outcomes that are no failure (completed, cancelled, no
// video). `path` is the save path in UTF-8, `systemError` the Windows error
// of the file operation that failed.
std::string DescribeFailure(const ExportResult& result, const kest::OutputInfo& record, const OutputSettings& settings,
                            const std::string& path, uint32_t systemError);

// The sound formats whose frames fit the record at its frame rate, as the
// dialog lists them, joined by "、"; empty when none does.
std::string FittingAudioFormats(const kest::OutputInfo& record);

// A dialog list text with its runs of spaces made single.
std::string CompactLabel(const char* label);

}  // namespace kest::host2
