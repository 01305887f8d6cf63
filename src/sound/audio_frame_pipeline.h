// Makes each frame's payload from the host's sound: fetch the frame's span
// with 150 sample frames of margin on each side, mix to mono or keep stereo,
// low-pass when the rate goes down, pick the nearest source samples, and
// store big-endian PCM or packed ADPCM.
#pragma once

#include <cstdint>

#include "base/cpu_features.h"
#include "base/host_records.h"
#include "sound/adpcm_encoder.h"
#include "sound/audio_bytes.h"
#include "sound/audio_format.h"
#include "sound/audio_window.h"
#include "sound/low_pass_filter.h"

namespace kest {

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

// The host's sound of one export, turned into payloads frame by frame. It
// owns the encoder, the filter's taps, the audio window and the buffers.
class AudioFramePipeline {
public:
    AudioFramePipeline() = default;
    AudioFramePipeline(const AudioFramePipeline&) = delete;
    AudioFramePipeline& operator=(const AudioFramePipeline&) = delete;
    ~AudioFramePipeline() { Stop(); }

    // Resets the encoder, designs the filter, creates the audio window and
    // takes the work buffers. False when anything could not be obtained;
    // Stop releases whatever was taken.
    bool Start(const OutputInfo& info, const AudioPlan& plan, SimdTier tier = DetectedSimdTier());

    // Payload of `count` target samples starting at target sample
    // `firstSample`; ADPCM codes pair up through `pending`, also across
    // frames. Allocates nothing.
    AudioBytes FramePayload(int64_t firstSample, int32_t count, PendingCode& pending);

    void Stop();

private:
    void Lay(const uint8_t* frames, int64_t count);
    void Pick(const FrameSpan& span, int64_t available, int32_t count);
    void CopyPicked(int64_t base, int32_t count);
    AudioBytes PackPcm(int32_t count);
    AudioBytes PackAdpcm(int32_t count, PendingCode& pending);

    AdpcmEncoder encoder_;
    LowPassFilter::Taps taps_{};
    LowPassFilter::Path filterPath_ = LowPassFilter::Path::Plain;
    AudioWindow* window_ = nullptr;
    int16_t* work_ = nullptr;       // W entries of 1 (mono) or 2 (stereo) samples
    int16_t* resampled_ = nullptr;  // S + 1 entries of 2 samples; PCM is packed in place
    uint8_t* codes_ = nullptr;      // (S + 1) / 2 ADPCM bytes
    int32_t* picks_ = nullptr;      // S + 1 work entries the output samples take
    uint8_t* single_ = nullptr;     // S + 1 ADPCM codes, one a byte, before pairing
    int32_t sourceRate_ = 0;
    int32_t targetRate_ = 0;
    int32_t version_ = 30;
    bool stereo_ = false;
    bool monoHost_ = true;    // one channel: the sample is both left and right
    int32_t frameBytes_ = 0;  // host bytes a sample frame
    int64_t workLength_ = 0;  // W
    int64_t maxSamples_ = 0;  // S
};

}  // namespace kest
