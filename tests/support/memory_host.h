// A host that lives in memory: it fills OutputInfo the way the editor does,
// answers the callbacks from vectors, and records every call in order.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "export/export_driver.h"
#include "settings/output_settings.h"
#include "base/host_records.h"

namespace kest::testing {

enum class Callback { Abort, Progress, Video, Audio, Preview };

struct CallRecord {
    Callback callback;
    int32_t a = 0;  // frame index, or first sample frame
    int32_t b = 0;  // frameCount, or count of sample frames
};

// 24-bit BGR, bottom row first, rows padded to 4 bytes.
std::vector<uint8_t> FlatPicture(int32_t width, int32_t height, uint8_t blue, uint8_t green, uint8_t red);

class MemoryHost {
public:
    MemoryHost(int32_t width, int32_t height, int32_t frameCount);
    ~MemoryHost();
    MemoryHost(const MemoryHost&) = delete;
    MemoryHost& operator=(const MemoryHost&) = delete;

    // The record as the driver receives it; change fields freely before Run.
    OutputInfo info{};
    // The settings the export runs with: the process-wide record as it
    // stands when the host is made, as the editor would hand it over.
    // RunThroughTable puts them back into that record first, through the
    // blob, since the table's entry reads them from there.
    OutputSettings settings = Settings();

    // Picture of each frame; defaults to flat mid grey.
    std::function<std::vector<uint8_t>(int32_t frame)> picture;
    // Host sound, interleaved 16-bit samples; enables the audio bit.
    void SetAudio(int32_t rate, int32_t channels, std::vector<int16_t> samples);

    int32_t cancelAtFrame = -1;     // abortRequested answers 1 at this frame
    int32_t nullPictureAtFrame = -1;  // readVideo answers null at this frame

    std::vector<CallRecord> calls;
    std::string path;  // the save path, a fresh file in the test's temp folder

    ExportResult Run(const FileOps& files = PlatformFileOps());
    int32_t RunThroughTable();  // through GetOutputPluginTable()->output
    std::vector<uint8_t> FileBytes() const;
    bool FileExists() const;
    int Count(Callback callback) const;

private:
    static MemoryHost* current;
    static void* KEST_CDECL ReadVideo(int32_t frame, int32_t format);
    static void* KEST_CDECL ReadAudio(int32_t start, int32_t count, int32_t* delivered);
    static int32_t KEST_CDECL AbortRequested();
    static int32_t KEST_CDECL ShowProgress(int32_t frame, int32_t frameCount);
    static int32_t KEST_CDECL UpdatePreview();

    std::vector<uint8_t> lastPicture_;
    std::vector<int16_t> audio_;
    std::vector<int16_t> lastAudio_;
    int32_t currentFrame_ = -1;
};

}  // namespace kest::testing
