#include "editor2_host.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace kest::wine {
namespace {

// The callbacks carry no context, as in the editor: the case being run, the
// project and the log in use are process-wide while they are.
struct Current {
    const ExportCase* c = nullptr;
    std::string* calls = nullptr;
    CasePictures pictures;
    std::vector<int16_t> sound;
    int32_t frame = -1;
    int32_t picturesAsked = 0;
};
Current current;
Project* project = nullptr;

void Note(const char* what, int32_t a, int32_t b) {
    *current.calls += std::string(what) + " " + std::to_string(a) + " " + std::to_string(b) + "\n";
}

void* GetVideo(int32_t frame, uint32_t format) {
    Note("video", frame, static_cast<int32_t>(format));
    current.frame = frame;
    ++current.picturesAsked;
    return const_cast<uint8_t*>(current.pictures.Of(*current.c, frame));
}

void* GetAudio(int32_t start, int32_t length, int32_t* read, uint32_t format) {
    Note("audio", start, length);
    // Only 16-bit PCM is what the 32-bit host delivers; anything else shows
    // as a line of its own.
    if (format != host2::kAudioPcm16) Note("audio-format", static_cast<int32_t>(format), 0);
    const int32_t total = CaseSoundLength(*current.c);
    const int32_t n = start < 0 || start >= total ? 0 : std::clamp(length, 0, total - start);
    CaseSound(*current.c, start, n, current.sound);
    if (read) *read = n;
    return current.sound.data();
}

bool IsAbort() {
    const int32_t cancel = current.c->cancelAtFrame;
    // Asked before anything of a frame is written: answering true once
    // `cancel` pictures were taken leaves exactly that many records.
    const int32_t answer = cancel >= 0 && current.picturesAsked >= cancel ? 1 : 0;
    Note("abort", current.frame, answer);
    return answer != 0;
}

void RestTimeDisplay(int32_t now, int32_t total) { Note("progress", now, total); }

void SetBufferSize(int32_t, int32_t) {}

// ---- the project file -------------------------------------------------

const char* GetParamString(const char* key) {
    project->calls.push_back(std::string("get-string ") + key);
    const Project::Entry* e = project->Find(key);
    static std::string text;
    if (!e) return nullptr;
    text.assign(e->bytes.begin(), e->bytes.end());
    return text.c_str();
}

void SetParamString(const char* key, const char* value) {
    project->calls.push_back(std::string("set-string ") + key);
    project->Set(key, value, std::strlen(value));
}

bool GetParamBinary(const char* key, void* data, int32_t size) {
    project->calls.push_back(std::string("get ") + key + " " + std::to_string(size));
    const Project::Entry* e = project->Find(key);
    if (!e || size < 0 || e->bytes.size() != static_cast<std::size_t>(size)) return false;
    std::memcpy(data, e->bytes.data(), e->bytes.size());
    return true;
}

void SetParamBinary(const char* key, const void* data, int32_t size) {
    project->calls.push_back(std::string("set ") + key + " " + std::to_string(size));
    if (size >= 0 && size <= 4096) project->Set(key, data, static_cast<std::size_t>(size));
}

void ClearParams() {
    project->calls.push_back("clear");
    project->entries.clear();
}

const wchar_t* GetProjectFilePath() { return nullptr; }

host2::ProjectFile projectFunctions = {GetParamString, SetParamString, GetParamBinary,
                                       SetParamBinary, ClearParams,    GetProjectFilePath};

// ---- the log ----------------------------------------------------------

Log* log = nullptr;

void LogOther(host2::LogHandle*, const wchar_t* message) { log->others.emplace_back(message); }
void LogWarn(host2::LogHandle*, const wchar_t* message) { log->warnings.emplace_back(message); }
void LogError(host2::LogHandle*, const wchar_t* message) { log->errors.emplace_back(message); }

host2::LogHandle logFunctions = {LogOther, LogOther, LogWarn, LogError, LogOther};

}  // namespace

const Project::Entry* Project::Find(const std::string& key) const {
    for (const Entry& e : entries)
        if (e.key == key) return &e;
    return nullptr;
}

void Project::Set(const std::string& key, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (Entry& e : entries) {
        if (e.key == key) {
            e.bytes.assign(bytes, bytes + size);
            return;
        }
    }
    entries.push_back({key, std::vector<uint8_t>(bytes, bytes + size)});
}

host2::ProjectFile* Project::Handle() {
    project = this;
    return &projectFunctions;
}

host2::LogHandle* Log::Handle() {
    log = this;
    return &logFunctions;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    std::FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
}

std::string ReadWholeFile(const std::wstring& path) {
    std::string out;
    std::FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return out;
    char block[65536];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, f)) > 0;) out.append(block, n);
    std::fclose(f);
    return out;
}

Case2Run RunCase2(const host2::OutputPluginTable& table, const ExportCase& c, const std::wstring& path) {
    Case2Run run;
    Project settings;
    settings.Set("settings", &c.settings, sizeof c.settings);
    run.loaded = table.loadProjectConfig(settings.Handle());

    host2::OutputInfo info{};
    info.flag = host2::kInfoVideo | (c.audioRate > 0 ? host2::kInfoAudio : 0);
    info.width = c.width;
    info.height = c.height;
    info.rate = c.rate;
    info.scale = c.scale;
    info.frameCount = c.frames;
    if (c.audioRate > 0) {
        info.audioRate = c.audioRate;
        info.audioChannels = c.audioChannels;
        info.audioSamples = CaseSoundLength(c);
    }
    info.savePath = path.c_str();
    info.getVideo = GetVideo;
    info.getAudio = GetAudio;
    info.isAbort = IsAbort;
    info.restTimeDisplay = RestTimeDisplay;
    info.setBufferSize = SetBufferSize;
    current = Current{};
    current.c = &c;
    current.calls = &run.calls;
    run.returned = table.output(&info);
    current = Current{};
    return run;
}

int RunAllCases2(const host2::OutputPluginTable& table, const std::wstring& folder) {
    int failures = 0;
    std::string results;
    for (const ExportCase& c : ExportCases()) {
        const std::wstring stem = folder + L"\\" + std::wstring(c.name.begin(), c.name.end());
        const std::wstring movie = stem + L".KTD";
        _wremove(movie.c_str());
        const Case2Run run = RunCase2(table, c, movie);
        results += c.name + " loadProjectConfig " + std::to_string(run.loaded) + " output " +
                   std::to_string(run.returned) + "\n";
        if (!WriteWholeFile(stem + L".calls", run.calls)) ++failures;
    }
    if (!WriteWholeFile(folder + L"\\results.txt", results)) ++failures;
    return failures;
}

}  // namespace kest::wine
