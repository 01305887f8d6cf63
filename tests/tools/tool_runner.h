// Running the kest binary and the ffmpeg program from tests, and reading
// back what they wrote.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kest::testing {

struct ToolRun {
    int status = -1;  // exit status; -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs `kest` with `args` (no shell quoting needed).
ToolRun RunKest(const std::vector<std::string>& args);
// The same with standard input read from `input` (a file or a FIFO), and
// killed after `seconds` (status -1) should it hang.
ToolRun RunKestWithInput(const std::vector<std::string>& args, const std::string& input, int seconds = 120);
// Runs `kest` with its address space held to `bytes` (the shell's ulimit -v),
// so that a command which reads a whole large file into memory fails.
ToolRun RunKestWithin(uint64_t bytes, const std::vector<std::string>& args);
// Runs any program found on PATH.
ToolRun RunProgram(const std::string& program, const std::vector<std::string>& args);
// Runs the ffmpeg program; fails the test when it does not succeed.
void RunFfmpeg(const std::vector<std::string>& args);
// Runs `kest` with a terminal as its standard input and output, typing
// `typed` into it; what it printed on the terminal is in `out`.
ToolRun RunKestOnTerminal(const std::vector<std::string>& args, const std::string& typed);
// Runs `kest` with `args`, which make it stop itself (SIGSTOP) on the way;
// sends it `signal` while it is stopped, then lets it go on.
ToolRun RunKestSignalledWhenStopped(const std::vector<std::string>& args, int signal);
// The ffprobe program's answer for `entries` (as -show_entries takes them)
// of `path`, one value a line; empty when it cannot read the file.
std::string Probe(const std::string& path, const std::string& entries);

// A fresh, empty folder for one test, ending in '/'.
std::string ScratchDir();

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const void* bytes, std::size_t size);

// A picture file decoded by ffmpeg to RGB, 3 bytes a pixel, top row first.
std::vector<uint8_t> DecodeRgb(const std::string& path, int width, int height);

// The samples of a 16-bit PCM WAV file, with its rate and channels.
struct Wav {
    int rate = 0;
    int channels = 0;
    std::vector<int16_t> samples;
};
Wav ReadWav(const std::string& path);

// Raw top-down BGR24 frames and 16-bit sound muxed by ffmpeg without any
// conversion into `container` (a file name ending in .nut, .avi, ...).
void MuxRaw(const std::string& container, int width, int height, int fps, const std::vector<uint8_t>& bgrFrames,
            int audioRate, int channels, const std::vector<int16_t>& samples);

}  // namespace kest::testing
