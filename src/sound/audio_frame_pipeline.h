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

// Resets the ADPCM encoder, designs the filter, creates the audio window and
// takes the work buffers. False when anything could not be obtained; Stop
// releases whatever was taken.
bool Start(const OutputInfo& info, const AudioPlan& plan);

// Payload of `count` target samples starting at target sample `firstSample`.
AudioBytes FramePayload(int64_t firstSample, int32_t count, PendingCode& pending);

void Stop();

}  // namespace kest::AudioFramePipeline
