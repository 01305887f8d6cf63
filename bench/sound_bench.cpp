// Throughput of the sound conversion: the 301-tap filter on each summing
// path, over every output and over the outputs a frame picks (items are
// multiply-adds, so items_per_second reads as MAC/s), the ADPCM encoder and
// whole sound frames of the pipeline.
#include <benchmark/benchmark.h>

#include <vector>

#include "sound/adpcm_encoder.h"
#include "sound/audio_format.h"
#include "sound/audio_frame_pipeline.h"
#include "sound/low_pass_filter.h"

namespace {

using namespace kest;
using LowPassFilter::Path;

std::vector<int16_t> Noise(std::size_t n) {
    std::vector<int16_t> v(n);
    uint32_t seed = 1;
    for (auto& s : v) {
        seed = seed * 1664525u + 1013904223u;
        s = static_cast<int16_t>(seed >> 16);
    }
    return v;
}

constexpr int32_t kBlock = 4096;

// The filter path of a benchmark's range(0): 0 the plain loop kept as the
// reference (which then runs), 1 .. 4 the paths Plain .. AVX-512. A path
// this processor lacks skips the benchmark.
Path PathArgument(benchmark::State& state) {
    const auto which = state.range(0);
    const auto path = static_cast<Path>(which == 0 ? 0 : which - 1);
    if (which > 0 && !LowPassFilter::PathAvailable(path)) state.SkipWithError("path not available on this processor");
    return path;
}

// range(0): 0 the plain loop kept as the reference, 1 Plain, 2 SSE2, 3 AVX2,
// 4 AVX-512.
void BM_FilterMono(benchmark::State& state) {
    const LowPassFilter::Taps taps = LowPassFilter::DesignLowPass(7812, 44100);
    const double* h = taps.h;
    const std::vector<int16_t> in = Noise(kBlock + 300);
    std::vector<int16_t> out(kBlock);
    const auto which = state.range(0);
    const Path path = PathArgument(state);
    if (state.error_occurred()) return;
    for (auto _ : state) {
        if (which == 0)
            LowPassFilter::FilterMonoReference(h, in.data(), out.data(), kBlock);
        else
            LowPassFilter::FilterMonoOn(path, h, in.data(), out.data(), kBlock);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kBlock * LowPassFilter::kTaps);
}
BENCHMARK(BM_FilterMono)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Arg(4)->ArgName("path");

void BM_FilterStereo(benchmark::State& state) {
    const LowPassFilter::Taps taps = LowPassFilter::DesignLowPass(7812, 44100);
    const double* h = taps.h;
    const std::vector<int16_t> in = Noise(2 * (kBlock + 300));
    std::vector<int16_t> out(2 * kBlock);
    const auto which = state.range(0);
    const Path path = PathArgument(state);
    if (state.error_occurred()) return;
    for (auto _ : state) {
        if (which == 0)
            LowPassFilter::FilterStereoReference(h, in.data(), out.data(), kBlock);
        else
            LowPassFilter::FilterStereoOn(path, h, in.data(), out.data(), kBlock);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * 2 * kBlock * LowPassFilter::kTaps);
}
BENCHMARK(BM_FilterStereo)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Arg(4)->ArgName("path");

// The outputs one 44100 Hz -> 15625 Hz frame picks (521 of its 1470), mono:
// range(0) as above. Items are multiply-adds.
void BM_FilterPicked(benchmark::State& state) {
    const LowPassFilter::Taps taps = LowPassFilter::DesignLowPass(7812, 44100);
    constexpr int32_t kCount = 521;
    std::vector<int32_t> at;
    int64_t index = 0, phase = 7812;
    for (int32_t i = 0; i < kCount; ++i) {
        at.push_back(static_cast<int32_t>(index));
        index += 2;
        phase += 44100 % 15625;
        while (phase >= 15625) phase -= 15625, ++index;
    }
    const std::vector<int16_t> in = Noise(static_cast<std::size_t>(at.back() + 301));
    std::vector<int16_t> out(kCount);
    const auto which = state.range(0);
    const Path path = PathArgument(state);
    if (state.error_occurred()) return;
    for (auto _ : state) {
        if (which == 0)
            LowPassFilter::FilterPickedReference(taps.h, in.data(), 1, at.data(), kCount, out.data());
        else
            LowPassFilter::FilterPickedOn(path, taps.h, in.data(), 1, at.data(), kCount, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kCount * LowPassFilter::kTaps);
}
BENCHMARK(BM_FilterPicked)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Arg(4)->ArgName("path");

void BM_AdpcmEncode(benchmark::State& state) {
    const std::vector<int16_t> in = Noise(65536);
    std::vector<uint8_t> codes(in.size());
    AdpcmEncoder encoder;
    for (auto _ : state) {
        encoder.EncodeRun(in.data(), static_cast<int32_t>(in.size()), codes.data());
        benchmark::DoNotOptimize(codes.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(in.size()));
}
BENCHMARK(BM_AdpcmEncode);

// The plain encoder, branch by branch, on the same noise.
void BM_AdpcmEncodeReference(benchmark::State& state) {
    const std::vector<int16_t> in = Noise(65536);
    AdpcmDecoderState encoder{};
    for (auto _ : state) {
        unsigned sum = 0;
        for (int16_t s : in) sum += AdpcmEncodeReference(encoder, s);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(in.size()));
}
BENCHMARK(BM_AdpcmEncodeReference);

// A host whose sound never ends: every call gets the same noise.
std::vector<int16_t> hostNoise;
void* KEST_CDECL EndlessAudio(int32_t, int32_t count, int32_t* delivered) {
    *delivered = count;
    return hostNoise.data();
}

// One frame at 30 frames a second from a stereo host: (host rate, row).
// Row 0 is ADPCM 15625 Hz, row 5 PCM 48000 Hz stereo, row 7 PCM 32000 Hz
// stereo.
void BM_PipelineFrame(benchmark::State& state) {
    OutputInfo info{};
    info.flags = kFlagVideo | kFlagAudio;
    info.rate = 30;
    info.scale = 1;
    info.frameCount = 30 * 3600 * 3;
    info.audioRate = static_cast<int32_t>(state.range(0));
    info.audioChannels = 2;
    info.audioSampleBytes = 4;
    info.audioSamples = INT32_MAX;
    info.readAudio = EndlessAudio;
    hostNoise = Noise(2 * 8192);
    const AudioPlan plan = PlanAudio(info, static_cast<int32_t>(state.range(1)));
    AudioFramePipeline pipeline;
    if (!pipeline.Start(info, plan)) {
        state.SkipWithError("pipeline did not start");
        return;
    }
    PendingCode pending{};
    int64_t first = 0;
    const auto count = static_cast<int32_t>(plan.perFrameBase);
    for (auto _ : state) {
        const AudioBytes a = pipeline.FramePayload(first, count, pending);
        benchmark::DoNotOptimize(a.bytes);
        first += count;
    }
    state.SetItemsProcessed(state.iterations());  // frames
}
BENCHMARK(BM_PipelineFrame)->Args({44100, 0})->Args({48000, 5})->Args({48000, 7})->ArgNames({"host", "row"});

}  // namespace
