// Bit truncation and the three ordered dithers, table-driven: per pixel
// three look-ups of entries that already hold the gamma correction, the
// matrix value, the clamp, the 5-bit field in the buffer's byte order and
// the intensity test. Word for word the same as the plain forms.

#include <algorithm>

#include "base/cpu_features.h"
#include "picture/dither_matrix.h"
#include "picture/gamma_table.h"
#include "picture/picture_converter.h"
#include "picture/ordered_reduction_steps.h"
#include "picture/reduction_tables.h"

namespace kest {
namespace {

// Pixels from `x` on of a row through the tables.
void ReduceRowTables(const uint8_t* in, Pixel16* out, int32_t x, int32_t columns, const uint32_t (*const t[4])[256]) {
    in += 3 * x;
    for (; x + 4 <= columns && (x & 3) == 0; x += 4, in += 12) {
        for (int j = 0; j < 4; ++j)
            PutStored(out + x + j, OrderedWord(t[j][0][in[3 * j]], t[j][1][in[3 * j + 1]], t[j][2][in[3 * j + 2]]));
    }
    for (; x < columns; ++x, in += 3) {
        const auto& tj = t[x & 3];
        PutStored(out + x, OrderedWord(tj[0][in[0]], tj[1][in[1]], tj[2][in[2]]));
    }
}

// The whole-row steps of a tier, tried in turn: each converts pixels from
// where the one before stopped and returns how many it did, a multiple of 4,
// so the matrix values keep their columns. The tables finish the row.
struct RowSteps {
    RowStep identity[2];  // the gamma table is the identity
    RowStep gamma[2];     // any other table
};

const RowSteps& RowStepsOf(SimdTier tier) {
    static constexpr RowSteps kNone = {};
#if defined(__x86_64__)
    // Steps of 64 pixels, then of 32 and 16.
    static constexpr RowSteps kAvx2 = {{ReduceRowIdentityAvx2, nullptr}, {ReduceRowGammaAvx2, ReduceRowGammaSse2}};
    static constexpr RowSteps kAvx512 = {{ReduceRowIdentityAvx512, ReduceRowIdentityAvx2},
                                         {ReduceRowGamma64Avx512, ReduceRowGammaAvx512}};
    if (tier >= SimdTier::Avx512) return kAvx512;
    if (tier >= SimdTier::Avx2) return kAvx2;
#endif
#if defined(__SSE2__)
    static constexpr RowSteps kSse2 = {{ReduceRowIdentitySse2, nullptr}, {ReduceRowGammaSse2, nullptr}};
    if (tier >= SimdTier::Sse2) return kSse2;
#endif
    (void)tier;
    return kNone;
}

void ReduceWithTables(const PictureState& state, const PictureFrame& f, const uint16_t* matrix) {
    const OrderedTable& tables = state.ordered[f.useIntensityBit ? 1 : 0];
    const RowSteps& kernels = RowStepsOf(state.tier);
    const RowStep* steps = state.gamma.identity ? kernels.identity : kernels.gamma;
    const uint8_t* gammaBytes = state.gamma.bytes;
    const PictureWalk walk(f);
    for (int32_t y = 0; y < walk.rows; ++y) {
        const uint8_t* in = walk.In(y);
        Pixel16* out = walk.Out(y);
        // The row's four matrix values, each selecting its tables; values
        // above 7 cannot occur in the fixed matrices.
        const uint16_t* matrixRow = matrix + (y & 3) * 4;
        const uint32_t(*t[4])[256];
        for (int j = 0; j < 4; ++j) t[j] = tables[matrixRow[j] & 7];
        int32_t x = 0;
        for (int i = 0; i < 2 && steps[i]; ++i)
            x += steps[i](in + 3 * x, out + x, walk.columns - x, matrixRow, f.useIntensityBit, gammaBytes,
                          state.gammaPairs);
        ReduceRowTables(in, out, x, walk.columns, t);
    }
}

// Frame index 0: the run's gamma table and both tables built from it.
void StartRun(PictureState& state, const PictureFrame& f) {
    BuildGammaTable(state.gamma, f.gamma);
    // The SSE2 and AVX2 steps look the gamma table up in pairs.
    const bool pairs = state.tier == SimdTier::Sse2 || state.tier == SimdTier::Avx2;
    if (pairs && !state.gamma.identity) BuildGammaPairs(state.gammaPairs, state.gamma);
    BuildOrderedTable(state.ordered[0], state.gamma, 0);
    BuildOrderedTable(state.ordered[1], state.gamma, 1);
}

constexpr DitherMatrix kNothingAdded = {};

}  // namespace

void ConvertBitTruncate(PictureState& state, const PictureFrame& f) {
    if (f.frameIndex == 0) StartRun(state, f);
    ReduceWithTables(state, f, kNothingAdded);
}

void ConvertDither2x2(PictureState& state, const PictureFrame& f) {
    if (f.frameIndex == 0) {
        StartRun(state, f);
        SelectDitherMatrix(state.matrix, MatrixChoice::Checkerboard);
    }
    ReduceWithTables(state, f, state.matrix);
}

void ConvertDither4x4(PictureState& state, const PictureFrame& f) {
    if (f.frameIndex == 0) {
        StartRun(state, f);
        SelectDitherMatrix(state.matrix, MatrixChoice::Ordered4x4);
    }
    ReduceWithTables(state, f, state.matrix);
}

void ConvertTemporalDither2x2(PictureState& state, const PictureFrame& f) {
    if (f.frameIndex == 0) StartRun(state, f);
    // Even frames, frame 0 among them, take the inverse checkerboard.
    SelectDitherMatrix(state.matrix,
                       f.frameIndex % 2 != 0 ? MatrixChoice::Checkerboard : MatrixChoice::InverseCheckerboard);
    ReduceWithTables(state, f, state.matrix);
}

}  // namespace kest
