// The settings dialog "CONFIG" (the same template as the 32-bit module's)
// driven through the Unicode functions.
#pragma once

namespace kest::host2 {

// Modal, owned by `parentWindow`; edits the process-wide settings when the
// user confirms. True when the user pressed OK.
bool ShowUnicodeConfigDialog(void* parentWindow);

}  // namespace kest::host2
