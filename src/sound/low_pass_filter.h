// The 301-tap low-pass filter run before the rate goes down: a windowed sinc
// (Hamming window), symmetric about the centre tap, evaluated in double
// precision with one rounding per product and per addition, in increasing
// tap order, so that every build writes the same samples.
#pragma once

#include <cstdint>

#include "base/cpu_features.h"

namespace kest::LowPassFilter {

inline constexpr int kTaps = 301;
inline constexpr int kCentre = 150;  // output i is centred on input i + 150

struct Taps {
    double h[kTaps];
};

// The taps for cutoff `cutoff` Hz at sampling rate `rate` Hz. They are not
// normalised: they add up to about 1, not exactly 1.
Taps DesignLowPass(int32_t cutoff, int32_t rate);

// Clamped to the 16-bit range, then truncated toward zero: 0.7 and -0.7 both
// give 0, -1.5 gives -1.
inline int16_t ToSample(double sum) {
    if (sum > 32767.0) sum = 32767.0;
    if (sum < -32768.0) sum = -32768.0;
    return static_cast<int16_t>(static_cast<int32_t>(sum));
}

// The code that sums the taps. Several outputs are summed side by side in
// vector registers; each is still summed alone, in increasing tap order,
// with no fused multiply-add, so the samples equal the plain loop's.
enum class Path { Plain, Sse2, Avx2, Avx512 };
// The widest path a tier runs.
Path PathOf(SimdTier tier);
bool PathAvailable(Path path);  // this build and this processor run it
Path BestPath();                // PathOf(DetectedSimdTier())

// `input` holds count + 300 samples; `output` receives count samples and may
// be `input` itself (output i is written after inputs i..i+300 are read, and
// later outputs never read below their own index). Returns count. A path
// this processor does not run falls back to the plain one.
int32_t FilterMonoOn(Path path, const double* h, const int16_t* input, int16_t* output, int32_t count);
// The same over left/right pairs: count + 300 sample frames in, count out,
// each channel with its own sum.
int32_t FilterStereoOn(Path path, const double* h, const int16_t* input, int16_t* output, int32_t count);

// On the best path.
inline int32_t FilterMono(const double* h, const int16_t* input, int16_t* output, int32_t count) {
    return FilterMonoOn(BestPath(), h, input, output, count);
}
inline int32_t FilterStereo(const double* h, const int16_t* input, int16_t* output, int32_t count) {
    return FilterStereoOn(BestPath(), h, input, output, count);
}

// Only the outputs a resampler reads: output i is the filter run on the 301
// sample frames from sample frame at[i] on, for each of `channels`
// interleaved channels (1 or 2), written to output[i * channels + c]. `at`
// never decreases, and the input holds at[count - 1] + 301 sample frames.
// The output must not overlap the input. A path this processor does not run
// falls back to the plain one.
void FilterPickedOn(Path path, const double* h, const int16_t* input, int channels, const int32_t* at,
                    int32_t count, int16_t* output);

// The plain loops, one output at a time: what the fast paths must equal.
// Tests, benchmarks and the tool link them; the module does not.
int32_t FilterMonoReference(const double* h, const int16_t* input, int16_t* output, int32_t count);
int32_t FilterStereoReference(const double* h, const int16_t* input, int16_t* output, int32_t count);
void FilterPickedReference(const double* h, const int16_t* input, int channels, const int32_t* at, int32_t count,
                           int16_t* output);

}  // namespace kest::LowPassFilter
