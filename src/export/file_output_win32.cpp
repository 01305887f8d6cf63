#include <windows.h>

#include "export/file_output.h"

namespace kest {
namespace {

MovieFile* Create(void*, const char* path) {
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? nullptr : reinterpret_cast<MovieFile*>(h);
}

uint32_t Write(void*, MovieFile* file, const void* bytes, uint32_t count) {
    DWORD written = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(file), bytes, count, &written, nullptr)) return 0;
    return written;
}

void Close(void*, MovieFile* file) { CloseHandle(reinterpret_cast<HANDLE>(file)); }

constexpr FileOps kWin32Ops = {Create, Write, Close, nullptr};

}  // namespace

const FileOps& PlatformFileOps() { return kWin32Ops; }

}  // namespace kest
