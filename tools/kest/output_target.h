// Where a command's output goes, so that no command writes over its own
// input or leaves a user with less than they had. A result is written to a
// temporary file beside the target and takes the target's place only when it
// is complete; a device such as /dev/null is written directly. An existing
// file is replaced only with -y, never with -n, and otherwise after asking
// on a terminal, as ffmpeg does.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kest::tool {

enum class Overwrite { Ask, Always, Never };

// -y and -n on `command`; the choice lands in `policy`.
void AddOverwriteOptions(CLI::App& command, Overwrite& policy);

// True when `a` and `b` name the same existing file, through any link.
bool SameFile(const std::string& a, const std::string& b);

class OutputTarget {
public:
    // Checks `path` against each of `inputs` and the overwrite policy (asking
    // on a terminal); throws ToolError when it may not be written. Creates
    // nothing.
    OutputTarget(std::string path, Overwrite policy, const std::vector<std::string>& inputs = {});
    ~OutputTarget();  // removes a temporary file nobody took
    OutputTarget(const OutputTarget&) = delete;
    OutputTarget& operator=(const OutputTarget&) = delete;

    const std::string& Target() const { return path_; }
    bool Direct() const { return direct_; }      // a device, written in place
    bool Replaces() const { return replaces_; }  // a file stood there when checked

    // Creates the temporary file and returns the path to write (the target
    // itself when Direct). Throws ToolError("cannot create ...").
    const std::string& Open();

    // The complete result takes the target's place.
    void Commit();
    // An incomplete but valid result: into the target's place when nothing
    // stood there, otherwise beside it under a name that says so and that
    // no file has. Returns where it is now.
    std::string KeepPartial();
    // Removes the temporary file (never the target).
    void Discard();

    // Bytes free for an unprivileged writer on the target's file system, or
    // nothing when it cannot be told.
    std::optional<uint64_t> FreeBytes() const;

private:
    std::string path_;      // as the user named it
    std::string realPath_;  // where the file lands: the link's target for a symlink
    std::string temp_;
    bool direct_ = false;
    bool replaces_ = false;
    unsigned mode_ = 0;  // permissions the finished file gets
};

}  // namespace kest::tool
