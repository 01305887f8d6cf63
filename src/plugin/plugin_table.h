#pragma once

#include "base/host_records.h"

// The module's one export. The editor calls it after loading the module and
// keeps the address it returns.
extern "C" kest::OutputPluginTable* KEST_CDECL GetOutputPluginTable();
