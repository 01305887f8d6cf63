// The sound side of one export as the driver sees it: Begin, then one
// ProduceFrame per frame in order, then End. It owns everything a frame's
// sound needs from the plan to the payload: the plan itself, the spread of
// the samples over the frames, the ADPCM code waiting for its partner, the
// silent filler and, with host sound, the pipeline.
#pragma once

#include "base/cpu_features.h"
#include "base/host_records.h"
#include "sound/audio_bytes.h"
#include "sound/audio_format.h"
#include "sound/audio_frame_pipeline.h"

namespace kest {

class FrameAudioProducer {
public:
    FrameAudioProducer() = default;
    FrameAudioProducer(const FrameAudioProducer&) = delete;
    FrameAudioProducer& operator=(const FrameAudioProducer&) = delete;
    ~FrameAudioProducer() { End(); }

    // Takes the filler buffer and, with host sound, starts the pipeline, for
    // the plan PlanAudio made of the same record. False when memory could not
    // be obtained; End releases what was taken.
    bool Begin(const OutputInfo& info, const AudioPlan& plan, SimdTier tier = DetectedSimdTier());

    const AudioPlan& Plan() const { return plan_; }

    // The next frame's payload; never more than Plan().maxAudioBytes bytes.
    AudioBytes ProduceFrame();

    // Releases everything Begin obtained; a code still pending is dropped.
    void End();

private:
    int64_t NextSampleCount();

    AudioPlan plan_{};
    int64_t emittedSamples_ = 0;
    int64_t spreadAccumulator_ = 0;
    PendingCode pending_{};
    uint8_t* filler_ = nullptr;
    AudioFramePipeline pipeline_;
};

}  // namespace kest
