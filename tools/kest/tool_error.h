// Failures of the tool reach main as exceptions carrying the one line the
// user sees; main prints it and exits with the status it names.
#pragma once

#include <stdexcept>
#include <string>

namespace kest::tool {

inline constexpr int kExitFailure = 1;  // the work could not be done
inline constexpr int kExitUsage = 2;    // the command line is wrong

struct ToolError : std::runtime_error {
    int status;
    explicit ToolError(const std::string& message, int exitStatus = kExitFailure)
        : std::runtime_error(message), status(exitStatus) {}
};

inline ToolError UsageError(const std::string& message) { return ToolError(message, kExitUsage); }

}  // namespace kest::tool
