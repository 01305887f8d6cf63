// Planar error diffusion, fast form. Of the 12 weighted neighbours a pixel
// gathers, the ten in the two rows below are known before its row starts,
// so their sums are formed for the whole row first; the serial walk along
// the row then adds only the two errors just made to its left, divides by
// 48 through a table and quantises with one look-up per channel. The planes
// keep the plain form's layout (514 cells a row, addressed linearly, so the
// cells past a row's end are the next row's seeds), and the words equal the
// plain form's.

#include <algorithm>
#include <array>
#include <iterator>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "picture/gamma_table.h"
#include "picture/picture_converter.h"
#include "picture/reduction_tables.h"

namespace kest {
namespace {

constexpr int32_t kBorder = 2;
constexpr int32_t kPlaneSide = kMaxPictureSide + kBorder;  // 514
constexpr int32_t kPlaneCells = kPlaneSide * kPlaneSide;

int16_t planes[3][kPlaneCells];  // blue, green, red; apart from the plain form's

// Weighted sums lie in -288 .. 288 (errors are -6 .. 6, weights add to 48).
constexpr int32_t kMaxSum = 288;
constexpr std::array<int8_t, 2 * kMaxSum + 1> kDivide48 = [] {
    std::array<int8_t, 2 * kMaxSum + 1> t{};
    for (int32_t s = -kMaxSum; s <= kMaxSum; ++s) t[static_cast<std::size_t>(s + kMaxSum)] = static_cast<int8_t>(s / 48);
    return t;
}();

// The ten weighted errors of the two rows below, for cells at .. at + n - 1.
void SumRowsBelow(const int16_t* plane, int32_t at, int32_t n, int16_t* sums) {
    const int16_t* b2 = plane + at - 2 * kPlaneSide;
    const int16_t* b1 = plane + at - kPlaneSide;
    int32_t i = 0;
#if defined(__SSE2__)
    // Eight cells at a time in 16-bit lanes: the sums stay within +-240.
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

}  // namespace

void ConvertPlanarErrorDiffusion(const uint8_t* picture, int32_t sourceWidth, int32_t sourceHeight,
                                 Pixel16* destination, int32_t targetWidth, int32_t targetHeight,
                                 int32_t frameIndex, double gamma, int32_t useIntensityBit) {
    if (frameIndex == 0) {
        for (auto& plane : planes) std::fill(std::begin(plane), std::end(plane), int16_t{0});
        BuildGammaTable(gamma);
    }
    const uint16_t* table = GammaTable();
    const QuantizeTable& q = QuantizeTables();
    const uint32_t* qb = q[0] + kQuantizeBias;
    const uint32_t* qg = q[1] + kQuantizeBias;
    const uint32_t* qr = q[2] + kQuantizeBias;
    const int8_t* divide = kDivide48.data() + kMaxSum;
    int16_t* const blue = planes[0];
    int16_t* const green = planes[1];
    int16_t* const red = planes[2];

    const int32_t rows = std::min({sourceHeight, targetHeight, kMaxPictureSide});
    const int32_t columns = std::min({sourceWidth, targetWidth, kMaxPictureSide});
    if (rows <= 0 || columns <= 0) return;
    const int32_t sourceStride = SourceRowStride(sourceWidth);
    const int32_t destinationStride = DestinationRowStride(targetWidth);

    // A pixel's own error, quantised with no correction, into cell `at`.
    const auto putOwnError = [&](const uint8_t* pixel, int32_t at) {
        const uint32_t b = qb[table[pixel[0]]], g = qg[table[pixel[1]]], r = qr[table[pixel[2]]];
        const uint32_t intensity = QuantizedIntensity(b, g, r, useIntensityBit);
        blue[at] = QuantizedError(b, intensity);
        green[at] = QuantizedError(g, intensity);
        red[at] = QuantizedError(r, intensity);
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

    int16_t below[3][kMaxPictureSide];
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* in = picture + static_cast<std::ptrdiff_t>(y) * sourceStride;
        Pixel16* out = destination + static_cast<std::ptrdiff_t>(targetHeight - 1 - y) * destinationStride;
        const int32_t rowStart = (y + kBorder) * kPlaneSide;
        // Two copies of the row's first pixel to its left; written before
        // the sums below, which reach them past the previous rows' ends.
        putOwnError(in, rowStart);
        copyCell(rowStart + 1, rowStart);
        for (int c = 0; c < 3; ++c) SumRowsBelow(planes[c], rowStart + kBorder, columns, below[c]);

        int32_t b2 = blue[rowStart], b1 = blue[rowStart + 1];
        int32_t g2 = green[rowStart], g1 = green[rowStart + 1];
        int32_t r2 = red[rowStart], r1 = red[rowStart + 1];
        int16_t* const blueRow = blue + rowStart + kBorder;
        int16_t* const greenRow = green + rowStart + kBorder;
        int16_t* const redRow = red + rowStart + kBorder;
        for (int32_t x = 0; x < columns; ++x, in += 3) {
            const uint32_t b = qb[table[in[0]] + divide[below[0][x] + 5 * b2 + 7 * b1]];
            const uint32_t g = qg[table[in[1]] + divide[below[1][x] + 5 * g2 + 7 * g1]];
            const uint32_t r = qr[table[in[2]] + divide[below[2][x] + 5 * r2 + 7 * r1]];
            const uint32_t intensity = QuantizedIntensity(b, g, r, useIntensityBit);
            b2 = b1, g2 = g1, r2 = r1;
            b1 = QuantizedError(b, intensity);
            g1 = QuantizedError(g, intensity);
            r1 = QuantizedError(r, intensity);
            blueRow[x] = static_cast<int16_t>(b1);
            greenRow[x] = static_cast<int16_t>(g1);
            redRow[x] = static_cast<int16_t>(r1);
            PutStored(out + x, QuantizedWord(b, g, r, intensity));
        }
    }
}

}  // namespace kest
