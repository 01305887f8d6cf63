// The 64-bit module's settings dialog, driven as a user would from a second
// thread while the first waits in the module's modal loop. Texts cross the
// Unicode functions.
#pragma once

#include <windows.h>

#include "check_report.h"
#include "plugin2/host2_records.h"

namespace kest::wine {

// The open settings dialog of this process, once it is visible; else null.
HWND FindConfigDialog();

// `screenshot`: when not null, a picture of the open dialog is saved there.
void RunDialog2Checks(Report& report, const host2::OutputPluginTable& table, const wchar_t* screenshot);

}  // namespace kest::wine
