#include "output_target.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "tool_error.h"

namespace kest::tool {
namespace {

namespace fs = std::filesystem;

bool Identity(const std::string& path, struct stat& st) { return !path.empty() && ::stat(path.c_str(), &st) == 0; }

bool AskToOverwrite(const std::string& path) {
    std::fprintf(stderr, "File '%s' already exists. Overwrite? [y/N] ", path.c_str());
    std::fflush(stderr);
    char answer[64] = {};
    if (!std::fgets(answer, sizeof answer, stdin)) {
        std::fputc('\n', stderr);
        return false;
    }
    return answer[0] == 'y' || answer[0] == 'Y';
}

unsigned NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666u & ~static_cast<unsigned>(mask);
}

// `stem.partial.ext`, then `stem.partial-2.ext` and on while those exist.
std::string PartialName(const fs::path& target, int serial) {
    fs::path name = target.stem();
    name += serial == 1 ? ".partial" : ".partial-" + std::to_string(serial);
    name += target.extension();
    return (target.parent_path() / name).string();
}

}  // namespace

void AddOverwriteOptions(CLI::App& command, Overwrite& policy) {
    CLI::Option* yes = command.add_flag_callback(
        "-y,--overwrite", [&policy] { policy = Overwrite::Always; }, "replace an existing output file without asking");
    CLI::Option* no = command.add_flag_callback(
        "-n,--no-overwrite", [&policy] { policy = Overwrite::Never; }, "never replace an existing output file");
    yes->excludes(no);
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    return Identity(a, sa) && Identity(b, sb) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

OutputTarget::OutputTarget(std::string path, Overwrite policy, const std::vector<std::string>& inputs)
    : path_(std::move(path)), realPath_(path_) {
    for (const std::string& input : inputs)
        if (SameFile(path_, input))
            throw ToolError((input == path_ ? path_ + " is the input itself"
                                            : path_ + " is the same file as the input " + input) +
                            "; write the output to another file");

    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0) {
        mode_ = NewFileMode();
        return;
    }
    if (S_ISDIR(st.st_mode)) throw ToolError("cannot create " + path_ + ": it is a folder; name a file in it");
    // /dev/stdout and its kind name an open file, whatever it is.
    if (!S_ISREG(st.st_mode) || path_.rfind("/dev/", 0) == 0 || path_.rfind("/proc/", 0) == 0) {
        direct_ = true;
        return;
    }
    if (policy == Overwrite::Never) throw ToolError(path_ + " already exists and -n says not to replace it");
    if (policy == Overwrite::Ask) {
        if (!::isatty(STDIN_FILENO))
            throw ToolError(path_ + " already exists; add -y to replace it");
        if (!AskToOverwrite(path_)) throw ToolError(path_ + " already exists and was kept");
    }
    replaces_ = true;
    mode_ = st.st_mode & 07777u;
    // Replacing a symlink's target keeps the link, as writing through it would.
    struct stat link {};
    std::error_code error;
    if (::lstat(path_.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        const fs::path real = fs::canonical(path_, error);
        if (!error) realPath_ = real.string();
    }
}

OutputTarget::~OutputTarget() { Discard(); }

const std::string& OutputTarget::Open() {
    if (direct_) return path_;
    if (!temp_.empty()) return temp_;
    std::string name = realPath_ + ".kest-XXXXXX.tmp";
    const int fd = ::mkstemps(name.data(), 4);
    if (fd < 0) throw ToolError("cannot create " + path_ + ": " + std::strerror(errno));
    ::fchmod(fd, static_cast<mode_t>(mode_));
    ::close(fd);
    temp_ = name;
    return temp_;
}

void OutputTarget::Commit() {
    if (direct_ || temp_.empty()) return;
    if (::rename(temp_.c_str(), realPath_.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        Discard();
        throw ToolError("cannot put the finished file in place of " + path_ + ": " + why);
    }
    temp_.clear();
}

std::string OutputTarget::KeepPartial() {
    if (direct_ || temp_.empty()) return path_;
    if (!replaces_) {
        Commit();
        return path_;
    }
    // A hard link fails rather than replace a file that appeared meanwhile.
    for (int serial = 1; serial < 1000; ++serial) {
        const std::string name = PartialName(fs::path(realPath_), serial);
        if (::link(temp_.c_str(), name.c_str()) == 0) {
            ::unlink(temp_.c_str());
            temp_.clear();
            return name;
        }
        if (errno == EEXIST) continue;
        // A file system without hard links: the name was free a moment ago.
        struct stat st {};
        if (::lstat(name.c_str(), &st) == 0) continue;
        if (::rename(temp_.c_str(), name.c_str()) != 0) break;
        temp_.clear();
        return name;
    }
    std::string left = temp_;  // under its temporary name rather than lost
    temp_.clear();
    return left;
}

void OutputTarget::Discard() {
    if (temp_.empty()) return;
    ::unlink(temp_.c_str());
    temp_.clear();
}

std::optional<uint64_t> OutputTarget::FreeBytes() const {
    fs::path folder = fs::path(realPath_).parent_path();
    if (folder.empty()) folder = ".";
    struct statvfs vfs {};
    if (::statvfs(folder.c_str(), &vfs) != 0) return std::nullopt;
    return static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
}

}  // namespace kest::tool
