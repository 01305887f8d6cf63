// Writes an RGB picture as a still image file through FFmpeg's encoders:
// PNG, or JPEG or WebP, as the file's name says.
#pragma once

#include <string>

#include "player_screen.h"

namespace kest::tool {

// Throws a usage error naming the formats when `name`'s extension is none
// of them, or a failure when this FFmpeg lacks the encoder.
void CheckStillName(const std::string& option, const std::string& name);

// Writes `file` in the format `name` says; messages call it `name` (the file
// it becomes). Throws ToolError naming the file and the reason.
void WriteStill(const std::string& file, const std::string& name, const RgbImage& image);

}  // namespace kest::tool
