// The two records that cross the boundary to the editor, laid out exactly as
// the 32-bit host holds them in memory. On 64-bit builds (tests, tools) the
// pointers are native, so only the 32-bit target pins the byte offsets.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define KEST_CDECL __cdecl
#else
#define KEST_CDECL
#endif

namespace kest {

// OutputInfo.flags
inline constexpr int32_t kFlagVideo = 1;
inline constexpr int32_t kFlagAudio = 2;

struct OutputInfo {
    int32_t flags;             // bit 0: video, bit 1: audio
    int32_t width;             // picture size that readVideo delivers
    int32_t height;
    int32_t rate;              // frames per second = rate / scale
    int32_t scale;
    int32_t frameCount;
    int32_t unused24;
    int32_t audioRate;         // Hz
    int32_t audioChannels;     // 1 mono; otherwise the first two are left/right
    int32_t audioSamples;      // sample frames in the host's audio
    int32_t audioSampleBytes;  // bytes per sample frame, all channels
    const char* savePath;      // ANSI path, at most 259 bytes
    int32_t unused48;
    // (first sample frame, count, out: delivered) -> delivered sample frames
    void*(KEST_CDECL* readAudio)(int32_t start, int32_t count, int32_t* delivered);
    int32_t(KEST_CDECL* abortRequested)();
    int32_t(KEST_CDECL* showProgress)(int32_t frame, int32_t frameCount);
    int32_t unused64;
    int32_t(KEST_CDECL* updatePreview)();
    // (frame index, format = 0) -> 24-bit BGR picture, bottom row first
    void*(KEST_CDECL* readVideo)(int32_t frame, int32_t format);
};

struct OutputPluginTable {
    int32_t flag;
    const char* name;
    const char* filter;
    const char* information;
    int32_t(KEST_CDECL* init)();
    int32_t(KEST_CDECL* exit)();
    int32_t(KEST_CDECL* output)(OutputInfo* info);
    int32_t(KEST_CDECL* config)(void* parentWindow, void* instance);
    int32_t(KEST_CDECL* configGet)(void* destination);
    int32_t(KEST_CDECL* configSet)(const void* source, int32_t size);
    int32_t reserved[16];
};

// The callbacks a host answers with.
struct HostCallbacks {
    void*(KEST_CDECL* readVideo)(int32_t frame, int32_t format);
    void*(KEST_CDECL* readAudio)(int32_t start, int32_t count, int32_t* delivered);
    int32_t(KEST_CDECL* abortRequested)();
    int32_t(KEST_CDECL* showProgress)(int32_t frame, int32_t frameCount);
    int32_t(KEST_CDECL* updatePreview)();
};

// The record of an export of `frameCount` pictures of width x height at
// rate / scale frames a second into `savePath`, without sound.
inline OutputInfo VideoRecord(int32_t width, int32_t height, int32_t rate, int32_t scale, int32_t frameCount,
                              const char* savePath, const HostCallbacks& callbacks) {
    OutputInfo info{};
    info.flags = kFlagVideo;
    info.width = width;
    info.height = height;
    info.rate = rate;
    info.scale = scale;
    info.frameCount = frameCount;
    info.savePath = savePath;
    info.readVideo = callbacks.readVideo;
    info.readAudio = callbacks.readAudio;
    info.abortRequested = callbacks.abortRequested;
    info.showProgress = callbacks.showProgress;
    info.updatePreview = callbacks.updatePreview;
    return info;
}

// The record's sound: `samples` sample frames of 16-bit samples, `channels`
// of them interleaved, at `audioRate` Hz.
inline void AddRecordSound(OutputInfo& info, int32_t audioRate, int32_t channels, int32_t samples) {
    info.flags |= kFlagAudio;
    info.audioRate = audioRate;
    info.audioChannels = channels;
    info.audioSampleBytes = 2 * channels;
    info.audioSamples = samples;
}

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(OutputPluginTable) == 104);
static_assert(offsetof(OutputPluginTable, name) == 4);
static_assert(offsetof(OutputPluginTable, filter) == 8);
static_assert(offsetof(OutputPluginTable, information) == 12);
static_assert(offsetof(OutputPluginTable, init) == 16);
static_assert(offsetof(OutputPluginTable, exit) == 20);
static_assert(offsetof(OutputPluginTable, output) == 24);
static_assert(offsetof(OutputPluginTable, config) == 28);
static_assert(offsetof(OutputPluginTable, configGet) == 32);
static_assert(offsetof(OutputPluginTable, configSet) == 36);
static_assert(offsetof(OutputPluginTable, reserved) == 40);

static_assert(offsetof(OutputInfo, width) == 4);
static_assert(offsetof(OutputInfo, height) == 8);
static_assert(offsetof(OutputInfo, rate) == 12);
static_assert(offsetof(OutputInfo, scale) == 16);
static_assert(offsetof(OutputInfo, frameCount) == 20);
static_assert(offsetof(OutputInfo, audioRate) == 28);
static_assert(offsetof(OutputInfo, audioChannels) == 32);
static_assert(offsetof(OutputInfo, audioSamples) == 36);
static_assert(offsetof(OutputInfo, audioSampleBytes) == 40);
static_assert(offsetof(OutputInfo, savePath) == 44);
static_assert(offsetof(OutputInfo, readAudio) == 52);
static_assert(offsetof(OutputInfo, abortRequested) == 56);
static_assert(offsetof(OutputInfo, showProgress) == 60);
static_assert(offsetof(OutputInfo, updatePreview) == 68);
static_assert(offsetof(OutputInfo, readVideo) == 72);
static_assert(sizeof(OutputInfo) == 76);
#endif

}  // namespace kest
