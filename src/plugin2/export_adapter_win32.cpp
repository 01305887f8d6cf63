#include <windows.h>

#include <string>

#include "export/export_driver.h"
#include "plugin2/export_adapter.h"
#include "settings/output_settings.h"

namespace kest::host2 {
namespace {

// The core's callbacks carry no context, as in the 32-bit generation: the
// host's record of the export in progress is process-wide while it runs.
const OutputInfo* host = nullptr;

// What the file calls need and learn, reached through the table's user pointer.
struct WideFile {
    std::wstring path;  // in the form CreateFileW takes at any length
    DWORD lastError = 0;
};

void* ReadVideo(int32_t frame, int32_t) { return host->getVideo(frame, kVideoDib24); }

void* ReadAudio(int32_t start, int32_t count, int32_t* delivered) {
    return host->getAudio(start, count, delivered, kAudioPcm16);
}

int32_t AbortRequested() { return host->isAbort() ? 1 : 0; }

int32_t ShowProgress(int32_t frame, int32_t frameCount) {
    host->restTimeDisplay(frame, frameCount);
    return 1;
}

// This host refreshes its preview by itself.
int32_t UpdatePreview() { return 1; }

// Paths beyond MAX_PATH only open with the \\?\ prefix, which in turn takes
// no relative parts and no forward slashes: the full path first.
std::wstring ExtendedPath(const wchar_t* path) {
    const DWORD needed = GetFullPathNameW(path, 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path, needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return path;
    full.resize(length);
    if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0) return full;
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

MovieFile* Create(void* user, const char*) {
    WideFile& target = *static_cast<WideFile*>(user);
    HANDLE h = CreateFileW(target.path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        target.lastError = GetLastError();
        return nullptr;
    }
    return reinterpret_cast<MovieFile*>(h);
}

// The whole block or 0: a short write goes on until the system refuses.
uint32_t Write(void* user, MovieFile* file, const void* bytes, uint32_t count) {
    WideFile& target = *static_cast<WideFile*>(user);
    const auto* at = static_cast<const char*>(bytes);
    uint32_t done = 0;
    while (done < count) {
        DWORD written = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(file), at + done, count - done, &written, nullptr)) {
            target.lastError = GetLastError();
            return 0;
        }
        // Nothing written and no error: the disk takes no more.
        if (written == 0) {
            target.lastError = ERROR_DISK_FULL;
            return 0;
        }
        done += written;
    }
    return done;
}

void Close(void*, MovieFile* file) { CloseHandle(reinterpret_cast<HANDLE>(file)); }

// The core checks the narrow path's presence and length only; the file is
// opened from the wide path above.
constexpr char kPathStandIn[] = "savefile";

}  // namespace

HostExport ExportForHost(const OutputInfo& info) {
    HostExport out;
    kest::OutputInfo& record = out.record;
    record.flags = (info.flag & kInfoVideo ? kFlagVideo : 0) | (info.flag & kInfoAudio ? kFlagAudio : 0);
    record.width = info.width;
    record.height = info.height;
    record.rate = info.rate;
    record.scale = info.scale;
    record.frameCount = info.frameCount;
    record.audioRate = info.audioRate;
    record.audioChannels = info.audioChannels;
    record.audioSamples = info.audioSamples;
    // 16-bit samples, every channel: this host's sample frame.
    record.audioSampleBytes = info.audioChannels > 0 && info.audioChannels < 0x40000000 ? info.audioChannels * 2 : 0;
    record.savePath = info.savePath ? kPathStandIn : nullptr;
    record.readVideo = info.getVideo ? ReadVideo : nullptr;
    record.readAudio = info.getAudio ? ReadAudio : nullptr;
    record.abortRequested = info.isAbort ? AbortRequested : nullptr;
    record.showProgress = info.restTimeDisplay ? ShowProgress : nullptr;
    record.updatePreview = UpdatePreview;

    host = &info;
    WideFile target;
    if (info.savePath) target.path = ExtendedPath(info.savePath);
    const FileOps files = {Create, Write, Close, &target};
    // A copy taken at the call: the dialog editing the record meanwhile does
    // not reach this export.
    const OutputSettings settings = Settings();
    out.result = ExportMovie(record, settings, files);
    const bool fileFailed =
        out.result.outcome == ExportOutcome::CreateFailed || out.result.outcome == ExportOutcome::WriteFailed;
    out.systemError = fileFailed ? target.lastError : 0;
    host = nullptr;
    return out;
}

}  // namespace kest::host2
