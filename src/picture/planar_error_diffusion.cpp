// Planar error diffusion, fast form. With vector units many rows run at
// once, one per lane (planar_wavefront.cpp and a kernel per instruction
// set); without, the walk below.
//
// Of the 12 weighted neighbours a pixel
// gathers, the ten in the two rows below are summed eight cells at a time.
// Rows are walked two at a time, the upper one kLead columns behind the
// lower: the two serial chains (add the errors just made to the left, divide
// by 48, quantise, pick the error by the shared bit) then overlap, and the
// upper row's sums over the lower row are taken a block at a time once the
// lower row has passed. Division and quantisation are table look-ups. The
// planes keep the plain form's layout (514 cells a row, addressed linearly,
// so the cells past a row's end are the next row's seeds) but hold each
// error plus 8, which the look-ups absorb; the words equal the plain form's.

#include <algorithm>
#include <array>
#include <iterator>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/cpu_features.h"
#include "picture/gamma_table.h"
#include "picture/picture_converter.h"
#include "picture/planar_wavefront.h"
#include "picture/reduction_tables.h"

namespace kest {
namespace {

constexpr int32_t kBorder = kPlanarBorder;
constexpr int32_t kPlaneSide = kPlanarPlaneSide;  // 514

// Errors are -6 .. 6; stored plus 8 they are 2 .. 14, and a cell never
// written holds the bias, an error of 0.
constexpr int16_t kErrorBias = 8;

// The weights add to 48, so a weighted sum of biased errors is the true sum
// (-288 .. 288) plus 384. Indexed by that biased sum: the true sum divided by
// 48, truncated toward zero.
constexpr int32_t kSumBias = 48 * kErrorBias;
constexpr int32_t kMaxBiasedSum = kSumBias + 288;
constexpr std::array<int8_t, kMaxBiasedSum + 1> kDivide48 = [] {
    std::array<int8_t, kMaxBiasedSum + 1> t{};
    for (int32_t s = 0; s <= kMaxBiasedSum; ++s) t[static_cast<std::size_t>(s)] = static_cast<int8_t>((s - kSumBias) / 48);
    return t;
}();

// The ten weighted errors of the two rows below, for cells at .. at + n - 1.
KEST_ALIGN_STACK void SumRowsBelow(const int16_t* plane, int32_t at, int32_t n, int16_t* sums) {
    const int16_t* b2 = plane + at - 2 * kPlaneSide;
    const int16_t* b1 = plane + at - kPlaneSide;
    int32_t i = 0;
#if defined(__SSE2__)
    // Eight cells at a time in 16-bit lanes: the sums stay within 36 * 14.
    const auto load = [](const int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    const __m128i w3 = _mm_set1_epi16(3), w5 = _mm_set1_epi16(5), w7 = _mm_set1_epi16(7);
    for (; i + 8 <= n; i += 8) {
        __m128i sum = _mm_add_epi16(load(b2 + i - 2), load(b2 + i + 2));
        sum = _mm_add_epi16(sum, _mm_mullo_epi16(w3, _mm_add_epi16(load(b2 + i - 1), load(b2 + i + 1))));
        sum = _mm_add_epi16(sum, _mm_mullo_epi16(w5, load(b2 + i)));
        sum = _mm_add_epi16(sum, _mm_mullo_epi16(w3, _mm_add_epi16(load(b1 + i - 2), load(b1 + i + 2))));
        sum = _mm_add_epi16(sum, _mm_mullo_epi16(w5, _mm_add_epi16(load(b1 + i - 1), load(b1 + i + 1))));
        sum = _mm_add_epi16(sum, _mm_mullo_epi16(w7, load(b1 + i)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + i), sum);
    }
#endif
    for (; i < n; ++i)
        sums[i] = static_cast<int16_t>(1 * b2[i - 2] + 3 * b2[i - 1] + 5 * b2[i] + 3 * b2[i + 1] + 1 * b2[i + 2] +
                                       3 * b1[i - 2] + 5 * b1[i - 1] + 7 * b1[i] + 5 * b1[i + 1] + 3 * b1[i + 2]);
}

#if defined(__GNUC__)
#define KEST_ALWAYS_INLINE __attribute__((always_inline))
#else
#define KEST_ALWAYS_INLINE
#endif

// One row on its walk: where its pixels come from and go, and the biased
// errors of the last two pixels converted (at the start, the row's seeds).
struct RowWalk {
    const uint8_t* in;
    Pixel16* out;
    int16_t* cells[3];  // plane cells of column 0, per channel
    int32_t e1[3], e2[3];
};

// Sums for a row's columns, one array per channel; room for a whole block
// past the last column.
constexpr int32_t kBlock = 8;
using RowSums = int16_t[3][kMaxPictureSide + kBlock];

// Without the intensity bit a channel's error does not depend on the other
// two, so the three chains of a row run side by side; with it, each waits
// for the shared bit. Hence one walk compiled for each.
template <bool kUseIntensity>
void Diffuse(PictureState& state, const PictureFrame& f) {
    const uint8_t* const picture = f.picture;
    auto& planes = state.planar;
    const uint16_t* table = state.gamma.Entries();
    const QuantizeTable& q = QuantizeTables();
    const uint32_t* qb = q[0] + kQuantizeBias;
    const uint32_t* qg = q[1] + kQuantizeBias;
    const uint32_t* qr = q[2] + kQuantizeBias;
    const int8_t* divide = kDivide48.data();
    int16_t* const blue = planes[0];
    int16_t* const green = planes[1];
    int16_t* const red = planes[2];

    const PictureWalk area(f, kMaxPictureSide);
    const int32_t rows = area.rows, columns = area.columns;
    if (rows <= 0 || columns <= 0) return;

    // The biased error of a quantised entry: bits 20-23 or 24-27 by the
    // shared bit.
    const auto biasedError = [](uint32_t entry, uint32_t intensity) KEST_ALWAYS_INLINE {
        return static_cast<int32_t>(entry >> (20 + 4 * intensity) & 15);
    };
    // A pixel's own error, quantised with no correction, into cell `at`.
    const auto putOwnError = [&](const uint8_t* pixel, int32_t at) {
        const uint32_t b = qb[table[pixel[0]]], g = qg[table[pixel[1]]], r = qr[table[pixel[2]]];
        const uint32_t intensity = QuantizedIntensity(b, g, r, kUseIntensity);
        blue[at] = static_cast<int16_t>(biasedError(b, intensity));
        green[at] = static_cast<int16_t>(biasedError(g, intensity));
        red[at] = static_cast<int16_t>(biasedError(r, intensity));
    };
    const auto copyCell = [&](int32_t to, int32_t from) {
        blue[to] = blue[from];
        green[to] = green[from];
        red[to] = red[from];
    };

    // Two copies of the bottom row below the picture, its first pixel in the
    // corner.
    putOwnError(picture, 0);
    copyCell(1, 0);
    copyCell(kPlaneSide, 0);
    copyCell(kPlaneSide + 1, 0);
    for (int32_t x = 0; x < columns; ++x) {
        putOwnError(picture + 3 * x, x + kBorder);
        copyCell(kPlaneSide + x + kBorder, x + kBorder);
    }

    // Pixel x of `row`, given the weighted errors of its rows below. Inlined
    // so that each row's errors stay in registers between its pixels.
    const auto walk = [&](RowWalk& row, const RowSums& sums, int32_t x) KEST_ALWAYS_INLINE {
        const uint8_t* in = row.in + 3 * x;
        const uint32_t b = qb[table[in[0]] + divide[sums[0][x] + 5 * row.e2[0] + 7 * row.e1[0]]];
        const uint32_t g = qg[table[in[1]] + divide[sums[1][x] + 5 * row.e2[1] + 7 * row.e1[1]]];
        const uint32_t r = qr[table[in[2]] + divide[sums[2][x] + 5 * row.e2[2] + 7 * row.e1[2]]];
        const uint32_t intensity = QuantizedIntensity(b, g, r, kUseIntensity);
        for (int c = 0; c < 3; ++c) row.e2[c] = row.e1[c];
        row.e1[0] = biasedError(b, intensity);
        row.e1[1] = biasedError(g, intensity);
        row.e1[2] = biasedError(r, intensity);
        for (int c = 0; c < 3; ++c) row.cells[c][x] = static_cast<int16_t>(row.e1[c]);
        PutStored(row.out + x, QuantizedWord(b, g, r, intensity));
    };
    const auto start = [&](int32_t y) {
        RowWalk row;
        row.in = area.In(y);
        row.out = area.Out(y);
        const int32_t rowStart = (y + kBorder) * kPlaneSide;
        // Two copies of the row's first pixel to its left.
        putOwnError(row.in, rowStart);
        copyCell(rowStart + 1, rowStart);
        for (int c = 0; c < 3; ++c) {
            row.cells[c] = planes[c] + rowStart + kBorder;
            row.e2[c] = planes[c][rowStart];
            row.e1[c] = planes[c][rowStart + 1];
        }
        return row;
    };

    RowSums lowerSums, upperSums;
    // The upper row's block at x0 reaches the lower row's column x0 + 9. The
    // lead is longer: a wide load over narrow stores still in flight waits
    // for them all to retire.
    constexpr int32_t kLead = 4 * kBlock;
    for (int32_t y = 0; y < rows; y += 2) {
        // Both rows' seeds first: the sums reach them past the ends of the
        // rows below (with 511 or 512 columns).
        RowWalk lower = start(y);
        const int32_t lowerAt = (y + kBorder) * kPlaneSide + kBorder;
        for (int c = 0; c < 3; ++c) SumRowsBelow(planes[c], lowerAt, columns, lowerSums[c]);
        if (y + 1 == rows) {
            for (int32_t x = 0; x < columns; ++x) walk(lower, lowerSums, x);
            break;
        }
        RowWalk upper = start(y + 1);
        const int32_t upperAt = lowerAt + kPlaneSide;
        const auto sumUpperBlock = [&](int32_t x0) {
            for (int c = 0; c < 3; ++c) SumRowsBelow(planes[c], upperAt + x0, kBlock, upperSums[c] + x0);
        };
        int32_t t = 0;  // the lower row's next column
        for (; t < std::min(kLead, columns); ++t) walk(lower, lowerSums, t);
        int32_t x0 = 0;
        for (; x0 + kLead + kBlock <= columns; x0 += kBlock) {
            sumUpperBlock(x0);
            for (int32_t i = 0; i < kBlock; ++i, ++t) {
                walk(lower, lowerSums, t);
                walk(upper, upperSums, x0 + i);
            }
        }
        for (; t < columns; ++t) walk(lower, lowerSums, t);
        for (; x0 < columns; x0 += kBlock) {
            sumUpperBlock(x0);
            for (int32_t x = x0; x < std::min(x0 + kBlock, columns); ++x) walk(upper, upperSums, x);
        }
    }
}

}  // namespace

void ConvertPlanarErrorDiffusion(PictureState& state, const PictureFrame& f) {
    if (f.frameIndex == 0) {
        for (auto& plane : state.planar) std::fill(std::begin(plane), std::end(plane), kErrorBias);
        BuildGammaTable(state.gamma, f.gamma);
        StartPlanarWavefrontRun(state);
    }
#if defined(__x86_64__)
    if (state.tier >= SimdTier::Avx512)
        return ConvertPlanarWavefront(state, f, kAvx512Lanes, RunWavefrontAvx512, GammaRowAvx512);
    if (state.tier >= SimdTier::Avx2) return ConvertPlanarWavefront(state, f, kAvx2Lanes, RunWavefrontAvx2, GammaRowAvx2);
#endif
#if defined(__SSE2__)
    if (state.tier >= SimdTier::Sse2) return ConvertPlanarWavefront(state, f, kSse2Lanes, RunWavefrontSse2);
#endif
    SettlePlanarWavefront(state);
    if (f.useIntensityBit) Diffuse<true>(state, f);
    else Diffuse<false>(state, f);
}

}  // namespace kest
