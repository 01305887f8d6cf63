#include "sound/frame_audio_producer.h"

#include <cstring>

#include "base/heap.h"

namespace kest {

// Spreads the r extra samples over the n frames; the test comes before the
// addition, so frame 0 always takes q.
int64_t FrameAudioProducer::NextSampleCount() {
    int64_t k = plan_.perFrameBase;
    if (spreadAccumulator_ >= plan_.frameCount) {
        spreadAccumulator_ -= plan_.frameCount;
        k += 1;
    }
    spreadAccumulator_ += plan_.perFrameRemainder;
    return k;
}

bool FrameAudioProducer::Begin(const OutputInfo& info, const AudioPlan& plan, SimdTier tier) {
    End();
    plan_ = plan;
    emittedSamples_ = 0;
    spreadAccumulator_ = plan_.frameCount / 2;
    pending_ = {};

    // 0x80 is what the encoder gives for digital silence (codes 0 and 8).
    const int64_t fillerBytes = (plan_.maxSamplesPerFrame + 1) / 2;
    filler_ = static_cast<uint8_t*>(HeapAllocate(static_cast<std::size_t>(fillerBytes)));
    if (!filler_) return false;
    std::memset(filler_, 0x80, static_cast<std::size_t>(fillerBytes));

    return !plan_.hasAudio || pipeline_.Start(info, plan_, tier);
}

AudioBytes FrameAudioProducer::ProduceFrame() {
    const int64_t k = NextSampleCount();
    AudioBytes out;
    if (plan_.hasAudio) {
        out = pipeline_.FramePayload(emittedSamples_, static_cast<int32_t>(k), pending_);
    } else {
        const int64_t t = k + (pending_.waiting ? 1 : 0);
        pending_.waiting = (t % 2) != 0;
        pending_.code = 0;  // the filler's pending code is never seen
        out = {filler_, static_cast<int32_t>(t / 2)};
    }
    emittedSamples_ += k;
    return out;
}

void FrameAudioProducer::End() {
    pipeline_.Stop();
    HeapRelease(filler_);
    filler_ = nullptr;
    pending_ = {};
}

}  // namespace kest
