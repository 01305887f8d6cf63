// The three file operations the export needs, with the semantics of the
// Windows calls it was made for: create always (replacing any file, no
// sharing), a write that reports how many bytes it wrote (0 is failure, any
// other count is taken as complete), and close.
#pragma once

#include <cstdint>

namespace kest {

struct MovieFile;  // opaque, one per platform

struct FileOps {
    MovieFile* (*create)(const char* path);  // null on failure
    uint32_t (*write)(MovieFile* file, const void* bytes, uint32_t count);
    void (*close)(MovieFile* file);
};

// The platform's own: CreateFileA/WriteFile/CloseHandle on Windows, POSIX
// open/write/close elsewhere.
const FileOps& PlatformFileOps();

}  // namespace kest
