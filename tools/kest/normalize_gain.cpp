#include "normalize_gain.h"

#include <algorithm>
#include <string>
#include <vector>

#include "sound/frame_audio_producer.h"
#include "sound_gain.h"
#include "tool_error.h"

namespace kest::tool {
namespace {

// The sound path's callback is a plain function; the trial it serves lives here.
struct Trial {
    const int16_t* samples = nullptr;
    int64_t sampleFrames = 0;
    int32_t channels = 1;
    double factor = 1;
    std::vector<int16_t> scaled;
};
Trial trial;

void* KEST_CDECL ReadTrialAudio(int32_t start, int32_t count, int32_t* delivered) {
    const std::size_t channels = static_cast<std::size_t>(trial.channels);
    trial.scaled.assign(static_cast<std::size_t>(std::max(count, 0)) * channels, 0);
    const int64_t from = std::clamp<int64_t>(start, 0, trial.sampleFrames);
    const int64_t to = std::clamp<int64_t>(int64_t{start} + count, 0, trial.sampleFrames);
    for (int64_t i = from; i < to; ++i)
        for (std::size_t c = 0; c < channels; ++c)
            trial.scaled[static_cast<std::size_t>(i - start) * channels + c] =
                ApplyGain(trial.samples[static_cast<std::size_t>(i) * channels + c], trial.factor);
    if (delivered) *delivered = count;
    return trial.scaled.data();
}

// Serves the held sound at the chosen gain, pictures from the input.
class HeldSoundSource final : public FrameSource {
public:
    HeldSoundSource(std::unique_ptr<FrameSource> source, std::vector<int16_t> samples, double factor)
        : source_(std::move(source)), samples_(std::move(samples)), factor_(factor) {}

    const SourceShape& Shape() const override { return source_->Shape(); }
    const uint8_t* Picture(int32_t frame) override { return source_->Picture(frame); }
    std::string Failure() const override { return source_->Failure(); }
    std::vector<std::string> Notes() const override { return source_->Notes(); }

    const int16_t* Audio(int32_t start, int32_t count) override {
        const std::size_t channels = static_cast<std::size_t>(Shape().audioChannels);
        out_.assign(static_cast<std::size_t>(std::max(count, 0)) * channels, 0);
        const std::size_t held = samples_.size() / channels;
        for (std::size_t i = 0; i < out_.size() / channels; ++i) {
            const std::size_t at = static_cast<std::size_t>(start) + i;
            if (start < 0 || at >= held) continue;
            for (std::size_t c = 0; c < channels; ++c) out_[i * channels + c] = ApplyGain(samples_[at * channels + c], factor_);
        }
        return out_.data();
    }

private:
    std::unique_ptr<FrameSource> source_;
    std::vector<int16_t> samples_;
    double factor_;
    std::vector<int16_t> out_;
};

// Gains in tenths of a decibel, so that the search works on whole steps.
constexpr int kFloorTenths = -600;

}  // namespace

PredictorExcursions TrialPredictor(const SourceShape& shape, const int16_t* samples, int32_t audioFormatIndex,
                                   double decibels, bool stopOutside) {
    trial = Trial{samples, shape.audioSamples, shape.audioChannels, GainFactor(decibels), {}};
    // What the host states about the sound, as for the export itself.
    OutputInfo info = VideoRecord(shape.width, shape.height, shape.rate, shape.scale, shape.frameCount, "", {});
    AddRecordSound(info, shape.audioRate, shape.audioChannels, shape.audioSamples);
    info.readAudio = ReadTrialAudio;

    PredictorWatch watch;
    FrameAudioProducer producer;
    const bool begun = producer.Begin(info, PlanAudio(info, audioFormatIndex));
    for (int32_t frame = 0; begun && frame < shape.frameCount; ++frame) {
        const AudioBytes payload = producer.ProduceFrame();
        watch.FeedBytes(payload.bytes, static_cast<std::size_t>(payload.count));
        if (stopOutside && watch.Result().outside) break;
    }
    producer.End();
    trial = Trial{};
    if (!begun) throw ToolError("--normalize: not enough memory to run the sound through the export");
    return watch.Result();
}

NormalizedSound NormalizeSound(std::unique_ptr<FrameSource> source, int32_t audioFormatIndex) {
    const SourceShape shape = source->Shape();
    const std::size_t channels = static_cast<std::size_t>(shape.audioChannels);
    std::vector<int16_t> samples(static_cast<std::size_t>(shape.audioSamples) * channels);
    constexpr int32_t kChunk = 65536;
    for (int32_t at = 0; at < shape.audioSamples; at += kChunk) {
        const int32_t count = std::min(kChunk, shape.audioSamples - at);
        const int16_t* part = source->Audio(at, count);
        std::copy(part, part + static_cast<std::size_t>(count) * channels, samples.begin() + static_cast<std::ptrdiff_t>(at) * channels);
        if (!source->Failure().empty()) throw ToolError(source->Failure());
    }

    NormalizedSound result;
    result.atZero = TrialPredictor(shape, samples.data(), audioFormatIndex, 0, false);
    int chosen = 0;
    if (result.atZero.outside) {
        // Halve the distance between a gain that stays inside (low) and one
        // that does not (high); a louder gain is taken to overshoot no less.
        auto inside = [&](int tenths) {
            return TrialPredictor(shape, samples.data(), audioFormatIndex, tenths / 10.0, true).outside == 0;
        };
        int high = 0, low = -60;
        while (low > kFloorTenths && !inside(low)) high = low, low = std::max(kFloorTenths, low * 2);
        while (high - low > 1) {
            const int middle = low + (high - low) / 2;
            (inside(middle) ? low : high) = middle;
        }
        chosen = low;
    }
    result.decibels = chosen / 10.0;
    result.source = std::make_unique<HeldSoundSource>(std::move(source), std::move(samples), GainFactor(result.decibels));
    return result;
}

}  // namespace kest::tool
