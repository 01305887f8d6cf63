// Makes each frame's payload from the host's sound: fetch the frame's span
// with 150 sample frames of margin on each side, mix to mono or keep stereo,
// low-pass when the rate goes down, pick the nearest source samples, and
// store big-endian PCM or packed ADPCM.
#pragma once

#include <cstdint>

#include "plugin/host_records.h"
#include "sound/audio_bytes.h"
#include "sound/audio_format.h"

namespace kest::AudioFramePipeline {

// Where a frame of `count` target samples starting at target sample
// `firstSample` lies in the source: its samples come from positions
// spanStart..spanEnd-1, and the nearest-sample phase starts at `phase`.
// Consecutive frames tile the source: one's spanEnd is the next's spanStart.
struct FrameSpan {
    int64_t spanStart;
    int64_t spanEnd;
    int64_t phase;  // 0..targetRate-1
};
FrameSpan SpanOfFrame(int64_t firstSample, int32_t count, int32_t sourceRate, int32_t targetRate);

// Entries of the work buffer: the source samples of a frame one longer than
// the plan's base, rounded up, plus 301. Every fetch fits in it.
int64_t WorkLength(const AudioPlan& plan);

// Resets the ADPCM encoder, designs the filter, creates the audio window and
// takes the work buffers. False when anything could not be obtained; Stop
// releases whatever was taken.
bool Start(const OutputInfo& info, const AudioPlan& plan);

// Payload of `count` target samples starting at target sample `firstSample`.
// Allocates nothing.
AudioBytes FramePayload(int64_t firstSample, int32_t count, PendingCode& pending);

void Stop();

}  // namespace kest::AudioFramePipeline
