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

// Planar error diffusion on a chosen tier (0 plain, 1 SSE2, 2 AVX2, 3
// AVX-512), 512 x 480, so that each tier's kernel can be timed on one
// processor; tiers it does not run are skipped.
void BM_PlanarTier(benchmark::State& state) {
    const auto tier = static_cast<SimdTier>(state.range(0));
    if (tier > DetectedSimdTier()) {
        state.SkipWithError("tier not run by this processor");
        return;
    }
    constexpr int32_t width = 512, height = 480;
    const std::vector<uint8_t> picture = NoisePicture(width, height);
    std::vector<Pixel16> destination(static_cast<std::size_t>(DestinationRowStride(width)) * height);
    const auto intensity = static_cast<int32_t>(state.range(1));
    const double gamma = static_cast<double>(state.range(2)) / 10.0;
    int32_t frame = 0;
    const auto run = std::make_unique<PictureState>();
    run->tier = tier;
    for (auto _ : state) {
        ConvertPlanarErrorDiffusion(
            *run, {picture.data(), width, height, destination.data(), width, height, frame++, gamma, intensity});
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * width * height);
}
BENCHMARK(BM_PlanarTier)
    ->ArgNames({"tier", "i", "gamma10"})
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}, {10, 18}});

}  // namespace
