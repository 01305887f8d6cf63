// Writes 16-bit sound as a WAV file through FFmpeg's WAV muxer.
#pragma once

#include <string>

#include "movie_sound.h"

namespace kest::tool {

// Writes `file`; messages call it `name` (the file it becomes). Throws
// ToolError naming the file and the reason.
void WriteWav(const std::string& file, const std::string& name, const MovieSound& sound);

}  // namespace kest::tool
