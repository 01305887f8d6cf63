#include "sound_gain.h"

#include <cmath>
#include <vector>

namespace kest::tool {
namespace {

class GainedSource final : public FrameSource {
public:
    GainedSource(std::unique_ptr<FrameSource> source, double factor) : source_(std::move(source)), factor_(factor) {}

    const SourceShape& Shape() const override { return source_->Shape(); }
    const uint8_t* Picture(int32_t frame) override { return source_->Picture(frame); }
    std::string Failure() const override { return source_->Failure(); }
    std::vector<std::string> Notes() const override { return source_->Notes(); }

    const int16_t* Audio(int32_t start, int32_t count) override {
        const int16_t* samples = source_->Audio(start, count);
        const std::size_t n = static_cast<std::size_t>(count > 0 ? count : 0) * Shape().audioChannels;
        scaled_.assign(samples, samples + n);
        ApplyGain(scaled_.data(), n, factor_);
        return scaled_.data();
    }

private:
    std::unique_ptr<FrameSource> source_;
    double factor_;
    std::vector<int16_t> scaled_;
};

}  // namespace

double GainFactor(double decibels) { return std::pow(10.0, decibels / 20); }

int16_t ApplyGain(int16_t sample, double factor) {
    const double scaled = std::round(sample * factor);
    if (scaled >= 32767) return 32767;
    if (scaled <= -32768) return -32768;
    return static_cast<int16_t>(scaled);
}

void ApplyGain(int16_t* samples, std::size_t count, double factor) {
    for (std::size_t i = 0; i < count; ++i) samples[i] = ApplyGain(samples[i], factor);
}

std::unique_ptr<FrameSource> WithGain(std::unique_ptr<FrameSource> source, double decibels) {
    return std::make_unique<GainedSource>(std::move(source), GainFactor(decibels));
}

}  // namespace kest::tool
