#include "support/memory_host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>

#include <unistd.h>

#include "plugin/plugin_table.h"

namespace kest::testing {

MemoryHost* MemoryHost::current = nullptr;

std::vector<uint8_t> FlatPicture(int32_t width, int32_t height, uint8_t blue, uint8_t green, uint8_t red) {
    const int32_t stride = (width * 3 + 3) / 4 * 4;
    std::vector<uint8_t> bytes(static_cast<std::size_t>(stride) * height, 0);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* p = &bytes[static_cast<std::size_t>(y) * stride + x * 3];
            p[0] = blue, p[1] = green, p[2] = red;
        }
    return bytes;
}

MemoryHost::MemoryHost(int32_t width, int32_t height, int32_t frameCount) {
    static std::atomic<int> serial{0};
    path = ::testing::TempDir() + "kest_host_" + std::to_string(::getpid()) + "_" + std::to_string(serial++) + ".KTD";
    std::remove(path.c_str());
    info = VideoRecord(width, height, 30, 1, frameCount, path.c_str(),
                       {ReadVideo, ReadAudio, AbortRequested, ShowProgress, UpdatePreview});
    picture = [this](int32_t) { return FlatPicture(info.width, info.height, 128, 128, 128); };
}

MemoryHost::~MemoryHost() { std::remove(path.c_str()); }

void MemoryHost::SetAudio(int32_t rate, int32_t channels, std::vector<int16_t> samples) {
    AddRecordSound(info, rate, channels, static_cast<int32_t>(samples.size() / static_cast<std::size_t>(channels)));
    audio_ = std::move(samples);
}

ExportResult MemoryHost::Run(const FileOps& files) {
    calls.clear();
    current = this;
    ExportResult result = ExportMovie(info, settings, files);
    current = nullptr;
    return result;
}

int32_t MemoryHost::RunThroughTable() {
    calls.clear();
    current = this;
    const OutputPluginTable& table = *GetOutputPluginTable();
    table.configSet(&settings, kConfigBlobSize);
    int32_t result = table.output(&info);
    current = nullptr;
    return result;
}

std::vector<uint8_t> MemoryHost::FileBytes() const {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool MemoryHost::FileExists() const { return std::ifstream(path).good(); }

int MemoryHost::Count(Callback callback) const {
    int n = 0;
    for (const CallRecord& c : calls) n += c.callback == callback;
    return n;
}

void* KEST_CDECL MemoryHost::ReadVideo(int32_t frame, int32_t format) {
    current->calls.push_back({Callback::Video, frame, format});
    if (frame == current->nullPictureAtFrame) return nullptr;
    current->lastPicture_ = current->picture(frame);
    return current->lastPicture_.data();
}

void* KEST_CDECL MemoryHost::ReadAudio(int32_t start, int32_t count, int32_t* delivered) {
    MemoryHost& h = *current;
    h.calls.push_back({Callback::Audio, start, count});
    const int32_t channels = h.info.audioChannels;
    int32_t n = 0;
    h.lastAudio_.clear();
    for (int32_t i = 0; i < count; ++i) {
        const int64_t position = static_cast<int64_t>(start) + i;
        if (position < 0 || position >= h.info.audioSamples) break;
        for (int32_t c = 0; c < channels; ++c)
            h.lastAudio_.push_back(h.audio_[static_cast<std::size_t>(position * channels + c)]);
        ++n;
    }
    *delivered = n;
    return h.lastAudio_.data();
}

int32_t KEST_CDECL MemoryHost::AbortRequested() {
    MemoryHost& h = *current;
    h.currentFrame_ = h.Count(Callback::Abort);
    h.calls.push_back({Callback::Abort});
    return h.currentFrame_ == h.cancelAtFrame ? 1 : 0;
}

int32_t KEST_CDECL MemoryHost::ShowProgress(int32_t frame, int32_t frameCount) {
    current->calls.push_back({Callback::Progress, frame, frameCount});
    return 0;
}

int32_t KEST_CDECL MemoryHost::UpdatePreview() {
    current->calls.push_back({Callback::Preview});
    return 0;
}

}  // namespace kest::testing
