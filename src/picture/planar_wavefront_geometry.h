// Where planar error diffusion puts each row when many rows run at once, one
// row per 16-bit vector lane. Row r = b * L + j (L lanes, block b, lane j)
// converts column x at step
//     t = s * r + b + x + 2,
// s being the skew: row r reaches column x when row r - 1 has passed column
// x + 2 and is s - 2 steps further on, so every lane advances in the same
// step and the only serial chain left is each row's own left neighbours.
// Counting u = x + 2, a row spans u = 0 .. C + 3: u = 0, 1 are the two seeds
// left of the row and u = C + 2, C + 3 the two cells right of it that the
// rows above gather. A lane takes a new row every P = s * L + 1 steps, so s
// must also make room for those C + 4 positions.
//
// The errors of the frame are kept in one flat array per channel, cell
//     n = r * P + u * L
// for (r, u): a step is one aligned vector of it, a row's neighbours at
// u - 2 .. u + 2 are neighbouring vectors, and because P = 1 (mod L) the row
// below lane 0 is lane L - 1 of an earlier step, an unaligned load away.
#pragma once

#include <algorithm>
#include <cstdint>

namespace kest {

// Steps converted between two passes of the lane buffers: the transposes
// work on blocks of this many steps.
inline constexpr int32_t kWavefrontChunk = 16;
inline constexpr int32_t kWavefrontMaxLanes = 32;

struct WavefrontGeometry {
    int32_t lanes, rows, columns;
    int32_t skew, period;
    int32_t steps;       // steps of the frame, a multiple of kWavefrontChunk
    int32_t borderSteps; // the first steps, while the two border rows are in lanes
    int32_t lead;        // vectors before step 0 in the error arrays
    int32_t errorCells;  // cells of each channel's error array
    int32_t laneBytes;   // bytes of each lane's buffer, a multiple of 64
    int32_t maskCells;   // period masks, then the border steps' masks

    constexpr WavefrontGeometry(int32_t lanesIn, int32_t rowsIn, int32_t columnsIn)
        : lanes(lanesIn),
          rows(rowsIn),
          columns(columnsIn),
          skew(std::max<int32_t>(6, (columnsIn + 3 + lanesIn - 1) / lanesIn)),
          period(skew * lanesIn + 1),
          steps(RoundUp(Step(rowsIn - 1, columnsIn + 4))),
          borderSteps(skew + columnsIn + 4),
          lead(2 * skew + 4),
          errorCells(((lead + steps + 1) * lanesIn + 31) / 32 * 32),
          laneBytes((3 * (steps + (lanesIn - 1) * skew) + 64 + 63) / 64 * 64),
          maskCells((period + RoundUp(borderSteps)) * lanesIn) {}

    // Rows are counted from -2, the two border rows below the picture; steps
    // from the first seed of row -2.
    constexpr int32_t Block(int32_t r) const { return r >= 0 ? r / lanes : -((-r + lanes - 1) / lanes); }
    constexpr int32_t Lane(int32_t r) const { return r - Block(r) * lanes; }
    constexpr int32_t Step(int32_t r, int32_t u) const { return skew * r + Block(r) + u + 2 * skew + 1; }
    // The element of a channel's error array holding (r, u).
    constexpr int32_t ErrorCell(int32_t r, int32_t u) const { return (lead + Step(r, u)) * lanes + Lane(r); }
    // Where (r, u) is in lane Lane(r)'s buffer, in 3-byte input positions and
    // in 2-byte output words alike. The lanes start (L - 1 - j) * s apart so
    // that step g of lane j is position g + (L - 1 - j) * s.
    constexpr int32_t LanePosition(int32_t r, int32_t u) const {
        return Step(r, u) + (lanes - 1 - Lane(r)) * skew;
    }

private:
    static constexpr int32_t RoundUp(int32_t n) { return (n + kWavefrontChunk - 1) / kWavefrontChunk * kWavefrontChunk; }
};

// The largest arrays any tier needs, at 512 x 512.
inline constexpr int32_t kWavefrontErrorCells = std::max({WavefrontGeometry(8, 512, 512).errorCells,
                                                          WavefrontGeometry(16, 512, 512).errorCells,
                                                          WavefrontGeometry(32, 512, 512).errorCells});
inline constexpr int32_t kWavefrontLaneBytes = std::max({8 * WavefrontGeometry(8, 512, 512).laneBytes,
                                                         16 * WavefrontGeometry(16, 512, 512).laneBytes,
                                                         32 * WavefrontGeometry(32, 512, 512).laneBytes});
inline constexpr int32_t kWavefrontMaskCells = std::max({WavefrontGeometry(8, 512, 512).maskCells,
                                                         WavefrontGeometry(16, 512, 512).maskCells,
                                                         WavefrontGeometry(32, 512, 512).maskCells});

}  // namespace kest
