#include "sound/low_pass_filter.h"

#include <cmath>
#include <cstddef>

namespace kest::LowPassFilter {
namespace {

constexpr double kPi = 3.141592653589793;

double coefficients[kTaps];

// Clamped to the 16-bit range, then truncated toward zero: 0.7 and -0.7 both
// give 0, -1.5 gives -1.
int16_t ToSample(double sum) {
    if (sum > 32767.0) sum = 32767.0;
    if (sum < -32768.0) sum = -32768.0;
    return static_cast<int16_t>(static_cast<int32_t>(sum));
}

}  // namespace

const double* DesignLowPass(int32_t cutoff, int32_t rate) {
    const double a = cutoff;
    const double halfRate = static_cast<double>(rate) / 2.0;
    const double w = (kPi / halfRate) * a;  // cutoff in radians per sample
    for (int i = 1; i <= kCentre; ++i) {
        const double di = i;
        const double sinc = std::sin(di * w) * (1.0 / (di * kPi));
        const double window = std::cos(di * kPi / 150.0) * 0.46 + 0.54;
        coefficients[kCentre + i] = coefficients[kCentre - i] = sinc * window;
    }
    // Evaluated in this order; the result is 2a/b up to the last bits.
    const double inner = 1.0 - a / halfRate;
    coefficients[kCentre] = 1.0 - inner;
    return coefficients;
}

const double* Coefficients() { return coefficients; }

int32_t FilterMono(const double* h, const int16_t* input, int16_t* output, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        const int16_t* x = input + i;
        double sum = 0.0;
        for (int k = 0; k < kTaps; ++k) sum = sum + static_cast<double>(x[k]) * h[k];
        output[i] = ToSample(sum);
    }
    return count;
}

int32_t FilterStereo(const double* h, const int16_t* input, int16_t* output, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        const int16_t* x = input + 2 * static_cast<std::ptrdiff_t>(i);
        double left = 0.0;
        double right = 0.0;
        for (int k = 0; k < kTaps; ++k) {
            left = left + static_cast<double>(x[2 * k]) * h[k];
            right = right + static_cast<double>(x[2 * k + 1]) * h[k];
        }
        output[2 * static_cast<std::ptrdiff_t>(i)] = ToSample(left);
        output[2 * static_cast<std::ptrdiff_t>(i) + 1] = ToSample(right);
    }
    return count;
}

}  // namespace kest::LowPassFilter
