// A run of the host's sound between two positions of its timeline, in sample
// frames. Consecutive requests overlap; the window keeps what they share and
// asks the host only for the new part, always front to back: every host call
// starts where the previous one ended, and no count is negative. Positions
// before 0 and at or past the host's total read as zeros.
#pragma once

#include <cstdint>

#include "base/host_records.h"

namespace kest {

struct AudioWindow {
    uint8_t* buffer;       // sample frames as the host delivers them
    int32_t capacity;      // sample frames the buffer holds
    int32_t byteLength;    // capacity * frameBytes
    int64_t windowStart;   // position of the sample frame at buffer offset 0
    int64_t windowEnd;     // one past the last position held
    // Where the next host call starts: windowEnd in the export's use; ahead
    // of it only after a request that went backwards, and the positions
    // between then read as zeros, since the host is never asked twice.
    int64_t hostNext;
    int32_t frameBytes;    // B: the host's audioSampleBytes
    int32_t totalFrames;   // T: the host's audioSamples
    void*(KEST_CDECL* readAudio)(int32_t start, int32_t count, int32_t* delivered);
};

// The sample frames of one video frame, rounded up, plus 429, computed in 64
// bits; never less than `minimumCapacity`. -1 when the buffer would not fit
// 32-bit sizes or the record's rates make no sense.
int64_t AudioWindowCapacity(const OutputInfo& info, int64_t minimumCapacity = 0);

// Null when the record or its buffer cannot be obtained (nothing is kept),
// or when the buffer would not fit 32-bit sizes. The window starts out
// holding the `capacity` silent positions before 0.
AudioWindow* CreateAudioWindow(const OutputInfo& info, int64_t minimumCapacity = 0);

// Sample frames of positions start .. start + count - 1 (count cut to
// 0..capacity), the one of position start + i at byte offset i * B of the
// returned buffer; valid until the next Fetch.
const uint8_t* Fetch(AudioWindow& window, int64_t start, int32_t count);

void DestroyAudioWindow(AudioWindow* window);  // null is fine

}  // namespace kest
