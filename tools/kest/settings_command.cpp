#include "commands.h"

namespace kest::tool {
void AddSettingsCommand(CLI::App&) {}
}  // namespace kest::tool
