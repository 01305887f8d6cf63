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
    if (!stereo_ && !monoHost_ && frameBytes_ == 4) {
        // The usual stereo host mixed to mono: a fixed stride the compiler
        // can vectorise.
        for (int64_t i = 0; i < count; ++i) {
            const int32_t left = ReadLittle16(frames + 4 * i);
            const int32_t right = ReadLittle16(frames + 4 * i + 2);
            work_[i] = static_cast<int16_t>((left + right) / 2);
        }
        return;
    }
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

// The nearest source entry for each output sample, as an offset into the
// `available` entries it is picked from.
void AudioFramePipeline::Pick(const FrameSpan& span, int64_t available, int32_t count) {
    const int32_t stepWhole = sourceRate_ / targetRate_;
    const int32_t stepFraction = sourceRate_ % targetRate_;
    int64_t phase = span.phase;
    int64_t index = 0;
    for (int32_t i = 0; i < count; ++i) {
        // The spans and the phase agree, so this never cuts; it only keeps a
        // reader inside the buffer if they ever did not.
        picks_[i] = static_cast<int32_t>(std::min(index, available - 1));
        index += stepWhole;
        phase += stepFraction;
        while (phase >= targetRate_) {
            phase -= targetRate_;
            index += 1;
        }
    }
}

// The picked entries as they are, from work entry `base` on.
void AudioFramePipeline::CopyPicked(int64_t base, int32_t count) {
    if (stereo_) {
        for (int32_t i = 0; i < count; ++i) {
            const int16_t* at = work_ + 2 * (base + picks_[i]);
            resampled_[2 * i] = at[0];
            resampled_[2 * i + 1] = at[1];
        }
    } else {
        for (int32_t i = 0; i < count; ++i) resampled_[i] = work_[base + picks_[i]];
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
    encoder_.EncodeRun(resampled_, count, single_);
    int32_t n = 0;
    int32_t i = 0;
    if (pending.waiting && count > 0) {
        codes_[n++] = static_cast<uint8_t>(single_[0] << 4 | pending.code);
        pending.waiting = false;
        i = 1;
    }
    for (; i + 1 < count; i += 2) codes_[n++] = static_cast<uint8_t>(single_[i + 1] << 4 | single_[i]);
    if (i < count) {
        pending.code = single_[i];
        pending.waiting = true;
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
    picks_ = Take<int32_t>(maxSamples_ + 1);
    single_ = Take<uint8_t>(maxSamples_ + 1);
    return work_ && resampled_ && codes_ && picks_ && single_;
}

AudioBytes AudioFramePipeline::FramePayload(int64_t firstSample, int32_t count, PendingCode& pending) {
    count = static_cast<int32_t>(std::clamp<int64_t>(count, 0, maxSamples_));
    const FrameSpan span = SpanOfFrame(firstSample, count, sourceRate_, targetRate_);
    const int64_t spanLength = std::clamp<int64_t>(span.spanEnd - span.spanStart, 0, workLength_ - 2 * kMargin);
    const int64_t fetched = spanLength + 2 * kMargin;

    Lay(Fetch(*window_, span.spanStart - kMargin, static_cast<int32_t>(fetched)), fetched);

    if (targetRate_ < sourceRate_ && spanLength > 0) {
        // Only the outputs the resampler reads are filtered: output a of the
        // filter is centred on work entry a + 150, the span's entry a.
        Pick(span, spanLength, count);
        LowPassFilter::FilterPickedOn(filterPath_, taps_.h, work_, stereo_ ? 2 : 1, picks_, count, resampled_);
    } else if (targetRate_ < sourceRate_) {
        // An empty span still has its margin, read as it was laid.
        Pick(span, 1, count);
        CopyPicked(0, count);
    } else {
        Pick(span, spanLength + kMargin, count);  // unfiltered: the span starts after the lead-in
        CopyPicked(kMargin, count);
    }

    return version_ == 40 ? PackPcm(count) : PackAdpcm(count, pending);
}

void AudioFramePipeline::Stop() {
    DestroyAudioWindow(window_);
    HeapRelease(work_);
    HeapRelease(resampled_);
    HeapRelease(codes_);
    HeapRelease(picks_);
    HeapRelease(single_);
    picks_ = nullptr;
    single_ = nullptr;
    window_ = nullptr;
    work_ = resampled_ = nullptr;
    codes_ = nullptr;
}

}  // namespace kest
