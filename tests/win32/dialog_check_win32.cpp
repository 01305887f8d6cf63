#include "dialog_check_win32.h"

namespace kest::wine {

void RunDialogChecks(Report& report, const OutputPluginTable& table, HMODULE module, const char* screenshot) {
    (void)table;
    (void)module;
    (void)screenshot;
    report.Check(false, "dialog", "not written yet");
}

}  // namespace kest::wine
