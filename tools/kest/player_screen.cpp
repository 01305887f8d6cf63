#include "player_screen.h"

#include "base/big_endian.h"
#include "format/movie_format.h"

namespace kest::tool {
namespace {

void PutPixel(RgbImage& image, std::size_t pixel, uint16_t word) {
    const Rgb8 c = ExpandPixel16(word);
    image.rgb[3 * pixel] = c.r;
    image.rgb[3 * pixel + 1] = c.g;
    image.rgb[3 * pixel + 2] = c.b;
}

}  // namespace

RgbImage RenderScreen(const MovieLayout& layout, const MovieFrame& frame) {
    RgbImage screen{kScreenSide, kScreenSide, std::vector<uint8_t>(kScreenSide * kScreenSide * 3, 0)};
    constexpr uint64_t kScreenBytes = uint64_t{kScreenSide} * kScreenSide * 2;
    for (uint64_t row = 0; row < layout.height; ++row) {
        for (uint64_t column = 0; column < layout.width; ++column) {
            // Screen memory is linear: a row that runs past the right edge
            // continues on the next line, as it does in the player.
            const uint64_t address = uint64_t{frame.header.destAddress} + row * frame.header.linePitch + 2 * column;
            if (address < kScreenBase || address - kScreenBase >= kScreenBytes) continue;
            const uint8_t* word = frame.picture + 2 * (row * layout.width + column);
            PutPixel(screen, (address - kScreenBase) / 2, static_cast<uint16_t>(GetBigEndian16(word)));
        }
    }
    return screen;
}

RgbImage RenderPicture(const MovieLayout& layout, const MovieFrame& frame) {
    RgbImage picture{static_cast<int32_t>(layout.width), static_cast<int32_t>(layout.height), {}};
    const std::size_t pixels = std::size_t{layout.width} * layout.height;
    picture.rgb.resize(pixels * 3);
    for (std::size_t i = 0; i < pixels; ++i)
        PutPixel(picture, i, static_cast<uint16_t>(GetBigEndian16(frame.picture + 2 * i)));
    return picture;
}

}  // namespace kest::tool
