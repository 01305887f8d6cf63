// The subcommands. Each adds itself to the application and runs when chosen;
// failures are thrown as ToolError.
#pragma once

#include <CLI/CLI.hpp>

namespace kest::tool {

void AddExportCommand(CLI::App& app);
void AddInfoCommand(CLI::App& app);
void AddExtractCommand(CLI::App& app);
void AddSettingsCommand(CLI::App& app);
void AddCompareCommand(CLI::App& app);

}  // namespace kest::tool
