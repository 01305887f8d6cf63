#include "editor_host.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace kest::wine {
namespace {

// The callbacks carry no context, as in the editor: the case being run is
// process-wide while it runs.
struct Current {
    const ExportCase* c = nullptr;
    std::string* calls = nullptr;
    CasePictures pictures;
    std::vector<int16_t> sound;
    int32_t frame = -1;
    int32_t picturesAsked = 0;
};
Current current;

void Log(const char* what, int32_t a, int32_t b) {
    *current.calls += std::string(what) + " " + std::to_string(a) + " " + std::to_string(b) + "\n";
}

bool WriteWhole(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
}

void* KEST_CDECL ReadVideo(int32_t frame, int32_t format) {
    Log("video", frame, format);
    current.frame = frame;
    ++current.picturesAsked;
    return const_cast<uint8_t*>(current.pictures.Of(*current.c, frame));
}

void* KEST_CDECL ReadAudio(int32_t start, int32_t count, int32_t* delivered) {
    Log("audio", start, count);
    const int32_t length = CaseSoundLength(*current.c);
    const int32_t n = start < 0 || start >= length ? 0 : std::clamp(count, 0, length - start);
    CaseSound(*current.c, start, n, current.sound);
    if (delivered) *delivered = n;
    return current.sound.data();
}

int32_t KEST_CDECL AbortRequested() {
    const int32_t cancel = current.c->cancelAtFrame;
    // Asked before anything of a frame is written: answering 1 once `cancel`
    // pictures were taken leaves exactly that many records.
    const int32_t answer = cancel >= 0 && current.picturesAsked >= cancel ? 1 : 0;
    Log("abort", current.frame, answer);
    return answer;
}

int32_t KEST_CDECL ShowProgress(int32_t frame, int32_t frameCount) {
    Log("progress", frame, frameCount);
    return 1;
}

int32_t KEST_CDECL UpdatePreview() {
    Log("preview", current.frame, 0);
    return 1;
}

}  // namespace

CaseRun RunCase(const OutputPluginTable& table, const ExportCase& c, const char* path) {
    CaseRun run;
    run.configSet = table.configSet(&c.settings, static_cast<int32_t>(sizeof c.settings));
    OutputInfo info = VideoRecord(c.width, c.height, c.rate, c.scale, c.frames, path,
                                  {ReadVideo, ReadAudio, AbortRequested, ShowProgress, UpdatePreview});
    if (c.audioRate > 0) AddRecordSound(info, c.audioRate, c.audioChannels, CaseSoundLength(c));
    current = Current{};
    current.c = &c;
    current.calls = &run.calls;
    run.returned = table.output(&info);
    current = Current{};
    return run;
}

TimedRun RunTimedCase(const OutputPluginTable& table, const std::string& path) {
    const ExportCase c = TimedCase();
    std::remove(path.c_str());
    const auto start = std::chrono::steady_clock::now();
    TimedRun timed{RunCase(table, c, path.c_str()), 0.0, c.frames};
    timed.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return timed;
}

int RunAllCases(const OutputPluginTable& table, const std::string& folder) {
    int failures = 0;
    std::string results;
    for (const ExportCase& c : ExportCases()) {
        const std::string stem = folder + "/" + c.name;
        const std::string movie = stem + ".KTD";
        std::remove(movie.c_str());
        const CaseRun run = RunCase(table, c, movie.c_str());
        results += c.name + " configSet " + std::to_string(run.configSet) + " output " +
                   std::to_string(run.returned) + "\n";
        if (!WriteWhole(stem + ".calls", run.calls)) ++failures;
    }
    if (!WriteWhole(folder + "/results.txt", results)) ++failures;
    return failures;
}

}  // namespace kest::wine
