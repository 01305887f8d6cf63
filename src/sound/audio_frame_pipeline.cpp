#include "sound/audio_frame_pipeline.h"

#include <algorithm>
#include <cstring>

#include "plugin/heap.h"
#include "sound/adpcm_encoder.h"
#include "sound/audio_window.h"
#include "sound/low_pass_filter.h"

namespace kest::AudioFramePipeline {
namespace {

constexpr int32_t kMargin = 150;  // the filter's half length, fetched on each side
constexpr int64_t kMaxBufferBytes = INT32_MAX;

struct Pipeline {
    AudioWindow* window = nullptr;
    int16_t* work = nullptr;       // W entries of 1 (mono) or 2 (stereo) samples
    int16_t* resampled = nullptr;  // S + 1 entries of 2 samples; PCM is packed in place
    uint8_t* codes = nullptr;      // (S + 1) / 2 ADPCM bytes
    int32_t sourceRate = 0;
    int32_t targetRate = 0;
    int32_t version = 30;
    bool stereo = false;
    bool monoHost = true;    // one channel: the sample is both left and right
    int32_t frameBytes = 0;  // host bytes a sample frame
    int64_t workLength = 0;  // W
    int64_t maxSamples = 0;  // S
} p;

int16_t ReadLittle16(const uint8_t* at) { return static_cast<int16_t>(static_cast<uint16_t>(at[0] | at[1] << 8)); }

// The fetched sample frames as work entries: a mono mix truncating toward
// zero, or left/right pairs; only the first two channels of a wider host.
void Lay(const uint8_t* frames, int64_t count) {
    for (int64_t i = 0; i < count; ++i) {
        const uint8_t* f = frames + i * p.frameBytes;
        const int32_t left = ReadLittle16(f);
        const int32_t right = p.monoHost ? left : ReadLittle16(f + 2);
        if (p.stereo) {
            p.work[2 * i] = static_cast<int16_t>(left);
            p.work[2 * i + 1] = static_cast<int16_t>(right);
        } else {
            p.work[i] = p.monoHost ? static_cast<int16_t>(left) : static_cast<int16_t>((left + right) / 2);
        }
    }
}

// Picks the nearest source entry for each output sample, starting at work
// entry `base`; `available` entries lie from there on.
void Resample(const FrameSpan& span, int64_t base, int64_t available, int32_t count) {
    const int32_t stepWhole = p.sourceRate / p.targetRate;
    const int32_t stepFraction = p.sourceRate % p.targetRate;
    int64_t phase = span.phase;
    int64_t index = 0;
    const int width = p.stereo ? 2 : 1;
    for (int32_t i = 0; i < count; ++i) {
        // The spans and the phase agree, so this never cuts; it only keeps a
        // reader inside the buffer if they ever did not.
        const int64_t at = base + std::min(index, available - 1);
        for (int c = 0; c < width; ++c) p.resampled[width * i + c] = p.work[width * at + c];
        index += stepWhole;
        phase += stepFraction;
        while (phase >= p.targetRate) {
            phase -= p.targetRate;
            index += 1;
        }
    }
}

AudioBytes PackPcm(int32_t count) {
    const int64_t samples = static_cast<int64_t>(count) * (p.stereo ? 2 : 1);
    auto* bytes = reinterpret_cast<uint8_t*>(p.resampled);
    for (int64_t i = 0; i < samples; ++i) {
        const auto v = static_cast<uint16_t>(p.resampled[i]);
        bytes[2 * i] = static_cast<uint8_t>(v >> 8);  // high byte first
        bytes[2 * i + 1] = static_cast<uint8_t>(v);
    }
    return {bytes, static_cast<int32_t>(samples * 2)};
}

// Two codes a byte, the earlier in the low nibble, also across frames.
AudioBytes PackAdpcm(int32_t count, PendingCode& pending) {
    int32_t n = 0;
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t code = AdpcmEncoder::Encode(p.resampled[i]);
        if (pending.waiting) {
            p.codes[n++] = static_cast<uint8_t>(code << 4 | pending.code);
            pending.waiting = false;
        } else {
            pending.code = code;
            pending.waiting = true;
        }
    }
    return {p.codes, n};
}

template <typename T>
T* Take(int64_t count) {
    if (count <= 0 || count > kMaxBufferBytes / static_cast<int64_t>(sizeof(T))) return nullptr;
    return static_cast<T*>(HeapAllocate(static_cast<std::size_t>(count) * sizeof(T)));
}

}  // namespace

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

bool Start(const OutputInfo& info, const AudioPlan& plan) {
    Stop();
    p.sourceRate = plan.sourceRate;
    p.targetRate = plan.targetRate;
    p.version = plan.version;
    p.stereo = plan.version == 40 && plan.stereo;
    p.monoHost = info.audioChannels == 1;
    p.frameBytes = info.audioSampleBytes;
    p.maxSamples = plan.maxSamplesPerFrame;
    if (p.sourceRate <= 0 || p.targetRate <= 0 || p.maxSamples < 0) return false;
    p.workLength = WorkLength(plan);

    AdpcmEncoder::Reset();
    LowPassFilter::DesignLowPass(p.targetRate / 2, p.sourceRate);
    // A window never smaller than a fetch, whatever the host's rate.
    p.window = CreateAudioWindow(info, p.workLength);
    if (!p.window) return false;
    p.work = Take<int16_t>(p.workLength * (p.stereo ? 2 : 1));
    p.resampled = Take<int16_t>((p.maxSamples + 1) * 2);
    p.codes = Take<uint8_t>((p.maxSamples + 1) / 2 + 1);
    return p.work && p.resampled && p.codes;
}

AudioBytes FramePayload(int64_t firstSample, int32_t count, PendingCode& pending) {
    count = static_cast<int32_t>(std::clamp<int64_t>(count, 0, p.maxSamples));
    const FrameSpan span = SpanOfFrame(firstSample, count, p.sourceRate, p.targetRate);
    const int64_t spanLength = std::clamp<int64_t>(span.spanEnd - span.spanStart, 0, p.workLength - 2 * kMargin);
    const int64_t fetched = spanLength + 2 * kMargin;

    Lay(Fetch(*p.window, span.spanStart - kMargin, static_cast<int32_t>(fetched)), fetched);

    int64_t base = kMargin;  // unfiltered: the span starts after the lead-in
    int64_t available = spanLength + kMargin;
    if (p.targetRate < p.sourceRate) {
        const double* h = LowPassFilter::Coefficients();
        const auto n = static_cast<int32_t>(spanLength);
        if (p.stereo)
            LowPassFilter::FilterStereo(h, p.work, p.work, n);
        else
            LowPassFilter::FilterMono(h, p.work, p.work, n);
        base = 0;
        available = spanLength;
    }
    if (available <= 0) available = 1;  // an empty span still has its margin
    Resample(span, base, available, count);

    return p.version == 40 ? PackPcm(count) : PackAdpcm(count, pending);
}

void Stop() {
    DestroyAudioWindow(p.window);
    HeapRelease(p.work);
    HeapRelease(p.resampled);
    HeapRelease(p.codes);
    p = Pipeline{};
}

}  // namespace kest::AudioFramePipeline
