// Temporal error diffusion, table-driven: each channel's clamp, 6-bit level,
// field bits and both possible errors come from one look-up of its corrected
// value; the shared bit then picks the error. Word for word the same as the
// plain form.

#include <algorithm>
#include <iterator>

#include "picture/gamma_table.h"
#include "picture/picture_converter.h"
#include "picture/reduction_tables.h"

namespace kest {

void StartTemporalRun(PictureState& state, const PictureFrame& f) {
    for (auto& plane : state.temporal) std::fill(std::begin(plane), std::end(plane), int16_t{0});
    BuildGammaTable(state.gamma, f.gamma);
}

void ConvertTemporalErrorDiffusion(PictureState& state, const PictureFrame& f) {
    constexpr int32_t kPlaneSide = kMaxPictureSide;
    if (f.frameIndex == 0) StartTemporalRun(state, f);
    const uint16_t* gamma = state.gamma.Entries();
    const QuantizeTable& q = QuantizeTables();
    const uint32_t* qb = q[0] + kQuantizeBias;
    const uint32_t* qg = q[1] + kQuantizeBias;
    const uint32_t* qr = q[2] + kQuantizeBias;
    const PictureWalk walk(f, kPlaneSide);
    for (int32_t y = 0; y < walk.rows; ++y) {
        const uint8_t* in = walk.In(y);
        Pixel16* out = walk.Out(y);
        int16_t* blue = state.temporal[0] + y * kPlaneSide;
        int16_t* green = state.temporal[1] + y * kPlaneSide;
        int16_t* red = state.temporal[2] + y * kPlaneSide;
        for (int32_t x = 0; x < walk.columns; ++x, in += 3) {
            // Gamma 0 .. 255 plus a carried error of -6 .. 6 stays inside
            // the tables' -16 .. 271.
            const uint32_t b = qb[gamma[in[0]] + blue[x]];
            const uint32_t g = qg[gamma[in[1]] + green[x]];
            const uint32_t r = qr[gamma[in[2]] + red[x]];
            const uint32_t intensity = QuantizedIntensity(b, g, r, f.useIntensityBit);
            blue[x] = QuantizedError(b, intensity);
            green[x] = QuantizedError(g, intensity);
            red[x] = QuantizedError(r, intensity);
            PutStored(out + x, QuantizedWord(b, g, r, intensity));
        }
    }
}

}  // namespace kest
