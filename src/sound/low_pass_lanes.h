// The summing kernels of the picked-output filter, one file per instruction
// set. Internal to the filter.
//
// The picked outputs are laid in L lanes: the inputs a lane needs are
// converted to double once and stored lane by lane, row m holding L values
// (`rows[m * L + l]`). A group is L outputs summed side by side: lane l starts
// at row base + e_l, where e_l (0 or 1) is bit l of the group's mask, so a tap
// needs two neighbouring rows, blended by the mask, and no gather. Each lane
// is still summed alone in increasing tap order with no fused multiply-add.
#pragma once

#include <cstdint>

#include "base/cpu_features.h"

namespace kest::LowPassFilter {

// sums[g * L + l] = sum over k of rows[(base[g] + k + e_l) * L + l] * h[k],
// for g = 0 .. groups - 1. Rows base[g] .. base[g] + 301 exist.
using LaneKernel = void (*)(const double* h, const double* rows, const int32_t* base, const uint8_t* masks,
                            int32_t groups, double* sums);

#if defined(__SSE2__)
void SumLanesSse2(const double* h, const double* rows, const int32_t* base, const uint8_t* masks, int32_t groups,
                  double* sums);  // L = 2
#endif
#if defined(__x86_64__)
void SumLanesAvx2(const double* h, const double* rows, const int32_t* base, const uint8_t* masks, int32_t groups,
                  double* sums);  // L = 4
void SumLanesAvx512(const double* h, const double* rows, const int32_t* base, const uint8_t* masks, int32_t groups,
                    double* sums);  // L = 8
#endif

}  // namespace kest::LowPassFilter
