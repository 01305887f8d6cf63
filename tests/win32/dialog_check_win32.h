// The settings dialog of the loaded module, driven as a user would from a
// second thread while the first waits in the module's modal loop.
#pragma once

#include <windows.h>

#include "check_report.h"
#include "base/host_records.h"

namespace kest::wine {

// `screenshot`: when not null, a picture of the open dialog is saved there.
void RunDialogChecks(Report& report, const OutputPluginTable& table, HMODULE module, const char* screenshot);

}  // namespace kest::wine
