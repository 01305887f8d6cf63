// Inside bit truncation and the ordered dithers: the whole-row steps of
// each tier, one file per instruction set. A step converts pixels
// 0 .. n - 1 of a row, n a multiple of 16 as large as `columns` allows (of
// its own step), and returns n; `matrixRow` holds the row's
// four matrix values (all 0 for truncation), `gamma` the gamma table's
// bytes and `gammaPairs` its pairs (built only for the SSE2 tier).
#pragma once

#include <cstdint>

#include "picture/pixel16.h"

namespace kest {

using RowStep = int32_t (*)(const uint8_t* in, Pixel16* out, int32_t columns, const uint16_t* matrixRow,
                            int32_t useIntensityBit, const uint8_t* gammaBytes, const uint16_t* gammaPairs);

#if defined(__SSE2__)
// The identity gamma table only: 16 pixels a step.
int32_t ReduceRowIdentitySse2(const uint8_t* in, Pixel16* out, int32_t columns, const uint16_t* matrixRow,
                              int32_t useIntensityBit, const uint8_t* gammaBytes, const uint16_t* gammaPairs);
// Any gamma table: the row's bytes looked up in pairs as they are loaded.
int32_t ReduceRowGammaSse2(const uint8_t* in, Pixel16* out, int32_t columns, const uint16_t* matrixRow,
                           int32_t useIntensityBit, const uint8_t* gammaBytes, const uint16_t* gammaPairs);
#endif

#if defined(__x86_64__)
// The identity gamma table only: 32 pixels a step, then 16.
int32_t ReduceRowIdentityAvx2(const uint8_t* in, Pixel16* out, int32_t columns, const uint16_t* matrixRow,
                              int32_t useIntensityBit, const uint8_t* gammaBytes, const uint16_t* gammaPairs);
// Any gamma table, 32 pixels a step: the row's bytes looked up in pairs.
int32_t ReduceRowGammaAvx2(const uint8_t* in, Pixel16* out, int32_t columns, const uint16_t* matrixRow,
                           int32_t useIntensityBit, const uint8_t* gammaBytes, const uint16_t* gammaPairs);
// 64 pixels a step: the identity gamma table, and any table looked up in
// registers.
int32_t ReduceRowIdentityAvx512(const uint8_t* in, Pixel16* out, int32_t columns, const uint16_t* matrixRow,
                                int32_t useIntensityBit, const uint8_t* gammaBytes, const uint16_t* gammaPairs);
int32_t ReduceRowGamma64Avx512(const uint8_t* in, Pixel16* out, int32_t columns, const uint16_t* matrixRow,
                               int32_t useIntensityBit, const uint8_t* gammaBytes, const uint16_t* gammaPairs);
// Any gamma table, 32 pixels a step, looked up in registers.
int32_t ReduceRowGammaAvx512(const uint8_t* in, Pixel16* out, int32_t columns, const uint16_t* matrixRow,
                             int32_t useIntensityBit, const uint8_t* gammaBytes, const uint16_t* gammaPairs);
#endif

}  // namespace kest
