#include "settings/config_dialog.h"

namespace kest {

// Native builds have no dialog: the tools set the settings through the blob.
int32_t KEST_CDECL ShowConfigDialog(void*, void*) { return 1; }

}  // namespace kest
