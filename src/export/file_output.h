// The three file operations the export needs, with the semantics of the
// Windows calls it was made for: create always (replacing any file, no
// sharing), a write that reports how many bytes it wrote (0 is failure, any
// other count is taken as complete), and close. Each gets the table's `user`
// pointer, so a host can keep what it learns about its files with it.
#pragma once

#include <cstdint>

namespace kest {

struct MovieFile;  // opaque, one per platform

struct FileOps {
    MovieFile* (*create)(void* user, const char* path);  // null on failure
    uint32_t (*write)(void* user, MovieFile* file, const void* bytes, uint32_t count);
    void (*close)(void* user, MovieFile* file);
    void* user = nullptr;
};

// The platform's own: CreateFileA/WriteFile/CloseHandle on Windows, POSIX
// open/write/close elsewhere. They take no user pointer.
const FileOps& PlatformFileOps();

}  // namespace kest
