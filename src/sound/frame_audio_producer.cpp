#include "sound/frame_audio_producer.h"

#include <cstring>

#include "plugin/heap.h"
#include "sound/audio_frame_pipeline.h"

namespace kest::FrameAudioProducer {
namespace {

AudioPlan plan{};
int64_t emittedSamples = 0;
int64_t spreadAccumulator = 0;
PendingCode pending{};
uint8_t* filler = nullptr;
bool pipelineStarted = false;

// Spreads the r extra samples over the n frames; the test comes before the
// addition, so frame 0 always takes q.
int64_t NextSampleCount() {
    int64_t k = plan.perFrameBase;
    if (spreadAccumulator >= plan.frameCount) {
        spreadAccumulator -= plan.frameCount;
        k += 1;
    }
    spreadAccumulator += plan.perFrameRemainder;
    return k;
}

}  // namespace

bool Begin(const OutputInfo& info, int32_t audioFormatIndex) {
    plan = PlanAudio(info, audioFormatIndex);
    emittedSamples = 0;
    spreadAccumulator = plan.frameCount / 2;
    pending = {};
    pipelineStarted = false;

    // 0x80 is what the encoder gives for digital silence (codes 0 and 8).
    const int64_t fillerBytes = (plan.maxSamplesPerFrame + 1) / 2;
    filler = static_cast<uint8_t*>(HeapAllocate(static_cast<std::size_t>(fillerBytes)));
    if (!filler) return false;
    std::memset(filler, 0x80, static_cast<std::size_t>(fillerBytes));

    if (plan.hasAudio) {
        pipelineStarted = true;
        if (!AudioFramePipeline::Start(info, plan)) return false;
    }
    return true;
}

const AudioPlan& Plan() { return plan; }

AudioBytes ProduceFrame() {
    const int64_t k = NextSampleCount();
    AudioBytes out;
    if (plan.hasAudio) {
        out = AudioFramePipeline::FramePayload(emittedSamples, static_cast<int32_t>(k), pending);
    } else {
        const int64_t t = k + (pending.waiting ? 1 : 0);
        pending.waiting = (t % 2) != 0;
        pending.code = 0;  // the filler's pending code is never seen
        out = {filler, static_cast<int32_t>(t / 2)};
    }
    emittedSamples += k;
    return out;
}

void End() {
    if (pipelineStarted) AudioFramePipeline::Stop();
    pipelineStarted = false;
    HeapRelease(filler);
    filler = nullptr;
    pending = {};
}

}  // namespace kest::FrameAudioProducer
