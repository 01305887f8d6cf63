// The frame around the fast planar kernels: each row laid into its lane
// buffer with the gamma look-up on the way, the values every fixed position
// takes, the masks that pick them, and the words copied out afterwards.
//
// What the plain form reads besides this frame's own errors: with 511 or 512
// columns the cells right of a row are, by the planes' linear addressing,
// the seeds of the next row; otherwise they are plane cells this frame does
// not write, holding what an earlier, wider frame left there (or the clear
// of frame 0). The planes are therefore brought up to date with a frame's
// errors only when a later frame would not overwrite them all.

#include <algorithm>
#include <cstring>

#include "picture/gamma_table.h"
#include "picture/picture_converter.h"
#include "picture/planar_wavefront.h"
#include "picture/reduction_tables.h"

namespace kest {
namespace {

constexpr int32_t kPlaneSide = kPlanarPlaneSide;

template <class T>
T* Aligned64(T* p) {
    const auto at = reinterpret_cast<std::uintptr_t>(p);
    return reinterpret_cast<T*>((at + 63) / 64 * 64);
}

int16_t* ErrorArray(PictureState& state, int c) { return Aligned64(state.wavefront.errors[c]); }

// A pixel's own error, plus 8, per channel.
struct Seed {
    uint8_t e[3];
};
Seed OwnError(const uint16_t* table, const uint8_t* pixel, int32_t useIntensityBit) {
    const QuantizeTable& q = QuantizeTables();
    const uint32_t b = q[0][kQuantizeBias + table[pixel[0]]], g = q[1][kQuantizeBias + table[pixel[1]]],
                   r = q[2][kQuantizeBias + table[pixel[2]]];
    const uint32_t intensity = QuantizedIntensity(b, g, r, useIntensityBit);
    return {{static_cast<uint8_t>(QuantizedError(b, intensity) + 8), static_cast<uint8_t>(QuantizedError(g, intensity) + 8),
             static_cast<uint8_t>(QuantizedError(r, intensity) + 8)}};
}

void MakeMasks(PictureState& state, const WavefrontGeometry& geo) {
    auto& w = state.wavefront;
    if (w.maskLanes == geo.lanes && w.maskColumns == geo.columns) return;
    const int32_t L = geo.lanes, s = geo.skew, period = geo.period, columns = geo.columns;
    int16_t* masks = Aligned64(w.masks);
    // A lane's row starts at step j s + 2 s + 1 (mod period).
    for (int32_t phase = 0; phase < period; ++phase)
        for (int32_t j = 0; j < L; ++j) {
            const int32_t u = ((phase - j * s - 2 * s - 1) % period + period) % period;
            masks[phase * L + j] = u < 2 || u == columns + 2 || u == columns + 3 ? int16_t{-1} : int16_t{0};
        }
    int16_t* border = masks + period * L;
    const auto borderCells = static_cast<std::size_t>(
        std::max<int32_t>(0, (geo.borderSteps + kWavefrontChunk - 1) / kWavefrontChunk * kWavefrontChunk * L));
    std::fill(border, border + borderCells, int16_t{0});
    for (int32_t r : {-2, -1})
        for (int32_t u = 0; u < columns + 4; ++u) border[geo.Step(r, u) * L + geo.Lane(r)] = -1;
    w.maskLanes = L;
    w.maskColumns = columns;
}

}  // namespace

void StartPlanarWavefrontRun(PictureState& state) {
    auto& w = state.wavefront;
    w.pendingLanes = 0;
    w.maskLanes = 0;
    if (!state.gamma.identity) BuildGammaPairs(state.gammaPairs, state.gamma);
}

void SettlePlanarWavefront(PictureState& state) {
    auto& w = state.wavefront;
    if (w.pendingLanes == 0) return;
    const WavefrontGeometry geo(w.pendingLanes, w.pendingRows, w.pendingColumns);
    for (int c = 0; c < 3; ++c) {
        const int16_t* errors = ErrorArray(state, c);
        int16_t* plane = state.planar[c];
        // What the plain form writes: the seeds and the converted cells of
        // the border rows and of every row.
        for (int32_t r = -2; r < geo.rows; ++r)
            for (int32_t u = 0; u < geo.columns + 2; ++u) plane[(r + 2) * kPlaneSide + u] = errors[geo.ErrorCell(r, u)];
    }
    w.pendingLanes = 0;
}

KEST_ALIGN_STACK void ConvertPlanarWavefront(PictureState& state, const PictureFrame& f, int32_t lanes,
                                             WavefrontKernel kernel, GammaRow gammaRow) {
    const PictureWalk area(f, kMaxPictureSide);
    const int32_t rows = area.rows, columns = area.columns;
    if (rows <= 0 || columns <= 0) return;
    auto& w = state.wavefront;
    if (w.pendingLanes != 0 && (columns < w.pendingColumns || rows < w.pendingRows)) SettlePlanarWavefront(state);
    w.pendingLanes = 0;

    const WavefrontGeometry geo(lanes, rows, columns);
    MakeMasks(state, geo);
    const uint16_t* table = state.gamma.Entries();
    const uint8_t* bytes = state.gamma.bytes;
    const bool identity = state.gamma.identity;
    const int32_t use = f.useIntensityBit ? 1 : 0;

    // Every row's seed, and the border rows' image: the bottom row's own errors.
    Seed seeds[kMaxPictureSide];
    uint8_t bottom[3 * kMaxPictureSide];
    for (int32_t r = 0; r < rows; ++r) seeds[r] = OwnError(table, area.In(r), use);
    for (int32_t x = 0; x < columns; ++x) std::memcpy(bottom + 3 * x, OwnError(table, area.In(0) + 3 * x, use).e, 3);

    uint8_t* const laneBase = Aligned64(w.lanes);
    const auto lane = [&](int32_t r) { return laneBase + geo.Lane(r) * geo.laneBytes; };
    for (int32_t r = -2; r < rows; ++r) {
        uint8_t* p = lane(r) + 3 * geo.LanePosition(r, 0);
        const Seed& seed = seeds[std::max(r, 0)];
        std::memcpy(p, seed.e, 3);
        std::memcpy(p + 3, seed.e, 3);
        uint8_t* body = p + 6;
        const uint8_t* in = r < 0 ? bottom : area.In(r);
        if (r < 0 || identity) {
            std::memcpy(body, in, static_cast<std::size_t>(3 * columns));
        } else if (gammaRow != nullptr) {
            gammaRow(in, body, 3 * columns, bytes);
        } else {
            // Two pairs of bytes a look-up each, four bytes a load and a store.
            const uint16_t* pairs = state.gammaPairs;
            int32_t i = 0;
            for (; i + 4 <= 3 * columns; i += 4) {
                uint16_t two[2];
                std::memcpy(two, in + i, 4);
                two[0] = pairs[two[0]];
                two[1] = pairs[two[1]];
                std::memcpy(body + i, two, 4);
            }
            for (; i < 3 * columns; ++i) body[i] = bytes[in[i]];
        }
        for (int32_t k = 0; k < 2; ++k) {
            uint8_t* tail = body + 3 * (columns + k);
            const int32_t cell = columns + 2 + k;
            if (cell >= kPlaneSide) {
                // Past the plane's row: the next row's seed (the last row's
                // are never read).
                std::memcpy(tail, seeds[std::min(std::max(r + 1, 0), rows - 1)].e, 3);
            } else {
                for (int c = 0; c < 3; ++c) tail[c] = static_cast<uint8_t>(state.planar[c][(r + 2) * kPlaneSide + cell]);
            }
        }
    }

    WavefrontJob job{geo, {}, nullptr, nullptr, {}, {}, static_cast<int16_t>(use)};
    for (int c = 0; c < 3; ++c) job.errors[c] = ErrorArray(state, c) + geo.lead * lanes;
    job.periodMasks = Aligned64(w.masks);
    job.borderMasks = job.periodMasks + geo.period * lanes;
    for (int32_t j = 0; j < lanes; ++j) {
        uint8_t* base = laneBase + j * geo.laneBytes;
        job.lanesIn[j] = base + 3 * (lanes - 1 - j) * geo.skew;
        job.lanesOut[j] = base + 2 * (lanes - 1 - j) * geo.skew;
    }
    kernel(job);

    for (int32_t r = 0; r < rows; ++r)
        std::memcpy(area.Out(r), lane(r) + 2 * geo.LanePosition(r, 2), static_cast<std::size_t>(2 * columns));
    w.pendingLanes = lanes;
    w.pendingRows = rows;
    w.pendingColumns = columns;
}

}  // namespace kest
