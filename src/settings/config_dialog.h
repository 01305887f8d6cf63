// The table's config entry: the modal settings dialog "CONFIG".
#pragma once

#include "base/host_records.h"

namespace kest {

// Shows the dialog owned by `parentWindow`, from the template in `instance`,
// and edits the process-wide settings when the user confirms. Always 1.
// Without a window system (native builds) it shows nothing.
int32_t KEST_CDECL ShowConfigDialog(void* parentWindow, void* instance);

}  // namespace kest
