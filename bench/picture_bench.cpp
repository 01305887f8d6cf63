// Throughput of the six colour reductions on a full-screen and a quarter
// picture, in pixels per second. Frame 0 comes first and later frames follow,
// so the gamma table and the cleared planes are set up once, as in an export.
// Arguments: width, height, gamma in tenths (10 is the default 1.0, whose
// table is the identity), the intensity bit (off by default in the settings).
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "picture/picture_converter.h"

namespace {

using namespace kest;

std::vector<uint8_t> NoisePicture(int32_t width, int32_t height) {
    std::vector<uint8_t> bytes(static_cast<std::size_t>(SourceRowStride(width)) * height);
    uint32_t seed = 1;
    for (auto& b : bytes) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(seed >> 24);
    }
    return bytes;
}

void BM_Convert(benchmark::State& state, PictureConverter convert) {
    const auto width = static_cast<int32_t>(state.range(0));
    const auto height = static_cast<int32_t>(state.range(1));
    const std::vector<uint8_t> picture = NoisePicture(width, height);
    std::vector<Pixel16> destination(static_cast<std::size_t>(DestinationRowStride(width)) * height);
    const double gamma = static_cast<double>(state.range(2)) / 10.0;
    const auto intensity = static_cast<int32_t>(state.range(3));
    int32_t frame = 0;
    const auto run = std::make_unique<PictureState>();
    run->tier = DetectedSimdTier();
    for (auto _ : state) {
        convert(*run, {picture.data(), width, height, destination.data(), width, height, frame++, gamma, intensity});
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * width * height);  // pixels
}

#define KEST_PICTURE_BENCHMARK(name, converter) \
    BENCHMARK_CAPTURE(BM_Convert, name, converter)                                       \
        ->ArgNames({"w", "h", "gamma10", "i"})                                             \
        ->Args({512, 480, 10, 1})                                                         \
        ->Args({512, 480, 18, 1})                                                         \
        ->Args({256, 192, 10, 1})                                                         \
        ->Args({256, 192, 18, 1})                                                         \
        ->Args({512, 480, 10, 0})

KEST_PICTURE_BENCHMARK(BitTruncate, ConvertBitTruncate);
KEST_PICTURE_BENCHMARK(Dither2x2, ConvertDither2x2);
KEST_PICTURE_BENCHMARK(Dither4x4, ConvertDither4x4);
KEST_PICTURE_BENCHMARK(TemporalDither2x2, ConvertTemporalDither2x2);
KEST_PICTURE_BENCHMARK(TemporalErrorDiffusion, ConvertTemporalErrorDiffusion);
KEST_PICTURE_BENCHMARK(PlanarErrorDiffusion, ConvertPlanarErrorDiffusion);

// One converter on a chosen tier at 512 x 480, so that the narrower tiers an
// export takes on a smaller processor (or in the 32-bit module) can be timed
// here too. Arguments: tier (0 plain .. 3 AVX-512), gamma in tenths, the
// intensity bit. A tier above the processor's is skipped.
void BM_ConvertTier(benchmark::State& state, PictureConverter convert) {
    constexpr int32_t kWidth = 512, kHeight = 480;
    const auto tier = static_cast<SimdTier>(state.range(0));
    if (tier > DetectedSimdTier()) {
        state.SkipWithError("tier not available on this processor");
        return;
    }
    const std::vector<uint8_t> picture = NoisePicture(kWidth, kHeight);
    std::vector<Pixel16> destination(static_cast<std::size_t>(DestinationRowStride(kWidth)) * kHeight);
    const double gamma = static_cast<double>(state.range(1)) / 10.0;
    const auto intensity = static_cast<int32_t>(state.range(2));
    int32_t frame = 0;
    const auto run = std::make_unique<PictureState>();
    run->tier = tier;
    for (auto _ : state) {
        convert(*run,
                {picture.data(), kWidth, kHeight, destination.data(), kWidth, kHeight, frame++, gamma, intensity});
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

#define KEST_PICTURE_TIER_BENCHMARK(name, converter)                         \
    BENCHMARK_CAPTURE(BM_ConvertTier, name, converter)                       \
        ->ArgNames({"tier", "gamma10", "i"})                                 \
        ->ArgsProduct({{0, 1, 2, 3}, {10, 18}, {0, 1}})

KEST_PICTURE_TIER_BENCHMARK(BitTruncate, ConvertBitTruncate);
KEST_PICTURE_TIER_BENCHMARK(Dither2x2, ConvertDither2x2);
KEST_PICTURE_TIER_BENCHMARK(Dither4x4, ConvertDither4x4);
KEST_PICTURE_TIER_BENCHMARK(TemporalDither2x2, ConvertTemporalDither2x2);
KEST_PICTURE_TIER_BENCHMARK(TemporalErrorDiffusion, ConvertTemporalErrorDiffusion);
KEST_PICTURE_TIER_BENCHMARK(PlanarErrorDiffusion, ConvertPlanarErrorDiffusion);

}  // namespace
