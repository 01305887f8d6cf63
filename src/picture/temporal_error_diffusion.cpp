// Temporal error diffusion, fast form: no error moves along a row, so every
// tier takes whole rows through its vector steps, and the quantisation
// tables finish what is left of a row. Word for word the same as the plain
// form.

#include <algorithm>
#include <iterator>

#include "base/cpu_features.h"
#include "picture/gamma_table.h"
#include "picture/picture_converter.h"
#include "picture/temporal_error_diffusion_rows.h"

namespace kest {

void StartTemporalRun(PictureState& state, const PictureFrame& f) {
    for (auto& plane : state.temporal) std::fill(std::begin(plane), std::end(plane), int16_t{0});
    for (auto& plane : state.temporalBytes) std::fill(std::begin(plane), std::end(plane), int8_t{0});
    BuildGammaTable(state.gamma, f.gamma);
}

void TemporalFrameTables(PictureState& state, const PictureFrame& f, const PictureWalk& walk) {
    for (int32_t y = 0; y < walk.rows; ++y)
        TemporalPixels(walk.In(y), walk.Out(y), TemporalErrorRows(state, y).channel, 0, walk.columns,
                       state.gamma.Entries(), f.useIntensityBit);
}

void ConvertTemporalErrorDiffusion(PictureState& state, const PictureFrame& f) {
    if (f.frameIndex == 0) {
        StartTemporalRun(state, f);
        if (state.tier <= SimdTier::Avx2 && !state.gamma.identity) BuildGammaPairs(state.gammaPairs, state.gamma);
    }
    const PictureWalk walk(f, kMaxPictureSide);
#if defined(__x86_64__)
    if (state.tier >= SimdTier::Avx512) return TemporalFrameAvx512(state, f, walk);
    if (state.tier >= SimdTier::Avx2) return TemporalFrameAvx2(state, f, walk);
#endif
#if defined(__SSE2__)
    if (state.tier >= SimdTier::Sse2) return TemporalFrameSse2(state, f, walk);
#endif
    TemporalFrameTables(state, f, walk);
}

}  // namespace kest
