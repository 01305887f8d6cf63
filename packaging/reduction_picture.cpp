// The read-mes' picture of the six colour reductions: one gradient through
// each converter of the core, shown as the player shows the words, in a
// 3 x 2 grid in the dialog's order (bit truncation, 2x2 dither, 4x4 dither /
// temporal 2x2 dither, temporal error diffusion, planar error diffusion),
// twice the size. Writes a binary PPM to standard output:
//
//   c++ -std=c++20 -O2 -Isrc packaging/reduction_picture.cpp build/native/libkest_core.a -o /tmp/reductions
//   /tmp/reductions | ffmpeg -loglevel error -y -i - -compression_level 9 docs/reductions.png
#include <cstdint>
#include <cstdio>
#include <vector>

#include "picture/picture_converter.h"

namespace {

constexpr int kWidth = 128, kHeight = 96, kZoom = 2, kGap = 4, kColumns = 3, kRows = 2;

// A slow rainbow left to right, dark to light bottom to top: the steps
// between 5-bit levels show where a reduction leaves them.
std::vector<uint8_t> Gradient() {
    const int stride = kest::SourceRowStride(kWidth);
    std::vector<uint8_t> picture(static_cast<std::size_t>(stride) * kHeight, 0);
    for (int y = 0; y < kHeight; ++y) {  // bottom row first
        for (int x = 0; x < kWidth; ++x) {
            const int light = 40 + y * 180 / (kHeight - 1);
            const int r = light * (kWidth - 1 - x) / (kWidth - 1);
            const int g = light * (x < kWidth / 2 ? x : kWidth - 1 - x) * 2 / (kWidth - 1);
            const int b = light * x / (kWidth - 1);
            uint8_t* p = &picture[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * 3];
            p[0] = static_cast<uint8_t>(b), p[1] = static_cast<uint8_t>(g), p[2] = static_cast<uint8_t>(r);
        }
    }
    return picture;
}

uint8_t Level(unsigned five, unsigned intensity) { return static_cast<uint8_t>(((five << 1) | intensity) * 255 / 63); }

}  // namespace

int main() {
    const std::vector<uint8_t> source = Gradient();
    const int width = kColumns * kWidth * kZoom + (kColumns + 1) * kGap;
    const int height = kRows * kHeight * kZoom + (kRows + 1) * kGap;
    std::vector<uint8_t> out(static_cast<std::size_t>(width) * height * 3, 255);
    const int stride = kest::DestinationRowStride(kWidth);
    std::vector<kest::Pixel16> words(static_cast<std::size_t>(stride) * kHeight);
    for (int mode = 0; mode < kColumns * kRows; ++mode) {
        kest::SelectPictureConverter(static_cast<uint16_t>(mode))(source.data(), kWidth, kHeight, words.data(), kWidth,
                                                                  kHeight, 0, 1.0, 0);
        const int left = kGap + (mode % kColumns) * (kWidth * kZoom + kGap);
        const int top = kGap + (mode / kColumns) * (kHeight * kZoom + kGap);
        for (int y = 0; y < kHeight * kZoom; ++y) {
            for (int x = 0; x < kWidth * kZoom; ++x) {
                const kest::Pixel16 w = kest::LoadPixel16(&words[static_cast<std::size_t>(y / kZoom) * stride + x / kZoom]);
                const unsigned intensity = w & 1;
                uint8_t* p = &out[(static_cast<std::size_t>(top + y) * width + left + x) * 3];
                p[0] = Level(w >> 6 & 31, intensity), p[1] = Level(w >> 11 & 31, intensity), p[2] = Level(w >> 1 & 31, intensity);
            }
        }
    }
    std::printf("P6\n%d %d\n255\n", width, height);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
