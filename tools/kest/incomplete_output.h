// Removing what a failed write left behind. Only a regular file is removed:
// an output may be a device such as /dev/null or /dev/full.
#pragma once

#include <filesystem>
#include <string>

namespace kest::tool {

// True when a file was removed.
inline bool RemoveIncomplete(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) && std::filesystem::remove(path, error);
}

}  // namespace kest::tool
