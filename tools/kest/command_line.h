// The command names before CLI11 sees them: `kest help COMMAND` as
// `kest COMMAND --help`, and a mistyped command answered with the nearest one.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace kest::tool {

// "help export" becomes "export --help", "help" alone "--help".
std::vector<std::string> ExpandHelpCommand(std::vector<std::string> args);

// Throws a usage error for an argument where a command (or a command's
// subcommand) is required that names none: "unknown command 'exprot'; did
// you mean 'export'?".
void CheckCommandNames(CLI::App& app, const std::vector<std::string>& args);

// Edits between two words, a swap of neighbours counting as one.
std::size_t EditDistance(const std::string& a, const std::string& b);

}  // namespace kest::tool
