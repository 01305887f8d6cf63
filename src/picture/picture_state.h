// Everything the converters of one export carry from frame to frame: the
// gamma table, the dither matrix, the ordered converters' look-up tables and
// the error planes. One export takes one from the heap before its file is
// created; a converter never allocates.
#pragma once

#include <cstdint>

#include "base/cpu_features.h"
#include "picture/dither_matrix.h"
#include "picture/gamma_table.h"
#include "picture/planar_wavefront_geometry.h"
#include "picture/reduction_tables.h"

namespace kest {

inline constexpr int32_t kMaxPictureSide = 512;
inline constexpr int32_t kPlanarBorder = 2;
inline constexpr int32_t kPlanarPlaneSide = kMaxPictureSide + kPlanarBorder;  // 514

struct PictureState {
    SimdTier tier;  // the widest kernels the converters may use
    GammaTable gamma;
    // The gamma table's bytes two at a time (BuildGammaPairs), built on frame
    // index 0 by the converters whose steps look them up.
    uint16_t gammaPairs[256 * 256];
    DitherMatrix matrix;
    // By useIntensityBit; both made from the gamma table on frame index 0.
    OrderedTable ordered[2];
    // Temporal error diffusion: cell y * 512 + x of pixel (y, x), y counted
    // from the bottom row, per channel blue, green, red.
    int16_t temporal[3][kMaxPictureSide * kMaxPictureSide];
    // The same cells for the fast converter, whose vector steps read and
    // write each error (-6 .. 6) as one byte.
    int8_t temporalBytes[3][kMaxPictureSide * kMaxPictureSide];
    // Planar error diffusion: 514 cells a row, two border rows and columns.
    // The plain form holds each error, the fast form each error plus 8.
    int16_t planar[3][kPlanarPlaneSide * kPlanarPlaneSide];
    // The fast planar form's working arrays (see planar_wavefront_geometry.h).
    // The heap gives no 64-byte alignment, so each array has 64 bytes to spare
    // and the kernels align their start.
    struct {
        int16_t errors[3][kWavefrontErrorCells + 32];
        uint8_t lanes[kWavefrontLaneBytes + 64];
        int16_t masks[kWavefrontMaskCells + 32];
        // The geometry the masks were made for; 0 lanes: not made yet.
        int32_t maskLanes, maskColumns;
        // The last frame's errors, not yet copied into `planar`: only a later
        // frame that does not overwrite them all needs them there. 0 lanes:
        // none.
        int32_t pendingLanes, pendingRows, pendingColumns;
    } wavefront;
};

struct PictureFrame;

// Frame index 0 of temporal error diffusion, plain or fast: the planes
// cleared and the gamma table built.
void StartTemporalRun(PictureState& state, const PictureFrame& frame);

}  // namespace kest
