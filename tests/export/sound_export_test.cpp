// Whole exports with host sound, in every format, read back from the file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/big_endian.h"
#include "export/export_driver.h"
#include "base/heap.h"
#include "settings/output_settings.h"
#include "sound/adpcm_encoder.h"
#include "sound/audio_format.h"
#include "sound/low_pass_filter.h"
#include "support/memory_host.h"

namespace kest {
namespace {

using testing::MemoryHost;

constexpr double kPi = 3.141592653589793;
constexpr int32_t kFrames = 15;  // half a second at 30 frames a second

struct Movie {
    std::string magic;
    uint32_t audioCode = 0;
    std::vector<int32_t> lengths;  // audioLength of every record
    std::vector<uint8_t> audio;    // the payloads end to end
};

Movie ReadMovie(const std::vector<uint8_t>& file) {
    Movie m;
    m.magic = std::string(reinterpret_cast<const char*>(file.data()));
    m.audioCode = GetBigEndian32(&file[26]);
    const uint32_t blockSize = GetBigEndian32(&file[30]);
    const uint32_t picture = GetBigEndian32(&file[10]) * GetBigEndian32(&file[14]) * 2;
    for (std::size_t at = 1024; at + blockSize <= file.size(); at += blockSize) {
        const uint8_t* length = &file[at + 16 + picture];
        const auto n = static_cast<int32_t>(GetBigEndian16(length));
        m.lengths.push_back(n);
        m.audio.insert(m.audio.end(), length + 2, length + 2 + n);
    }
    return m;
}

// Sample counts of the frames, spread as the producer spreads them.
std::vector<int64_t> FrameSampleCounts(const AudioPlan& plan) {
    std::vector<int64_t> counts;
    int64_t accumulator = plan.frameCount / 2;
    for (int32_t j = 0; j < plan.frameCount; ++j) {
        int64_t k = plan.perFrameBase;
        if (accumulator >= plan.frameCount) accumulator -= plan.frameCount, ++k;
        accumulator += plan.perFrameRemainder;
        counts.push_back(k);
    }
    return counts;
}

// One channel of the host's sound as the movie should carry it: at target
// sample m, the source position nearest m * source / target (halves up),
// low-passed when the rate goes down, with zeros outside the host's sound.
std::vector<int16_t> Expected(const std::vector<int16_t>& source, int32_t sourceRate, int32_t targetRate,
                              int64_t samples) {
    const auto total = static_cast<int64_t>(source.size());
    auto at = [&](int64_t p) -> double { return p >= 0 && p < total ? source[static_cast<std::size_t>(p)] : 0; };
    const LowPassFilter::Taps taps = LowPassFilter::DesignLowPass(targetRate / 2, sourceRate);
    const double* h = taps.h;
    std::vector<int16_t> out;
    for (int64_t m = 0; m < samples; ++m) {
        const int64_t p = (m * sourceRate + targetRate / 2) / targetRate;
        double v = at(p);
        if (targetRate < sourceRate) {
            v = 0.0;
            for (int k = 0; k < LowPassFilter::kTaps; ++k) v = v + at(p - 150 + k) * h[k];
            v = std::fmin(32767.0, std::fmax(-32768.0, v));
        }
        out.push_back(static_cast<int16_t>(std::trunc(v)));
    }
    return out;
}

struct HostSound {
    int32_t rate;
    int32_t channels;
    std::vector<int16_t> left, right;  // right empty for one channel
};

// A 1 kHz tone, left louder than right, `tenths` tenths of a second long.
HostSound Tone(int32_t rate, int32_t channels, int32_t tenths) {
    HostSound s{rate, channels, {}, {}};
    const int32_t frames = rate * tenths / 10;
    for (int32_t p = 0; p < frames; ++p) {
        const double t = std::sin(2 * kPi * 1000.0 * p / rate);
        s.left.push_back(static_cast<int16_t>(std::lround(12000 * t)));
        if (channels == 2) s.right.push_back(static_cast<int16_t>(std::lround(6000 * t + (p % 7) * 50)));
    }
    return s;
}

class SoundExport : public ::testing::Test {
protected:
    void SetUp() override { ResetSettings(); }
    void TearDown() override {
        ResetSettings();
        HeapResetFailure();
    }
};

TEST_F(SoundExport, EveryFormatCarriesTheHostSound) {
    // The movie lasts 0.5 s; the last host ends early, so its last frames
    // carry silence.
    for (const HostSound& sound : {Tone(44100, 2, 6), Tone(48000, 1, 6), Tone(22050, 2, 3)}) {
        std::vector<int16_t> interleaved, mix;
        for (std::size_t p = 0; p < sound.left.size(); ++p) {
            interleaved.push_back(sound.left[p]);
            if (sound.channels == 2) interleaved.push_back(sound.right[p]);
            mix.push_back(sound.channels == 2 ? static_cast<int16_t>((sound.left[p] + sound.right[p]) / 2)
                                              : sound.left[p]);
        }
        for (int32_t row = 0; row < kAudioFormatCount; ++row) {
            SCOPED_TRACE(::testing::Message() << sound.rate << " Hz, " << sound.channels << " channels, row " << row);
            const AudioFormat& format = kAudioFormats[row];
            MemoryHost host(8, 8, kFrames);
            host.SetAudio(sound.rate, sound.channels, interleaved);
            host.settings.audioFormatIndex = static_cast<int16_t>(row);
            ASSERT_EQ(host.Run().outcome, ExportOutcome::Completed);
            const Movie movie = ReadMovie(host.FileBytes());
            ASSERT_EQ(movie.lengths.size(), static_cast<std::size_t>(kFrames));
            EXPECT_EQ(movie.magic, format.version == 30 ? "KEST-V3.0" : "KEST-V4.0");
            EXPECT_EQ(movie.audioCode, format.audioCode);

            const AudioPlan plan = PlanAudio(host.info, row);
            const std::vector<int64_t> counts = FrameSampleCounts(plan);
            int64_t samples = 0;
            for (int32_t j = 0; j < kFrames; ++j) {
                // ADPCM: a code left over is carried, so the bytes so far are
                // half the samples so far, rounded down.
                const int64_t before = samples / 2;
                samples += counts[j];
                const int64_t want = format.version == 30 ? samples / 2 - before : counts[j] * (format.stereo ? 4 : 2);
                ASSERT_EQ(movie.lengths[j], want) << "frame " << j;
                ASSERT_LE(movie.lengths[j], plan.maxAudioBytes);
            }

            const std::vector<int16_t> expectedMix = Expected(mix, sound.rate, format.sampleRate, samples);
            if (format.version == 40) {
                std::vector<int16_t> carried;
                for (std::size_t i = 0; i + 1 < movie.audio.size(); i += 2)
                    carried.push_back(static_cast<int16_t>(movie.audio[i] << 8 | movie.audio[i + 1]));
                std::vector<int16_t> expected;
                if (format.stereo) {
                    const std::vector<int16_t> l = Expected(sound.left, sound.rate, format.sampleRate, samples);
                    const std::vector<int16_t> r =
                        sound.channels == 2 ? Expected(sound.right, sound.rate, format.sampleRate, samples) : l;
                    for (int64_t m = 0; m < samples; ++m) expected.push_back(l[m]), expected.push_back(r[m]);
                } else {
                    expected = expectedMix;
                }
                ASSERT_EQ(carried, expected);
                continue;
            }

            // ADPCM: the codes are the encoder's for exactly those samples,
            // and decoding them gives the tone back.
            AdpcmEncoder encoder;
            AdpcmDecoderState player{};
            double signal = 0, noise = 0;
            const int64_t settle = format.sampleRate / 50;  // 20 ms for the step size to adapt
            for (int64_t m = 0; m + 1 < samples; m += 2) {
                const uint8_t byte = movie.audio[static_cast<std::size_t>(m / 2)];
                for (int half = 0; half < 2; ++half) {
                    const uint8_t code = half ? byte >> 4 : byte & 15;
                    ASSERT_EQ(code, encoder.Encode(expectedMix[m + half])) << "sample " << m + half;
                    const double decoded = AdpcmDecodeCode(player, code) * 16.0;
                    if (m + half < settle) continue;
                    const auto p = static_cast<double>(((m + half) * sound.rate + format.sampleRate / 2) / format.sampleRate);
                    const double amplitude = p >= static_cast<double>(mix.size()) ? 0 : sound.channels == 2 ? 9000 : 12000;
                    const double tone = amplitude * std::sin(2 * kPi * 1000.0 * p / sound.rate);
                    signal += tone * tone;
                    noise += (decoded - tone) * (decoded - tone);
                }
            }
            const double snr = 10 * std::log10(signal / noise);
            RecordProperty("snr_" + std::to_string(sound.rate) + "_" + std::to_string(row), std::to_string(snr));
            // Measured 16.9 dB at 3906 Hz (under four samples a cycle, where
            // the step size cannot follow the slope) up to 28.4 dB at 15625
            // Hz. A broken stream (nibbles swapped, a carried code lost, the
            // decoder out of step) falls below 0 dB, far under this floor.
            EXPECT_GT(snr, 14.0);
        }
    }
}

// With host sound the pipeline takes its memory in Begin too: a failure at
// any allocation ends the export before the file exists or the host is asked.
TEST_F(SoundExport, FailedAllocationCreatesNoFile) {
    for (int16_t row : {int16_t{0}, int16_t{5}}) {
        SCOPED_TRACE(row);
        std::vector<int16_t> sound(2 * 20000, 100);
        MemoryHost probe(8, 8, 3);
        probe.SetAudio(44100, 2, sound);
        probe.settings.audioFormatIndex = row;
        HeapFailFrom(-1);
        ASSERT_EQ(probe.Run().outcome, ExportOutcome::Completed);
        const long allocations = HeapAllocationCount();
        ASSERT_GE(allocations, 7);  // state, filler, window record and buffer, work, samples, codes, record
        for (long failAt = 0; failAt < allocations; ++failAt) {
            SCOPED_TRACE(failAt);
            MemoryHost host(8, 8, 3);
            host.SetAudio(44100, 2, sound);
            host.settings.audioFormatIndex = row;
            HeapFailFrom(failAt);
            EXPECT_EQ(host.Run().outcome, ExportOutcome::AllocationFailed);
            EXPECT_TRUE(host.calls.empty());
            EXPECT_FALSE(host.FileExists());
        }
        HeapResetFailure();
    }
}

}  // namespace
}  // namespace kest
