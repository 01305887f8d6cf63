#include "sound/audio_frame_pipeline.h"

#include <algorithm>
#include <cstring>

#include "base/heap.h"

namespace kest {
namespace {

constexpr int32_t kMargin = 150;  // the filter's half length, fetched on each side
constexpr int64_t kMaxBufferBytes = INT32_MAX;

int16_t ReadLittle16(const uint8_t* at) { return static_cast<int16_t>(static_cast<uint16_t>(at[0] | at[1] << 8)); }

template <typename T>
T* Take(int64_t count) {
    if (count <= 0 || count > kMaxBufferBytes / static_cast<int64_t>(sizeof(T))) return nullptr;
    return static_cast<T*>(HeapAllocate(static_cast<std::size_t>(count) * sizeof(T)));
}

}  // namespace

// The fetched sample frames as work entries: a mono mix truncating toward
// zero, or left/right pairs; only the first two channels of a wider host.
void AudioFramePipeline::Lay(const uint8_t* frames, int64_t count) {
    for (int64_t i = 0; i < count; ++i) {
        const uint8_t* f = frames + i * frameBytes_;
        const int32_t left = ReadLittle16(f);
        const int32_t right = monoHost_ ? left : ReadLittle16(f + 2);
        if (stereo_) {
            work_[2 * i] = static_cast<int16_t>(left);
            work_[2 * i + 1] = static_cast<int16_t>(right);
        } else {
            work_[i] = monoHost_ ? static_cast<int16_t>(left) : static_cast<int16_t>((left + right) / 2);
        }
    }
}

// Picks the nearest source entry for each output sample, starting at work
// entry `base`; `available` entries lie from there on.
void AudioFramePipeline::Resample(const FrameSpan& span, int64_t base, int64_t available, int32_t count) {
    const int32_t stepWhole = sourceRate_ / targetRate_;
    const int32_t stepFraction = sourceRate_ % targetRate_;
    int64_t phase = span.phase;
    int64_t index = 0;
    const int width = stereo_ ? 2 : 1;
    for (int32_t i = 0; i < count; ++i) {
        // The spans and the phase agree, so this never cuts; it only keeps a
        // reader inside the buffer if they ever did not.
        const int64_t at = base + std::min(index, available - 1);
        for (int c = 0; c < width; ++c) resampled_[width * i + c] = work_[width * at + c];
        index += stepWhole;
        phase += stepFraction;
        while (phase >= targetRate_) {
            phase -= targetRate_;
            index += 1;
        }
    }
}

AudioBytes AudioFramePipeline::PackPcm(int32_t count) {
    const int64_t samples = static_cast<int64_t>(count) * (stereo_ ? 2 : 1);
    auto* bytes = reinterpret_cast<uint8_t*>(resampled_);
    for (int64_t i = 0; i < samples; ++i) {
        const auto v = static_cast<uint16_t>(resampled_[i]);
        bytes[2 * i] = static_cast<uint8_t>(v >> 8);  // high byte first
        bytes[2 * i + 1] = static_cast<uint8_t>(v);
    }
    return {bytes, static_cast<int32_t>(samples * 2)};
}

// Two codes a byte, the earlier in the low nibble, also across frames.
AudioBytes AudioFramePipeline::PackAdpcm(int32_t count, PendingCode& pending) {
    int32_t n = 0;
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t code = encoder_.Encode(resampled_[i]);
        if (pending.waiting) {
            codes_[n++] = static_cast<uint8_t>(code << 4 | pending.code);
            pending.waiting = false;
        } else {
            pending.code = code;
            pending.waiting = true;
        }
    }
    return {codes_, n};
}

FrameSpan SpanOfFrame(int64_t firstSample, int32_t count, int32_t sourceRate, int32_t targetRate) {
    const int32_t half = targetRate / 2;
    const double source = sourceRate;
    const double target = targetRate;
    FrameSpan span;
    span.spanStart = static_cast<int64_t>((static_cast<double>(firstSample) * source + half) / target);
    span.spanEnd = static_cast<int64_t>((static_cast<double>(firstSample + count) * source + half) / target);
    // 64-bit product: hours into an export it no longer fits 32 bits.
    span.phase = (firstSample * (sourceRate % targetRate) + half) % targetRate;
    return span;
}

int64_t WorkLength(const AudioPlan& plan) {
    return ((plan.perFrameBase + 1) * plan.sourceRate + plan.targetRate - 1) / plan.targetRate + 301;
}

bool AudioFramePipeline::Start(const OutputInfo& info, const AudioPlan& plan, SimdTier tier) {
    Stop();
    sourceRate_ = plan.sourceRate;
    targetRate_ = plan.targetRate;
    version_ = plan.version;
    stereo_ = plan.version == 40 && plan.stereo;
    monoHost_ = info.audioChannels == 1;
    frameBytes_ = info.audioSampleBytes;
    maxSamples_ = plan.maxSamplesPerFrame;
    if (sourceRate_ <= 0 || targetRate_ <= 0 || maxSamples_ < 0) return false;
    workLength_ = WorkLength(plan);

    encoder_.Reset();
    taps_ = LowPassFilter::DesignLowPass(targetRate_ / 2, sourceRate_);
    filterPath_ = LowPassFilter::PathOf(tier);
    // A window never smaller than a fetch, whatever the host's rate.
    window_ = CreateAudioWindow(info, workLength_);
    if (!window_) return false;
    work_ = Take<int16_t>(workLength_ * (stereo_ ? 2 : 1));
    resampled_ = Take<int16_t>((maxSamples_ + 1) * 2);
    codes_ = Take<uint8_t>((maxSamples_ + 1) / 2 + 1);
    return work_ && resampled_ && codes_;
}

AudioBytes AudioFramePipeline::FramePayload(int64_t firstSample, int32_t count, PendingCode& pending) {
    count = static_cast<int32_t>(std::clamp<int64_t>(count, 0, maxSamples_));
    const FrameSpan span = SpanOfFrame(firstSample, count, sourceRate_, targetRate_);
    const int64_t spanLength = std::clamp<int64_t>(span.spanEnd - span.spanStart, 0, workLength_ - 2 * kMargin);
    const int64_t fetched = spanLength + 2 * kMargin;

    Lay(Fetch(*window_, span.spanStart - kMargin, static_cast<int32_t>(fetched)), fetched);

    int64_t base = kMargin;  // unfiltered: the span starts after the lead-in
    int64_t available = spanLength + kMargin;
    if (targetRate_ < sourceRate_) {
        const auto n = static_cast<int32_t>(spanLength);
        if (stereo_)
            LowPassFilter::FilterStereoOn(filterPath_, taps_.h, work_, work_, n);
        else
            LowPassFilter::FilterMonoOn(filterPath_, taps_.h, work_, work_, n);
        base = 0;
        available = spanLength;
    }
    if (available <= 0) available = 1;  // an empty span still has its margin
    Resample(span, base, available, count);

    return version_ == 40 ? PackPcm(count) : PackAdpcm(count, pending);
}

void AudioFramePipeline::Stop() {
    DestroyAudioWindow(window_);
    HeapRelease(work_);
    HeapRelease(resampled_);
    HeapRelease(codes_);
    window_ = nullptr;
    work_ = resampled_ = nullptr;
    codes_ = nullptr;
}

}  // namespace kest
