// A movie frame as the player shows it: its words copied into the screen
// memory (512 pixels a line, 1024 bytes, from 0xC00000) at destAddress,
// one row every linePitch bytes, and each word widened to 8-bit RGB.
#pragma once

#include <cstdint>
#include <vector>

#include "format/movie_reader.h"

namespace kest::tool {

inline constexpr int32_t kScreenSide = 512;

struct RgbImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgb;  // top row first, 3 bytes a pixel
};

// The whole 512 x 512 screen; what falls outside it is not shown.
RgbImage RenderScreen(const MovieLayout& layout, const MovieFrame& frame);
// Only the stored picture, width x height.
RgbImage RenderPicture(const MovieLayout& layout, const MovieFrame& frame);

}  // namespace kest::tool
