// The records that cross the boundary to the editor's 64-bit generation,
// laid out as that host holds them. x64 has one calling convention, so the
// entries carry none; text is UTF-16 wherever names and paths are exchanged,
// and keys of the project file are UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kest::host2 {

// Table.flag
inline constexpr int32_t kTableVideo = 1;
inline constexpr int32_t kTableAudio = 2;
inline constexpr int32_t kTableStillImageOnly = 4;
inline constexpr int32_t kTableProjectSettings = 8;

// OutputInfo.flag
inline constexpr int32_t kInfoVideo = 1;
inline constexpr int32_t kInfoAudio = 2;

// Formats for getVideo and getAudio.
inline constexpr uint32_t kVideoDib24 = 0;  // BI_RGB: 24-bit, bottom row first, rows padded to 4 bytes
inline constexpr uint32_t kAudioPcm16 = 1;  // interleaved 16-bit samples, channels a sample frame

struct OutputInfo {
    int32_t flag;
    int32_t width;
    int32_t height;
    int32_t rate;  // frames per second = rate / scale
    int32_t scale;
    int32_t frameCount;
    int32_t audioRate;
    int32_t audioChannels;
    int32_t audioSamples;   // sample frames
    const wchar_t* savePath;  // any length, any Unicode
    void* (*getVideo)(int32_t frame, uint32_t format);
    void* (*getAudio)(int32_t start, int32_t length, int32_t* read, uint32_t format);
    bool (*isAbort)();
    void (*restTimeDisplay)(int32_t now, int32_t total);
    void (*setBufferSize)(int32_t videoFrames, int32_t audioFrames);
};

// The project file's area of this plug-in. The host's functions take no
// handle of their own.
struct ProjectFile {
    const char* (*getParamString)(const char* key);  // UTF-8, or null
    void (*setParamString)(const char* key, const char* value);
    bool (*getParamBinary)(const char* key, void* data, int32_t size);  // true only for exactly `size` bytes
    void (*setParamBinary)(const char* key, const void* data, int32_t size);  // at most 4096 bytes
    void (*clearParams)();
    const wchar_t* (*getProjectFilePath)();
};

struct LogHandle {
    void (*log)(LogHandle* self, const wchar_t* message);  // each message is cut at 1024 characters
    void (*info)(LogHandle* self, const wchar_t* message);
    void (*warn)(LogHandle* self, const wchar_t* message);
    void (*error)(LogHandle* self, const wchar_t* message);
    void (*verbose)(LogHandle* self, const wchar_t* message);
};

// Only the first field is read here; the host's look-ups for translations
// and styles follow it.
struct ConfigHandle {
    const wchar_t* appDataPath;
};

struct OutputPluginTable {
    int32_t flag;
    const wchar_t* name;
    const wchar_t* fileFilter;  // (text, pattern) pairs, each NUL-terminated, and one more NUL
    const wchar_t* information;
    bool (*output)(OutputInfo* info);
    bool (*config)(void* parentWindow, void* instance);
    const wchar_t* (*configText)();  // valid until the next call
    bool (*loadProjectConfig)(ProjectFile* project);
    bool (*saveProjectConfig)(ProjectFile* project);
};

#if defined(_WIN64)
static_assert(sizeof(wchar_t) == 2);
static_assert(offsetof(OutputInfo, audioSamples) == 32);
static_assert(offsetof(OutputInfo, savePath) == 40);
static_assert(offsetof(OutputInfo, getVideo) == 48);
static_assert(offsetof(OutputInfo, getAudio) == 56);
static_assert(offsetof(OutputInfo, isAbort) == 64);
static_assert(offsetof(OutputInfo, restTimeDisplay) == 72);
static_assert(offsetof(OutputInfo, setBufferSize) == 80);
static_assert(sizeof(OutputInfo) == 88);
static_assert(offsetof(OutputPluginTable, name) == 8);
static_assert(offsetof(OutputPluginTable, output) == 32);
static_assert(offsetof(OutputPluginTable, saveProjectConfig) == 64);
static_assert(sizeof(OutputPluginTable) == 72);
static_assert(sizeof(ProjectFile) == 48);
static_assert(sizeof(LogHandle) == 40);
#endif

}  // namespace kest::host2
