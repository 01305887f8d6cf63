#include "sound/low_pass_filter.h"

#include <algorithm>
#include <cstddef>

#include "base/correctly_rounded.h"
#include "base/cpu_features.h"
#include "sound/low_pass_lanes.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace kest::LowPassFilter {
namespace {

constexpr double kPi = 3.141592653589793;

// Outputs are made a block at a time from the block's inputs converted to
// double once. A block's inputs are all read before any of its outputs is
// written, and outputs land below the next block's first input, so running
// in place stays safe.
constexpr int32_t kBlock = 512;

// sums[i] = x[i] * h[0] + ... + x[i + 300] * h[300], added in that order, for
// i = 0 .. n - 1; x holds n + 300 values.
using SumKernel = void (*)(const double* h, const double* x, double* sums, int32_t n);

void SumPlain(const double* h, const double* x, double* sums, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        double sum = 0.0;
        for (int k = 0; k < kTaps; ++k) sum = sum + x[i + k] * h[k];
        sums[i] = sum;
    }
}

#if defined(__SSE2__)
// Eight outputs side by side, two to a register; every lane does the plain
// loop's additions in the plain loop's order.
KEST_ALIGN_STACK void SumSse2(const double* h, const double* x, double* sums, int32_t n) {
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        __m128d a0 = _mm_setzero_pd(), a1 = _mm_setzero_pd(), a2 = _mm_setzero_pd(), a3 = _mm_setzero_pd();
        const double* p = x + i;
        for (int k = 0; k < kTaps; ++k, ++p) {
            const __m128d hk = _mm_set1_pd(h[k]);
            a0 = _mm_add_pd(a0, _mm_mul_pd(_mm_loadu_pd(p), hk));
            a1 = _mm_add_pd(a1, _mm_mul_pd(_mm_loadu_pd(p + 2), hk));
            a2 = _mm_add_pd(a2, _mm_mul_pd(_mm_loadu_pd(p + 4), hk));
            a3 = _mm_add_pd(a3, _mm_mul_pd(_mm_loadu_pd(p + 6), hk));
        }
        _mm_storeu_pd(sums + i, a0);
        _mm_storeu_pd(sums + i + 2, a1);
        _mm_storeu_pd(sums + i + 4, a2);
        _mm_storeu_pd(sums + i + 6, a3);
    }
    SumPlain(h, x + i, sums + i, n - i);
}
#endif

#if defined(__x86_64__)
// Sixteen outputs, four to a register. The target names AVX2 but not FMA, so
// the compiler cannot fuse the multiply into the add.
__attribute__((target("avx2"))) void SumAvx2(const double* h, const double* x, double* sums, int32_t n) {
    int32_t i = 0;
    for (; i + 16 <= n; i += 16) {
        __m256d a0 = _mm256_setzero_pd(), a1 = _mm256_setzero_pd(), a2 = _mm256_setzero_pd(),
                a3 = _mm256_setzero_pd();
        const double* p = x + i;
        for (int k = 0; k < kTaps; ++k, ++p) {
            const __m256d hk = _mm256_broadcast_sd(h + k);
            a0 = _mm256_add_pd(a0, _mm256_mul_pd(_mm256_loadu_pd(p), hk));
            a1 = _mm256_add_pd(a1, _mm256_mul_pd(_mm256_loadu_pd(p + 4), hk));
            a2 = _mm256_add_pd(a2, _mm256_mul_pd(_mm256_loadu_pd(p + 8), hk));
            a3 = _mm256_add_pd(a3, _mm256_mul_pd(_mm256_loadu_pd(p + 12), hk));
        }
        _mm256_storeu_pd(sums + i, a0);
        _mm256_storeu_pd(sums + i + 4, a1);
        _mm256_storeu_pd(sums + i + 8, a2);
        _mm256_storeu_pd(sums + i + 12, a3);
    }
    SumPlain(h, x + i, sums + i, n - i);
}
#endif

SumKernel KernelOf(Path path) {
    switch (path) {
#if defined(__x86_64__)
        case Path::Avx512:
        case Path::Avx2: return SumAvx2;
#endif
#if defined(__SSE2__)
        case Path::Sse2: return SumSse2;
#endif
        default: return SumPlain;
    }
}

// Runs `channels` interleaved channels (1 or 2), each through the kernel.
int32_t Run(Path path, const double* h, const int16_t* input, int16_t* output, int32_t count, int channels) {
    const SumKernel sum = KernelOf(PathAvailable(path) ? path : Path::Plain);
    double sums[kBlock];
    for (int32_t start = 0; start < count; start += kBlock) {
        const int32_t n = count - start < kBlock ? count - start : kBlock;
        // Both channels' inputs are read before either's outputs are written.
        double xs[2][kBlock + kTaps - 1];
        for (int c = 0; c < channels; ++c) {
            const int16_t* in = input + static_cast<std::ptrdiff_t>(start) * channels + c;
            for (int32_t j = 0; j < n + kTaps - 1; ++j) xs[c][j] = in[static_cast<std::ptrdiff_t>(j) * channels];
        }
        for (int c = 0; c < channels; ++c) {
            sum(h, xs[c], sums, n);
            int16_t* out = output + static_cast<std::ptrdiff_t>(start) * channels + c;
            for (int32_t j = 0; j < n; ++j) out[static_cast<std::ptrdiff_t>(j) * channels] = ToSample(sums[j]);
        }
    }
    return count;
}

// Picked outputs first .. end - 1, one at a time.
void PickedPlain(const double* h, const int16_t* input, int channels, const int32_t* at, int32_t first, int32_t end,
                 int16_t* output) {
    for (int32_t i = first; i < end; ++i)
        for (int c = 0; c < channels; ++c) {
            const int16_t* x = input + static_cast<std::ptrdiff_t>(at[i]) * channels + c;
            double sum = 0.0;
            for (int k = 0; k < kTaps; ++k) sum = sum + static_cast<double>(x[k * channels]) * h[k];
            output[static_cast<std::ptrdiff_t>(i) * channels + c] = ToSample(sum);
        }
}

struct Lanes {
    int width;
    LaneKernel kernel;
};

Lanes LanesOf(Path path) {
    switch (path) {
#if defined(__x86_64__)
        case Path::Avx512: return {8, SumLanesAvx512};
        case Path::Avx2: return {4, SumLanesAvx2};
#endif
#if defined(__SSE2__)
        case Path::Sse2: return {2, SumLanesSse2};
#endif
        default: return {1, nullptr};
    }
}

// A block's lane rows and sums live on the stack; a block holds up to
// kMaxGroups outputs a lane, fewer when the rows they reach would not fit.
constexpr int32_t kRowDoubles = 4096;
constexpr int32_t kMaxGroups = 128;

}  // namespace

// Outputs are taken a block at a time: lane l of a block computes its l-th
// run of `per` consecutive outputs. Between a lane and lane 0 the start
// moves by its least distance D_l plus 0 or 1 (the resampler's steps differ
// by at most one), so lane l's rows are the inputs from D_l on and the
// group's mask says which lanes start a row later. A group that would need
// more (the resampler never makes one) is summed plainly.
KEST_ALIGN_STACK void FilterPickedOn(Path path, const double* h, const int16_t* input, int channels,
                                     const int32_t* at, int32_t count, int16_t* output) {
    if (count <= 0) return;
    const Lanes lanes = LanesOf(PathAvailable(path) ? path : Path::Plain);
    const int width = lanes.width;
    const int64_t last = static_cast<int64_t>(at[count - 1]) + kTaps - 1;  // the last sample frame there is
    const int32_t maxRows = kRowDoubles / width;
    alignas(64) double rows[kRowDoubles];
    alignas(64) double sums[kMaxGroups * 8];
    int32_t base[kMaxGroups];
    uint8_t masks[kMaxGroups];
    int32_t which[kMaxGroups];
    int32_t distance[8];
    int32_t start = 0;
    while (width > 1 && count - start >= width) {
        int32_t per = std::min((count - start) / width, kMaxGroups);
        const int32_t origin = at[start];
        while (per > 0 && at[start + per - 1] - origin + kTaps + 1 > maxRows) --per;
        if (per == 0) break;
        const int32_t rowCount = at[start + per - 1] - origin + kTaps + 1;

        for (int l = 0; l < width; ++l) {
            int32_t d = at[start + l * per] - at[start];
            for (int32_t j = 1; j < per; ++j) d = std::min(d, at[start + l * per + j] - at[start + j]);
            distance[l] = d;
        }
        int32_t groups = 0;
        for (int32_t j = 0; j < per; ++j) {
            unsigned bits = 0;
            bool fits = true;
            for (int l = 0; l < width; ++l) {
                const int32_t e = at[start + l * per + j] - at[start + j] - distance[l];
                fits = fits && e <= 1;
                bits |= static_cast<unsigned>(e & 1) << l;
            }
            if (fits) {
                base[groups] = at[start + j] - origin;
                masks[groups] = static_cast<uint8_t>(bits);
                which[groups++] = j;
            } else {
                for (int l = 0; l < width; ++l) {
                    const int32_t i = start + l * per + j;
                    PickedPlain(h, input, channels, at, i, i + 1, output);
                }
            }
        }
        for (int c = 0; c < channels; ++c) {
            for (int l = 0; l < width; ++l) {
                const int64_t from = static_cast<int64_t>(origin) + distance[l];
                const int64_t readable = std::clamp<int64_t>(last + 1 - from, 0, rowCount);
                const int16_t* x = input + from * channels + c;
                double* lane = rows + l;
                int64_t m = 0;
                for (; m < readable; ++m) lane[m * width] = static_cast<double>(x[m * channels]);
                for (; m < rowCount; ++m) lane[m * width] = 0.0;  // past the input: never summed
            }
            lanes.kernel(h, rows, base, masks, groups, sums);
            for (int32_t g = 0; g < groups; ++g)
                for (int l = 0; l < width; ++l) {
                    const std::ptrdiff_t i = start + l * per + which[g];
                    output[i * channels + c] = ToSample(sums[g * width + l]);
                }
        }
        start += width * per;
    }
    PickedPlain(h, input, channels, at, start, count, output);
}

Taps DesignLowPass(int32_t cutoff, int32_t rate) {
    Taps taps;
    double* coefficients = taps.h;
    const double a = cutoff;
    const double halfRate = static_cast<double>(rate) / 2.0;
    const double w = (kPi / halfRate) * a;  // cutoff in radians per sample
    for (int i = 1; i <= kCentre; ++i) {
        const double di = i;
        const double sinc = CorrectlyRoundedSin(di * w) * (1.0 / (di * kPi));
        const double window = CorrectlyRoundedCos(di * kPi / 150.0) * 0.46 + 0.54;
        coefficients[kCentre + i] = coefficients[kCentre - i] = sinc * window;
    }
    // Evaluated in this order; the result is 2a/b up to the last bits.
    const double inner = 1.0 - a / halfRate;
    coefficients[kCentre] = 1.0 - inner;
    return taps;
}

Path PathOf(SimdTier tier) {
#if defined(__x86_64__)
    if (tier >= SimdTier::Avx512) return Path::Avx512;
    if (tier >= SimdTier::Avx2) return Path::Avx2;
#endif
#if defined(__SSE2__)
    if (tier >= SimdTier::Sse2) return Path::Sse2;
#endif
    (void)tier;
    return Path::Plain;
}

bool PathAvailable(Path path) { return path <= BestPath(); }

Path BestPath() {
    static const Path best = PathOf(DetectedSimdTier());
    return best;
}

int32_t FilterMonoOn(Path path, const double* h, const int16_t* input, int16_t* output, int32_t count) {
    return Run(path, h, input, output, count, 1);
}

int32_t FilterStereoOn(Path path, const double* h, const int16_t* input, int16_t* output, int32_t count) {
    return Run(path, h, input, output, count, 2);
}

}  // namespace kest::LowPassFilter
