// Writes an RGB picture as a PNG file through FFmpeg's PNG encoder.
#pragma once

#include <string>

#include "player_screen.h"

namespace kest::tool {

// Throws ToolError naming the file and the reason.
void WritePng(const std::string& path, const RgbImage& image);

}  // namespace kest::tool
