#include "sound/audio_window.h"

#include <algorithm>
#include <cstring>

#include "base/heap.h"

namespace kest {
namespace {

constexpr int64_t kMaxBufferBytes = INT32_MAX;

uint8_t* At(AudioWindow& w, int64_t offset) { return w.buffer + offset * w.frameBytes; }

// Zeros positions from..to-1 of a buffer whose offset 0 is position `base`.
void Zero(AudioWindow& w, int64_t base, int64_t from, int64_t to) {
    if (to > from) std::memset(At(w, from - base), 0, static_cast<std::size_t>((to - from) * w.frameBytes));
}

// One host call for positions start..start+count-1, which must begin at
// hostNext. The host's answer is trusted no further than asked: a null
// pointer delivers nothing, and the delivered count is cut to 0..count.
// Returns the delivered frames (or null) and their number.
const uint8_t* Ask(AudioWindow& w, int64_t start, int64_t count, int64_t& delivered) {
    delivered = 0;
    if (count <= 0) return nullptr;
    int32_t reported = 0;
    const void* frames = w.readAudio(static_cast<int32_t>(start), static_cast<int32_t>(count), &reported);
    w.hostNext = start + count;  // positions stay as if everything was delivered
    if (!frames) return nullptr;
    delivered = std::clamp<int64_t>(reported, 0, count);
    return static_cast<const uint8_t*>(frames);
}

}  // namespace

int64_t AudioWindowCapacity(const OutputInfo& info, int64_t minimumCapacity) {
    if (info.rate <= 0 || info.scale <= 0 || info.audioRate < 0 || info.audioSampleBytes <= 0) return -1;
    const int64_t rate = info.rate;
    int64_t capacity = (static_cast<int64_t>(info.audioRate) * info.scale + rate - 1) / rate + 429;
    capacity = std::max(capacity, minimumCapacity);
    if (capacity > kMaxBufferBytes / info.audioSampleBytes) return -1;
    return capacity;
}

AudioWindow* CreateAudioWindow(const OutputInfo& info, int64_t minimumCapacity) {
    const int64_t capacity = AudioWindowCapacity(info, minimumCapacity);
    if (capacity < 0) return nullptr;
    auto* w = static_cast<AudioWindow*>(HeapAllocate(sizeof(AudioWindow)));
    if (!w) return nullptr;
    w->capacity = static_cast<int32_t>(capacity);
    w->frameBytes = info.audioSampleBytes;
    w->byteLength = static_cast<int32_t>(capacity * info.audioSampleBytes);
    w->buffer = static_cast<uint8_t*>(HeapAllocate(static_cast<std::size_t>(w->byteLength)));
    if (!w->buffer) {
        HeapRelease(w);
        return nullptr;
    }
    // The buffer starts zeroed: the capacity positions before 0, all silent.
    w->windowStart = -capacity;
    w->windowEnd = 0;
    w->hostNext = 0;
    w->totalFrames = std::max(info.audioSamples, 0);
    w->readAudio = info.readAudio;
    return w;
}

const uint8_t* Fetch(AudioWindow& w, int64_t start, int32_t count) {
    const int64_t n = std::clamp<int64_t>(count, 0, w.capacity);
    const int64_t total = w.totalFrames;
    if (start >= total) {
        // Entirely past the host's sound: no host call, the window unchanged.
        std::memset(w.buffer, 0, static_cast<std::size_t>(w.byteLength));
        return w.buffer;
    }
    const int64_t requestEnd = start + n;
    const int64_t e = std::min(requestEnd, total);
    const int64_t bufferEnd = start + w.capacity;

    // Keep what the held run and the new one share, moved to its new offset.
    int64_t keepFrom = std::max(start, w.windowStart);
    int64_t keepTo = std::min(w.windowEnd, bufferEnd);
    if (keepFrom < keepTo) {
        std::memmove(At(w, keepFrom - start), At(w, keepFrom - w.windowStart),
                     static_cast<std::size_t>((keepTo - keepFrom) * w.frameBytes));
    } else {
        keepFrom = keepTo = start;
    }
    // Positions before the held run (only for a start that went backwards)
    // cannot be asked for again: the host is read strictly front to back.
    Zero(w, start, start, keepFrom);

    if (e > w.hostNext) {
        int64_t ignored = 0;
        if (start > w.hostNext) Ask(w, w.hostNext, start - w.hostNext, ignored);  // skipped, discarded
        const int64_t freshFrom = w.hostNext;
        Zero(w, start, keepTo, freshFrom);  // dropped by an earlier request
        int64_t delivered = 0;
        const uint8_t* frames = Ask(w, freshFrom, e - freshFrom, delivered);
        if (delivered > 0)
            std::memcpy(At(w, freshFrom - start), frames, static_cast<std::size_t>(delivered * w.frameBytes));
        Zero(w, start, freshFrom + delivered, e);  // a short delivery reads as zeros
    } else {
        Zero(w, start, keepTo, std::min(bufferEnd, w.hostNext));  // dropped by an earlier request
    }
    const int64_t newEnd = std::min(bufferEnd, w.hostNext);
    Zero(w, start, newEnd, requestEnd);  // at or past the host's total
    w.windowStart = start;
    w.windowEnd = newEnd;
    return w.buffer;
}

void DestroyAudioWindow(AudioWindow* window) {
    if (!window) return;
    HeapRelease(window->buffer);
    HeapRelease(window);
}

}  // namespace kest
