#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "export/file_output.h"

namespace kest {
namespace {

MovieFile* Create(void*, const char* path) {
    int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    return reinterpret_cast<MovieFile*>(static_cast<intptr_t>(fd) + 1);
}

int Descriptor(MovieFile* file) { return static_cast<int>(reinterpret_cast<intptr_t>(file) - 1); }

// Loops over short writes so that a nonzero result always means the whole
// block is on its way, as WriteFile on a disk file reports it.
uint32_t Write(void*, MovieFile* file, const void* bytes, uint32_t count) {
    const auto* at = static_cast<const char*>(bytes);
    uint32_t done = 0;
    while (done < count) {
        ssize_t n = ::write(Descriptor(file), at + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return 0;
        done += static_cast<uint32_t>(n);
    }
    return done;
}

void Close(void*, MovieFile* file) { ::close(Descriptor(file)); }

constexpr FileOps kPosixOps = {Create, Write, Close, nullptr};

}  // namespace

const FileOps& PlatformFileOps() { return kPosixOps; }

}  // namespace kest
