#include "export_cases.h"

#include <cstdio>
#include <cstring>

namespace kest::wine {
namespace {

// A fixed 32-bit generator: the same sequence on every compiler and target.
uint32_t Mix(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return x;
}

ExportCase Case(std::string name, int32_t width, int32_t height, int32_t frames, int32_t audioRate,
                int32_t audioChannels, const OutputSettings& settings) {
    return ExportCase{std::move(name), width, height, frames, 30, 1, audioRate, audioChannels, settings, -1, 0};
}

}  // namespace

OutputSettings MakeSettings(ReduceMode mode, LineSpacing spacing, bool intensity, bool centre, double gamma,
                            int16_t audioFormatIndex, const char* comment) {
    OutputSettings s;
    std::memset(&s, 0, sizeof s);
    s.reduceMode = static_cast<uint16_t>(mode);
    s.lineSpacing = static_cast<uint16_t>(spacing);
    s.useIntensityBit = intensity ? 1 : 0;
    s.centerHorizontally = centre ? 1 : 0;
    s.centerVertically = centre ? 1 : 0;
    s.gamma = gamma;
    std::strncpy(s.comment, comment, kCommentBytes - 1);
    s.audioFormatIndex = audioFormatIndex;
    return s;
}

std::vector<ExportCase> ExportCases() {
    using M = ReduceMode;
    using L = LineSpacing;
    std::vector<ExportCase> cases;
    // Every reduce mode, with and without the intensity bit, at a size that
    // needs centring and at the largest full picture.
    const struct {
        const char* tag;
        M mode;
    } modes[] = {{"bt", M::BitTruncate},         {"d2", M::Dither2x2},
                 {"d4", M::Dither4x4},           {"t2", M::TemporalDither2x2},
                 {"ted", M::TemporalErrorDiffusion}, {"ped", M::PlanarErrorDiffusion}};
    for (const auto& m : modes) {
        cases.push_back(Case(std::string(m.tag) + "_130x96", 130, 96, 5, 0, 0,
                             MakeSettings(m.mode, L::Auto, false, true, 1.0, 0, "")));
        cases.push_back(Case(std::string(m.tag) + "_640x480_i", 640, 480, 3, 0, 0,
                             MakeSettings(m.mode, L::Auto, true, false, 1.8, 0, "kest")));
    }
    cases.push_back(Case("bt_256x192_gap", 256, 192, 4, 0, 0,
                         MakeSettings(M::BitTruncate, L::Gap, false, true, 0.45, 0, "")));
    cases.push_back(Case("ped_320x240_nogap", 320, 240, 4, 0, 0,
                         MakeSettings(M::PlanarErrorDiffusion, L::NoGap, true, true, 2.99, 0, "")));
    // Sound: ADPCM and PCM targets from 44100 Hz stereo and 48000 Hz mono.
    const struct {
        int16_t format;
        int32_t rate;
        int32_t channels;
    } sounds[] = {{0, 44100, 2},  {2, 44100, 2},  {4, 48000, 1}, {5, 48000, 1}, {6, 44100, 2},
                  {7, 48000, 1},  {9, 44100, 2},  {11, 44100, 2}, {12, 48000, 1}, {16, 44100, 2}};
    for (const auto& s : sounds) {
        cases.push_back(Case("snd" + std::to_string(s.format) + "_" + std::to_string(s.rate) + "_" +
                                 std::to_string(s.channels),
                             160, 120, 12, s.rate, s.channels,
                             MakeSettings(M::Dither2x2, L::Auto, false, true, 1.0, s.format, "")));
    }
    // A frame rate that does not divide the sound rate.
    ExportCase ntsc = Case("snd0_ntsc", 160, 120, 10, 44100, 2,
                           MakeSettings(M::TemporalDither2x2, L::Auto, false, true, 1.0, 0, ""));
    ntsc.rate = 30000;
    ntsc.scale = 1001;
    cases.push_back(ntsc);
    // The user cancels while frame 3 is being written.
    ExportCase cancel = Case("cancel_at_3", 130, 96, 8, 44100, 2,
                             MakeSettings(M::TemporalErrorDiffusion, L::Auto, false, true, 1.0, 0, ""));
    cancel.cancelAtFrame = 3;
    cases.push_back(cancel);
    return cases;
}

ExportCase TimedCase() {
    ExportCase c = Case("timed_ped_512x480_pcm48s", 512, 480, 300, 48000, 2,
                        MakeSettings(ReduceMode::PlanarErrorDiffusion, LineSpacing::Auto, false, false, 1.0, 5, ""));
    c.pictureCycle = 2;
    return c;
}

std::string TimedSummary(const ExportCase& c, double seconds) {
    char line[160];
    std::snprintf(line, sizeof line, "%s: %d frames in %.3f s, %.0f frames a second", c.name.c_str(), c.frames, seconds,
                  seconds > 0 ? c.frames / seconds : 0.0);
    return line;
}

const uint8_t* CasePictures::Of(const ExportCase& c, int32_t frame) {
    if (c.pictureCycle <= 0) {
        CasePicture(c, frame, scratch_);
        return scratch_.data();
    }
    made_.resize(static_cast<std::size_t>(c.pictureCycle));
    std::vector<uint8_t>& picture = made_[static_cast<std::size_t>(frame % c.pictureCycle)];
    if (picture.empty()) CasePicture(c, frame % c.pictureCycle, picture);
    return picture.data();
}

void CasePicture(const ExportCase& c, int32_t frame, std::vector<uint8_t>& out) {
    const int32_t stride = (c.width * 3 + 3) / 4 * 4;
    out.assign(static_cast<std::size_t>(stride) * c.height, 0);
    for (int32_t y = 0; y < c.height; ++y) {
        uint8_t* row = &out[static_cast<std::size_t>(y) * stride];
        for (int32_t x = 0; x < c.width; ++x) {
            // Smooth gradients that move from frame to frame, so the
            // diffusion modes carry error, plus a little noise.
            // Unsigned, so that the product wraps as defined.
            const uint32_t noise = Mix((static_cast<uint32_t>(frame) * 7919u + static_cast<uint32_t>(y)) * 65537u +
                                       static_cast<uint32_t>(x));
            const int32_t n = static_cast<int32_t>(noise & 15) - 8;
            const int32_t b = (x * 255 / (c.width > 1 ? c.width - 1 : 1) + frame * 9) % 256;
            const int32_t g = (y * 255 / (c.height > 1 ? c.height - 1 : 1) + frame * 5) % 256;
            const int32_t r = ((x + y) * 2 + frame * 13) % 256;
            auto clamp = [](int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
            row[x * 3 + 0] = clamp(b + n);
            row[x * 3 + 1] = clamp(g - n);
            row[x * 3 + 2] = clamp(r + n / 2);
        }
    }
}

int32_t CaseSoundLength(const ExportCase& c) {
    return static_cast<int32_t>(static_cast<int64_t>(c.frames) * c.audioRate * c.scale / c.rate);
}

void CaseSound(const ExportCase& c, int32_t start, int32_t count, std::vector<int16_t>& out) {
    out.assign(static_cast<std::size_t>(count) * c.audioChannels, 0);
    for (int32_t i = 0; i < count; ++i) {
        const int32_t t = start + i;
        // Two triangle waves at different pitches, a slow sweep and noise: a
        // spread of frequencies for the low-pass filter and the encoder.
        const int32_t p1 = t % 100, p2 = (t * 3 + t / 64) % 441;
        const int32_t tri1 = (p1 < 50 ? p1 : 100 - p1) * 400 - 10000;
        const int32_t tri2 = (p2 < 220 ? p2 : 441 - p2) * 90 - 9900;
        const int32_t noise = static_cast<int32_t>(Mix(static_cast<uint32_t>(t)) & 2047) - 1024;
        for (int32_t ch = 0; ch < c.audioChannels; ++ch) {
            const int32_t v = ch == 0 ? tri1 + tri2 + noise : tri1 - tri2 + noise / 2;
            out[static_cast<std::size_t>(i) * c.audioChannels + ch] =
                static_cast<int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
        }
    }
}

}  // namespace kest::wine
