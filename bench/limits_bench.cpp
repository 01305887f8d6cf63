// The limits the conversions are measured against, in the same run: copying
// a frame's source bytes, and a plain loop of double multiply-adds (one sum,
// each product and addition rounded, as the filter's rule asks).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

// The host's 24-bit picture of width x height, rows padded to 4 bytes.
void BM_MemcpySourceFrame(benchmark::State& state) {
    const auto width = static_cast<std::size_t>(state.range(0));
    const auto height = static_cast<std::size_t>(state.range(1));
    const std::size_t bytes = (width * 3 + 3) / 4 * 4 * height;
    std::vector<uint8_t> from(bytes, 0x5A), to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(width * height));  // pixels
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_MemcpySourceFrame)->Args({512, 480})->Args({256, 192});

// sum = sum + x[k] * h[k] over 301 taps for one output after another: the
// single chain of dependent additions that the plain filter runs.
void BM_PlainMultiplyAdd(benchmark::State& state) {
    constexpr int kTaps = 301;
    constexpr int kOutputs = 4096;
    std::vector<double> x(kOutputs + kTaps), h(kTaps);
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = static_cast<double>(static_cast<int>(i * 7919 % 65536) - 32768);
    for (int k = 0; k < kTaps; ++k) h[k] = 1.0 / (k + 3);
    for (auto _ : state) {
        double total = 0.0;
        for (int i = 0; i < kOutputs; ++i) {
            double sum = 0.0;
            for (int k = 0; k < kTaps; ++k) sum = sum + x[static_cast<std::size_t>(i + k)] * h[static_cast<std::size_t>(k)];
            total = total + sum;
        }
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * kOutputs * kTaps);  // multiply-adds
}
BENCHMARK(BM_PlainMultiplyAdd);

}  // namespace
