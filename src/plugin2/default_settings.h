// The settings a new project starts with: the last ones the user confirmed
// in the dialog, kept in a file of the plug-in's own (the 1016-byte record
// as it is).
#pragma once

#include <cstdint>
#include <string>

#include "settings/output_settings.h"

namespace kest::host2 {

// The file under the host's application-data folder.
std::wstring DefaultSettingsFile(const std::wstring& appDataFolder);

// False, leaving `settings` alone, when the file is missing, unreadable or
// not exactly one record long.
bool LoadDefaultSettings(const std::wstring& file, OutputSettings& settings);

// Writes a temporary file beside `file` and renames it over `file`, so that
// the old defaults stay whole until the new ones are. 0 on success, else the
// Windows error.
uint32_t SaveDefaultSettings(const std::wstring& file, const OutputSettings& settings);

}  // namespace kest::host2
