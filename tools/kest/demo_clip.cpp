#include "demo_clip.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace kest::tool {
namespace {

constexpr int32_t kWidth = 256, kHeight = 192, kFps = 30, kFrames = 300;
constexpr int32_t kAudioRate = 48000;
constexpr int32_t kStride = (kWidth * 3 + 3) / 4 * 4;
constexpr double kPi = 3.14159265358979323846;

struct Bgr {
    uint8_t b, g, r;
};

uint8_t Byte(double v) { return static_cast<uint8_t>(std::clamp(v, 0.0, 255.0)); }

// Top row is y = 0 here; the picture buffer is filled bottom row first.
Bgr DemoPixel(int32_t x, int32_t y, int32_t frame) {
    if (y < 64) {  // colour bars scrolling left, two pixels a frame
        static const Bgr bars[8] = {{255, 255, 255}, {0, 255, 255}, {255, 255, 0}, {0, 255, 0},
                                    {255, 0, 255},   {0, 0, 255},   {255, 0, 0},   {16, 16, 16}};
        return bars[((x + 2 * frame) / 32) % 8];
    }
    if (y < 128) {  // four 16-line ramps: grey, red, green, blue, with a slow breathing offset
        const double level = x + 24.0 * std::sin(2 * kPi * frame / 150.0) * (y % 16) / 16.0;
        const uint8_t v = Byte(level);
        switch ((y - 64) / 16) {
            case 0: return {v, v, v};
            case 1: return {0, 0, v};
            case 2: return {0, v, 0};
            default: return {v, 0, 0};
        }
    }
    if (x < 128) {  // a zone plate whose rings drift outwards
        const double dx = x - 64.0, dy = y - 160.0;
        const double v = 127.5 + 127.5 * std::cos((dx * dx + dy * dy) * 0.02 - frame * 0.3);
        return {Byte(v), Byte(v), Byte(v)};
    }
    // One-pixel checks and thin lines, with a square bouncing across them.
    const int32_t bx = 128 + static_cast<int32_t>(std::abs(((frame * 3) % 200) - 100)) ;
    const int32_t by = 136 + static_cast<int32_t>(std::abs(((frame * 2) % 80) - 40)) / 2;
    if (x >= bx && x < bx + 12 && y >= by && y < by + 12) return {40, 200, 255};
    if (y < 160) return ((x + y) & 1) ? Bgr{255, 255, 255} : Bgr{0, 0, 0};
    if (y < 176) return (x % 3 == 0) ? Bgr{0, 0, 255} : ((x % 3 == 1) ? Bgr{0, 255, 0} : Bgr{255, 0, 0});
    return (y % 2 == 0) ? Bgr{200, 200, 200} : Bgr{60, 60, 60};
}

// Left and right of sample frame i: a sweep from 100 Hz to 6 kHz over 6 s,
// 1 s of silence, 440 Hz left and 660 Hz right for 2 s, then silence.
void DemoSound(int64_t i, int16_t& left, int16_t& right) {
    const double t = static_cast<double>(i) / kAudioRate;
    double l = 0, r = 0;
    if (t < 6.0) {
        const double f0 = 100, f1 = 6000, span = 6.0;
        const double k = std::log(f1 / f0) / span;
        const double phase = 2 * kPi * f0 * (std::exp(k * t) - 1) / k;
        l = r = 0.5 * std::sin(phase);
    } else if (t >= 7.0 && t < 9.0) {
        l = 0.25 * std::sin(2 * kPi * 440 * t);
        r = 0.25 * std::sin(2 * kPi * 660 * t);
    }
    left = static_cast<int16_t>(std::lround(l * 32767));
    right = static_cast<int16_t>(std::lround(r * 32767));
}

class DemoClip final : public FrameSource {
public:
    explicit DemoClip(bool withAudio) : picture_(static_cast<std::size_t>(kStride) * kHeight, 0) {
        shape_.width = kWidth;
        shape_.height = kHeight;
        shape_.rate = kFps;
        shape_.scale = 1;
        shape_.frameCount = kFrames;
        if (withAudio) {
            shape_.hasAudio = true;
            shape_.audioRate = kAudioRate;
            shape_.audioChannels = 2;
            shape_.audioSamples = kAudioRate * kFrames / kFps;
        }
    }

    const SourceShape& Shape() const override { return shape_; }

    const uint8_t* Picture(int32_t frame) override {
        for (int32_t y = 0; y < kHeight; ++y) {
            uint8_t* row = &picture_[static_cast<std::size_t>(kHeight - 1 - y) * kStride];
            for (int32_t x = 0; x < kWidth; ++x) {
                const Bgr p = DemoPixel(x, y, frame);
                row[3 * x] = p.b, row[3 * x + 1] = p.g, row[3 * x + 2] = p.r;
            }
        }
        return picture_.data();
    }

    const int16_t* Audio(int32_t start, int32_t count) override {
        sound_.assign(static_cast<std::size_t>(std::max(count, 0)) * 2, 0);
        for (int32_t i = 0; i < count; ++i) {
            const int64_t at = int64_t{start} + i;
            if (at < shape_.audioSamples) DemoSound(at, sound_[2 * static_cast<std::size_t>(i)], sound_[2 * static_cast<std::size_t>(i) + 1]);
        }
        return sound_.data();
    }

private:
    SourceShape shape_;
    std::vector<uint8_t> picture_;
    std::vector<int16_t> sound_;
};

}  // namespace

std::unique_ptr<FrameSource> MakeDemoClip(bool withAudio) { return std::make_unique<DemoClip>(withAudio); }

}  // namespace kest::tool
