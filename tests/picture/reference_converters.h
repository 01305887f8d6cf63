// A plain model of the six converters, written pixel by pixel from the
// format's rules with nothing shared with the production code: the gamma
// table from pow, quantisation in double precision, the planar planes as
// rows and columns with the step past a row's end made explicit. Faster
// converters must match it word for word.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "picture_harness.h"

namespace kest::testing {

class ReferenceConverter {
public:
    explicit ReferenceConverter(int mode) : mode_(mode) {}

    // false: cells right of the planar planes' last column read 0 instead of
    // continuing into the next row, to show which pictures depend on it.
    bool linearRowEnd = true;

    void Convert(const Source& source, Target& target, int32_t frame, double gamma, int32_t intensity) {
        if (frame == 0) {
            for (int i = 0; i < 256; ++i)
                gamma_[i] = static_cast<int>(std::pow(i / 255.0, 1.0 / gamma) * 255.0 + 0.5) & 0xFF;
            if (mode_ == 4) temporal_.assign(3 * 512 * 512, 0);
            if (mode_ == 5) planar_.assign(3, std::vector<std::vector<int>>(514, std::vector<int>(514, 0)));
        }
        const int rows = std::min(source.height, target.height);
        const int columns = std::min(source.width, target.width);
        switch (mode_) {
            case 1: Ordered(source, target, rows, columns, kChecker, intensity); break;
            case 2: Ordered(source, target, rows, columns, kOrdered, intensity); break;
            case 3: Ordered(source, target, rows, columns, frame % 2 ? kChecker : kInverse, intensity); break;
            case 4: Temporal(source, target, rows, columns, intensity); break;
            case 5: Planar(source, target, rows, columns, intensity); break;
            default: Ordered(source, target, rows, columns, kZero, intensity); break;
        }
    }

private:
    using Matrix = std::array<std::array<int, 4>, 4>;
    static constexpr Matrix kZero{};
    static constexpr Matrix kChecker{{{0, 4, 0, 4}, {4, 0, 4, 0}, {0, 4, 0, 4}, {4, 0, 4, 0}}};
    static constexpr Matrix kOrdered{{{0, 4, 1, 5}, {6, 2, 7, 3}, {1, 5, 0, 4}, {7, 3, 6, 2}}};
    static constexpr Matrix kInverse{{{4, 0, 4, 0}, {0, 4, 0, 4}, {4, 0, 4, 0}, {0, 4, 0, 4}}};

    struct Quantised {
        int error[3];
        Pixel16 word;
    };

    // Channels in the order blue, green, red.
    static Quantised Quantise(const int value[3], int32_t useIntensity) {
        int v[3], q[3];
        for (int c = 0; c < 3; ++c) v[c] = std::clamp(value[c], 0, 255);
        const int bit = useIntensity != 0 && (v[0] & v[1] & v[2] & 1) != 0;
        Quantised out{};
        for (int c = 0; c < 3; ++c) {
            q[c] = static_cast<int>(v[c] * 63.0 / 255.0 + 0.5);
            q[c] = bit ? (q[c] | 1) : (q[c] & ~1);
            out.error[c] = v[c] - static_cast<int>(q[c] * 255.0 / 63.0 + 0.5);
        }
        out.word = static_cast<Pixel16>((q[1] >> 1) << 11 | (q[2] >> 1) << 6 | (q[0] >> 1) << 1 | bit);
        return out;
    }

    void Corrected(const Source& source, int y, int x, int out[3]) const {
        const uint8_t* p = &source.bytes[static_cast<std::size_t>(y) * SourceRowStride(source.width) + 3 * x];
        for (int c = 0; c < 3; ++c) out[c] = gamma_[p[c]];
    }

    static void Put(Target& target, int y, int x, Pixel16 word) {
        StorePixel16(&target.words[static_cast<std::size_t>(target.height - 1 - y) * DestinationRowStride(target.width) + x],
                     word);
    }

    void Ordered(const Source& source, Target& target, int rows, int columns, const Matrix& m, int32_t useIntensity) {
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < columns; ++x) {
                int v[3];
                Corrected(source, y, x, v);
                for (int c = 0; c < 3; ++c) v[c] = std::min(v[c] + m[y & 3][x & 3], 255);
                const int bit = useIntensity != 0 && (v[0] & v[1] & v[2] & 4) != 0;
                Put(target, y, x, static_cast<Pixel16>((v[1] >> 3) << 11 | (v[2] >> 3) << 6 | (v[0] >> 3) << 1 | bit));
            }
    }

    void Temporal(const Source& source, Target& target, int rows, int columns, int32_t useIntensity) {
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < columns; ++x) {
                int v[3];
                Corrected(source, y, x, v);
                for (int c = 0; c < 3; ++c) v[c] += temporal_[(c * 512 + y) * 512 + x];
                const Quantised q = Quantise(v, useIntensity);
                for (int c = 0; c < 3; ++c) temporal_[(c * 512 + y) * 512 + x] = q.error[c];
                Put(target, y, x, q.word);
            }
    }

    int& Cell(int c, int Y, int K) {
        if (K >= 514) {
            if (!linearRowEnd) return zero_ = 0;
            return planar_[c][Y + 1][K - 514];
        }
        return planar_[c][Y][K];
    }

    void OwnError(const Source& source, int y, int x, int32_t useIntensity, int out[3]) const {
        int v[3];
        Corrected(source, y, x, v);
        const Quantised q = Quantise(v, useIntensity);
        for (int c = 0; c < 3; ++c) out[c] = q.error[c];
    }

    void Planar(const Source& source, Target& target, int rows, int columns, int32_t useIntensity) {
        static constexpr int kWeight[3][5] = {{1, 3, 5, 3, 1}, {3, 5, 7, 5, 3}, {5, 7, 0, 0, 0}};
        int e[3];
        OwnError(source, 0, 0, useIntensity, e);
        for (int c = 0; c < 3; ++c) Cell(c, 0, 0) = Cell(c, 0, 1) = Cell(c, 1, 0) = Cell(c, 1, 1) = e[c];
        for (int x = 0; x < columns; ++x) {
            OwnError(source, 0, x, useIntensity, e);
            for (int c = 0; c < 3; ++c) Cell(c, 0, x + 2) = Cell(c, 1, x + 2) = e[c];
        }
        for (int y = 0; y < rows; ++y) {
            const int Y = y + 2;
            OwnError(source, y, 0, useIntensity, e);
            for (int c = 0; c < 3; ++c) Cell(c, Y, 0) = Cell(c, Y, 1) = e[c];
            for (int x = 0; x < columns; ++x) {
                const int K = x + 2;
                int v[3];
                Corrected(source, y, x, v);
                for (int c = 0; c < 3; ++c) {
                    int sum = 0;
                    for (int row = 0; row < 3; ++row)
                        for (int d = -2; d <= 2; ++d)
                            if (kWeight[row][d + 2] != 0) sum += kWeight[row][d + 2] * Cell(c, Y - 2 + row, K + d);
                    v[c] += sum / 48;
                }
                const Quantised q = Quantise(v, useIntensity);
                for (int c = 0; c < 3; ++c) Cell(c, Y, K) = q.error[c];
                Put(target, y, x, q.word);
            }
        }
    }

    int mode_;
    int gamma_[256]{};
    std::vector<int> temporal_;
    std::vector<std::vector<std::vector<int>>> planar_;
    int zero_ = 0;
};

}  // namespace kest::testing
