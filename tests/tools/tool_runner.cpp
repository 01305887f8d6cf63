#include "tool_runner.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace kest::testing {
namespace {

std::string Quote(const std::string& text) {
    std::string q = "'";
    for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ToolRun Run(const std::string& program, const std::vector<std::string>& args, const std::string& input = "/dev/null",
            int seconds = 0, const std::string& prefix = {}) {
    const std::string dir = ScratchDir();
    std::string command = prefix + (seconds > 0 ? "timeout -k 5 " + std::to_string(seconds) + " " + Quote(program) : Quote(program));
    for (const auto& a : args) command += " " + Quote(a);
    command += " >" + Quote(dir + "out") + " 2>" + Quote(dir + "err") + " <" + Quote(input);
    const int raw = std::system(command.c_str());
    ToolRun run;
    run.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ReadText(dir + "out");
    run.err = ReadText(dir + "err");
    return run;
}

}  // namespace

ToolRun RunKest(const std::vector<std::string>& args) { return Run(KEST_TOOL, args); }

ToolRun RunKestWithInput(const std::vector<std::string>& args, const std::string& input, int seconds) {
    ToolRun run = Run(KEST_TOOL, args, input, seconds);
    if (run.status == 124 || run.status == 137) run.status = -1;  // timeout's own: the tool hung
    return run;
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KEST_TESTS_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define KEST_TESTS_UNDER_ASAN 1
#endif

ToolRun RunKestWithin(uint64_t bytes, const std::vector<std::string>& args) {
#ifdef KEST_TESTS_UNDER_ASAN
    // AddressSanitizer reserves terabytes of address space for its shadow,
    // so a limit on it cannot be set; the commands run unlimited there.
    (void)bytes;
    return Run(KEST_TOOL, args);
#else
    return Run(KEST_TOOL, args, "/dev/null", 0, "ulimit -v " + std::to_string(bytes / 1024) + " && ");
#endif
}

ToolRun RunProgram(const std::string& program, const std::vector<std::string>& args) { return Run(program, args); }

void RunFfmpeg(const std::vector<std::string>& args) {
    std::vector<std::string> all = {"-hide_banner", "-loglevel", "error", "-y"};
    all.insert(all.end(), args.begin(), args.end());
    const ToolRun run = Run(KEST_FFMPEG, all);
    ASSERT_EQ(run.status, 0) << run.err;
}

ToolRun RunKestOnTerminal(const std::vector<std::string>& args, const std::string& typed) {
    std::string command = Quote(KEST_TOOL);
    for (const auto& a : args) command += " " + Quote(a);
    const std::string dir = ScratchDir();
    WriteBytes(dir + "typed", typed.data(), typed.size());
    // script(1) runs the command on a pseudo-terminal of its own.
    const std::string shell = "script -qec " + Quote(command) + " /dev/null <" + Quote(dir + "typed") + " >" +
                              Quote(dir + "out") + " 2>&1";
    const int raw = std::system(shell.c_str());
    ToolRun run;
    run.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ReadText(dir + "out");
    return run;
}

ToolRun RunKestSignalledWhenStopped(const std::vector<std::string>& args, int signal) {
    const std::string dir = ScratchDir();
    std::vector<std::string> argv = {KEST_TOOL};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& a : argv) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    const std::string out = dir + "out", err = dir + "err";
    const pid_t child = ::fork();
    if (child == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(in, 0), ::dup2(o, 1), ::dup2(e, 2);
        ::execv(KEST_TOOL, pointers.data());
        ::_exit(127);
    }
    ToolRun run;
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, WUNTRACED) != child) return run;
    if (WIFSTOPPED(status)) {
        ::kill(child, signal);
        ::kill(child, SIGCONT);
        if (::waitpid(child, &status, 0) != child) return run;
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadText(out);
    run.err = ReadText(err);
    return run;
}

std::string Probe(const std::string& path, const std::string& entries) {
    std::string ffprobe = KEST_FFMPEG;
    ffprobe.replace(ffprobe.rfind("ffmpeg"), 6, "ffprobe");
    const ToolRun run = Run(ffprobe, {"-v", "error", "-count_frames", "-show_entries", entries, "-of", "default=nw=1:nk=1", path});
    return run.status == 0 ? run.out : std::string();
}

std::string ScratchDir() {
    static std::atomic<int> serial{0};
    const std::string dir = ::testing::TempDir() + "kest_tool_" + std::to_string(::getpid()) + "_" +
                            std::to_string(serial++) + "/";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const void* bytes, std::size_t size) {
    std::ofstream out(path, std::ios::binary);
    out.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
}

std::vector<uint8_t> DecodeRgb(const std::string& path, int width, int height) {
    const std::string raw = path + ".rgb";
    RunFfmpeg({"-i", path, "-f", "rawvideo", "-pix_fmt", "rgb24", raw});
    std::vector<uint8_t> rgb = ReadBytes(raw);
    EXPECT_EQ(rgb.size(), static_cast<std::size_t>(width) * height * 3) << path;
    return rgb;
}

Wav ReadWav(const std::string& path) {
    const std::vector<uint8_t> b = ReadBytes(path);
    auto u32 = [&](std::size_t at) { return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24; };
    Wav wav;
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(&b[8], "WAVE", 4) != 0) {
        ADD_FAILURE() << path << " is not a WAV file";
        return wav;
    }
    for (std::size_t at = 12; at + 8 <= b.size();) {
        const uint32_t size = u32(at + 4);
        if (std::memcmp(&b[at], "fmt ", 4) == 0) {
            wav.channels = b[at + 10] | b[at + 11] << 8;
            wav.rate = static_cast<int>(u32(at + 12));
        } else if (std::memcmp(&b[at], "data", 4) == 0) {
            const std::size_t count = std::min<std::size_t>(size, b.size() - at - 8) / 2;
            for (std::size_t i = 0; i < count; ++i)
                wav.samples.push_back(static_cast<int16_t>(b[at + 8 + 2 * i] | b[at + 9 + 2 * i] << 8));
            break;
        }
        at += 8 + size + (size & 1);
    }
    return wav;
}

void MuxRaw(const std::string& container, int width, int height, int fps, const std::vector<uint8_t>& bgrFrames,
            int audioRate, int channels, const std::vector<int16_t>& samples) {
    const std::string video = container + ".bgr", audio = container + ".pcm";
    WriteBytes(video, bgrFrames.data(), bgrFrames.size());
    WriteBytes(audio, samples.data(), samples.size() * sizeof(int16_t));
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    RunFfmpeg({"-f", "rawvideo", "-pix_fmt", "bgr24", "-s", size, "-r", std::to_string(fps), "-i", video, "-f", "s16le",
               "-ar", std::to_string(audioRate), "-ac", std::to_string(channels), "-i", audio, "-c:v", "rawvideo",
               "-pix_fmt", "bgr24", "-c:a", "pcm_s16le", container});
}

}  // namespace kest::testing
