#include <cstddef>

#include "sound/low_pass_filter.h"

namespace kest::LowPassFilter {

int32_t FilterMonoReference(const double* h, const int16_t* input, int16_t* output, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        const int16_t* x = input + i;
        double sum = 0.0;
        for (int k = 0; k < kTaps; ++k) sum = sum + static_cast<double>(x[k]) * h[k];
        output[i] = ToSample(sum);
    }
    return count;
}

int32_t FilterStereoReference(const double* h, const int16_t* input, int16_t* output, int32_t count) {
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

void FilterPickedReference(const double* h, const int16_t* input, int channels, const int32_t* at, int32_t count,
                           int16_t* output) {
    for (int32_t i = 0; i < count; ++i)
        for (int c = 0; c < channels; ++c) {
            const int16_t* x = input + static_cast<std::ptrdiff_t>(at[i]) * channels + c;
            double sum = 0.0;
            for (int k = 0; k < kTaps; ++k) sum = sum + static_cast<double>(x[k * channels]) * h[k];
            output[static_cast<std::ptrdiff_t>(i) * channels + c] = ToSample(sum);
        }
}

}  // namespace kest::LowPassFilter
