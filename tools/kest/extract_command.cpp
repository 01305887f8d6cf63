#include "commands.h"

namespace kest::tool {
void AddExtractCommand(CLI::App&) {}
}  // namespace kest::tool
