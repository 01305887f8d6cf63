// The audio window under arbitrary request sequences, against a plain model
// that holds the whole host sound in memory. Requests that move forward (as
// the export's do) must give exactly the model's sample frames, with zeros
// outside the host's sound; any request gives, frame by frame, either the
// model's frame or silence. The host sees contiguous calls only: each starts
// where the previous one ended, with a positive count, inside its sound.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/heap.h"
#include "sound/audio_window.h"

namespace {

#define CHECK(condition)                                                                \
    do {                                                                                \
        if (!(condition)) {                                                             \
            std::fprintf(stderr, "check failed: %s (line %d)\n", #condition, __LINE__); \
            std::abort();                                                               \
        }                                                                               \
    } while (0)

struct Model {
    int32_t total = 0;       // sample frames
    int32_t frameBytes = 2;  // bytes per sample frame
    std::vector<uint8_t> sound;
    int64_t nextCall = 0;
    std::vector<uint8_t> delivery;
    bool shortDeliveries = false;
} model;

// Position p, byte i of the frame: never zero, so silence is told apart.
uint8_t ModelByte(int64_t p, int32_t i) { return static_cast<uint8_t>(1 + (p * 7 + i * 3) % 251); }

void* KEST_CDECL ReadAudio(int32_t start, int32_t count, int32_t* delivered) {
    CHECK(start == model.nextCall);
    CHECK(count > 0);
    CHECK(static_cast<int64_t>(start) + count <= model.total);
    model.nextCall = static_cast<int64_t>(start) + count;
    int32_t give = count;
    if (model.shortDeliveries) give = count / 2;
    model.delivery.assign(model.sound.begin() + static_cast<std::ptrdiff_t>(start) * model.frameBytes,
                          model.sound.begin() + static_cast<std::ptrdiff_t>(start + give) * model.frameBytes);
    model.delivery.push_back(0);
    *delivered = give;
    return model.delivery.data();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    model = Model{};
    model.total = in.ConsumeIntegralInRange(0, 20000);
    model.frameBytes = 2 * in.ConsumeIntegralInRange(1, 4);
    model.shortDeliveries = in.ConsumeIntegralInRange(0, 7) == 0;
    model.sound.resize(static_cast<std::size_t>(model.total) * model.frameBytes);
    for (int64_t p = 0; p < model.total; ++p)
        for (int32_t i = 0; i < model.frameBytes; ++i)
            model.sound[static_cast<std::size_t>(p * model.frameBytes + i)] = ModelByte(p, i);

    kest::OutputInfo info{};
    info.flags = kest::kFlagVideo | kest::kFlagAudio;
    info.rate = in.ConsumeIntegralInRange(1, 120);
    info.scale = 1;
    info.audioRate = in.ConsumeIntegralInRange(1, 96000);
    info.audioChannels = model.frameBytes / 2;
    info.audioSampleBytes = model.frameBytes;
    info.audioSamples = model.total;
    info.readAudio = ReadAudio;
    kest::AudioWindow* window = kest::CreateAudioWindow(info, in.ConsumeIntegralInRange(0, 3000));
    CHECK(window != nullptr);

    int64_t lastStart = INT64_MIN, lastEnd = INT64_MIN;
    bool forwardSoFar = true;
    for (int request = 0; request < 64 && in.remaining_bytes() > 0; ++request) {
        int64_t start;
        if (in.ConsumeBool() && lastEnd != INT64_MIN) start = lastEnd - in.ConsumeIntegralInRange(0, 400);
        else start = in.ConsumeIntegralInRange<int64_t>(-2000, model.total + 2000);
        const int32_t count = in.ConsumeIntegralInRange(-5, window->capacity + 100);
        const int64_t n = std::clamp<int64_t>(count, 0, window->capacity);
        const int64_t end = start + n;
        // Forward: neither the start nor the end of the run moves back. A
        // request past the host's end clears the buffer, so whatever comes
        // after it below the end is only known to be silence or the model's.
        forwardSoFar = forwardSoFar && start >= lastStart && end >= lastEnd && start < model.total;
        const bool exact = forwardSoFar && !model.shortDeliveries;

        const uint8_t* got = kest::Fetch(*window, start, count);
        for (int64_t k = 0; k < n; ++k) {
            const int64_t p = start + k;
            const uint8_t* frame = got + k * model.frameBytes;
            bool silent = true;
            for (int32_t i = 0; i < model.frameBytes; ++i) silent = silent && frame[i] == 0;
            if (p < 0 || p >= model.total) {
                CHECK(silent);
                continue;
            }
            bool same = true;
            for (int32_t i = 0; i < model.frameBytes; ++i) same = same && frame[i] == ModelByte(p, i);
            CHECK(same || (!exact && silent));
        }
        lastStart = start;
        lastEnd = std::max(lastEnd, end);
    }
    kest::DestroyAudioWindow(window);
    return 0;
}
