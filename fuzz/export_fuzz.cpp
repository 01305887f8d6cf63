// The export driven by arbitrary settings and host records, with pictures
// and sound taken from the input. Every run must end either in a refusal
// with its reason (and no callback, no file) or in a file whose length,
// header and every record obey the movie layout, with the callbacks in the
// host's order.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/big_endian.h"
#include "export/export_driver.h"
#include "format/movie_format.h"
#include "picture/picture_converter.h"
#include "settings/output_settings.h"
#include "sound/audio_format.h"

namespace {

using namespace kest;

#define CHECK(condition)                                                    \
    do {                                                                    \
        if (!(condition)) {                                                 \
            std::fprintf(stderr, "check failed: %s (line %d)\n", #condition, __LINE__); \
            std::abort();                                                   \
        }                                                                   \
    } while (0)

// The file lives in memory.
std::vector<uint8_t> file;
bool fileCreated = false;

MovieFile* Create(void*, const char*) {
    fileCreated = true;
    file.clear();
    return reinterpret_cast<MovieFile*>(&file);
}
uint32_t Write(void*, MovieFile*, const void* bytes, uint32_t count) {
    const auto* b = static_cast<const uint8_t*>(bytes);
    file.insert(file.end(), b, b + count);
    return count;
}
void Close(void*, MovieFile*) {}
constexpr FileOps kMemoryFile = {Create, Write, Close, nullptr};

// The host: a picture pattern and sound made from a few input bytes.
struct Host {
    OutputInfo info{};
    std::vector<uint8_t> picture;
    std::vector<uint8_t> sound;
    uint8_t seed = 0;
    int32_t cancelAt = -1;
    std::vector<int> calls;  // 0 abort, 1 progress, 2 video, 3 audio, 4 preview
    int32_t nextAudio = 0;
} host;

int32_t KEST_CDECL Abort() {
    host.calls.push_back(0);
    int32_t frame = 0;
    for (int c : host.calls) frame += c == 0;
    return frame - 1 == host.cancelAt;
}
int32_t KEST_CDECL Progress(int32_t, int32_t) {
    host.calls.push_back(1);
    return 0;
}
int32_t KEST_CDECL Preview() {
    host.calls.push_back(4);
    return 0;
}
void* KEST_CDECL Video(int32_t frame, int32_t format) {
    host.calls.push_back(2);
    CHECK(format == 0);
    for (std::size_t i = 0; i < host.picture.size(); ++i)
        host.picture[i] = static_cast<uint8_t>(i * 7 + static_cast<std::size_t>(frame) * 13 + host.seed);
    return host.picture.data();
}
void* KEST_CDECL Audio(int32_t start, int32_t count, int32_t* delivered) {
    host.calls.push_back(3);
    // Reads are contiguous, never negative, never past the host's audio.
    CHECK(start == host.nextAudio);
    CHECK(count >= 0);
    CHECK(static_cast<int64_t>(start) + count <= host.info.audioSamples);
    host.nextAudio = start + count;
    const std::size_t bytes = static_cast<std::size_t>(count) * static_cast<std::size_t>(host.info.audioSampleBytes);
    host.sound.resize(std::max<std::size_t>(bytes, 1));
    for (std::size_t i = 0; i < bytes; ++i) host.sound[i] = static_cast<uint8_t>(i * 31 + host.seed);
    *delivered = count;
    return host.sound.data();
}

void CheckCallbackOrder(int32_t frames, bool cancelled) {
    std::size_t i = 0;
    for (int32_t j = 0; j < frames; ++j) {
        CHECK(host.calls.at(i++) == 0);
        CHECK(host.calls.at(i++) == 1);
        CHECK(host.calls.at(i++) == 2);
        while (host.calls.at(i) == 3) ++i;
        CHECK(host.calls.at(i++) == 4);
    }
    if (cancelled) CHECK(host.calls.at(i++) == 0);
    CHECK(i == host.calls.size());
}

void CheckFile(const ExportResult& result) {
    const OutputSettings& s = Settings();
    const AudioPlan plan = PlanAudio(host.info, s.audioFormatIndex);
    const MovieGeometry g = ComputeGeometry(host.info.width, host.info.height, s);
    const FrameTicks ticks = *ComputeFrameTicks(host.info.rate, host.info.scale);
    CHECK(file.size() >= 1024);
    const uint8_t* h = file.data();
    CHECK(std::memcmp(h, plan.version == 40 ? "KEST-V4.0" : "KEST-V3.0", 10) == 0);
    CHECK(GetBigEndian32(h + 10) == static_cast<uint32_t>(g.width));
    CHECK(GetBigEndian32(h + 14) == static_cast<uint32_t>(g.height));
    CHECK(g.width % 4 == 0 && g.width >= 4 && g.width <= 512 && g.height >= 1 && g.height <= 512);
    CHECK(GetBigEndian32(h + 18) == ticks.min && GetBigEndian32(h + 22) == ticks.max && ticks.min >= 1);
    CHECK(GetBigEndian32(h + 26) == plan.audioCode);
    const uint32_t block = GetBigEndian32(h + 30);
    CHECK(block % 1024 == 0);
    CHECK(GetBigEndian32(h + 34) == 1024 && h[38] == 'C' && h[39] == 'M');
    const std::size_t comment = CommentLength(s);
    CHECK(std::memcmp(h + 40, s.comment, comment) == 0);
    for (std::size_t i = 40 + comment; i < 1024; ++i) CHECK(h[i] == 0);

    CHECK(file.size() == 1024 + static_cast<std::size_t>(result.framesWritten) * block);
    const std::size_t picture = static_cast<std::size_t>(g.PictureBytes());
    bool pending = false;
    for (int32_t j = 0; j < result.framesWritten; ++j) {
        const uint8_t* r = h + 1024 + static_cast<std::size_t>(j) * block;
        CHECK(GetBigEndian32(r) == g.destAddress);
        CHECK(std::memcmp(r, h + 1024, 16) == 0);
        CHECK(GetBigEndian32(r + 8) == g.LinePitch() && GetBigEndian32(r + 12) == 0);
        // Padded columns are black.
        for (int32_t y = 0; y < g.height; ++y)
            for (int32_t x = std::min(host.info.width, g.width); x < g.width; ++x)
                CHECK(GetBigEndian16(r + 16 + (static_cast<std::size_t>(y) * g.width + x) * 2) == 0);
        const uint32_t length = GetBigEndian16(r + 16 + picture);
        CHECK(length <= plan.maxAudioBytes);
        CHECK(18 + picture + length <= block);
        if (plan.version == 40) CHECK(length % (plan.stereo ? 4 : 2) == 0);
        (void)pending;
        for (std::size_t i = 18 + picture + length; i < block; ++i) CHECK(r[i] == 0);
        if (!plan.hasAudio)
            for (uint32_t i = 0; i < length; ++i) CHECK(r[18 + picture + i] == 0x80);
    }
}

int32_t PickDimension(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 7)) {
        case 0: return in.ConsumeIntegral<int32_t>() % 3 - 1;  // -1, 0, 1
        case 1: return in.ConsumeIntegralInRange(513, 1100);
        default: return in.ConsumeIntegralInRange(1, 300);
    }
}

int32_t PickRate(FuzzedDataProvider& in) {
    static const int32_t interesting[] = {0, -1, 1, 2, 3, 7, 12, 24, 25, 30, 50, 60, 120, 1001, 24000, 30000, 60000,
                                          INT32_MAX, INT32_MIN};
    if (in.ConsumeBool()) return in.PickValueInArray(interesting);
    return in.ConsumeIntegral<int32_t>();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);

    uint8_t blob[kConfigBlobSize] = {};
    std::vector<uint8_t> given = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 48));
    if (!given.empty()) std::memcpy(blob, given.data(), std::min(given.size(), sizeof blob));
    OutputSettings settings;
    std::memcpy(&settings, blob, sizeof settings);
    if (in.ConsumeBool()) settings.gamma = in.ConsumeFloatingPoint<double>();
    else settings.gamma = 1.0;
    if (in.ConsumeBool()) std::memset(settings.comment, 'x', in.ConsumeIntegralInRange<std::size_t>(0, kCommentBytes));
    CHECK(SetConfigBlob(&settings, kConfigBlobSize) == kConfigBlobSize);

    host = Host{};
    OutputInfo& info = host.info;
    static const char path[] = "memory.KTD";
    const auto flags = in.ConsumeIntegral<int32_t>();
    const int32_t width = PickDimension(in);
    const int32_t height = PickDimension(in);
    const int32_t rate = PickRate(in);
    const int32_t scale = in.ConsumeBool() ? in.ConsumeIntegralInRange(1, 1001) : PickRate(in);
    info = VideoRecord(width, height, rate, scale, in.ConsumeIntegralInRange(-2, 12), path,
                       {Video, Audio, Abort, Progress, Preview});
    info.flags = flags;
    info.audioRate = in.ConsumeBool() ? in.PickValueInArray({8000, 11025, 15625, 22050, 44100, 48000, 96000})
                                      : in.ConsumeIntegralInRange(-10, 400000);
    info.audioChannels = in.ConsumeIntegralInRange(-1, 8);
    info.audioSampleBytes = in.ConsumeBool() ? 2 * std::max(info.audioChannels, 1) : in.ConsumeIntegralInRange(-2, 20);
    info.audioSamples = in.ConsumeIntegralInRange(-5, 400000);
    // Keep one input's sound work small (the 301-tap filter runs over every
    // source sample): at most about 200000 source sample frames in all.
    if (info.rate > 0 && info.scale > 0 && info.audioRate > 0 && info.frameCount > 0) {
        const double perFrame = static_cast<double>(info.audioRate) * info.scale / info.rate;
        if (perFrame * info.frameCount > 200000.0)
            info.frameCount = std::max(1, static_cast<int32_t>(200000.0 / std::max(perFrame, 1.0)));
        if (perFrame > 200000.0) info.audioRate = std::max(1, static_cast<int32_t>(200000.0 * info.rate / info.scale));
    }
    host.seed = in.ConsumeIntegral<uint8_t>();
    host.cancelAt = in.ConsumeIntegralInRange(-1, 12);
    // The host holds the rows the export can read: the bottom 512 at most.
    if (info.width > 0 && info.height > 0)
        host.picture.resize(static_cast<std::size_t>(SourceRowStride(info.width)) *
                            static_cast<std::size_t>(std::min(info.height, 512)));

    fileCreated = false;
    const RefusalReason reason = CheckExportable(info, settings);
    const ExportResult result = ExportMovie(info, Settings(), kMemoryFile);

    if (!(info.flags & kFlagVideo)) {
        CHECK(result.outcome == ExportOutcome::NoVideo && host.calls.empty() && !fileCreated);
        return 0;
    }
    if (reason != RefusalReason::None) {
        CHECK(result.outcome == ExportOutcome::Refused && result.reason == reason);
        CHECK(host.calls.empty() && !fileCreated);
        return 0;
    }
    if (result.outcome != ExportOutcome::Completed && result.outcome != ExportOutcome::Cancelled)
        std::fprintf(stderr, "outcome: %s\n", DescribeOutcome(result.outcome));
    CHECK(result.outcome == ExportOutcome::Completed || result.outcome == ExportOutcome::Cancelled);
    CHECK(fileCreated);
    const bool cancelled = result.outcome == ExportOutcome::Cancelled;
    CHECK(result.framesWritten == (cancelled ? host.cancelAt : info.frameCount));
    CheckCallbackOrder(result.framesWritten, cancelled);
    CheckFile(result);
    return 0;
}
