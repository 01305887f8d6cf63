// The 301-tap low-pass filter run before the rate goes down: a windowed sinc
// (Hamming window), symmetric about the centre tap, evaluated in double
// precision with one rounding per product and per addition, in increasing
// tap order, so that every build writes the same samples.
#pragma once

#include <cstdint>

namespace kest::LowPassFilter {

inline constexpr int kTaps = 301;
inline constexpr int kCentre = 150;  // output i is centred on input i + 150

// Designs the process-wide table for cutoff `cutoff` Hz at sampling rate
// `rate` Hz and returns it. The taps are not normalised: they add up to
// about 1, not exactly 1.
const double* DesignLowPass(int32_t cutoff, int32_t rate);

// The table the last DesignLowPass made.
const double* Coefficients();

// `input` holds count + 300 samples; `output` receives count samples and may
// be `input` itself (output i is written after inputs i..i+300 are read, and
// later outputs never read below their own index). Returns count.
// Several outputs are summed side by side in vector registers where the
// processor has them; each is still summed alone, in increasing tap order,
// with no fused multiply-add, so the samples equal FilterMonoReference's.
int32_t FilterMono(const double* h, const int16_t* input, int16_t* output, int32_t count);

// The same over left/right pairs: count + 300 sample frames in, count out,
// each channel with its own sum.
int32_t FilterStereo(const double* h, const int16_t* input, int16_t* output, int32_t count);

// The plain loops, one output at a time: what the fast versions must equal.
int32_t FilterMonoReference(const double* h, const int16_t* input, int16_t* output, int32_t count);
int32_t FilterStereoReference(const double* h, const int16_t* input, int16_t* output, int32_t count);

// The code that sums the taps. FilterMono and FilterStereo take the widest
// the processor runs; the ...On forms let a test run each one there is.
enum class Path { Plain, Sse2, Avx2 };
Path BestPath();
bool PathAvailable(Path path);
int32_t FilterMonoOn(Path path, const double* h, const int16_t* input, int16_t* output, int32_t count);
int32_t FilterStereoOn(Path path, const double* h, const int16_t* input, int16_t* output, int32_t count);

}  // namespace kest::LowPassFilter
