// The editor's side of an export, for any build of the module: it sets the
// settings record through the table, fills OutputInfo, answers the callbacks
// from an export case and writes down every call in order.
#pragma once

#include <cstdint>
#include <string>

#include "export_cases.h"
#include "base/host_records.h"

namespace kest::wine {

struct CaseRun {
    int32_t returned = -1;  // what the table's output entry returned
    int32_t configSet = -1;  // what configSet returned for the case's record
    std::string calls;      // one line per callback, in the order made
};

// Exports `c` to `path` through `table` (the settings record is replaced by
// the case's).
CaseRun RunCase(const OutputPluginTable& table, const ExportCase& c, const char* path);

struct TimedRun {
    CaseRun run;
    double seconds;  // wall clock of the output entry, the host's answers included
    int32_t frames;
};

// The timed case into `path`. Its two alternating pictures are made once,
// so the time is nearly all the exporter's.
TimedRun RunTimedCase(const OutputPluginTable& table, const std::string& path);

// Runs every case into `folder` (which must exist), writing `<name>.KTD`,
// `<name>.calls` and, at the end, `results.txt` with each case's return
// value. Returns the number of cases whose file could not be written.
int RunAllCases(const OutputPluginTable& table, const std::string& folder);

}  // namespace kest::wine
